// The native Windows windows against their design table, and the main window's Move run on real
// folders, driven the way a person drives them: key presses, clicks, answers in modal boxes.
//
// These run under Wine with Xvfb. Wine is not Windows: the visual style (Wine draws its own
// theme), the fonts (Wine maps "MS Shell Dlg 2" and Times New Roman to the fonts it has) and any
// DPI other than 96 are not what a Windows machine shows, and are not asserted here beyond the
// numbers that follow from the design table at the window's own DPI.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/wide_text.h"
#include "sorting/results_log.h"
#include "support/scripted_window.h"
#include "support/slow_file_system.h"
#include "support/temp_folder.h"
#include "ui/design/window_design.h"
#include "ui/win32/frm_about.h"
#include "ui/win32/frm_main.h"
#include "ui/win32/resource_ids.h"

namespace pellorin::win32ui {
namespace {

using design::ControlDesign;
using design::ControlKind;
using design::WindowDesign;
using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;
using namespace std::chrono_literals;

constexpr int kLongRunSongs = 12;

RunFiles SlowFiles() { return testing::SlowPlatformFiles(100ms); }

std::wstring ClassName(HWND window) {
  wchar_t name[64] = {};
  ::GetClassNameW(window, name, 64);
  return name;
}

std::string Utf8Of(const std::wstring& text) { return win32::ToUtf8(text); }

LONG_PTR Style(HWND window) { return ::GetWindowLongPtrW(window, GWL_STYLE); }
LONG_PTR ExStyle(HWND window) { return ::GetWindowLongPtrW(window, GWL_EXSTYLE); }

RECT RectInParent(HWND control) {
  RECT rect{};
  ::GetWindowRect(control, &rect);
  ::MapWindowPoints(nullptr, ::GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

SIZE TextExtent(HWND control, const std::wstring& text) {
  HDC context = ::GetDC(control);
  const HGDIOBJ previous =
      ::SelectObject(context, reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)));
  SIZE extent{};
  ::GetTextExtentPoint32W(context, text.c_str(), static_cast<int>(text.size()), &extent);
  ::SelectObject(context, previous);
  ::ReleaseDC(control, context);
  return extent;
}

// Delivers the thread's messages as the program's loop does, until done() or about 5 seconds.
bool PumpUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DeliverMessage(message);
  }
  return true;
}

// Presses keys as the keyboard would: into the input queue, to the window with the focus.
void PressKeys(std::initializer_list<WORD> keys) {
  std::vector<INPUT> events;
  for (WORD key : keys) {
    INPUT down{};
    down.type = INPUT_KEYBOARD;
    down.ki.wVk = key;
    events.push_back(down);
  }
  for (auto key = std::rbegin(keys); key != std::rend(keys); ++key) {
    INPUT up{};
    up.type = INPUT_KEYBOARD;
    up.ki.wVk = *key;
    up.ki.dwFlags = KEYEVENTF_KEYUP;
    events.push_back(up);
  }
  ::SendInput(static_cast<UINT>(events.size()), events.data(), sizeof(INPUT));
}

// The answer to the next modal window that this thread opens, given from inside its own modal
// loop: a thread timer fires there and looks for a visible, enabled window other than the main
// one.
struct ModalAnswer {
  HWND mainWindow = nullptr;
  std::function<void(HWND)> answer;
  int triesLeft = 0;
  bool answered = false;
};
ModalAnswer pendingAnswer;

BOOL CALLBACK FindModal(HWND window, LPARAM found) {
  if (window != pendingAnswer.mainWindow && ::IsWindowVisible(window) &&
      ::IsWindowEnabled(window)) {
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
  }
  return TRUE;
}

void CALLBACK LookForModal(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND modal = nullptr;
  ::EnumThreadWindows(::GetCurrentThreadId(), &FindModal, reinterpret_cast<LPARAM>(&modal));
  if (modal == nullptr && --pendingAnswer.triesLeft > 0) return;
  ::KillTimer(nullptr, timer);
  ASSERT_NE(modal, nullptr) << "no modal window opened";
  pendingAnswer.answered = true;
  pendingAnswer.answer(modal);
}

void WhenModalOpens(HWND mainWindow, std::function<void(HWND)> answer) {
  pendingAnswer = {mainWindow, std::move(answer), 250, false};
  ::SetTimer(nullptr, 0, 20, &LookForModal);
}

