#include "terminal_window.h"

#include "sorting/results_log.h"

namespace pellorin::cli {
namespace {

void WriteWithNewlines(std::ostream& out, std::string_view text) {
  for (auto crLf = text.find(kCrLf); crLf != std::string_view::npos; crLf = text.find(kCrLf)) {
    out.write(text.data(), static_cast<std::streamsize>(crLf)).put('\n');
    text.remove_prefix(crLf + kCrLf.size());
  }
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

}  // namespace

void TerminalLog::Append(std::string_view text) {
  WriteWithNewlines(out_, text);
  if (!text.empty()) empty_ = false;
}

void TerminalLog::Finish() {
  if (!empty_) out_.put('\n');
  out_.flush();
}

void TerminalWindow::ShowMessage(std::string_view text) {
  WriteWithNewlines(err_, text);
  err_.put('\n').flush();
}

std::string TerminalWindow::InputBox(std::string_view prompt, std::string_view /*title*/,
                                     std::string_view defaultText) {
  if (!askQuestions_) return {};
  WriteWithNewlines(err_, prompt);
  err_ << "\n[" << defaultText << "] ";
  err_.flush();
  std::string answer;
  if (!std::getline(in_, answer)) return {};
  if (answer.ends_with('\r')) answer.pop_back();
  return answer.empty() ? std::string(defaultText) : answer;
}

}  // namespace pellorin::cli
