#pragma once

// frmMain, Pellorin's main window. It holds the two inputs of a Move run, the results box and
// three buttons, and it is the RunWindow that the run talks to:
//
//   Move clicked -> MoveRun on a worker (ThreadedRun) -> pattern and root texts, results box,
//     hourglass, message and input boxes, all on this window's thread -> back here
//
// While the run goes on the window keeps answering its events (repaints, the log as it grows,
// a close request, which ends the run between two files) and holds the user's input to it.
// Input made while the run works is dropped; input made after it was last seen at work (its
// last box closed, its closing entry shown) is handled once it is over. The window owns no
// sorting logic and never touches the file system itself.

#include <QPlainTextEdit>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "sorting/run_window.h"
#include "sorting/threaded_run.h"

class QLineEdit;
class QPushButton;

namespace pellorin::ui {

class frmAbout;

// The results box: appending goes to the end of the document, so a long log is never laid out
// again, and the newest entry is scrolled into view.
class ResultsBoxAdapter final : public ResultsBox {
 public:
  // onText: told each time text is added.
  ResultsBoxAdapter(QPlainTextEdit* box, std::function<void()> onText)
      : box_(box), onText_(std::move(onText)) {}
  bool IsEmpty() const override { return box_->document()->isEmpty(); }
  void Append(std::string_view text) override;
  void Clear() override { box_->clear(); }

 private:
  QPlainTextEdit* box_;
  std::function<void()> onText_;
};

class frmMain final : public QWidget, public RunWindow {
  Q_OBJECT

 public:
  // makeRunFiles: what each run works on; the platform's file system unless a test says else.
  explicit frmMain(QWidget* parent = nullptr, std::function<RunFiles()> makeRunFiles = {});
  ~frmMain() override;

  std::string PatternText() const override;
  std::string RootText() const override;
  ResultsBox& Results() override { return resultsBox_; }
  void SetMousePointer(MousePointer pointer) override;
  void ShowMessage(std::string_view text) override;
  std::string InputBox(std::string_view prompt, std::string_view title,
                       std::string_view defaultText) override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  class InputHolder;
  struct HeldInput {
    QPointer<QObject> receiver;
    std::unique_ptr<QEvent> event;
  };

  // Answers the window's events until the run has ended, the log drained into the box on a
  // timer, then finishes it; returns the user's input to this window made after the run was
  // last seen at work. Throws what ended the run.
  std::vector<HeldInput> RunToTheEnd(ThreadedRun& run);
  void NoteRunAtWork();
  static void GiveBack(std::vector<HeldInput> input);
  void cmdOK_Click();
  void cmdCancel_Click();
  void cmdAbout_Click();

  QLineEdit* txtFiles_;
  QLineEdit* txtDir_;
  QPlainTextEdit* txtResults_;
  ResultsBoxAdapter resultsBox_;
  std::unique_ptr<frmAbout> about_;
  std::function<RunFiles()> makeRunFiles_;
  ThreadedRun* run_ = nullptr;          // the run going on, if any
  InputHolder* inputHolder_ = nullptr;  // while a run goes on, up to its end
  bool closeRequested_ = false;
  bool busy_ = false;
};

}  // namespace pellorin::ui