// The pointer that the window under the mouse would show, asked the way Windows asks it.
HCURSOR PointerOver(HWND control) {
  ::SendMessageW(control, WM_SETCURSOR, reinterpret_cast<WPARAM>(control),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  return ::GetCursor();
}

HCURSOR Hourglass() { return ::LoadCursorW(nullptr, IDC_WAIT); }

void ExpectCentredOver(HWND window, const RECT& area) {
  RECT own{};
  ::GetWindowRect(window, &own);
  EXPECT_NEAR(own.left + own.right, area.left + area.right, 1);
  EXPECT_NEAR(own.top + own.bottom, area.top + area.bottom, 1);
}

void CheckAgainstDesign(const DesignedWindow& window, const WindowDesign& design) {
  const HWND handle = window.Handle();
  const int dpi = WindowDpi(handle);
  if (const char* expected = std::getenv("PELLORIN_TEST_DPI")) {
    EXPECT_EQ(dpi, std::atoi(expected));
  }
  RECT client{};
  ::GetClientRect(handle, &client);
  EXPECT_EQ(client.right, design::TwipsToPixels(design.clientWidthTwips, dpi));
  EXPECT_EQ(client.bottom, design::TwipsToPixels(design.clientHeightTwips, dpi));
  EXPECT_TRUE(Style(handle) & WS_SYSMENU);
  EXPECT_FALSE(Style(handle) & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
  // An owned window has no taskbar button, unless it asks for one.
  const HWND owner = ::GetWindow(handle, GW_OWNER);
  EXPECT_NE(owner, nullptr);
  EXPECT_FALSE(ExStyle(handle) & WS_EX_APPWINDOW);
  EXPECT_NE(::GetClassLongPtrW(handle, GCLP_HICON), 0u);
  EXPECT_NE(::GetClassLongPtrW(handle, GCLP_HICONSM), 0u);

  std::vector<std::pair<int, HWND>> tabOrder;
  for (const ControlDesign& control : design.controls) {
    SCOPED_TRACE(control.ObjectName());
    if (control.kind == ControlKind::Line) continue;  // painted by the window, not a control
    const HWND handleOfControl = window.Control(control.name, control.groupIndex);
    ASSERT_NE(handleOfControl, nullptr);
    const RECT designed = PixelRect(control.rect, dpi);
    const RECT actual = RectInParent(handleOfControl);
    EXPECT_EQ(actual.left, designed.left);
    EXPECT_EQ(actual.top, designed.top);
    switch (control.kind) {
      case ControlKind::Label:
        EXPECT_EQ(ClassName(handleOfControl), L"Static");
        if (control.sizedToText) {
          EXPECT_EQ(WindowText(handleOfControl), Wide(control.text));
          EXPECT_GE(actual.right - actual.left, TextExtent(handleOfControl, Wide(control.text)).cx);
        }
        break;
      case ControlKind::TextBox: {
        EXPECT_EQ(ClassName(handleOfControl), L"Edit");
        EXPECT_EQ(actual.right, designed.right);
        EXPECT_EQ(actual.bottom, designed.bottom);
        const LONG_PTR scrolling = WS_HSCROLL | WS_VSCROLL | ES_MULTILINE | ES_AUTOHSCROLL;
        EXPECT_EQ(Style(handleOfControl) & scrolling,
                  control.multiLine ? scrolling : ES_AUTOHSCROLL);
        EXPECT_FALSE(Style(handleOfControl) & ES_READONLY);
        break;
      }
      case ControlKind::CommandButton:
        EXPECT_EQ(ClassName(handleOfControl), L"Button");
        EXPECT_EQ(actual.right, designed.right);
        EXPECT_EQ(actual.bottom, designed.bottom);
        EXPECT_EQ(WindowText(handleOfControl), Wide(control.text));
        EXPECT_EQ((Style(handleOfControl) & BS_TYPEMASK) == BS_DEFPUSHBUTTON,
                  control.role == design::ButtonRole::DefaultAndCancel);
        break;
      case ControlKind::PictureBox:
        EXPECT_EQ(ClassName(handleOfControl), L"Static");
        EXPECT_TRUE(ExStyle(handleOfControl) & WS_EX_CLIENTEDGE);  // the sunken border
        EXPECT_EQ(actual.right - actual.left,
                  design::kAboutPictureWidth + 2 * design::kPictureBorderPixels);
        EXPECT_EQ(actual.bottom - actual.top,
                  design::kAboutPictureHeight + 2 * design::kPictureBorderPixels);
        break;
      case ControlKind::Line:
        break;
    }
    if (control.TakesFocus()) tabOrder.emplace_back(control.tabIndex, handleOfControl);
  }
  std::sort(tabOrder.begin(), tabOrder.end());
  for (std::size_t i = 0; i < tabOrder.size(); ++i) {
    const HWND next = tabOrder[(i + 1) % tabOrder.size()].second;
    EXPECT_EQ(::GetNextDlgTabItem(handle, tabOrder[i].second, FALSE), next) << "after " << i;
  }
}

class Win32Windows : public ::testing::Test {
 protected:
  void SetUp() override {
    owner_ = ::CreateWindowExW(0, L"Static", L"Pellorin", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                               ::GetModuleHandleW(nullptr), nullptr);
    ShowWindow({});
  }

  void ShowWindow(std::function<RunFiles()> makeRunFiles) {
    window_ = std::make_unique<frmMain>(
        owner_,
        [this] {
          unloaded_ = true;
          logWhenUnloaded_ = WindowText(resultsBox_);
        },
        std::move(makeRunFiles));
    unloaded_ = false;
    resultsBox_ = Control("txtResults");
    window_->Show();
    ::SetForegroundWindow(window_->Handle());
    std::filesystem::remove_all(folders_.path() / "in");
    std::filesystem::remove_all(folders_.path() / "root");
    std::filesystem::create_directory(folders_.path() / "in");
    std::filesystem::create_directory(folders_.path() / "root");
    SetText("txtFiles", folders_ / "in\\*.mp3");
    SetText("txtDir", Root());
  }

  void TearDown() override {
    window_.reset();
    ::DestroyWindow(owner_);
  }

  HWND Control(const char* name, int groupIndex = -1) const {
    return window_->Control(name, groupIndex);
  }
  void SetText(const char* name, const std::string& text) {
    ::SetWindowTextW(Control(name), Wide(text).c_str());
  }
  std::wstring Results() const { return WindowText(Control("txtResults")); }
  std::string Root() const { return folders_ / "root"; }
  void WriteSong(const std::string& name) { WriteFile(folders_.path() / "in" / name, "music"); }
  // A click as BM_CLICK makes it: the handler runs, and with it any modal box it opens.
  void Click(const char* name) { ::SendMessageW(Control(name), BM_CLICK, 0, 0); }

  // One artist each, so the run's log is two lines a song; returns the log without its count.
  std::wstring WriteLongRunSongs() {
    std::wstring log;
    for (int song = 0; song < kLongRunSongs; ++song) {
      const std::string artist = std::string("Artist ") + char('A' + song);
      WriteSong(artist + " - Title.mp3");
      log += std::wstring(log.empty() ? L"" : L"\r\n") + L"Directory \"" + Wide(Root()) + L"\\" +
             Wide(artist) + L"\" Created.\r\nFile \"" + Wide(artist) + L" - Title.mp3\" moved.";
    }
    return log;
  }

  TempFolder folders_;
  HWND owner_ = nullptr;
  std::unique_ptr<frmMain> window_;
  HWND resultsBox_ = nullptr;
  bool unloaded_ = false;
  std::wstring logWhenUnloaded_;
};

// The text of a window of the test's main thread, asked for from another thread as another
// program would: an unanswered request counts as no text.
std::wstring TextFromAnotherThread(HWND window) {
  wchar_t text[4096] = {};
  DWORD_PTR copied = 0;
  ::SendMessageTimeoutW(window, WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text),
                        SMTO_NORMAL, 1000, &copied);
  return text;
}

std::size_t Occurrences(const std::wstring& text, const std::wstring& part) {
  std::size_t count = 0;
  for (auto at = text.find(part); at != std::wstring::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// What the box and the pointer showed, sampled between the window's messages by a thread timer
// while a run goes on.
struct RunWatch {
  HWND box = nullptr;
  std::vector<std::wstring> partialLogs;  // before the closing entry
  bool hourglassThroughout = true;
};
RunWatch* runWatch = nullptr;

void CALLBACK SampleTheRun(HWND, UINT, UINT_PTR, DWORD) {
  const std::wstring log = WindowText(runWatch->box);
  if (log.empty() || log.ends_with(L"files(s) moved.")) return;
  if (runWatch->partialLogs.empty() || runWatch->partialLogs.back() != log) {
    runWatch->partialLogs.push_back(log);
  }
  runWatch->hourglassThroughout =
      runWatch->hourglassThroughout && PointerOver(runWatch->box) == Hourglass();
}

TEST_F(Win32Windows, BothWindowsFollowTheirDesign) {
  {
    SCOPED_TRACE("frmMain");
    CheckAgainstDesign(*window_, design::MainWindowDesign());
    EXPECT_EQ(WindowText(window_->Handle()), L"Pellorin");
    EXPECT_FALSE(::IsWindowVisible(::GetWindow(window_->Handle(), GW_OWNER)));
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoW(::MonitorFromWindow(window_->Handle(), MONITOR_DEFAULTTOPRIMARY), &monitor);
    ExpectCentredOver(window_->Handle(), monitor.rcWork);
  }
  SCOPED_TRACE("frmAbout");
  frmAbout about(window_->Handle());
  CheckAgainstDesign(about, design::AboutDialogDesign());
  EXPECT_EQ(::GetWindow(about.Handle(), GW_OWNER), window_->Handle());
}

TEST_F(Win32Windows, AltMMovesTheFilesAndShowsTheLog) {
  WriteSong("Artist - One.mp3");
  WriteSong("Song.mp3");
  SetText("txtResults", "typed");
  HCURSOR pointerWhileAsked = nullptr;
  std::wstring logWhileAsked;
  WhenModalOpens(window_->Handle(), [&](HWND box) {
    logWhileAsked = Results();
    EXPECT_EQ(WindowText(box), L"Cannot find artist name.");
    EXPECT_EQ(WindowText(::GetDlgItem(box, PELLORIN_INPUT_PROMPT)),
              L"Please enter the artist for the following title:\r\nSong.mp3");
    const HWND answer = ::GetDlgItem(box, PELLORIN_INPUT_TEXT);
    EXPECT_EQ(WindowText(answer), L"Song.mp3");
    DWORD selectionStart = 99, selectionEnd = 0;
    ::SendMessageW(answer, EM_GETSEL, reinterpret_cast<WPARAM>(&selectionStart),
                   reinterpret_cast<LPARAM>(&selectionEnd));
    EXPECT_EQ(selectionStart, 0u);
    EXPECT_EQ(selectionEnd, 8u);
    pointerWhileAsked = PointerOver(Control("txtResults"));
    ::SetWindowTextW(answer, L"Typed");
    ::SendMessageW(::GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
  });
  ::SetFocus(Control("txtFiles"));
  PressKeys({VK_MENU, 'M'});
  ASSERT_TRUE(PumpUntil([&] { return Results().ends_with(L"files(s) moved."); }));
  const std::wstring root = Wide(Root());
  EXPECT_EQ(Results(), L"Directory \"" + root + L"\\Artist\" Created.\r\n" +
                           L"File \"Artist - One.mp3\" moved.\r\n" + L"Directory \"" + root +
                           L"\\Typed\" Created.\r\n" + L"File \"Song.mp3\" moved.\r\n" +
                           L"2files(s) moved.");
  // What the run has done so far is in the box while it asks.
  EXPECT_EQ(logWhileAsked, L"Directory \"" + root + L"\\Artist\" Created.\r\n" +
                               L"File \"Artist - One.mp3\" moved.");
  EXPECT_EQ(pointerWhileAsked, Hourglass());
  EXPECT_NE(PointerOver(Control("txtDir")), Hourglass());
  EXPECT_EQ(ReadFile(folders_.path() / "root" / "Typed" / "Song.mp3"), "music");
  EXPECT_EQ(ReadFile(folders_.path() / "root" / "Artist" / "Artist - One.mp3"), "music");
}

TEST_F(Win32Windows, CancelEscapeAndTheCloseBoxAnswerTheEmptyText) {
  const std::pair<const char*, std::function<void(HWND)>> ways[] = {
      {"Cancel", [](HWND box) { ::SendMessageW(::GetDlgItem(box, IDCANCEL), BM_CLICK, 0, 0); }},
      {"Escape",
       [](HWND box) {
         ::SetForegroundWindow(box);
         ::SetFocus(::GetDlgItem(box, PELLORIN_INPUT_TEXT));
         PressKeys({VK_ESCAPE});
       }},
      {"close box", [](HWND box) { ::PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0); }},
  };
  WriteSong("Song.mp3");
  for (const auto& [way, answer] : ways) {
    SCOPED_TRACE(way);
    WhenModalOpens(window_->Handle(), answer);
    Click("cmdOK");
    EXPECT_TRUE(pendingAnswer.answered);
    EXPECT_EQ(Results(),
              L"Error: Cannot establish directory name for \"Song.mp3\"\r\n0files(s) moved.");
    EXPECT_EQ(ReadFile(folders_.path() / "in" / "Song.mp3"), "music");
    EXPECT_TRUE(std::filesystem::is_empty(folders_.path() / "root"));
  }
}

TEST_F(Win32Windows, InvalidFoldersShowAMessageAndLeaveTheBox) {
  const std::pair<const char*, const wchar_t*> cases[] = {
      {"txtFiles", L"Invalid File Directory."},
      {"txtDir", L"Invalid Root Directory."},
  };
  for (const auto& [box, message] : cases) {
    SCOPED_TRACE(box);
    SetText("txtFiles", folders_ / "in\\*.mp3");
    SetText("txtDir", Root());
    SetText("txtResults", "typed");
    SetText(box, folders_ / "missing\\*.mp3");
    WhenModalOpens(window_->Handle(), [message](HWND shown) {
      EXPECT_EQ(ClassName(shown), L"#32770");
      EXPECT_EQ(WindowText(shown), L"Pellorin");
      EXPECT_EQ(WindowText(::GetDlgItem(shown, 0xFFFF)), message);  // a message box's text
      std::vector<HWND> buttons;
      for (HWND child = ::GetWindow(shown, GW_CHILD); child != nullptr;
           child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (ClassName(child) == L"Button" && ::IsWindowVisible(child)) buttons.push_back(child);
      }
      ASSERT_EQ(buttons.size(), 1u);
      EXPECT_EQ(WindowText(buttons[0]), L"OK");
      ::SendMessageW(buttons[0], BM_CLICK, 0, 0);
    });
    Click("cmdOK");
    EXPECT_TRUE(pendingAnswer.answered);
    EXPECT_EQ(Results(), L"typed");
    EXPECT_NE(PointerOver(Control("txtResults")), Hourglass());
  }
}

// The run is over once its last box has closed: a click on Move made right then, while the run
// is still ending, is the user's next click, and starts a run of its own.
TEST_F(Win32Windows, AClickJustAfterTheRunsLastBoxStartsTheNextRun) {
  SetText("txtFiles", folders_ / "missing\\*.mp3");
  int boxes = 0;
  const auto closeBox = [&boxes](HWND box) {
    ++boxes;
    EXPECT_EQ(WindowText(::GetDlgItem(box, 0xFFFF)), L"Invalid File Directory.");
    ::SendMessageW(::GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
  };
  const HWND move = Control("cmdOK");
  WhenModalOpens(window_->Handle(), [&](HWND box) {
    closeBox(box);
    ::PostMessageW(move, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    ::PostMessageW(move, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  });
  Click("cmdOK");
  ASSERT_EQ(boxes, 1);
  WhenModalOpens(window_->Handle(), closeBox);
  PumpUntil([&] { return boxes == 2; });
  EXPECT_EQ(boxes, 2) << "the click made after the box was dropped";
}

// Well past the edit control's default limit of 30,000 characters, which would cut the log.
TEST_F(Win32Windows, TheResultsBoxKeepsALongLogWhole) {
  const std::string entry = "File \"Artist - A rather long title.mp3\" moved.";
  testing::StringResultsBox log;
  for (int i = 0; i < 2000; ++i) AppendResult(log, entry);
  // In two pieces, as a run's log reaches the box.
  const std::string_view whole = log.text;
  window_->Results().Append(whole.substr(0, whole.size() / 2));
  window_->Results().Append(whole.substr(whole.size() / 2));
  const std::wstring text = Results();
  EXPECT_EQ(text.size(), 2000 * (entry.size() + 2) - 2);
  EXPECT_TRUE(text.ends_with(L"mp3\" moved."));
}

TEST_F(Win32Windows, EnterAndEscapeDoNothingAndAltCCloses) {
  WriteSong("Artist - One.mp3");
  // A letter typed after the key shows that the key has been handled before it.
  const auto pressIn = [this](const char* name, WORD key) {
    ::SetFocus(Control(name));
    PressKeys({key});
    PressKeys({'X'});
    return PumpUntil([&] { return WindowText(Control(name)).find(L'x') != std::wstring::npos; });
  };
  EXPECT_TRUE(pressIn("txtFiles", VK_RETURN));
  EXPECT_TRUE(pressIn("txtDir", VK_ESCAPE));
  EXPECT_TRUE(pressIn("txtResults", VK_ESCAPE));
  EXPECT_TRUE(::IsWindow(window_->Handle()));
  EXPECT_FALSE(unloaded_);
  EXPECT_EQ(Results(), L"x");
  EXPECT_EQ(ReadFile(folders_.path() / "in" / "Artist - One.mp3"), "music");
  PressKeys({VK_MENU, 'C'});
  EXPECT_TRUE(PumpUntil([this] { return unloaded_; }));
  EXPECT_FALSE(::IsWindow(window_->Handle()));
}

TEST_F(Win32Windows, TabWalksTheControlsInTheirOrder) {
  const char* const order[] = {"txtFiles",   "txtDir",   "cmdOK",   "cmdCancel",
                               "txtResults", "cmdAbout", "txtFiles"};
  ::SetFocus(Control(order[0]));
  for (std::size_t i = 1; i < std::size(order); ++i) {
    PressKeys({VK_TAB});
    const HWND expected = Control(order[i]);
    EXPECT_TRUE(PumpUntil([expected] { return ::GetFocus() == expected; }))
        << "Tab from " << order[i - 1] << " did not reach " << order[i];
    ::SetFocus(expected);
  }
}

// Asked to close while the run's input box waits for an answer: the answer is still taken and
// the file moved, then the window is unloaded. At the end of the session the window does not
// wait for the run meanwhile: the run waits for the box, and nothing is being moved.
TEST_F(Win32Windows, ClosingWhileTheRunAsksTakesTheAnswerFirst) {
  const std::pair<const char*, std::function<void(HWND)>> ways[] = {
      {"WM_CLOSE", [](HWND main) { ::SendMessageW(main, WM_CLOSE, 0, 0); }},
      {"end of session",
       [](HWND main) {
         EXPECT_TRUE(::SendMessageW(main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF));
         ::SendMessageW(main, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);  // returns: no deadlock
       }},
  };
  for (const auto& [way, askToClose] : ways) {
    SCOPED_TRACE(way);
    ShowWindow({});
    WriteSong("Song.mp3");
    bool stillOpenWhileAsked = false;
    WhenModalOpens(window_->Handle(), [&, askToClose = askToClose](HWND box) {
      askToClose(window_->Handle());
      stillOpenWhileAsked = ::IsWindow(window_->Handle()) != FALSE;
      ::SetWindowTextW(::GetDlgItem(box, PELLORIN_INPUT_TEXT), L"Typed");
      ::SendMessageW(::GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    });
    Click("cmdOK");
    EXPECT_TRUE(stillOpenWhileAsked);
    EXPECT_EQ(ReadFile(folders_.path() / "root" / "Typed" / "Song.mp3"), "music");
    EXPECT_TRUE(PumpUntil([this] { return unloaded_; }));
  }
}

// While a long run goes on, the window answers the system at once, shows the log as it grows
// under the hourglass, and drops what a person clicks and types meanwhile rather than doing it
// after the run; a log-off that is cancelled leaves the run alone.
TEST_F(Win32Windows, ALongRunAnswersShowsItsLogAndDropsInput) {
  ShowWindow(SlowFiles);
  const std::wstring expected = WriteLongRunSongs() + L"\r\n12files(s) moved.";
  const std::wstring pattern = WindowText(Control("txtFiles"));
  ::SetFocus(Control("txtFiles"));
  RunWatch watch;
  watch.box = resultsBox_;
  runWatch = &watch;
  const UINT_PTR sampler = ::SetTimer(nullptr, 0, 40, &SampleTheRun);

  std::atomic<bool> runEnded = false;
  int pings = 0, unanswered = 0;
  bool inputSent = false;
  const HWND main = window_->Handle(), move = Control("cmdOK"), close = Control("cmdCancel");
  std::thread anotherProgram([&] {
    while (!runEnded) {
      DWORD_PTR ignored = 0;
      ++pings;
      if (!::SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &ignored)) ++unanswered;
      if (!inputSent && !TextFromAnotherThread(resultsBox_).empty()) {
        inputSent = true;
        for (const HWND button : {move, close}) {
          ::PostMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
          ::PostMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
        }
        PressKeys({'X'});
        PressKeys({VK_MENU, 'M'});
        PressKeys({VK_MENU, 'C'});
        // A log-off that another program cancels changes nothing either.
        ::SendMessageTimeoutW(main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 1000,
                              &ignored);
        ::SendMessageTimeoutW(main, WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF, SMTO_NORMAL, 1000,
                              &ignored);
      }
      std::this_thread::sleep_for(50ms);
    }
  });
  Click("cmdOK");  // the whole run
  runEnded = true;
  anotherProgram.join();
  ::KillTimer(nullptr, sampler);
  const auto settled = std::chrono::steady_clock::now() + 300ms;  // room for a replayed click
  PumpUntil([&] { return std::chrono::steady_clock::now() > settled; });

  EXPECT_GT(pings, 0);
  EXPECT_EQ(unanswered, 0);
  EXPECT_TRUE(inputSent);
  EXPECT_GE(watch.partialLogs.size(), 2u) << "the log did not grow in the box during the run";
  for (const auto& log : watch.partialLogs) EXPECT_TRUE(expected.starts_with(log)) << Utf8Of(log);
  EXPECT_TRUE(watch.hourglassThroughout);
  EXPECT_NE(PointerOver(resultsBox_), Hourglass());
  EXPECT_FALSE(unloaded_);
  EXPECT_EQ(WindowText(Control("txtFiles")), pattern);
  EXPECT_EQ(Results(), expected);
}

// A close request from outside during a run, another program's WM_CLOSE or the end of the
// session, ends it after the file in hand with the true count; then the window is unloaded.
TEST_F(Win32Windows, ClosingFromOutsideDuringALongRunStopsItBetweenTwoFiles) {
  const auto leftIn = [this] {
    return std::distance(std::filesystem::directory_iterator(folders_.path() / "in"), {});
  };
  const std::pair<const char*, std::function<void(HWND)>> ways[] = {
      {"WM_CLOSE",
       [](HWND main) {
         DWORD_PTR ignored = 0;
         ::SendMessageTimeoutW(main, WM_CLOSE, 0, 0, SMTO_NORMAL, 5000, &ignored);
       }},
      {"end of session",
       [&leftIn](HWND main) {
         DWORD_PTR mayEnd = FALSE, ignored = 0;
         ::SendMessageTimeoutW(main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 5000,
                               &mayEnd);
         EXPECT_EQ(mayEnd, static_cast<DWORD_PTR>(TRUE));
         ::SendMessageTimeoutW(main, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL, 10000,
                               &ignored);
         // The program may be ended from here on: the run has to be over already.
         const auto left = leftIn();
         std::this_thread::sleep_for(300ms);
         EXPECT_EQ(leftIn(), left);
       }},
  };
  for (const auto& [way, askToClose] : ways) {
    SCOPED_TRACE(way);
    ShowWindow(SlowFiles);
    WriteLongRunSongs();
    const HWND main = window_->Handle();
    bool asked = false;
    std::thread anotherProgram([&, askToClose = askToClose] {
      const auto deadline = std::chrono::steady_clock::now() + 10s;
      while (Occurrences(TextFromAnotherThread(resultsBox_), L" moved.") < 2) {
        if (std::chrono::steady_clock::now() > deadline) return;
        std::this_thread::sleep_for(20ms);
      }
      asked = true;
      askToClose(main);
    });
    Click("cmdOK");
    anotherProgram.join();

    EXPECT_TRUE(asked);
    EXPECT_TRUE(unloaded_);
    EXPECT_FALSE(::IsWindow(main));
    int filed = 0;
    for (const auto& song :
         std::filesystem::recursive_directory_iterator(folders_.path() / "root")) {
      if (!song.is_regular_file()) continue;
      ++filed;
      EXPECT_EQ(ReadFile(song.path()), "music");
    }
    EXPECT_EQ(filed + leftIn(), kLongRunSongs);
    EXPECT_GT(leftIn(), 0) << "the run was not stopped";
    EXPECT_TRUE(logWhenUnloaded_.ends_with(L"\r\n" + std::to_wstring(filed) + L"files(s) moved."))
        << Utf8Of(logWhenUnloaded_);
  }
}

TEST_F(Win32Windows, ClosingWithAboutOpenUnloadsItAndEnds) {
  WhenModalOpens(window_->Handle(),
                 [this](HWND) { ::SendMessageW(window_->Handle(), WM_CLOSE, 0, 0); });
  Click("cmdAbout");  // returns: the dialog's loop has ended
  EXPECT_TRUE(pendingAnswer.answered);
  EXPECT_TRUE(PumpUntil([this] { return unloaded_; }));
}

TEST_F(Win32Windows, TheSystemMenusCloseEndsTheProgram) {
  ::SendMessageW(window_->Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_TRUE(PumpUntil([this] { return unloaded_; }));
}

TEST_F(Win32Windows, AltF4EndsTheProgram) {
  ::SetFocus(Control("txtResults"));
  PressKeys({VK_MENU, VK_F4});
  EXPECT_TRUE(PumpUntil([this] { return unloaded_; }));
}

TEST_F(Win32Windows, AboutShowsTheSameTextsEachTimeAndClosesOnEnterOrEscape) {
  for (const WORD key : {WORD{VK_RETURN}, WORD{VK_ESCAPE}}) {
    SCOPED_TRACE(key == VK_RETURN ? "Enter" : "Escape");
    WhenModalOpens(window_->Handle(), [this, key](HWND about) {
      EXPECT_EQ(WindowText(about), L"About Pellorin");
      RECT main{};
      ::GetWindowRect(window_->Handle(), &main);
      ExpectCentredOver(about, main);
      const auto& design = design::AboutDialogDesign();
      const auto label = [&](const char* name) {
        return ::GetDlgItem(about, ControlId(design, design.Control(name)));
      };
      EXPECT_EQ(WindowText(label("lblVersion")), L"Version 1.0.7");
      EXPECT_EQ(WindowText(label("lblTitle")), L"Pellorin");
      EXPECT_EQ(WindowText(label("lblDescription")),
                L"https://pellorin.example.com/\r\nmailto:pellorin@example.com");

      LOGFONTW title{};
      ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(label("lblTitle"), WM_GETFONT, 0, 0)),
                   sizeof title, &title);
      EXPECT_STREQ(title.lfFaceName, L"Times New Roman");
      EXPECT_TRUE(title.lfItalic);
      EXPECT_EQ(title.lfHeight, -::MulDiv(1575, WindowDpi(about), 7200));

      BITMAP picture{};
      const auto image = reinterpret_cast<HBITMAP>(
          ::SendMessageW(label("picIcon"), STM_GETIMAGE, IMAGE_BITMAP, 0));
      ASSERT_NE(image, nullptr);
      ::GetObjectW(image, sizeof picture, &picture);
      EXPECT_EQ(picture.bmWidth, design::kAboutPictureWidth);
      EXPECT_EQ(picture.bmHeight, design::kAboutPictureHeight);

      // Enter and Escape close the dialog whichever control has the focus.
      ::SetFocus(label("picIcon"));
      PressKeys({key});
    });
    Click("cmdAbout");  // returns once the dialog is unloaded
    EXPECT_TRUE(pendingAnswer.answered);
    EXPECT_TRUE(::IsWindowEnabled(window_->Handle()));
    // Back on the button that opened it, so that keys go on working.
    EXPECT_TRUE(PumpUntil([this] { return ::GetFocus() == Control("cmdAbout"); }));
    HWND stillShown = nullptr;
    pendingAnswer.mainWindow = window_->Handle();
    ::EnumThreadWindows(::GetCurrentThreadId(), &FindModal, reinterpret_cast<LPARAM>(&stillShown));
    EXPECT_EQ(stillShown, nullptr);
  }
}

TEST_F(Win32Windows, AboutLinesArePaintedInTheSystemColours) {
  WhenModalOpens(window_->Handle(), [](HWND about) {
    ::UpdateWindow(about);
    const auto& design = design::AboutDialogDesign();
    const int dpi = WindowDpi(about);
    ASSERT_EQ(dpi, design::kDefaultDpi) << "the rows below are those of 96 DPI";
    const RECT line = PixelRect(design.Control("Line1", 0).rect, dpi);
    HDC context = ::GetDC(about);
    const int middle = (line.left + line.right) / 2;
    // An etched groove along the line's row: the 2-pixel shadow centred on it, the 1-pixel light
    // over its lower half.
    EXPECT_EQ(::GetPixel(context, middle, line.top - 2), ::GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(::GetPixel(context, middle, line.top - 1), ::GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(::GetPixel(context, middle, line.top), ::GetSysColor(COLOR_3DLIGHT));
    EXPECT_EQ(::GetPixel(context, middle, line.top + 1), ::GetSysColor(COLOR_BTNFACE));
    ::ReleaseDC(about, context);
    ::PostMessageW(about, WM_CLOSE, 0, 0);
  });
  Click("cmdAbout");
  EXPECT_TRUE(pendingAnswer.answered);
}

// The version information that Explorer shows, and that the About dialog reads, from the
// executable's own resource.
TEST(Win32Resources, VersionInformationIsCompiledIn) {
  wchar_t path[MAX_PATH];
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  DWORD ignored = 0;
  std::vector<char> block(::GetFileVersionInfoSizeW(path, &ignored));
  ASSERT_FALSE(block.empty());
  ASSERT_TRUE(::GetFileVersionInfoW(path, 0, static_cast<DWORD>(block.size()), block.data()));
  const auto value = [&](const wchar_t* name) -> std::wstring {
    void* text = nullptr;
    UINT length = 0;
    const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    if (!::VerQueryValueW(block.data(), key.c_str(), &text, &length)) return L"<none>";
    return static_cast<const wchar_t*>(text);
  };
  EXPECT_EQ(value(L"FileVersion"), L"1.00.0007");
  EXPECT_EQ(value(L"ProductVersion"), L"1.00.0007");
  EXPECT_EQ(value(L"ProductName"), L"Pellorin");
  EXPECT_EQ(value(L"InternalName"), L"Pellorin");
  EXPECT_EQ(value(L"OriginalFilename"), L"Pellorin.exe");
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000007u);
}

}  // namespace
}  // namespace pellorin::win32ui
