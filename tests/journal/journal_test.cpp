// The journal's text: any name comes back exactly, an undo's records mark what went back, and a
// line that an interruption cut short, or one not understood, is passed over.

#include <gtest/gtest.h>

#include "journal/journal.h"

namespace pellorin::journal {
namespace {

TEST(Journal, KeepsAnyNameExactlyAndPassesOverWhatItCannotRead) {
  std::string every;  // every byte but NUL, invalid UTF-8 included
  for (int byte = 1; byte < 256; ++byte) every.push_back(static_cast<char>(byte));
  JournaledRun run;
  run.startedAt = 1796741251;
  run.pattern = "/in/*.mp3";
  run.root = "/r %20";
  run.sourceFolder = "/in";
  const std::string text = "pellorin journal 1\n" + RunRecord(run) + "folder " +
                           EncodeField("/r %20/" + every) + "\nmove " + EncodeField(every) +
                           " /in/a /r/b 12 -5 7 9\nmove x /in/x /r/x 1 2 3 4\nnonsense\n" +
                           BackRecord(1) + BackRecord(7) + RemovedRecord("/r %20/" + every) + "\n" +
                           UndoneRecord(1, true) + "move cut short";

  const auto read = ParseJournal("name", text);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->root, "/r %20");
  ASSERT_EQ(read->moves.size(), 2u);
  EXPECT_EQ(read->moves[0].name, every);
  EXPECT_EQ(read->moves[0].stamp, (FileStamp{12, -5, 9}));
  EXPECT_FALSE(read->moves[0].movedBack);
  EXPECT_TRUE(read->moves[1].movedBack);
  ASSERT_EQ(read->folders.size(), 1u);
  EXPECT_TRUE(read->folders[0].removed);
  EXPECT_TRUE(read->undone);
  EXPECT_EQ(DecodeField("%4"), std::nullopt);
  EXPECT_FALSE(ParseJournal("name", "pellorin journal 3\n" + RunRecord(run)).has_value());
}

// Written ahead: a move's record comes before its outcome, which a stop may take away; an undo
// that ended with files still out leaves the run to be taken again.
TEST(Journal, TellsEachMoveByItsOutcomeAndAnUndoThatLeftFilesOut) {
  JournaledRun run;
  run.sourceFolder = "/in";
  const std::string text = "pellorin journal 2\n" + RunRecord(run) +
                           "move 0 a /in/a /r/A/a 1 2 3\nmove 1 b /in/b /r/B/b 4 5 6\n"
                           "move 2 c /in/c /r/C/c 7 8 9\nmove 3 d /in/d /r/D/d 1 1 1\n"
                           "done 0\ncopied 1 4 50 60\nfailed 2\ncopied 9 1 1 1\n" +
                           BackRecord(0) + UndoneRecord(5, false);
  const auto read = ParseJournal("name", text);
  ASSERT_TRUE(read.has_value());
  const struct {
    MoveOutcome outcome;
    FileStamp stamp;
  } expected[] = {{MoveOutcome::Moved, {1, 2, 3}},
                  {MoveOutcome::Moved, {4, 50, 60}},
                  {MoveOutcome::Failed, {7, 8, 9}},
                  {MoveOutcome::Unknown, {1, 1, 1}}};
  ASSERT_EQ(read->moves.size(), std::size(expected));
  for (std::size_t at = 0; at < std::size(expected); ++at) {
    EXPECT_EQ(read->moves[at].outcome, expected[at].outcome) << at;
    EXPECT_EQ(read->moves[at].stamp, expected[at].stamp) << at;
  }
  EXPECT_TRUE(read->partlyUndone && !read->undone && !read->ended);
  EXPECT_EQ(read->StillOut(), 2u);  // b, moved, and d, perhaps
  EXPECT_LT(RunNameFor(1'796'741'251'999), RunNameFor(1'796'741'252'000));
  EXPECT_EQ(RunNameFor(1'796'741'251'007), "20261208-144731.007");
}

}  // namespace
}  // namespace pellorin::journal
