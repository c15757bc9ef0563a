#include "frm_main.h"

#include <exception>

#include "frm_about.h"
#include "input_box.h"
#include "pellorin/version.h"
#include "platform/platform.h"
#include "sorting/move_run.h"

namespace pellorin::win32ui {

void EditResultsBox::Append(std::string_view text) {
  const int end = ::GetWindowTextLengthW(box_);
  ::SendMessageW(box_, EM_SETSEL, static_cast<WPARAM>(end), static_cast<LPARAM>(end));
  const std::wstring entry = Wide(text);
  ::SendMessageW(box_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(entry.c_str()));
}

class frmMain::HandlerScope {
 public:
  explicit HandlerScope(frmMain& window) : window_(window) { ++window_.handlersRunning_; }
  ~HandlerScope() {
    if (--window_.handlersRunning_ == 0 && window_.closeRequested_) {
      ::DestroyWindow(window_.Handle());
    }
  }
  HandlerScope(const HandlerScope&) = delete;
  HandlerScope& operator=(const HandlerScope&) = delete;

 private:
  frmMain& window_;
};

frmMain::frmMain(HWND owner, std::function<void()> onUnload)
    : DesignedWindow(design::MainWindowDesign()),
      results_(resultsBox_),
      onUnload_(std::move(onUnload)) {
  Create(owner);
  HWND box = Control("txtResults");
  // The default limit (30,000 characters) would cut a long log short.
  ::SendMessageW(box, EM_SETLIMITTEXT, 0, 0);
  resultsBox_.Attach(box);
}

frmMain::~frmMain() {
  if (Handle() != nullptr) ::DestroyWindow(Handle());
}

void frmMain::Show() {
  CenterOver(nullptr);
  ::ShowWindow(Handle(), SW_SHOW);
  ::SetForegroundWindow(Handle());
  ::SetFocus(Control("txtFiles"));
}

std::string frmMain::PatternText() const { return Utf8(Control("txtFiles")); }

std::string frmMain::RootText() const { return Utf8(Control("txtDir")); }

void frmMain::SetMousePointer(MousePointer pointer) {
  pointer_ = pointer;
  // Shown at once: the run does not return to the message loop until it ends.
  ::SetCursor(::LoadCursorW(nullptr, pointer == MousePointer::Hourglass ? IDC_WAIT : IDC_ARROW));
  if (pointer == MousePointer::Default) {
    // Let the control under the mouse choose its own pointer again (an edit's I-beam).
    POINT mouse{};
    if (::GetCursorPos(&mouse)) ::SetCursorPos(mouse.x, mouse.y);
  }
}

void frmMain::ShowMessage(std::string_view text) {
  results_.Flush();
  ::MessageBoxW(Handle(), Wide(text).c_str(), Wide(version::kProductName).c_str(), MB_OK);
}

std::string frmMain::InputBox(std::string_view prompt, std::string_view title,
                              std::string_view defaultText) {
  results_.Flush();
  return ShowInputBox(Handle(), prompt, title, defaultText);
}

LRESULT frmMain::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED) {
        const HWND from = reinterpret_cast<HWND>(lParam);
        if (from == nullptr) return 0;  // Enter and Escape: no default or cancel button here
        HandlerScope running(*this);
        if (from == Control("cmdOK")) cmdOK_Click();
        if (from == Control("cmdCancel")) cmdCancel_Click();
        if (from == Control("cmdAbout")) cmdAbout_Click();
      }
      return 0;
    case WM_SETCURSOR:
      if (pointer_ == MousePointer::Hourglass) {
        ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_CLOSE:  // the close box, the system menu, Alt+F4, and the system itself
      RequestClose();
      return 0;
    case WM_DESTROY:
      Form_Unload();
      return 0;
    default:
      break;
  }
  return DefaultDispatch(message, wParam, lParam);
}

void frmMain::RequestClose() {
  if (handlersRunning_ == 0) {
    ::DestroyWindow(Handle());
    return;
  }
  // A run ends by itself, files and log complete; the About dialog is simply unloaded.
  closeRequested_ = true;
  if (about_) about_->Unload();
}

void frmMain::cmdOK_Click() {
  try {
    const auto fileSystem = platform::MakeFileSystem();
    const auto files = platform::MakeFileEnumeration();
    MoveRun(*this, *fileSystem, *files);
  } catch (const std::exception& failure) {
    // The run has put the pointer back; the window stays usable.
    ShowMessage(failure.what());
  }
  results_.Flush();
}

void frmMain::cmdCancel_Click() { RequestClose(); }

void frmMain::cmdAbout_Click() {
  if (!about_) about_ = std::make_unique<frmAbout>(Handle());
  about_->ShowModal();
}

void frmMain::Form_Unload() {
  if (onUnload_) onUnload_();
}

}  // namespace pellorin::win32ui
