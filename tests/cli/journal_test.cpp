// The journal's text: any name comes back exactly, an undo's records mark what went back, and a
// line that an interruption cut short, or one not understood, is passed over.

#include <gtest/gtest.h>

#include "cli/journal.h"

namespace pellorin::cli {
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
                           UndoneRecord(1) + "move cut short";

  const auto read = ParseJournal("name", text);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->root, "/r %20");
  ASSERT_EQ(read->moves.size(), 2u);
  EXPECT_EQ(read->moves[0].name, every);
  EXPECT_EQ(read->moves[0].stamp, (FileStamp{12, -5, 7, 9}));
  EXPECT_FALSE(read->moves[0].movedBack);
  EXPECT_TRUE(read->moves[1].movedBack);
  ASSERT_EQ(read->folders.size(), 1u);
  EXPECT_TRUE(read->folders[0].removed);
  EXPECT_TRUE(read->undone);
  EXPECT_EQ(DecodeField("%4"), std::nullopt);
  EXPECT_FALSE(ParseJournal("name", "pellorin journal 2\n" + RunRecord(run)).has_value());
}

}  // namespace
}  // namespace pellorin::cli
