#pragma once

// The one line that a terminal shows of a long run's progress, on standard error: the songs done
// of the total, the bytes copied of those that go to another device, the speed, and the time left
// once it can be told. It is drawn at most kRedrawInterval apart as files are done, cleared before
// the log or a question is written to the terminal, and drawn again after the log.

#include <chrono>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

#include "sorting/run_observer.h"

namespace pellorin::cli {

class StatusLine final : public RunObserver {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kRedrawInterval{100};

  explicit StatusLine(std::ostream& err, std::function<Clock::time_point()> now = Clock::now)
      : err_(err), now_(std::move(now)), started_(now_()) {}
  ~StatusLine() override { Finish(); }
  StatusLine(const StatusLine&) = delete;
  StatusLine& operator=(const StatusLine&) = delete;

  bool WantsBytes() const override { return true; }
  void Listed(std::size_t files, std::uint64_t bytes) override;
  void FileDone(std::uint64_t bytes) override;

  // A watch waits between its runs, with that many songs still settling or held.
  void Waiting(std::size_t songs);

  // Takes the line off the terminal, so that something else can be written there.
  void Clear();
  // Puts it back, as it stands now.
  void Draw();
  // Takes it off for good.
  void Finish();

 private:
  std::string Text(Clock::time_point now) const;

  std::ostream& err_;
  std::function<Clock::time_point()> now_;
  Clock::time_point started_;
  Clock::time_point drawn_{};
  std::size_t shownWidth_ = 0;  // of the line on the terminal now, 0 when there is none
  bool listed_ = false;
  bool finished_ = false;
  bool watching_ = false;
  std::size_t filed_ = 0, waiting_ = 0;  // a watch's, over all its runs
  std::size_t files_ = 0, filesDone_ = 0;
  std::uint64_t bytes_ = 0, bytesDone_ = 0;
};

}  // namespace pellorin::cli
