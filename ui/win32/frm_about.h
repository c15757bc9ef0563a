#pragma once

#include "designed_window.h"

namespace pellorin::win32ui {

// frmAbout on Windows: the product's name, version and contact lines beside its picture.
// Modal over the main window; OK, Enter, Escape and the close box unload it. Its load step runs
// on every showing.
class frmAbout final : public DesignedWindow {
 public:
  explicit frmAbout(HWND owner);
  ~frmAbout() override;

  // Loads and shows the dialog, and returns once it has been unloaded.
  void ShowModal();
  // Hides the dialog and ends its modal loop.
  void Unload();

 private:
  LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam) override;
  void Layout(int dpi) override;
  void Form_Load();
  void cmdOK_Click();
  void PaintSeparator(HDC context);

  HWND owner_;
  HBITMAP picture_ = nullptr;
  HFONT titleFont_ = nullptr;
  bool loaded_ = false;
};

}  // namespace pellorin::win32ui
