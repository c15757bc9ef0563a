#pragma once

// A disk that charges for its flushes in time: after each flush a way asks for, the thread that
// asked waits as long as the flushes the device completed since the last look would take on a real
// disk. On the loop device a flush takes no time, so pricing a run afterwards (its time plus its
// flushes times a price) charges every flush as if the run did nothing else meanwhile; waited for
// where they happen, flushes on one thread overlap with the copying on another, as on a disk.

#include <chrono>
#include <mutex>
#include <optional>

#include "disk_flushes.h"
#include "platform/posix/system_calls.h"

namespace pellorin::bench {

class FlushWait {
 public:
  FlushWait(const DiskFlushes& disk, std::chrono::microseconds price)
      : disk_(disk), price_(price) {}

  // Forgets the flushes before a run.
  void Start();
  // Called after each flush: waits for what the device completed since the last look.
  void AfterFlush();

 private:
  const DiskFlushes& disk_;
  const std::chrono::microseconds price_;
  std::mutex mutex_;
  std::optional<long> seen_;
};

// The real system calls, each flush waited for.
class FlushWaitingCalls final : public posix::SystemCalls {
 public:
  explicit FlushWaitingCalls(FlushWait& wait) : wait_(wait) {}
  int Fsync(int fd) override;
  int Syncfs(int fd) override;

 private:
  FlushWait& wait_;
};

}  // namespace pellorin::bench
