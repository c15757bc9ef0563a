#pragma once

// frmMain, Pellorin's main window. It holds the two inputs of a Move run, the results box and
// three buttons, and it is the RunWindow that the run talks to:
//
//   Move clicked -> MoveRun(this, file system, enumeration) -> pattern and root texts,
//     results box, hourglass, message and input boxes -> back here
//
// The window owns no sorting logic and never touches the file system itself.

#include <QPlainTextEdit>
#include <QWidget>
#include <memory>

#include "sorting/run_window.h"

class QLineEdit;
class QPushButton;

namespace pellorin::ui {

class frmAbout;

// The results box: appending goes to the end of the document, so a long log is never laid out
// again.
class ResultsBoxAdapter final : public ResultsBox {
 public:
  explicit ResultsBoxAdapter(QPlainTextEdit* box) : box_(box) {}
  bool IsEmpty() const override { return box_->document()->isEmpty(); }
  void Append(std::string_view text) override;
  void Clear() override { box_->clear(); }

 private:
  QPlainTextEdit* box_;
};

class frmMain final : public QWidget, public RunWindow {
  Q_OBJECT

 public:
  explicit frmMain(QWidget* parent = nullptr);
  ~frmMain() override;

  std::string PatternText() const override;
  std::string RootText() const override;
  ResultsBox& Results() override { return results_; }
  void SetMousePointer(MousePointer pointer) override;
  void ShowMessage(std::string_view text) override;
  std::string InputBox(std::string_view prompt, std::string_view title,
                       std::string_view defaultText) override;

 private:
  void cmdOK_Click();
  void cmdCancel_Click();
  void cmdAbout_Click();

  QLineEdit* txtFiles_;
  QLineEdit* txtDir_;
  QPlainTextEdit* txtResults_;
  ResultsBoxAdapter resultsBox_;
  // What the run sees: one insertion into the box per batch, not one per entry.
  GatheringResultsBox results_;
  std::unique_ptr<frmAbout> about_;
  bool busy_ = false;
};

}  // namespace pellorin::ui
