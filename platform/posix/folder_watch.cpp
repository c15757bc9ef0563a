// inotify: the kernel queues what happened in the folder; ppoll sleeps until it has something or a
// stop signal arrives. The stop signals stay blocked between looking at the request and sleeping,
// so that one arriving in between wakes the sleep instead of being missed.

#include "platform/folder_watch.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "paths.h"
#include "platform/platform.h"
#include "system_calls.h"

namespace pellorin::platform {
namespace {

constexpr std::uint32_t kWatched = IN_MODIFY | IN_CREATE | IN_CLOSE_WRITE | IN_MOVED_TO |
                                   IN_MOVED_FROM | IN_DELETE | IN_DELETE_SELF | IN_MOVE_SELF |
                                   IN_ONLYDIR;

std::optional<ChangeKind> KindOf(std::uint32_t mask) {
  if (mask & (IN_MODIFY | IN_CREATE)) return ChangeKind::Written;
  if (mask & IN_CLOSE_WRITE) return ChangeKind::Closed;
  if (mask & IN_MOVED_TO) return ChangeKind::MovedIn;
  if (mask & (IN_MOVED_FROM | IN_DELETE)) return ChangeKind::Gone;
  return std::nullopt;
}

// Sleeps in ppoll on the descriptors given (none: only the deadline and the signals).
class SignalAwareSleep {
 public:
  SignalAwareSleep() {
    sigemptyset(&stopSignals_);
    for (const int number : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stopSignals_, number);
  }

  // False when a stop was requested before or during the sleep.
  bool Sleep(pollfd* fds, nfds_t count, std::optional<WatchClock::time_point> deadline) {
    sigset_t before;
    ::sigprocmask(SIG_BLOCK, &stopSignals_, &before);
    bool awake = StopRequest() == 0;
    if (awake) {
      timespec timeout{};
      timespec* wait = nullptr;
      if (deadline) {
        const auto left = std::max(WatchClock::duration::zero(), *deadline - WatchClock::now());
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        timeout = {.tv_sec = ns / 1'000'000'000, .tv_nsec = ns % 1'000'000'000};
        wait = &timeout;
      }
      ::ppoll(fds, count, wait, &before);
      awake = StopRequest() == 0;
    }
    ::sigprocmask(SIG_SETMASK, &before, nullptr);
    return awake;
  }

 private:
  sigset_t stopSignals_;
};

class UnwatchedFolder final : public FolderWatch {
 public:
  WatchWait Wait(std::optional<WatchClock::time_point> deadline) override {
    WatchWait wait;
    wait.stopRequested = !sleep_.Sleep(nullptr, 0, deadline);
    return wait;
  }

 private:
  SignalAwareSleep sleep_;
};

class InotifyWatch final : public FolderWatch {
 public:
  explicit InotifyWatch(int fd) : fd_(fd) {}
  ~InotifyWatch() override { ::close(fd_); }

  WatchWait Wait(std::optional<WatchClock::time_point> deadline) override {
    WatchWait wait;
    pollfd ready{.fd = fd_, .events = POLLIN, .revents = 0};
    wait.stopRequested = !sleep_.Sleep(&ready, 1, deadline);
    Drain(wait);
    return wait;
  }

 private:
  void Drain(WatchWait& wait) {
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
      const ssize_t got = ::read(fd_, buffer, sizeof buffer);
      if (got <= 0) return;  // EAGAIN: nothing more queued
      for (ssize_t at = 0; at < got;) {
        inotify_event event;
        std::memcpy(&event, buffer + at, sizeof event);
        const char* name = buffer + at + sizeof event;
        at += static_cast<ssize_t>(sizeof event + event.len);
        if (event.mask & IN_Q_OVERFLOW) wait.overflowed = true;
        if (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED)) {
          wait.folderGone = true;
        }
        const auto kind = KindOf(event.mask);
        if (kind && event.len > 0) wait.changes.push_back({std::string(name), *kind});
      }
    }
  }

  const int fd_;
  SignalAwareSleep sleep_;
};

}  // namespace

std::unique_ptr<FolderWatch> WatchFolder(std::string_view folder, std::string& why) {
  const auto path = posix::KernelPath(folder);
  const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd >= 0 && path &&
      ::inotify_add_watch(fd, path->empty() ? "." : path->c_str(), kWatched) >= 0) {
    return std::make_unique<InotifyWatch>(fd);
  }
  why = std::strerror(errno);
  if (errno == ENOSPC) why = "the limit on watches is reached (fs.inotify.max_user_watches)";
  if (errno == EMFILE) why = "the limit on watchers is reached (fs.inotify.max_user_instances)";
  if (fd >= 0) ::close(fd);
  return std::make_unique<UnwatchedFolder>();
}

WriterCheck OtherWriter(std::string_view path) {
  const auto kernelPath = posix::KernelPath(path);
  if (!kernelPath) return WriterCheck::Unknown;
  const int fd = ::open(kernelPath->c_str(), posix::kOpenWithoutWaiting);
  if (fd < 0) return WriterCheck::Unknown;
  // A read lease is refused while any process has the file open for writing (and is never
  // granted on anything but a regular file). A writer that opens the file while the lease is held
  // breaks it with a signal: SIGURG, ignored unless asked for, rather than the default SIGIO, which
  // would end the watch.
  WriterCheck found = WriterCheck::Unknown;
  if (::fcntl(fd, F_SETSIG, SIGURG) == 0 && ::fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
    ::fcntl(fd, F_SETLEASE, F_UNLCK);
    found = WriterCheck::None;
  } else if (errno == EAGAIN) {
    found = WriterCheck::Busy;
  }
  ::close(fd);
  return found;
}

WatchClock::duration SinceModified(const FileStamp& stamp) {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return std::chrono::duration_cast<WatchClock::duration>(now -
                                                          std::chrono::nanoseconds(stamp.modified));
}

}  // namespace pellorin::platform
