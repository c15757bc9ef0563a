// pellorin-move end to end: the real binary on fresh folders.

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace {

using pellorin::testing::ReadFile;
using pellorin::testing::TempFolder;
using pellorin::testing::WriteFile;

// Paths here are the platform's, as the user would type them.
const std::string kSeparator(1, std::filesystem::path::preferred_separator);

#ifdef _WIN32
std::string Quote(const std::string& text) { return "\"" + text + "\""; }
int ExitStatus(int status) { return status; }
// cmd.exe drops the first and the last quote of a command that begins with one.
std::string ShellCommand(const std::string& command) { return "\"" + command + "\""; }
#else
std::string Quote(const std::string& text) { return "'" + text + "'"; }
int ExitStatus(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }
std::string ShellCommand(const std::string& command) { return command; }
#endif

struct Result {
  int status;
  std::string out, err;
};

class PellorinMoveTest : public ::testing::Test {
 protected:
  PellorinMoveTest() {
    std::filesystem::create_directory(in);
    std::filesystem::create_directory(root);
  }

  Result Run(const std::string& arguments, const std::string& input = "") {
    WriteFile(temp / "stdin", input);
    const std::string command = Quote(PELLORIN_MOVE) + " " + arguments + " <" +
                                Quote(temp / "stdin") + " >" + Quote(temp / "stdout") + " 2>" +
                                Quote(temp / "stderr");
    const int status = std::system(ShellCommand(command).c_str());
    return {ExitStatus(status), ReadFile(temp / "stdout"), ReadFile(temp / "stderr")};
  }
  std::string Operands() const { return Quote(In("*.mp3")) + " " + Quote(root); }
  std::string In(const std::string& name) const { return in + kSeparator + name; }
  std::string Root(const std::string& name) const { return root + kSeparator + name; }

  TempFolder temp;
  const std::string in = temp / "in", root = temp / "root";
};

TEST_F(PellorinMoveTest, SortsAFolderAndPrintsTheLogWithNewlines) {
  WriteFile(In("Artist - One.mp3"), "1");
  WriteFile(In("Artist - Two.mp3"), "2");
  const auto result = Run(Operands());
  EXPECT_EQ(result.out, "Directory \"" + Root("Artist") + "\" Created.\n" +
                            "File \"Artist - One.mp3\" moved.\n" + "Directory \"" + Root("Artist") +
                            "\" Exists.\n\n" + "File \"Artist - Two.mp3\" moved.\n" +
                            "2files(s) moved.\n");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(ReadFile(Root("Artist") + kSeparator + "Artist - Two.mp3"), "2");
}

TEST_F(PellorinMoveTest, AnswersComeFromStandardInput) {
  for (const char* name : {"a.mp3", "b.mp3", "c.mp3"}) WriteFile(In(name), name);
  const auto result = Run(Operands(), "Typed\n\n");  // an answer, the default, then end of input
  EXPECT_EQ(result.err,
            "Please enter the artist for the following title:\na.mp3\n[a.mp3] "
            "Please enter the artist for the following title:\nb.mp3\n[b.mp3] "
            "Please enter the artist for the following title:\nc.mp3\n[c.mp3] ");
  EXPECT_TRUE(std::filesystem::exists(Root("Typed") + kSeparator + "a.mp3"));
  EXPECT_TRUE(std::filesystem::exists(Root("b.mp3") + kSeparator + "b.mp3"));
  EXPECT_NE(result.out.find("Error: Cannot establish directory name for \"c.mp3\"\n"),
            std::string::npos);
  EXPECT_EQ(result.status, 1);

  const auto unasked = Run("--no-ask " + Operands(), "Never read\n");
  EXPECT_EQ(unasked.err, "");
  EXPECT_EQ(unasked.out,
            "Error: Cannot establish directory name for \"c.mp3\"\n0files(s) moved.\n");
  EXPECT_EQ(unasked.status, 1);
}

// Windows drops the trailing dots and blanks of a folder's name when it makes the folder: the log
// names the folder it keeps, the file goes into it and a second file finds it. Linux keeps every
// name as it is.
TEST_F(PellorinMoveTest, ArtistFolderIsTheOneTheSystemKeeps) {
  const struct {
    std::string typed, kept;  // nothing typed: the artist comes from the names
    std::vector<std::string> names;
  } cases[] = {
      {"Band ", "Band", {"a.mp3", "b.mp3"}},
      {"Mr..", "Mr", {"a.mp3", "b.mp3"}},
      {"Mr.", "Mr", {"a.mp3", "b.mp3"}},
      {"A. B.", "A. B", {"a.mp3", "b.mp3"}},
      {"Lead . ", "Lead", {"a.mp3", "b.mp3"}},
      {"", " The Band", {"( The Band ) Song.mp3", "( The Band ) Tune.mp3"}},
  };
  for (const auto& c : cases) {
    std::filesystem::remove_all(root);
    std::filesystem::create_directory(root);
    for (const auto& name : c.names) WriteFile(In(name), name);
#ifdef _WIN32
    const std::string folder = Root(c.kept);
#else
    const std::string folder = Root(c.typed.empty() ? " The Band " : c.typed);
#endif
    const auto result = Run(Operands(), c.typed.empty() ? "" : c.typed + "\n" + c.typed + "\n");
    EXPECT_EQ(result.out, "Directory \"" + folder + "\" Created.\nFile \"" + c.names[0] +
                              "\" moved.\nDirectory \"" + folder + "\" Exists.\n\nFile \"" +
                              c.names[1] + "\" moved.\n2files(s) moved.\n")
        << c.kept;
    for (const auto& name : c.names) EXPECT_EQ(ReadFile(folder + kSeparator + name), name);
  }
}

TEST_F(PellorinMoveTest, DryRunPrintsTheSameLogAndChangesNothing) {
  WriteFile(In("Artist - One.mp3"), "1");
  WriteFile(In("Artist - Two.mp3"), "2");
  std::filesystem::create_directory(Root("Taken"));
  WriteFile(In("Taken - Song.mp3"), "new");
  WriteFile(Root("Taken") + kSeparator + "Taken - Song.mp3", "old");

  const auto dry = Run("--dry-run " + Operands());
  EXPECT_TRUE(std::filesystem::exists(In("Artist - One.mp3")));
  EXPECT_FALSE(std::filesystem::exists(Root("Artist")));
  const auto real = Run(Operands());
  EXPECT_EQ(dry.out, real.out);
  EXPECT_EQ(dry.status, 1);
  EXPECT_EQ(real.status, 1);
  EXPECT_NE(real.out.find("Error moving File \"Taken - Song.mp3\""), std::string::npos);
}

TEST_F(PellorinMoveTest, RefusalsUsageAndVersion) {
  const std::string usage =
      "usage: pellorin-move [--dry-run] [--no-ask] [--] [PATTERN [ROOT]]\n"
      "       pellorin-move --help | --version\n";
  const struct {
    std::string arguments, err;
    int status;
  } cases[] = {
      {Quote(temp / "missing" + kSeparator + "*.mp3") + " " + Quote(root),
       "Invalid File Directory.\n", 2},
      {Quote("*.mp3") + " " + Quote(root), "Invalid File Directory.\n", 2},
      {Quote(In("*.mp3")) + " " + Quote(root + "x"), "Invalid Root Directory.\n", 2},
      {"--bogus", usage, 2},
      {"a b c", usage, 2},
      {"-- " + Quote("-x" + kSeparator + "*.mp3") + " " + Quote(root), "Invalid File Directory.\n",
       2},
      {"--version", "", 0},
  };
  for (const auto& c : cases) {
    const auto result = Run(c.arguments);
    EXPECT_EQ(result.err, c.err) << c.arguments;
    EXPECT_EQ(result.status, c.status) << c.arguments;
  }
  EXPECT_EQ(Run("--version").out, "pellorin-move 1.0.7\n");
}

}  // namespace
