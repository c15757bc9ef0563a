// The Move run against an in-memory disk and a scripted window.

#include "sorting/move_run.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>

#include "support/memory_file_system.h"
#include "support/scripted_window.h"

namespace pellorin {
namespace {

using Events = std::vector<std::string>;

class MoveRunTest : public ::testing::Test {
 protected:
  MoveRunTest() { disk.folders = {"c:", "c:\\temp", "c:\\music", "c:\\music\\mp3"}; }

  void AddFile(const std::string& name) { disk.files["c:\\temp\\" + name] = name; }
  bool Filed(const std::string& artist, const std::string& name) const {
    return disk.files.contains("c:\\music\\mp3\\" + artist + "\\" + name);
  }
  MoveRunOutcome Run() { return MoveRun(window, disk, disk); }

  testing::MemoryFileSystem disk;
  testing::ScriptedWindow window;
};

TEST_F(MoveRunTest, NewArtistIsCreatedThenFoundByItsSecondFile) {
  AddFile("Artist - One.mp3");
  AddFile("Artist - Two.mp3");
  const auto outcome = Run();
  EXPECT_EQ(window.results.text,
            "Directory \"c:\\music\\mp3\\Artist\" Created.\r\n"
            "File \"Artist - One.mp3\" moved.\r\n"
            "Directory \"c:\\music\\mp3\\Artist\" Exists.\r\n\r\n"
            "File \"Artist - Two.mp3\" moved.\r\n"
            "2files(s) moved.");
  EXPECT_TRUE(Filed("Artist", "Artist - One.mp3") && Filed("Artist", "Artist - Two.mp3"));
  EXPECT_EQ(outcome.filesMoved, 2);
  EXPECT_EQ(outcome.errorEntries, 0);
  EXPECT_EQ(window.events, (Events{"pointer 11", "pointer 0"}));
}

TEST_F(MoveRunTest, InvalidInputsShowOneMessageAndTouchNothing) {
  const struct {
    std::string pattern, root, message;
  } cases[] = {
      {"*.mp3", "c:\\music\\mp3", "message Invalid File Directory."},
      {"c:\\missing\\*.mp3", "c:\\music\\mp3", "message Invalid File Directory."},
      {"c:\\missing\\*.mp3", "c:\\missing", "message Invalid File Directory."},
      {"c:\\temp\\*.mp3", "c:\\music\\missing", "message Invalid Root Directory."},
  };
  AddFile("Artist - One.mp3");
  for (const auto& c : cases) {
    window.pattern = c.pattern;
    window.root = c.root;
    window.results.text = "typed by the user";
    window.events.clear();
    EXPECT_FALSE(Run().inputsAccepted);
    EXPECT_EQ(window.events, Events{c.message}) << "no pointer change, no second message";
    EXPECT_EQ(window.results.text, "typed by the user");
    EXPECT_TRUE(disk.files.contains("c:\\temp\\Artist - One.mp3"));
  }
}

TEST_F(MoveRunTest, AsksForEachNameWithoutArtistAndNeverReusesThePreviousOne) {
  AddFile("(Band) Live.mp3");
  AddFile("Song.mp3");
  AddFile("Tune.mp3");
  window.answers = {" Typed ", ""};  // taken as typed; then Cancel
  const auto outcome = Run();
  EXPECT_EQ(window.events,
            (Events{"pointer 11",
                    "ask Please enter the artist for the following title:\r\nSong.mp3|"
                    "Cannot find artist name.|Song.mp3",
                    "ask Please enter the artist for the following title:\r\nTune.mp3|"
                    "Cannot find artist name.|Tune.mp3",
                    "pointer 0"}));
  EXPECT_TRUE(Filed(" Typed ", "Song.mp3"));
  EXPECT_TRUE(disk.files.contains("c:\\temp\\Tune.mp3"));
  EXPECT_TRUE(
      window.results.text.ends_with("File \"Song.mp3\" moved.\r\n"
                                    "Error: Cannot establish directory name for \"Tune.mp3\"\r\n"
                                    "2files(s) moved."));
  EXPECT_EQ(outcome.errorEntries, 1);
}

// Only a name without artist is looked up; its suggestion is the artist, unasked, or the default.
TEST_F(MoveRunTest, SuggestionsAreSoughtOnlyWhereTheNameGivesNoArtist) {
  struct Tags final : ArtistSuggestions {
    std::vector<std::string> sought;
    std::string SuggestArtist(std::string_view path) override {
      sought.emplace_back(path);
      return path.ends_with("Song.mp3") ? "Tagged" : "";
    }
    std::string_view Origin() const override { return "its tags"; }
  } tags;
  const std::string askTune =
      "ask Please enter the artist for the following title:\r\nTune.mp3|"
      "Cannot find artist name.|Tune.mp3";
  for (const bool withoutAsking : {true, false}) {
    for (const char* name : {"(Band) Live.mp3", "Song.mp3", "Tune.mp3"}) AddFile(name);
    tags.sought.clear();
    window.events.clear();
    window.answers = withoutAsking ? std::deque<std::string>{"Typed"}
                                   : std::deque<std::string>{"Tagged", "Typed"};
    MoveRun(window, disk, disk, nullptr, {.suggestions = &tags, .withoutAsking = withoutAsking});
    EXPECT_EQ(tags.sought, (Events{"c:\\temp\\Song.mp3", "c:\\temp\\Tune.mp3"}));
    const Events unasked = {"pointer 11", askTune, "pointer 0"};
    const Events asked = {"pointer 11",
                          "ask Please enter the artist for the following title (the default is "
                          "from its tags):\r\nSong.mp3|Cannot find artist name.|Tagged",
                          askTune, "pointer 0"};
    EXPECT_EQ(window.events, withoutAsking ? unasked : asked);
    EXPECT_TRUE(Filed("Tagged", "Song.mp3") && Filed("Typed", "Tune.mp3"));
    disk.files.clear();
  }
}

TEST_F(MoveRunTest, FailuresAreLoggedAndTheRunGoesOn) {
  AddFile("Taken - Song.mp3");
  AddFile("Locked - Song.mp3");
  AddFile("Zed - Song.mp3");
  disk.folders.insert("c:\\music\\mp3\\Taken");
  disk.files["c:\\music\\mp3\\Taken\\Taken - Song.mp3"] = "older";
  disk.failingFolders.insert("c:\\music\\mp3\\Locked");
  window.root = "c:\\music\\mp3\\";  // a trailing separator still gives one between the parts
  const auto outcome = Run();
  EXPECT_EQ(window.results.text,
            "Error: Cannot create directory \"c:\\music\\mp3\\Locked\"\r\n"
            "Directory \"c:\\music\\mp3\\Taken\" Exists.\r\n\r\n"
            "Error moving File \"Taken - Song.mp3\"\r\n"
            "Directory \"c:\\music\\mp3\\Zed\" Created.\r\n"
            "File \"Zed - Song.mp3\" moved.\r\n"
            "1files(s) moved.");
  EXPECT_EQ(disk.files.at("c:\\music\\mp3\\Taken\\Taken - Song.mp3"), "older");
  EXPECT_EQ(disk.files.at("c:\\temp\\Taken - Song.mp3"), "Taken - Song.mp3");
  EXPECT_EQ(outcome.errorEntries, 2);
}

TEST_F(MoveRunTest, ArtistThatWouldLeaveTheRootIsRefused) {
  AddFile("(..) Song.mp3");
  AddFile("(.) Song.mp3");
  AddFile("Asked.mp3");
  window.answers = {"..\\..\\elsewhere"};
  Run();
  EXPECT_EQ(window.results.text,
            "Error: Cannot create directory \"c:\\music\\mp3\\.\"\r\n"
            "Error: Cannot create directory \"c:\\music\\mp3\\..\"\r\n"
            "Error: Cannot create directory \"c:\\music\\mp3\\..\\..\\elsewhere\"\r\n"
            "0files(s) moved.");
  EXPECT_EQ(disk.files.size(), 3u);
  EXPECT_EQ(disk.folders.size(), 4u);
}

TEST_F(MoveRunTest, BlanksAroundANameAreIgnoredForTheArtistButKeptForTheFile) {
  AddFile("  Artist - Song.mp3 ");
  AddFile("   ");
  window.answers = {"Nobody"};
  Run();
  EXPECT_TRUE(Filed("Artist", "  Artist - Song.mp3 "));
  EXPECT_TRUE(Filed("Nobody", "   "));
  EXPECT_EQ(window.events[1],
            "ask Please enter the artist for the following title:\r\n|"
            "Cannot find artist name.|");
  EXPECT_NE(window.results.text.find("File \"  Artist - Song.mp3 \" moved."), std::string::npos);
}

TEST_F(MoveRunTest, CountGoesOnPast32767) {
  for (int i = 0; i < 32800; ++i) AddFile("A - " + std::to_string(i) + ".mp3");
  EXPECT_EQ(Run().filesMoved, 32800);
  EXPECT_TRUE(window.results.text.ends_with("\r\n32800files(s) moved."));
}

TEST_F(MoveRunTest, EmptyListingAndListingFailureStillCloseTheRun) {
  window.results.text = "old log";
  Run();
  EXPECT_EQ(window.results.text, "0files(s) moved.");

  AddFile("A - 1.mp3");
  AddFile("A - 2.mp3");
  disk.listingFailure = std::make_error_code(std::errc::io_error);
  const auto outcome = Run();
  EXPECT_EQ(window.results.text,
            "Directory \"c:\\music\\mp3\\A\" Created.\r\n"
            "File \"A - 1.mp3\" moved.\r\n"
            "Error: Cannot list the files \"c:\\temp\\*.mp3\"\r\n"
            "1files(s) moved.");
  EXPECT_EQ(outcome.errorEntries, 1);
}

// A disk that keeps moves pending and finishes them a group of three at a time, the last of a
// group first, as a disk that makes groups durable would. A move that fails, fails as its group
// closes.
class GroupingDisk final : public FileSystemObject {
 public:
  explicit GroupingDisk(testing::MemoryFileSystem& disk) : disk_(disk) {}

