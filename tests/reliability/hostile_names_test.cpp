// Names that break careless programs: the longest a folder can hold, line breaks, bytes that are
// not UTF-8, wildcards and quotes, leading dashes, path forms, NUL, case twins. Each is moved
// under its exact name or refused with its entry, never mangled, on one device and across two.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "real_run.h"
#include "support/temp_folder.h"

namespace pellorin::testing {
namespace {

namespace fs = std::filesystem;

const std::string kLongest(255 - std::string("A - .mp3").size(), 'x');  // 255 bytes with them

struct HostileName {
  std::string name;
  std::string answer;  // for names the rules give no artist: what the user types
};

std::vector<HostileName> HostileNames() {
  return {
      {"A - " + kLongest + ".mp3", ""},
      {"(" + std::string(253, 'y') + ")", ""},  // a 253-byte artist folder from a 255-byte name
      {"Long.mp3", std::string(300, 'z')},      // an artist no folder name can hold
      {"A - line\nbreak.mp3", ""},
      {"A - carriage\rreturn.mp3", ""},
      {"(Two\r\nLines) song.mp3", ""},
      {"\xff\xfe - not UTF8.mp3", ""},
      {"(\xc3\x28) broken sequence.mp3", ""},
      {"Ok - \x80\x81.mp3", ""},
      {"-dash - start.mp3", "-dash"},
      {"--help.mp3", "--version"},
      {"ABBA - upper.mp3", ""},  // a folder "abba" is already there
      {"(..) up.mp3", ""},
      {"(.) here.mp3", ""},
      {" .. - dots.mp3", ""},
      {"up.mp3", "../escape"},
      {"slash.mp3", "AC/DC"},
      {"absolute.mp3", "/etc"},
      {"nul.mp3", std::string("a\0b", 3)},
      {"A - [x]*?.mp3", ""},
      {"A - \"quoted\".mp3", ""},
      {"%s%n - format.mp3", ""},
      {"Back\\slash - x.mp3", ""},
      {"A - trailing blank.mp3 ", ""},
      {"   ", "Blank"},
      {"tab\tin - name.mp3", ""},
  };
}

bool OnAnotherDevice(const std::string& a, const std::string& b) {
  struct stat first {
  }, second{};
  return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
         first.st_dev != second.st_dev;
}

void ExpectHostileNamesFiledOrRefused(const fs::path& rootBase) {
  const TempFolder temp, rootTemp(rootBase);
  const std::string in = temp / "in", root = rootTemp / "root";
  fs::create_directory(in);
  fs::create_directories(root + "/abba");
  RealRunSetup setup{.in = in, .root = root, .tops = {temp.path(), rootTemp.path()}};
  const auto names = HostileNames();
  for (const auto& hostile : names) WriteFile(in + "/" + hostile.name, "bytes of " + hostile.name);
  // Questions come in the enumeration's order, by name, so the answers are put in that order.
  auto sorted = names;
  std::sort(sorted.begin(), sorted.end(),
            [](const auto& a, const auto& b) { return a.name < b.name; });
  for (const auto& hostile : sorted) {
    if (!hostile.answer.empty()) setup.answers.push_back(hostile.answer);
  }

  const auto result = RunAndJudge(setup);
  EXPECT_TRUE(result.verdict.problems.empty())
      << ::testing::PrintToString(result.verdict.problems) << "\n"
      << result.record.log;
  EXPECT_EQ(result.record.offered.size(), names.size()) << "every name is offered";
  EXPECT_TRUE(fs::exists(root + "/abba")) << "the case twin made its own folder beside it";
  EXPECT_TRUE(fs::exists(root + "/ABBA/ABBA - upper.mp3"));
  EXPECT_FALSE(fs::exists(rootTemp / "escape"));
  std::printf("[ figures  ] hostile names: %zu tried, %d moved, %d refused with their entry\n",
              names.size(), result.verdict.filesMoved, result.verdict.failureEntries);
}

TEST(HostileNames, AreFiledUnderTheirExactNameOrRefusedOnOneDevice) {
  ExpectHostileNamesFiledOrRefused(fs::temp_directory_path());
}

TEST(HostileNames, AreFiledUnderTheirExactNameOrRefusedAcrossDevices) {
  if (!OnAnotherDevice(fs::temp_directory_path(), "/dev/shm")) {
    GTEST_SKIP() << "/dev/shm is on the same device as the temporary folder here";
  }
  ExpectHostileNamesFiledOrRefused("/dev/shm");
}

// The pattern's folder is itself an artist folder, under another spelling too: each file would
// be moved onto itself, and must stay as it is.
TEST(HostileNames, FilesAlreadyInTheirArtistFolderStayAsTheyAre) {
  const TempFolder temp;
  const std::string root = temp / "root";
  fs::create_directories(root + "/A");
  WriteFile(root + "/A/A - x.mp3", "in place");
  for (const std::string& in : {root + "/A", root + "/A/../A", root + "/./A"}) {
    const auto result = RunAndJudge({.in = in, .root = root, .tops = {temp.path()}});
    EXPECT_TRUE(result.verdict.problems.empty())
        << ::testing::PrintToString(result.verdict.problems) << "\n"
        << result.record.log;
    EXPECT_EQ(result.verdict.failureEntries, 1) << in;
  }
  EXPECT_EQ(ReadFile(root + "/A/A - x.mp3"), "in place");
}

// Operands that look like options, after "--", in a folder of their own.
TEST(HostileNames, PatternAndRootBeginningWithADashAreOperandsAfterTheDoubleDash) {
  const TempFolder temp;
  fs::create_directory(temp / "-in");
  fs::create_directory(temp / "-root");
  WriteFile(temp / "-in/-x - song.mp3", "dashed");  // three fields: the artist is asked
  WriteFile(temp / "-in/(-paren) -.mp3", "also");
  WriteFile(temp / "stdin", "-typed\n");
  const std::string command = "cd '" + temp.path().string() + "' && '" + PELLORIN_MOVE +
                              "' -- '-in/*.mp3' -root <stdin >stdout 2>stderr";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << ReadFile(temp / "stdout") << ReadFile(temp / "stderr");
  EXPECT_EQ(ReadFile(temp / "-root/-typed/-x - song.mp3"), "dashed");
  EXPECT_EQ(ReadFile(temp / "-root/-paren/(-paren) -.mp3"), "also");
  EXPECT_TRUE(ReadFile(temp / "stdout").ends_with("2files(s) moved.\n"));
}

}  // namespace
}  // namespace pellorin::testing
