// pellorin-move end to end: the real binary on fresh folders.

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/tagged_songs.h"
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

// A path from UTF-8, as the names here are spelled, whatever the system's code page.
std::filesystem::path Utf8(const std::string& text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

struct Result {
  int status;
  std::string out, err;
};

// Each file's bytes and time, and each folder, under some folders.
std::map<std::string, std::string> Snapshot(const std::vector<std::string>& tops) {
  std::map<std::string, std::string> tree;
  for (const auto& top : tops) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(top)) {
      const auto time = entry.last_write_time().time_since_epoch().count();
      tree[entry.path().string()] =
          entry.is_directory() ? "folder" : ReadFile(entry.path()) + "@" + std::to_string(time);
    }
  }
  return tree;
}

class PellorinMoveTest : public ::testing::Test {
 protected:
  PellorinMoveTest() {
    std::filesystem::create_directory(in);
    std::filesystem::create_directory(root);
    // The journals of these runs, in a folder of their own.
#ifdef _WIN32
    _putenv_s("LOCALAPPDATA", (temp / "state").c_str());
#else
    ::setenv("XDG_STATE_HOME", (temp / "state").c_str(), 1);
#endif
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
  void Song(const std::string& path, int hoursOld) {
    WriteFile(path, path);
    std::filesystem::last_write_time(
        path, std::filesystem::file_time_type::clock::now() - std::chrono::hours(hoursOld));
  }

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

// Where a name gives no artist, the tags do: unasked with --tags, as the question's default
// without.
TEST_F(PellorinMoveTest, TagsGiveTheArtistWhereTheNameGivesNone) {
  using pellorin::testing::Id3v2Tag;
  const std::string tagged = Id3v2Tag(4, {{"TPE1", "AC/DC"}}) + pellorin::testing::Mp3Frame();
  WriteFile(In("01 Track.mp3"), tagged);
  WriteFile(In("02 Track.mp3"), "no tag");
  WriteFile(In("Name - Song.mp3"), Id3v2Tag(4, {{"TPE1", "Never Read"}}));
  const auto dry = Run("--dry-run --tags --no-ask " + Operands());
  EXPECT_EQ(dry.out, "Directory \"" + Root("AC-DC") +
                         "\" Created.\nFile \"01 Track.mp3\" moved.\n" +
                         "Error: Cannot establish directory name for \"02 Track.mp3\"\n" +
                         "Directory \"" + Root("Name") + "\" Created.\n" +
                         "File \"Name - Song.mp3\" moved.\n2files(s) moved.\n");
  const auto asked = Run(Operands(), "\n\n");
  EXPECT_EQ(asked.err,
            "Please enter the artist for the following title (the default is from its tags):\n"
            "01 Track.mp3\n[AC-DC] "
            "Please enter the artist for the following title:\n02 Track.mp3\n[02 Track.mp3] ");
  EXPECT_EQ(ReadFile(Root("AC-DC") + kSeparator + "01 Track.mp3"), tagged);
  EXPECT_EQ(asked.status, 0);
}

// Windows drops the trailing dots and blanks of a folder's name when it makes the folder: the log
// names the folder it keeps, the file goes into it and a second file finds it. Linux keeps every
// name as it is.
// The folder under the root that a file system keeps for an artist: Windows drops trailing dots
// and blanks; an artist whose accents are composed (NFC) in one name and decomposed (NFD, as macOS
// keeps names) in another has one folder, the one that exists, else one made composed.
TEST_F(PellorinMoveTest, ArtistFolderIsTheOneTheSystemKeeps) {
  const std::string nfc = "Bj\xC3\xB6rk", nfd = "Bjo\xCC\x88rk";
  const struct {
    std::string typed, kept;  // nothing typed: the artist comes from the names
    std::vector<std::string> names;
    std::vector<std::string> existing = {};  // folders under the root before the run
    std::string posix = "";                  // where POSIX keeps another folder than Windows
  } cases[] = {
      {"Band ", "Band", {"a.mp3", "b.mp3"}, {}, "Band "},
      {"Mr..", "Mr", {"a.mp3", "b.mp3"}, {}, "Mr.."},
      {"Mr.", "Mr", {"a.mp3", "b.mp3"}, {}, "Mr."},
      {"A. B.", "A. B", {"a.mp3", "b.mp3"}, {}, "A. B."},
      {"Lead . ", "Lead", {"a.mp3", "b.mp3"}, {}, "Lead . "},
      {"", " The Band", {"( The Band ) Song.mp3", "( The Band ) Tune.mp3"}, {}, " The Band "},
      {"", nfd, {nfd + " - b.mp3", nfc + " - a.mp3"}, {nfd}},
      {"", nfc, {nfd + " - a.mp3", nfd + " - b.mp3"}, {nfc}},
      {"", nfc, {nfd + " - a.mp3", nfc + " - b.mp3"}},
      {"", nfd, {nfd + " - a.mp3", nfd + " - b.mp3"}, {nfc, nfd}},
#ifndef _WIN32
      {"", "\xFF", {"\xFF - a.mp3", "\xFF - b.mp3"}, {"\xFF"}},  // no UTF-8: as it is
#endif
  };
  for (const auto& c : cases) {
    std::filesystem::remove_all(root);
    std::filesystem::create_directory(root);
    for (const auto& name : c.existing) std::filesystem::create_directory(Utf8(Root(name)));
    for (const auto& name : c.names) WriteFile(Utf8(In(name)), name);
#ifdef _WIN32
    const std::string folder = Root(c.kept);
#else
    const std::string folder = Root(c.posix.empty() ? c.kept : c.posix);
#endif
    const bool existed =
        std::find(c.existing.begin(), c.existing.end(), c.kept) != c.existing.end();
    const auto result = Run(Operands(), c.typed.empty() ? "" : c.typed + "\n" + c.typed + "\n");
    EXPECT_EQ(result.out, "Directory \"" + folder + (existed ? "\" Exists.\n\n" : "\" Created.\n") +
                              "File \"" + c.names[0] + "\" moved.\nDirectory \"" + folder +
                              "\" Exists.\n\nFile \"" + c.names[1] +
                              "\" moved.\n2files(s) moved.\n")
        << c.kept;
    for (const auto& name : c.names) EXPECT_EQ(ReadFile(Utf8(folder + kSeparator + name)), name);
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

// Two runs into one root come undone newest first, each leaving the tree as it was before it, byte
// for byte and time for time; then there is nothing left to undo.
TEST_F(PellorinMoveTest, UndoPutsBackEveryFileAndRemovesTheFoldersItMadeNewestRunFirst) {
  const std::string in2 = temp / "in2";
  std::filesystem::create_directory(in2);
  std::filesystem::create_directory(Root("Old"));
  Song(Root("Old") + kSeparator + "kept.mp3", 9);
  Song(In("Old - a.mp3"), 1);
  Song(In("New - b.mp3"), 2);
  Song(In("(Paren) c.mp3"), 3);
  Song(in2 + kSeparator + "New - d.mp3", 4);
  const std::vector<std::string> tops = {in, in2, root};
  const auto before = Snapshot(tops);
  ASSERT_EQ(Run(Operands()).status, 0);
  const auto afterFirst = Snapshot(tops);
  ASSERT_EQ(Run(Quote(in2 + kSeparator + "*.mp3") + " " + Quote(root)).status, 0);

  const auto second = Run("--undo");
  EXPECT_EQ(second.out, "File \"New - d.mp3\" moved back.\n1files(s) moved back.\n");
  EXPECT_EQ(Snapshot(tops), afterFirst);
  const auto first = Run("--undo");
  EXPECT_EQ(first.out,
            "File \"Old - a.mp3\" moved back.\nFile \"New - b.mp3\" moved back.\n"
            "File \"(Paren) c.mp3\" moved back.\nDirectory \"" +
                Root("New") + "\" Removed.\nDirectory \"" + Root("Paren") +
                "\" Removed.\n3files(s) moved back.\n");
  EXPECT_EQ(first.status, 0);
  EXPECT_EQ(Snapshot(tops), before);
  EXPECT_EQ(Run("--undo").status, 2);
  const auto runs = Run("--runs").out;
  EXPECT_EQ(std::count(runs.begin(), runs.end(), '\n'), 2) << runs;
  EXPECT_NE(runs.find(" 3 files moved  " + In("*.mp3") + "  " + root + "  undone\n"),
            std::string::npos)
      << runs;
}

// What changed, went or is in the way stays where it is, with its line; the rest goes back. A dry
// run says the same and changes nothing.
TEST_F(PellorinMoveTest, UndoLeavesWhatChangedOrIsInTheWayAndSaysSo) {
  for (const char* name : {"A - changed.mp3", "A - fine.mp3", "A - gone.mp3", "A - taken.mp3"}) {
    Song(In(name), 1);
  }
  ASSERT_EQ(Run(Operands()).status, 0);
  const std::string folder = Root("A") + kSeparator;
  WriteFile(folder + "A - changed.mp3", "edited");
  std::filesystem::remove(folder + "A - gone.mp3");
  WriteFile(In("A - taken.mp3"), "newcomer");

  const auto dry = Run("--undo --dry-run");
  EXPECT_TRUE(std::filesystem::exists(folder + "A - fine.mp3"));
  const auto real = Run("--undo");
  EXPECT_EQ(real.out, "Error: \"" + In("A - taken.mp3") +
                          "\" is taken; \"A - taken.mp3\" left at \"" + folder +
                          "A - taken.mp3\"\nError: \"A - gone.mp3\" is gone from \"" + folder +
                          "A - gone.mp3\"\nFile \"A - fine.mp3\" moved back.\n" +
                          "Error: \"A - changed.mp3\" changed since the run; left at \"" + folder +
                          "A - changed.mp3\"\n1files(s) moved back.\n");
  EXPECT_EQ(dry.out, real.out);
  EXPECT_EQ(real.status, 1);
  EXPECT_EQ(ReadFile(In("A - taken.mp3")), "newcomer");
  EXPECT_EQ(ReadFile(folder + "A - changed.mp3"), "edited");
  EXPECT_EQ(ReadFile(In("A - fine.mp3")), In("A - fine.mp3"));

  // Not undone, but partly: the next undo takes the same run again, for what is still out.
  EXPECT_NE(Run("--runs").out.find("partly undone, 3 files still out"), std::string::npos);
  std::filesystem::remove(In("A - taken.mp3"));
  const auto again = Run("--undo");
  EXPECT_NE(again.out.find("File \"A - taken.mp3\" moved back."), std::string::npos) << again.out;
}

#ifndef _WIN32
// SIGTERM while the run asks a question: the file asked about is filed, then the run stops before
// the next, says how many it filed, exits 128 + 15, and its journal knows every move.
TEST_F(PellorinMoveTest, SignalStopsTheRunBetweenFilesWithEveryMoveJournaled) {
  for (const char* name : {"A - 1.mp3", "A - 2.mp3", "b.mp3", "c - 3.mp3", "d - 4.mp3"}) {
    WriteFile(In(name), name);
  }
  const std::string err = Quote(temp / "stderr"), pid = Quote(temp / "pid");
  WriteFile(temp / "run.sh",
            "echo $$ >" + pid + "; exec " + Quote(PELLORIN_MOVE) + " " + Operands());
  const std::string command = "{ until grep -q enter " + err +
                              "; do sleep 0.05; done; kill -TERM $(cat " + pid +
                              "); echo Typed; } | sh " + Quote(temp / "run.sh") + " >" +
                              Quote(temp / "stdout") + " 2>" + err;
  WriteFile(temp / "stderr", "");
  const int status = ExitStatus(std::system(command.c_str()));
  EXPECT_EQ(status, 128 + 15);
  const std::string out = ReadFile(temp / "stdout");
  EXPECT_TRUE(out.ends_with("File \"b.mp3\" moved.\n3files(s) moved.\n")) << out;
  EXPECT_NE(ReadFile(temp / "stderr").find("stopped by SIGTERM; 3 files moved"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(In("c - 3.mp3")) && std::filesystem::exists(In("d - 4.mp3")));
  EXPECT_TRUE(Run("--undo").out.starts_with("File \"b.mp3\" moved back."));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(in), {}), 5);
  EXPECT_TRUE(std::filesystem::is_empty(root));
}
#endif

TEST_F(PellorinMoveTest, RefusalsUsageAndVersion) {
  const std::string usage =
      "usage: pellorin-move [--dry-run] [--no-ask] [--tags] [--no-journal] [--[no-]progress]\n"
      "                     [--] [PATTERN [ROOT]]\n"
      "       pellorin-move --watch [--settle SECONDS] [--tags] [--no-journal] [--[no-]progress]\n"
      "                     [--] [PATTERN [ROOT]]\n"
      "       pellorin-move --undo [--dry-run] [--[no-]progress] [RUN]\n"
      "       pellorin-move --runs\n"
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
      {"--watch --undo", usage, 2},
      {"--settle 5 " + Operands(), usage, 2},
      {"--watch --settle 0 " + Operands(), usage, 2},
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

// pellorin-move in the background, its log in a file, asked to stop as Ctrl+C (SIGTERM) asks.
class Background {
 public:
  Background(const std::vector<std::string>& arguments, const std::string& log) {
#ifdef _WIN32
    std::string command = Quote(PELLORIN_MOVE);
    for (const auto& argument : arguments) command.append(" ").append(Quote(argument));
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    out_ = ::CreateFileA(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0,
                         nullptr);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = out_;
    ::CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                     &process_);
#else
    std::vector<const char*> argv{PELLORIN_MOVE};
    for (const auto& argument : arguments) argv.push_back(argument.c_str());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT, 0600);
    posix_spawn(&child_, PELLORIN_MOVE, &actions, nullptr, const_cast<char**>(argv.data()),
                environ);
    posix_spawn_file_actions_destroy(&actions);
#endif
  }
  // The exit status, where the stop could be asked for as a user asks.
  std::optional<int> Stop() {
#ifdef _WIN32
    // Wine hands no console event from one program to another here (a Ctrl+C typed at the
    // terminal does reach the watch), so the watch is ended, and its clean end goes untested.
    ::TerminateProcess(process_.hProcess, 0);
    ::WaitForSingleObject(process_.hProcess, INFINITE);
    ::CloseHandle(out_);
    return std::nullopt;
#else
    ::kill(child_, SIGTERM);
    int status = 0;
    ::waitpid(child_, &status, 0);
    return ExitStatus(status);
#endif
  }

 private:
#ifdef _WIN32
  HANDLE out_ = INVALID_HANDLE_VALUE;
  PROCESS_INFORMATION process_{};
#else
  pid_t child_ = -1;
#endif
};

// A watch files a song written slowly by another program once, whole, after it is closed; and
// every song of a burst that overflows the kernel's queue of events (shortened here where root may
// shorten it), from the listing that the overflow calls for; then it stops cleanly when asked.
TEST_F(PellorinMoveTest, WatchFilesSlowWritesWholeAndEverySongOfAnOverflow) {
  const char* queueSize = "/proc/sys/fs/inotify/max_queued_events";
  const std::string queue = ReadFile(queueSize);
  WriteFile(queueSize, "16\n");
  const std::string log = temp / "watch.log";
  Background watch({"--watch", "--settle", "0.3", In("*.mp3"), root}, log);
  std::this_thread::sleep_for(std::chrono::seconds(1));
  WriteFile(queueSize, queue);

  std::ofstream slow(In("Slow - Song.mp3"), std::ios::binary);
  slow << std::string(4096, 'a') << std::flush;
  std::this_thread::sleep_for(std::chrono::seconds(1));
  EXPECT_TRUE(std::filesystem::exists(In("Slow - Song.mp3"))) << "filed while still open";
  slow << std::string(4096, 'b');
  slow.close();
  std::filesystem::create_directory(temp / "staged");
  for (int song = 0; song < 300; ++song) {
    WriteFile(temp / ("staged/Band - " + std::to_string(song) + ".mp3"), "song");
  }
  for (int song = 0; song < 300; ++song) {
    const std::string name = "Band - " + std::to_string(song) + ".mp3";
    std::filesystem::rename(temp / ("staged/" + name), In(name));
  }
  for (int tries = 0; tries < 200 && !std::filesystem::is_empty(in); ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  const auto status = watch.Stop();
  EXPECT_TRUE(std::filesystem::is_empty(in));
  EXPECT_EQ(ReadFile(Root("Slow") + kSeparator + "Slow - Song.mp3"),
            std::string(4096, 'a') + std::string(4096, 'b'));
  std::string out = ReadFile(log);
  std::erase(out, '\r');
  EXPECT_EQ(out.find("File \"Slow - Song.mp3\" moved."),
            out.rfind("File \"Slow - Song.mp3\" moved."));
  if (status) {
    EXPECT_EQ(*status, 0);
    EXPECT_TRUE(out.ends_with("\n301files(s) moved.\n")) << out.substr(out.size() - 200);
  }
}

}  // namespace
