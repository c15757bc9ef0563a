#pragma once

#include <chrono>
#include <functional>
#include <istream>
#include <ostream>
#include <string>
#include <system_error>

#include "sorting/run_window.h"
#include "status_line.h"

namespace pellorin::cli {

// Where a run talks to its user, and which of the two output streams reach a terminal: names are
// shown escaped there, and written byte for byte to files and pipes.
struct TerminalStreams {
  std::istream& in;
  std::ostream& out;
  std::ostream& err;
  bool outIsTerminal = false;
  bool errIsTerminal = false;
};

// The log as it reaches a terminal, a file or a pipe: each CR LF becomes a newline. Entries are
// written out at least every kShowInterval, and whenever the run asks or tells something, so that
// nothing of a long run is held for long; before they are, the hook makes durable what must be
// (the journal, which never knows less than the log has shown). The last entry, which its
// newline follows only with the next entry, waits for it, so that a status line below the log
// never covers half a line.
class TerminalLog final : public ResultsBox {
 public:
  static constexpr std::chrono::milliseconds kShowInterval{250};

  TerminalLog(std::ostream& out, bool escapeNames) : out_(out), escapeNames_(escapeNames) {}
  bool IsEmpty() const override { return empty_; }
  void Append(std::string_view text) override;
  void Clear() override {}  // nothing is written before a run clears the log
  void BeforeShowing(std::function<void()> hook) { beforeShowing_ = std::move(hook); }
  void KeepClearOf(StatusLine& status) { status_ = &status; }
  // Writes out the whole lines that wait, or everything.
  void Show(bool lastLineToo = false);
  // Ends the last entry with a newline, as a terminal expects, and writes out everything.
  void Finish();
  // The same for a log that goes on later (a watch between songs): the next entry then needs no
  // newline before it.
  void EndLine();
  // Whether what was written last ends inside a line.
  bool MidLine() const { return midLine_; }
  // Why the log could not be written (its reader went away, its disk is full); nothing is written
  // after that.
  std::error_code Failure() const { return failure_; }

 private:
  std::ostream& out_;
  const bool escapeNames_;
  bool empty_ = true;
  bool midLine_ = false;
  bool lineEnded_ = false;  // by EndLine, since the last entry
  std::string waiting_;
  std::chrono::steady_clock::time_point shown_ = std::chrono::steady_clock::now();
  std::function<void()> beforeShowing_;
  StatusLine* status_ = nullptr;
  std::error_code failure_;
};

// A RunWindow for terminals and scripts: messages and questions go to the error stream, answers
// come one line at a time from the input stream.
class TerminalWindow final : public RunWindow {
 public:
  TerminalWindow(std::string pattern, std::string root, TerminalStreams streams, bool askQuestions)
      : pattern_(std::move(pattern)),
        root_(std::move(root)),
        streams_(streams),
        askQuestions_(askQuestions),
        log_(streams.out, streams.outIsTerminal) {}

  std::string PatternText() const override { return pattern_; }
  std::string RootText() const override { return root_; }
  TerminalLog& Results() override { return log_; }
  const TerminalLog& Log() const { return log_; }
  // A status line to keep clear of the log and the questions.
  void ShowProgress(StatusLine& status) {
    status_ = &status;
    log_.KeepClearOf(status);
  }
  void SetMousePointer(MousePointer) override {}
  void ShowMessage(std::string_view text) override;
  // An empty line takes the default; the end of the input answers Cancel. The answer is used as
  // typed.
  std::string InputBox(std::string_view prompt, std::string_view title,
                       std::string_view defaultText) override;
  // On a request to stop (Ctrl+C, a signal), when the log cannot be written, or when the hook says.
  bool StopRequested() const override;
  void StopWhen(std::function<bool()> hook) { stopWhen_ = std::move(hook); }

 private:
  void Interrupt();

  const std::string pattern_;
  const std::string root_;
  TerminalStreams streams_;
  const bool askQuestions_;
  TerminalLog log_;
  StatusLine* status_ = nullptr;
  std::function<bool()> stopWhen_;
};

}  // namespace pellorin::cli
