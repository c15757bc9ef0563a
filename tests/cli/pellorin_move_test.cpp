// pellorin-move end to end: the real binary on fresh folders.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "support/temp_folder.h"

namespace {

using pellorin::testing::ReadFile;
using pellorin::testing::TempFolder;
using pellorin::testing::WriteFile;

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
    const std::string command = std::string(PELLORIN_MOVE) + " " + arguments + " <" +
                                (temp / "stdin") + " >" + (temp / "stdout") + " 2>" +
                                (temp / "stderr");
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(temp / "stdout"),
            ReadFile(temp / "stderr")};
  }
  std::string Operands() const { return "'" + in + "/*.mp3' '" + root + "'"; }

  TempFolder temp;
  const std::string in = temp / "in", root = temp / "root";
};

TEST_F(PellorinMoveTest, SortsAFolderAndPrintsTheLogWithNewlines) {
  WriteFile(in + "/Artist - One.mp3", "1");
  WriteFile(in + "/Artist - Two.mp3", "2");
  const auto result = Run(Operands());
  EXPECT_EQ(result.out, "Directory \"" + root + "/Artist\" Created.\n" +
                            "File \"Artist - One.mp3\" moved.\n" + "Directory \"" + root +
                            "/Artist\" Exists.\n\n" + "File \"Artist - Two.mp3\" moved.\n" +
                            "2files(s) moved.\n");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(ReadFile(root + "/Artist/Artist - Two.mp3"), "2");
}

TEST_F(PellorinMoveTest, AnswersComeFromStandardInput) {
  for (const char* name : {"a.mp3", "b.mp3", "c.mp3"}) WriteFile(in + "/" + name, name);
  const auto result = Run(Operands(), "Typed\n\n");  // an answer, the default, then end of input
  EXPECT_EQ(result.err,
            "Please enter the artist for the following title:\na.mp3\n[a.mp3] "
            "Please enter the artist for the following title:\nb.mp3\n[b.mp3] "
            "Please enter the artist for the following title:\nc.mp3\n[c.mp3] ");
  EXPECT_TRUE(std::filesystem::exists(root + "/Typed/a.mp3"));
  EXPECT_TRUE(std::filesystem::exists(root + "/b.mp3/b.mp3"));
  EXPECT_NE(result.out.find("Error: Cannot establish directory name for \"c.mp3\"\n"),
            std::string::npos);
  EXPECT_EQ(result.status, 1);

  const auto unasked = Run("--no-ask " + Operands(), "Never read\n");
  EXPECT_EQ(unasked.err, "");
  EXPECT_EQ(unasked.out,
            "Error: Cannot establish directory name for \"c.mp3\"\n0files(s) moved.\n");
  EXPECT_EQ(unasked.status, 1);
}

TEST_F(PellorinMoveTest, DryRunPrintsTheSameLogAndChangesNothing) {
  WriteFile(in + "/Artist - One.mp3", "1");
  WriteFile(in + "/Artist - Two.mp3", "2");
  std::filesystem::create_directory(root + "/Taken");
  WriteFile(in + "/Taken - Song.mp3", "new");
  WriteFile(root + "/Taken/Taken - Song.mp3", "old");

  const auto dry = Run("--dry-run " + Operands());
  EXPECT_TRUE(std::filesystem::exists(in + "/Artist - One.mp3"));
  EXPECT_FALSE(std::filesystem::exists(root + "/Artist"));
  const auto real = Run(Operands());
  EXPECT_EQ(dry.out, real.out);
  EXPECT_EQ(dry.status, 1);
  EXPECT_EQ(real.status, 1);
  EXPECT_NE(real.out.find("Error moving File \"Taken - Song.mp3\""), std::string::npos);
}

TEST_F(PellorinMoveTest, RefusalsUsageAndVersion) {
  const struct {
    std::string arguments, err;
    int status;
  } cases[] = {
      {"'" + temp / "missing/*.mp3' '" + root + "'", "Invalid File Directory.\n", 2},
      {"'*.mp3' '" + root + "'", "Invalid File Directory.\n", 2},
      {"'" + in + "/*.mp3' '" + temp / "missing'", "Invalid Root Directory.\n", 2},
      {"--bogus", "usage: pellorin-move [--dry-run] [--no-ask] [PATTERN [ROOT]]\n", 2},
      {"a b c", "usage: pellorin-move [--dry-run] [--no-ask] [PATTERN [ROOT]]\n", 2},
      {"-- '-x/*.mp3' '" + root + "'", "Invalid File Directory.\n", 2},
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