  std::string GetParentFolderName(std::string_view path) const override {
    return disk_.GetParentFolderName(path);
  }
  bool FolderExists(std::string_view path) const override { return disk_.FolderExists(path); }
  bool PathExists(std::string_view path) const override { return disk_.PathExists(path); }
  std::string BuildPath(std::string_view path, std::string_view name) const override {
    return disk_.BuildPath(path, name);
  }
  std::error_code CreateFolder(std::string_view path) override { return disk_.CreateFolder(path); }
  bool IsFolderName(std::string_view name) const override { return disk_.IsFolderName(name); }
  std::error_code MoveFile(std::string_view, std::string_view) override {
    throw std::logic_error("a run hands its moves over with StartMove");
  }
  std::optional<std::error_code> StartMove(std::string_view source, std::string_view destination,
                                           MoveTicket ticket) override {
    pending_.push_back({std::string(source), std::string(destination), ticket});
    return std::nullopt;
  }
  void FinishMoves(PendingMoves which, std::vector<FinishedMove>& finished) override {
    if (which == PendingMoves::Due && pending_.size() < 3) return;
    for (auto move = pending_.rbegin(); move != pending_.rend(); ++move) {
      finished.push_back({move->ticket, disk_.MoveFile(move->source, move->destination)});
    }
    pending_.clear();
  }

