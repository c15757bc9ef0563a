// When a watched song is whole, decided from what was seen and the clock, without waiting.

#include "sorting/arrivals.h"

#include <gtest/gtest.h>

namespace pellorin {
namespace {

using std::chrono::seconds;
constexpr auto kSettle = seconds(3);
const WatchClock::time_point kStart{seconds(1000)};

TEST(Arrivals, WholeOnlyWhenClosedSettledUnwrittenAndNoDownloadNamesIt) {
  struct Row {
    const char* what;
    ArrivalFacts facts;
    WatchClock::duration since;
    Wholeness expected;
  };
  const Row rows[] = {
      {"settled, no writer",
       {kStart, false, WriterCheck::None, false},
       seconds(3),
       Wholeness::Whole},
      {"changed just now",
       {kStart, false, WriterCheck::None, false},
       seconds(2),
       Wholeness::Settling},
      {"another program writes it",
       {kStart, false, WriterCheck::Busy, false},
       seconds(60),
       Wholeness::Held},
      {"NAME.part beside it",
       {kStart, false, WriterCheck::None, true},
       seconds(60),
       Wholeness::Held},
      {"written, not closed, no lease",
       {kStart, true, WriterCheck::Unknown, false},
       seconds(60),
       Wholeness::Held},
      {"closed, no lease",
       {kStart, false, WriterCheck::Unknown, false},
       seconds(3),
       Wholeness::Whole},
      {"written, the lease says no writer",
       {kStart, true, WriterCheck::None, false},
       seconds(3),
       Wholeness::Whole},
  };
  for (const auto& row : rows) {
    const auto verdict = JudgeArrival(row.facts, kStart + row.since, kSettle);
    EXPECT_EQ(verdict.state, row.expected) << row.what;
    if (row.expected == Wholeness::Settling) {
      EXPECT_EQ(verdict.recheckAt, kStart + kSettle);
    }
  }
  EXPECT_EQ(SongOfDownload("a.mp3.part"), "a.mp3");
  EXPECT_EQ(SongOfDownload("a.mp3.aria2"), "a.mp3");
  EXPECT_EQ(SongOfDownload("a.mp3"), "");
}

// Events, listings and verdicts over a song's life: each arrival is offered once, a failure is
// not offered again until the song changes, and a download's file holds its song back.
TEST(Arrivals, TrackerOffersEachArrivalOnceAndAgainOnlyAfterAChange) {
  ArrivalTracker tracker(kSettle);
  const FileStamp first{.size = 1, .modified = 1}, grown{.size = 2, .modified = 2};
  tracker.Listed({{"old.mp3", first, seconds(600)}, {"new.mp3", first, seconds(1)}}, kStart);
  EXPECT_EQ(tracker.Due(kStart), std::vector<std::string>{"old.mp3"});
  tracker.Reported("old.mp3");  // could not be filed
  EXPECT_EQ(tracker.NextDue(), kStart + seconds(2));
  tracker.Listed({{"old.mp3", first, seconds(600)}, {"new.mp3", first, seconds(1)}},
                 kStart + seconds(2));
  EXPECT_EQ(tracker.Due(kStart + seconds(2)), std::vector<std::string>{"new.mp3"});
  tracker.Listed({{"old.mp3", grown, seconds(0)}, {"new.mp3", first, seconds(3)}},
                 kStart + seconds(2));
  EXPECT_EQ(tracker.Due(kStart + seconds(5)), (std::vector<std::string>{"new.mp3", "old.mp3"}));

  tracker.Heard("new.mp3", ChangeKind::Written, kStart + seconds(5));
  EXPECT_EQ(tracker.Judge("new.mp3", WriterCheck::Unknown, false, kStart + seconds(9)).state,
            Wholeness::Held);
  EXPECT_EQ(tracker.Due(kStart + seconds(60)), std::vector<std::string>{"old.mp3"});
  tracker.Heard("new.mp3.part", ChangeKind::Gone, kStart + seconds(60));  // looked at again
  tracker.Heard("new.mp3", ChangeKind::Closed, kStart + seconds(60));
  EXPECT_EQ(tracker.Due(kStart + seconds(63)), (std::vector<std::string>{"new.mp3", "old.mp3"}));
  tracker.Heard("old.mp3", ChangeKind::Gone, kStart + seconds(63));
  EXPECT_EQ(tracker.Waiting(), 1u);
}

// Songs of one burst are filed in one batch: the wait runs on while the next song settles soon
// after the one before, but not for long.
TEST(Arrivals, ABurstIsDueWhenItsLastSongSettlesWithinALimit) {
  using std::chrono::milliseconds;
  ArrivalTracker tracker(kSettle);
  for (const int at : {0, 50, 100, 1000}) {
    tracker.Heard(std::to_string(at) + ".mp3", ChangeKind::MovedIn, kStart + milliseconds(at));
  }
  EXPECT_EQ(tracker.NextDue(), kStart + kSettle);
  EXPECT_EQ(tracker.NextDue(milliseconds(100), seconds(1)), kStart + kSettle + milliseconds(100));
  EXPECT_EQ(tracker.NextDue(milliseconds(100), milliseconds(60)),
            kStart + kSettle + milliseconds(50));
}

}  // namespace
}  // namespace pellorin
