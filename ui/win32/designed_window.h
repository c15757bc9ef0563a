#pragma once

// The Windows rendering of the design table: one object per window, one message switch per
// window (Dispatch), every control created, placed and captioned from the table. Twips become
// pixels through the window's own DPI, in Layout and nowhere else.

#include <string>
#include <string_view>

#include "platform/win32/windows_api.h"
#include "ui/design/window_design.h"

namespace pellorin::win32ui {

// The identifier of a control: its place in the design table, above the dialog's IDOK/IDCANCEL.
int ControlId(const design::WindowDesign& window, const design::ControlDesign& control);
// The design's text for a window: "&" kept, as the controls want it.
std::wstring Wide(std::string_view utf8);
std::wstring WindowText(HWND window);
std::string Utf8(HWND window);
// Centred over another window, or on the work area of its screen when that one is null or hidden.
void CenterWindow(HWND window, HWND over);
int WindowDpi(HWND window);
RECT PixelRect(const design::TwipsRect& rect, int dpi);

class DesignedWindow {
 public:
  DesignedWindow(const DesignedWindow&) = delete;
  DesignedWindow& operator=(const DesignedWindow&) = delete;
  virtual ~DesignedWindow();

  HWND Handle() const { return window_; }
  const design::WindowDesign& Design() const { return design_; }
  HWND Control(std::string_view name, int groupIndex = -1) const;

 protected:
  explicit DesignedWindow(const design::WindowDesign& design) : design_(design) {}

  // Creates the window, hidden, owned by owner, with every control of the design.
  void Create(HWND owner);
  // The window's message switch; what it does not handle goes to DefaultDispatch.
  virtual LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam) = 0;
  LRESULT DefaultDispatch(UINT message, WPARAM wParam, LPARAM lParam);
  // Places and sizes the window and its controls for the DPI, with the dialog font of that DPI.
  virtual void Layout(int dpi);
  // Centred over the owner, or on the screen's work area when owner is null.
  void CenterOver(HWND owner);
  HFONT DialogFont() const { return dialogFont_; }

 private:
  void KeepFocusAcrossActivation(bool activated);
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void CreateControls();

  const design::WindowDesign& design_;
  HWND window_ = nullptr;
  HFONT dialogFont_ = nullptr;
  HWND lastFocus_ = nullptr;
};

// Hands one message to its window, with the dialog keys (Tab, access keys, Enter, Escape) of the
// top-level window that it is for, whatever the activation says.
inline void DeliverMessage(MSG& message) {
  const HWND topLevel = message.hwnd != nullptr ? ::GetAncestor(message.hwnd, GA_ROOT) : nullptr;
  if (topLevel != nullptr && ::IsDialogMessageW(topLevel, &message)) return;
  ::TranslateMessage(&message);
  ::DispatchMessageW(&message);
}

// Runs the thread's messages until WM_QUIT or until done() says so. Returns false on WM_QUIT,
// which it posts again so the outer loop ends too.
template <typename Done>
bool RunMessages(Done done) {
  MSG message;
  while (!done()) {
    if (::GetMessageW(&message, nullptr, 0, 0) <= 0) {
      ::PostQuitMessage(static_cast<int>(message.wParam));
      return false;
    }
    DeliverMessage(message);
  }
  return true;
}

}  // namespace pellorin::win32ui
