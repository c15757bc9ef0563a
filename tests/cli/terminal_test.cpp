// What pellorin-move writes: a terminal sees names with their control characters escaped, so a
// name can neither command it nor forge a line; a pipe or a file gets every byte of a name as it
// is. Only the line breaks between entries and after a question's first line are the program's.

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>

#include "cli/status_line.h"
#include "cli/terminal_window.h"
#include "sorting/results_log.h"

namespace pellorin::cli {
namespace {

TEST(TerminalWriters, EscapeNamesOnATerminalAndKeepEveryByteElsewhere) {
  const std::string name = "a\x1b]0;owned\a\rb\r\nFile \"x\" moved.\x7f\xc2\x9b\xc3\xa9";
  const std::string escaped =
      "a\\x1b]0;owned\\x07\\x0db\\x0d\\x0aFile \"x\" moved.\\x7f\\xc2\\x9b\xc3\xa9";
  for (const bool terminal : {true, false}) {
    std::istringstream in("\n");
    std::ostringstream out, err;
    TerminalWindow window("p", "r", {in, out, err, terminal, terminal}, true);
    AppendResult(window.Results(), "Directory \"/r/" + name + "\" Exists.\r\n");
    AppendResult(window.Results(), "File \"" + name + "\" moved.");
    EXPECT_EQ(window.InputBox("Question:\r\n" + name, "title", name), name);  // the default
    window.Results().Finish();

    const std::string& shown = terminal ? escaped : name;
    EXPECT_EQ(out.str(),
              "Directory \"/r/" + shown + "\" Exists.\n\nFile \"" + shown + "\" moved.\n");
    // On one terminal, the question begins on a line of its own.
    EXPECT_EQ(err.str(),
              std::string(terminal ? "\n" : "") + "Question:\n" + shown + "\n[" + shown + "] ");
  }
}

// Drawn as songs are done, at most every 100 ms; taken off before the log or a question is
// written, drawn again after the log, which only ever shows whole lines below it.
TEST(TerminalWriters, StatusLineKeepsClearOfTheLogAndTheQuestions) {
  std::istringstream in("\n");
  std::ostringstream out, err;
  auto now = StatusLine::Clock::time_point{};
  TerminalWindow window("p", "r", {in, out, err, true, true}, true);
  StatusLine status(err, [&] { return now; });
  window.ShowProgress(status);
  status.Listed(4, 0);
  AppendResult(window.Results(), "File \"a\" moved.");
  status.FileDone(0);
  now += std::chrono::seconds(2);
  status.FileDone(0);
  window.Results().Show();  // no whole line yet
  AppendResult(window.Results(), "File \"b\" moved.");
  window.Results().Show();
  window.InputBox("Q:\r\nc", "t", "c");
  window.Results().Finish();

  EXPECT_EQ(out.str(), "File \"a\" moved.\nFile \"b\" moved.\n");
  const std::string line = "\r2/4 songs  1 songs/s  0:02 left\r";
  const std::string off = "\r" + std::string(line.size() - 2, ' ') + "\r";
  EXPECT_EQ(err.str(), "\r0/4 songs\r" + line + off + line + off + "\nQ:\nc\n[c] ");
}

}  // namespace
}  // namespace pellorin::cli
