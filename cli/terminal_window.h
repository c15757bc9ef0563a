#pragma once

#include <istream>
#include <ostream>
#include <string>

#include "sorting/run_window.h"

namespace pellorin::cli {

// The log as it reaches a terminal: each CR LF becomes a newline, and the text is written as it
// comes, so nothing of a long run is held in memory.
class TerminalLog final : public ResultsBox {
 public:
  explicit TerminalLog(std::ostream& out) : out_(out) {}
  bool IsEmpty() const override { return empty_; }
  void Append(std::string_view text) override;
  void Clear() override {}  // nothing is written before a run clears the log
  // Ends the last entry with a newline, as a terminal expects.
  void Finish();

 private:
  std::ostream& out_;
  bool empty_ = true;
};

// A RunWindow for terminals and scripts: messages and questions go to the error stream, answers
// come one line at a time from the input stream.
class TerminalWindow final : public RunWindow {
 public:
  TerminalWindow(std::string pattern, std::string root, std::istream& in, std::ostream& out,
                 std::ostream& err, bool askQuestions)
      : pattern_(std::move(pattern)),
        root_(std::move(root)),
        in_(in),
        err_(err),
        askQuestions_(askQuestions),
        log_(out) {}

  std::string PatternText() const override { return pattern_; }
  std::string RootText() const override { return root_; }
  TerminalLog& Results() override { return log_; }
  void SetMousePointer(MousePointer) override {}
  void ShowMessage(std::string_view text) override;
  // An empty line takes the default; the end of the input answers Cancel.
  std::string InputBox(std::string_view prompt, std::string_view title,
                       std::string_view defaultText) override;

 private:
  const std::string pattern_;
  const std::string root_;
  std::istream& in_;
  std::ostream& err_;
  const bool askQuestions_;
  TerminalLog log_;
};

}  // namespace pellorin::cli
