#include "terminal_window.h"

#include <cerrno>

#include "platform/platform.h"
#include "sorting/results_log.h"
#include "terminal_text.h"

namespace pellorin::cli {
namespace {

void WriteWithNewlines(std::ostream& out, std::string_view text) {
  for (auto crLf = text.find(kCrLf); crLf != std::string_view::npos; crLf = text.find(kCrLf)) {
    out.write(text.data(), static_cast<std::streamsize>(crLf)).put('\n');
    text.remove_prefix(crLf + kCrLf.size());
  }
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

// Text that may hold a name: escaped for a terminal, byte for byte for anything else.
void AppendName(std::string& out, std::string_view text, bool escape) {
  if (escape) {
    out += EscapedForTerminal(text);
  } else {
    out += text;
  }
}

void WriteName(std::ostream& out, std::string_view text, bool escape) {
  std::string shown;
  AppendName(shown, text, escape);
  out << shown;
}

}  // namespace

// Every entry comes alone, with the CR LF that separates it from the one before. That one, and
// the CR LF that ends the one entry that has one, become newlines; any other control character is
// a name's.
void TerminalLog::Append(std::string_view text) {
  if (text.empty()) return;
  empty_ = false;
  const auto piece = SplitLogPiece(text);
  if (piece.separated && !lineEnded_) waiting_.push_back('\n');
  lineEnded_ = false;
  AppendName(waiting_, piece.entry, escapeNames_);
  if (piece.ended) waiting_.push_back('\n');
  if (std::chrono::steady_clock::now() - shown_ >= kShowInterval) Show();
}

void TerminalLog::Show(bool lastLineToo) {
  shown_ = std::chrono::steady_clock::now();
  const auto lineEnd = waiting_.rfind('\n');
  const std::size_t end =
      lastLineToo ? waiting_.size() : (lineEnd == std::string::npos ? 0 : lineEnd + 1);
  if (end == 0 || failure_) return;
  if (status_ != nullptr) status_->Clear();
  if (beforeShowing_) beforeShowing_();
  errno = 0;
  out_.write(waiting_.data(), static_cast<std::streamsize>(end));
  out_.flush();
  if (!out_) failure_ = {errno != 0 ? errno : EIO, std::generic_category()};
  midLine_ = waiting_[end - 1] != '\n';
  waiting_.erase(0, end);
  if (status_ != nullptr && !midLine_) status_->Draw();  // never over half a line
}

bool TerminalWindow::StopRequested() const {
  return platform::StopRequest() != 0 || log_.Failure() || (stopWhen_ && stopWhen_());
}

void TerminalLog::Finish() {
  if (!empty_ && !lineEnded_) waiting_.push_back('\n');
  if (status_ != nullptr) status_->Finish();
  Show(true);
}

void TerminalLog::EndLine() {
  if (!empty_ && !lineEnded_) waiting_.push_back('\n');
  lineEnded_ = !empty_;
  Show(true);
}

// The log up to a message or a question, which then begins on a line of its own, where both go to
// one terminal.
void TerminalWindow::Interrupt() {
  log_.Show(true);
  if (status_ != nullptr) status_->Clear();
  if (log_.MidLine() && streams_.outIsTerminal && streams_.errIsTerminal) streams_.err.put('\n');
}

void TerminalWindow::ShowMessage(std::string_view text) {
  Interrupt();
  WriteWithNewlines(streams_.err, text);
  streams_.err.put('\n').flush();
}

// The question's first line is ours; what follows it is the file's name.
std::string TerminalWindow::InputBox(std::string_view prompt, std::string_view /*title*/,
                                     std::string_view defaultText) {
  if (!askQuestions_) return {};
  Interrupt();
  auto& err = streams_.err;
  const bool escape = streams_.errIsTerminal;
  const auto firstLine = prompt.find(kCrLf);
  WriteName(err, prompt.substr(0, firstLine), escape);
  if (firstLine != std::string_view::npos) {
    err.put('\n');
    WriteName(err, prompt.substr(firstLine + kCrLf.size()), escape);
  }
  err << "\n[";
  WriteName(err, defaultText, escape);
  err << "] ";
  err.flush();
  std::string answer;
  if (!std::getline(streams_.in, answer)) return {};
  if (answer.ends_with('\r')) answer.pop_back();
  return answer.empty() ? std::string(defaultText) : answer;
}

}  // namespace pellorin::cli
