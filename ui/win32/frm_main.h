#pragma once

// frmMain on Windows: the main window rendered natively from the design table. It is the
// RunWindow of the Move run, as the Qt window is on Linux:
//
//   Move clicked -> MoveRun on a worker (ThreadedRun) -> pattern and root texts, results box,
//     hourglass, message and input boxes, all on this window's thread -> back here
//
// While the run goes on the window answers every message (repaints, the system's pings, the log
// as it grows, WM_CLOSE and the end of the session, which end the run between two files) and
// holds the user's keys and clicks to it. Those made while the run works are dropped; those made
// after it was last seen at work (its last box closed, its closing entry shown) are handled once
// it is over. The window owns no sorting logic and never touches the file system itself.

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "designed_window.h"
#include "sorting/run_window.h"
#include "sorting/threaded_run.h"

namespace pellorin::win32ui {

class frmAbout;

// The results box: each batch of entries replaces an empty selection at the end, so a long log
// is never set again as a whole, and the edit control scrolls the newest entry into view.
class EditResultsBox final : public ResultsBox {
 public:
  // onText: told each time text is added.
  void Attach(HWND box, std::function<void()> onText);
  bool IsEmpty() const override { return ::GetWindowTextLengthW(box_) == 0; }
  void Append(std::string_view text) override;
  void Clear() override { ::SetWindowTextW(box_, L""); }

 private:
  HWND box_ = nullptr;
  std::function<void()> onText_;
};

class frmMain final : public DesignedWindow, public RunWindow {
 public:
  // owner: a window that is never shown, so that this one has no taskbar button.
  // onUnload: run when the window is unloaded.
  // makeRunFiles: what each run works on; the platform's file system unless a test says else.
  frmMain(HWND owner, std::function<void()> onUnload, std::function<RunFiles()> makeRunFiles = {});
  ~frmMain() override;

  void Show();

  std::string PatternText() const override;
  std::string RootText() const override;
  ResultsBox& Results() override { return resultsBox_; }
  void SetMousePointer(MousePointer pointer) override;
  void ShowMessage(std::string_view text) override;
  std::string InputBox(std::string_view prompt, std::string_view title,
                       std::string_view defaultText) override;

 private:
  // Marks a handler as running; a close asked for meanwhile (from outside: the About dialog and
  // the run's boxes keep this window disabled, a run drops the user's input) happens once the
  // last handler is over.
  class HandlerScope;

  LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam) override;
  // Answers this thread's messages until the run has ended; returns the user's input to this
  // window meanwhile, held in order.
  std::vector<MSG> WaitFor(ThreadedRun& run);
  bool IsUserInputToThisWindow(const MSG& message) const;
  void NoteRunAtWork();
  void ReplayInputMadeAfterTheRun(const std::vector<MSG>& held) const;
  void RequestClose();
  void cmdOK_Click();
  void cmdCancel_Click();
  void cmdAbout_Click();
  void Form_Unload();

  EditResultsBox resultsBox_;
  std::unique_ptr<frmAbout> about_;
  std::function<void()> onUnload_;
  std::function<RunFiles()> makeRunFiles_;
  ThreadedRun* run_ = nullptr;  // the run going on, if any
  DWORD runLastAtWork_ = 0;     // in GetTickCount's ticks, as MSG::time
  // The call the run's worker waits on; kRunOnWindowThread carries no pointer, so a message of
  // that number from anyone else finds nothing to run.
  std::atomic<const std::function<void()>*> workerCall_ = nullptr;
  MousePointer pointer_ = MousePointer::Default;
  int handlersRunning_ = 0;
  bool closeRequested_ = false;
};

}  // namespace pellorin::win32ui
