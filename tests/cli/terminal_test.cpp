// What pellorin-move writes: a terminal sees names with their control characters escaped, so a
// name can neither command it nor forge a line; a pipe or a file gets every byte of a name as it
// is. Only the line breaks between entries and after a question's first line are the program's.

#include <gtest/gtest.h>

#include <sstream>

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
    EXPECT_EQ(err.str(), "Question:\n" + shown + "\n[" + shown + "] ");
  }
}

}  // namespace
}  // namespace pellorin::cli