 private:
  struct Move {
    std::string source, destination;
    MoveTicket ticket;
  };
  testing::MemoryFileSystem& disk_;
  std::vector<Move> pending_;
};

TEST_F(MoveRunTest, GroupedMovesLogWhatMovesOneAtATimeLogInTheSameOrder) {
  const auto fill = [](testing::MemoryFileSystem& into) {
    into.folders = {"c:", "c:\\temp", "c:\\music", "c:\\music\\mp3", "c:\\music\\mp3\\B"};
    into.files["c:\\music\\mp3\\B\\B - 2.mp3"] = "older";
    into.files["c:\\music\\mp3\\A\\A - 6.mp3"] = "older";
    for (const char* name : {"A - 1.mp3", "B - 2.mp3", "B - 3.mp3", "A - 4.mp3", "B.mp3",
                             "(..) 5.mp3", "A - 6.mp3", "C - 7.mp3"}) {
      into.files[std::string("c:\\temp\\") + name] = name;
    }
  };
  testing::MemoryFileSystem oneAtATime;
  fill(oneAtATime);
  testing::ScriptedWindow plainWindow;
  plainWindow.answers = {"Q"};
  const auto expected = MoveRun(plainWindow, oneAtATime, oneAtATime);

  fill(disk);
  GroupingDisk grouped(disk);
  window.answers = {"Q"};
  // Each folder is heard of as soon as it is made, before its entry is shown (C's waits behind
  // pending moves).
  struct : RunObserver {
    const testing::ScriptedWindow* window = nullptr;
    std::vector<std::string> heard;
    void FolderCreated(std::string_view folder) override {
      const bool shown =
          window->results.text.find(std::string(folder) + "\" Created") != std::string::npos;
      heard.push_back(std::string(folder) + (shown ? " (shown)" : ""));
    }
  } folders;
  folders.window = &window;
  const auto outcome = MoveRun(window, grouped, disk, &folders);
  EXPECT_EQ(folders.heard, (std::vector<std::string>{"c:\\music\\mp3\\A", "c:\\music\\mp3\\Q",
                                                     "c:\\music\\mp3\\C"}));

  EXPECT_EQ(window.results.text, plainWindow.results.text);
  EXPECT_EQ(window.logAtAsk, plainWindow.logAtAsk) << "the log up to the question, no further";
  EXPECT_EQ(outcome.filesMoved, expected.filesMoved);
  EXPECT_EQ(outcome.errorEntries, expected.errorEntries);
  EXPECT_EQ(disk.files, oneAtATime.files);
  EXPECT_EQ(expected.errorEntries, 3) << plainWindow.results.text;  // B - 2, (..), A - 6
}

TEST_F(MoveRunTest, PointerComesBackWhenTheWindowFails) {
  AddFile("Song.mp3");  // no answer scripted: the input box throws
  EXPECT_THROW(Run(), std::runtime_error);
  EXPECT_EQ(window.events.back(), "pointer 0");
}

}  // namespace
}  // namespace pellorin
