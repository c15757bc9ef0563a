#include "frm_main.h"

#include <exception>
#include <utility>

#include "frm_about.h"
#include "input_box.h"
#include "pellorin/version.h"
#include "platform/platform.h"
#include "sorting/move_run.h"
#include "ui/design/log_display.h"

namespace pellorin::win32ui {
namespace {

// Sent by the run's worker with a call for this window's thread; the worker waits for it.
constexpr UINT kRunOnWindowThread = WM_APP + 1;
constexpr UINT_PTR kDrainTimer = 1;

RunFiles PlatformRunFiles() {
  return {platform::MakeFileSystem(), platform::MakeFileEnumeration()};
}

bool IsKeyOrMouse(UINT message) {
  return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
         (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST);
}

bool IsNonClientMouse(UINT message) {
  return message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK;
}

}  // namespace

void EditResultsBox::Attach(HWND box, std::function<void()> onText) {
  box_ = box;
  onText_ = std::move(onText);
}

void EditResultsBox::Append(std::string_view text) {
  if (!text.empty() && onText_) onText_();
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

frmMain::frmMain(HWND owner, std::function<void()> onUnload, std::function<RunFiles()> makeRunFiles)
    : DesignedWindow(design::MainWindowDesign()),
      onUnload_(std::move(onUnload)),
      makeRunFiles_(makeRunFiles ? std::move(makeRunFiles) : PlatformRunFiles) {
  Create(owner);
  HWND box = Control("txtResults");
  // The default limit (30,000 characters) would cut a long log short.
  ::SendMessageW(box, EM_SETLIMITTEXT, 0, 0);
  resultsBox_.Attach(box, [this] {
    if (run_ != nullptr) NoteRunAtWork();
  });
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
  // Shown at once, not only when the mouse next moves.
  ::SetCursor(::LoadCursorW(nullptr, pointer == MousePointer::Hourglass ? IDC_WAIT : IDC_ARROW));
  if (pointer == MousePointer::Default) {
    // Let the control under the mouse choose its own pointer again (an edit's I-beam).
    POINT mouse{};
    if (::GetCursorPos(&mouse)) ::SetCursorPos(mouse.x, mouse.y);
  }
}

void frmMain::ShowMessage(std::string_view text) {
  if (run_ != nullptr) NoteRunAtWork();
  ::MessageBoxW(Handle(), Wide(text).c_str(), Wide(version::kProductName).c_str(), MB_OK);
}

std::string frmMain::InputBox(std::string_view prompt, std::string_view title,
                              std::string_view defaultText) {
  if (run_ != nullptr) NoteRunAtWork();
  return ShowInputBox(Handle(), prompt, title, defaultText);
}

LRESULT frmMain::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kRunOnWindowThread:
      if (const auto* call = workerCall_.exchange(nullptr)) (*call)();
      return 0;
    case WM_TIMER:
      if (wParam == kDrainTimer && run_ != nullptr) run_->DrainLog();
      return 0;
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
    case WM_QUERYENDSESSION:  // another program may still cancel the log-off or shut-down
      return TRUE;
    case WM_ENDSESSION:  // the program may be ended once this returns: a run ends between two files
      if (wParam == FALSE || run_ == nullptr) return 0;
      RequestClose();
      // Not while one of the run's boxes is open (it keeps this window disabled): the run then
      // waits for the box, which cannot close before this returns, and nothing is being moved.
      // What the user did meanwhile is dropped: the program is ending.
      if (::IsWindowEnabled(Handle())) WaitFor(*run_);
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
  // A run ends after the file it is handling, with its closing entry; the About dialog is simply
  // unloaded.
  closeRequested_ = true;
  if (run_ != nullptr) run_->RequestStop();
  if (about_) about_->Unload();
}

// Keys and clicks to the window or its controls; the title bar stays the system's, so the window
// can be moved and its close box asks to close, as the system does.
bool frmMain::IsUserInputToThisWindow(const MSG& message) const {
  if (message.hwnd == Handle()) return IsKeyOrMouse(message.message);
  return ::IsChild(Handle(), message.hwnd) &&
         (IsKeyOrMouse(message.message) || IsNonClientMouse(message.message));
}

std::vector<MSG> frmMain::WaitFor(ThreadedRun& run) {
  int quitCode = 0;
  bool quit = false;
  std::vector<MSG> held;
  const auto answerPending = [&] {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        quit = true;
        quitCode = static_cast<int>(message.wParam);
      } else if (IsUserInputToThisWindow(message)) {
        held.push_back(message);
      } else {
        DeliverMessage(message);
      }
    }
  };
  while (!run.Finished()) {
    // Woken by any message, sent ones included (the worker's calls, another program's pings), and
    // by the worker's end; the timeout only guards against a lost wake.
    ::MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(kLogDrainInterval.count()),
                                  QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    answerPending();
  }
  answerPending();
  if (quit) ::PostQuitMessage(quitCode);
  return held;
}

// The run is at work while it opens a box or adds to the log; the pointer going back to the arrow
// shows it is over.
void frmMain::NoteRunAtWork() { runLastAtWork_ = ::GetTickCount(); }

// Input made since the run was last seen at work was meant for the window the user saw then: no
// run going on. The rest was made while the run worked and is dropped. Non-client clicks (the
// results box's scroll bars) are dropped too: given back, they would start dragging a scroll bar
// with no button held down.
void frmMain::ReplayInputMadeAfterTheRun(const std::vector<MSG>& held) const {
  for (const MSG& input : held) {
    const bool madeAfter = static_cast<LONG>(input.time - runLastAtWork_) >= 0;
    if (madeAfter && IsKeyOrMouse(input.message)) {
      ::PostMessageW(input.hwnd, input.message, input.wParam, input.lParam);
    }
  }
}

void frmMain::cmdOK_Click() {
  if (run_ != nullptr) return;  // no run begins inside a run
  const HWND window = Handle();
  std::vector<MSG> held;
  try {
    const RunFiles files = makeRunFiles_();
    ThreadedRun run(
        *this, *files.fileSystem, *files.files,
        [this, window](const std::function<void()>& call) {
          workerCall_.store(&call);
          ::SendMessageW(window, kRunOnWindowThread, 0, 0);
        },
        [window] { ::PostMessageW(window, WM_NULL, 0, 0); }, design::AppendLogPieceForDisplay);
    run.Start();
    run_ = &run;
    NoteRunAtWork();
    ::SetTimer(window, kDrainTimer, static_cast<UINT>(kLogDrainInterval.count()), nullptr);
    held = WaitFor(run);
    ::KillTimer(window, kDrainTimer);
    run_ = nullptr;
    run.Finish();
  } catch (const std::exception& failure) {
    // The run has put the pointer back; the window stays usable.
    ShowMessage(failure.what());
    return;
  }
  // Posted, not handled here: the main loop takes it once this handler is over, so a click on
  // Move starts a run of its own rather than one inside this one.
  ReplayInputMadeAfterTheRun(held);
}

void frmMain::cmdCancel_Click() { RequestClose(); }

void frmMain::cmdAbout_Click() {
  if (run_ != nullptr) return;
  if (!about_) about_ = std::make_unique<frmAbout>(Handle());
  about_->ShowModal();
}

void frmMain::Form_Unload() {
  if (onUnload_) onUnload_();
}

}  // namespace pellorin::win32ui
