#pragma once

// Moves across devices are made durable a group at a time, and a group's flushes take the drive's
// time. So that the drive never waits for the copying nor the copying for the drive, a group is
// made durable on a thread of its own while the run's thread copies the next:
//
//   run's thread: copy songs into a group -> the group closes -> hand it to the writer (waiting
//                 while the writer still holds the one before) -> copy the next group
//   writer:       flush the copies, publish them, flush the names, remove the sources -> outcomes
//
// At most two groups are in flight: one being made durable, whose songs alone can be in two places
// at once, and one being copied, whose songs are only where they were (and in hidden copies).

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "sorting/file_system.h"

namespace pellorin::platform {

// When a group of moves across devices closes. It gathers for at least `work`, or for
// `perDurable` times as long as the group before took to be made durable where that is longer,
// and past that for as long as the group before it is still being made durable, so that its
// length follows the drive's: a drive whose flushes take long gets longer groups and so fewer
// flushes a song. (Where the copies' write-back goes as fast as they are written, a group is made
// durable in a moment, however long; where each flush waits for a real disk, a run of 250 ms groups
// spent a third of its time in flushes.) It closes whatever the drive at `songs` songs, at `bytes`
// bytes (what a flush has to write out), or after `longest`, which bounds the songs that a cut can
// leave in two places.
struct GroupLimits {
  using Duration = std::chrono::steady_clock::duration;

  std::size_t songs = 1024;
  std::chrono::milliseconds work{250};
  std::uint64_t bytes = std::uint64_t{1} << 30;
  std::chrono::milliseconds longest{2000};
  int perDurable = 4;

  bool IsDue(std::size_t gathered, std::uint64_t gatheredBytes, Duration gathering,
             bool previousDurable, Duration previousTook = {}) const {
    const Duration least = std::max<Duration>(work, perDurable * previousTook);
    return gathered >= songs || gatheredBytes >= bytes ||
           gathering >= std::max<Duration>(work, longest) ||
           (gathering >= least && previousDurable);
  }
};

// The thread that makes groups durable, one at a time and in the order they were handed over,
// started with the first group handed over while the run goes on, so a run that moves nothing
// across devices starts none. Where no thread can be started, a group is made durable on the
// thread that hands it over.
class GroupWriter {
 public:
  // Makes one group durable and says how each of its moves ended.
  using Job = std::function<std::vector<FinishedMove>()>;

  GroupWriter() = default;
  ~GroupWriter() { Stop(); }
  GroupWriter(const GroupWriter&) = delete;
  GroupWriter& operator=(const GroupWriter&) = delete;

  // Waits while the group before is still being made durable, then hands this one over.
  void Hand(Job job);
  // The same for a group that the caller will wait for anyway: made durable on the caller's thread.
  void MakeDurableHere(Job job);
  // True while a group handed over is not yet durable.
  bool Busy() const;
  // How long the last group took to be made durable.
  std::chrono::steady_clock::duration LastTook() const;
  // Returns once every group handed over is durable.
  void WaitUntilIdle();
  // Appends the outcomes of the groups made durable since the last call; rethrows, once, what a
  // job threw (the writer is idle again all the same, and the job's moves have no outcome).
  void TakeFinished(std::vector<FinishedMove>& finished);
  // Finishes the group it holds, whose sources go only once it is durable, and ends the thread.
  void Stop();

 private:
  void Work();
  void Run(Job job);

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  Job job_;  // handed over, not yet durable
  bool busy_ = false;
  std::chrono::steady_clock::duration lastTook_{};
  bool stopping_ = false;
  std::vector<FinishedMove> finished_;
  std::exception_ptr thrown_;  // by a job, for the caller to hear of
  std::thread thread_;
};

}  // namespace pellorin::platform
