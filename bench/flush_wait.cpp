#include "flush_wait.h"

#include <cerrno>
#include <thread>

namespace pellorin::bench {

void FlushWait::Start() {
  const std::lock_guard lock(mutex_);
  seen_ = disk_.Completed();
}

void FlushWait::AfterFlush() {
  long flushes = 0;
  {
    const std::lock_guard lock(mutex_);
    const auto completed = disk_.Completed();
    if (completed && seen_) flushes = *completed - *seen_;
    seen_ = completed;
  }
  if (flushes > 0) std::this_thread::sleep_for(price_ * flushes);
}

int FlushWaitingCalls::Fsync(int fd) {
  const int flushed = SystemCalls::Fsync(fd);
  const int failure = errno;
  wait_.AfterFlush();
  errno = failure;
  return flushed;
}

int FlushWaitingCalls::Syncfs(int fd) {
  const int flushed = SystemCalls::Syncfs(fd);
  const int failure = errno;
  wait_.AfterFlush();
  errno = failure;
  return flushed;
}

}  // namespace pellorin::bench
