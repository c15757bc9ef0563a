#pragma once

// The POSIX layer's system calls, each done for real and written down: which call, the paths and
// descriptors it named (a descriptor together with the path it was opened with), what it
// answered, and, for a call that wrote into a file, that file's whole content afterwards. A test
// can then replay a run on a model of the disk, call by call. Calls come from two threads (the
// run's and the layer's writer): each is made and written down under one lock, in the order made.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "faulty_system_calls.h"
#include "platform/posix/system_calls.h"

namespace pellorin::testing {

struct RecordedCall {
  SystemCall call = SystemCall::Stat;
  std::vector<std::string> paths;  // in the call's own order; a descriptor as it was opened
  std::vector<int> fds;            // the descriptors named; for Open, the one it returned
  long result = 0;
  int error = 0;         // errno, when the call failed
  bool created = false;  // Open: the call made the file
  dev_t device = 0;      // the file system of the first descriptor named
  std::string bytes;     // Write, CopyFileRange, Sendfile: the written file's content afterwards

  bool failed() const { return result < 0; }
};

class RecordingSystemCalls final : public posix::SystemCalls {
 public:
  std::vector<RecordedCall> calls;
  // When set, FileSystemType answers this type (the call is still made), so that the layer takes
  // its way for that kind of file system on the folders at hand.
  std::optional<long> typeAnswered;
  std::function<void()> before;  // before each call, so that it may hold a thread back

  int Stat(const char* path, struct stat* info) override {
    return Note(SystemCall::Stat, {path}, {}, [&] { return SystemCalls::Stat(path, info); });
  }
  int Lstat(const char* path, struct stat* info) override {
    return Note(SystemCall::Lstat, {path}, {}, [&] { return SystemCalls::Lstat(path, info); });
  }
  int Mkdir(const char* path, mode_t mode) override {
    return Note(SystemCall::Mkdir, {path}, {}, [&] { return SystemCalls::Mkdir(path, mode); });
  }
  int Rmdir(const char* path) override {
    return Note(SystemCall::Rmdir, {path}, {}, [&] { return SystemCalls::Rmdir(path); });
  }
  int RenameNoReplace(const char* from, const char* to) override {
    return Note(SystemCall::RenameNoReplace, {from, to}, {},
                [&] { return SystemCalls::RenameNoReplace(from, to); });
  }
  int Rename(const char* from, const char* to) override {
    return Note(SystemCall::Rename, {from, to}, {}, [&] { return SystemCalls::Rename(from, to); });
  }
  int Link(const char* from, const char* to) override {
    return Note(SystemCall::Link, {from, to}, {}, [&] { return SystemCalls::Link(from, to); });
  }
  int Unlink(const char* path) override {
    return Note(SystemCall::Unlink, {path}, {}, [&] { return SystemCalls::Unlink(path); });
  }
  int Open(const char* path, int flags, mode_t mode) override {
    if (before) before();
    const std::lock_guard lock(mutex_);
    struct stat earlier {};
    const bool existed = ::lstat(path, &earlier) == 0;
    const int fd = SystemCalls::Open(path, flags, mode);
    const int failure = errno;
    RecordedCall& call = Add(SystemCall::Open, {path}, {fd}, fd, failure);
    if (fd >= 0) {
      call.created = (flags & O_CREAT) != 0 && !existed;
      struct stat info {};
      if (::fstat(fd, &info) == 0) call.device = info.st_dev;
      opened_[fd] = {path, call.device};
    }
    errno = failure;
    return fd;
  }
  int Close(int fd) override {
    const std::lock_guard lock(mutex_);
    const int closed = Note(SystemCall::Close, {}, {fd}, [&] { return SystemCalls::Close(fd); });
    opened_.erase(fd);
    return closed;
  }
  ssize_t Read(int fd, void* buffer, size_t size) override {
    return Note(SystemCall::Read, {}, {fd}, [&] { return SystemCalls::Read(fd, buffer, size); });
  }
  ssize_t Write(int fd, const void* buffer, size_t size) override {
    const std::lock_guard lock(mutex_);
    return Wrote(fd, Note(SystemCall::Write, {}, {fd},
                          [&] { return SystemCalls::Write(fd, buffer, size); }));
  }
  int Fsync(int fd) override {
    return Note(SystemCall::Fsync, {}, {fd}, [&] { return SystemCalls::Fsync(fd); });
  }
  int Syncfs(int fd) override {
    return Note(SystemCall::Syncfs, {}, {fd}, [&] { return SystemCalls::Syncfs(fd); });
  }
  int FileSystemType(int fd, long& type) override {
    const int answered = Note(SystemCall::FileSystemType, {}, {fd},
                              [&] { return SystemCalls::FileSystemType(fd, type); });
    if (answered == 0 && typeAnswered) type = *typeAnswered;
    return answered;
  }
  int Fstat(int fd, struct stat* info) override {
    return Note(SystemCall::Fstat, {}, {fd}, [&] { return SystemCalls::Fstat(fd, info); });
  }
  int Fchmod(int fd, mode_t mode) override {
    return Note(SystemCall::Fchmod, {}, {fd}, [&] { return SystemCalls::Fchmod(fd, mode); });
  }
  int Futimens(int fd, const struct timespec times[2]) override {
    return Note(SystemCall::Futimens, {}, {fd}, [&] { return SystemCalls::Futimens(fd, times); });
  }
  int Fcntl(int fd, int command, int argument) override {
    return Note(SystemCall::Fcntl, {}, {fd},
                [&] { return SystemCalls::Fcntl(fd, command, argument); });
  }
  ssize_t CopyFileRange(int fromFd, int toFd, size_t size) override {
    const std::lock_guard lock(mutex_);
    return Wrote(toFd, Note(SystemCall::CopyFileRange, {}, {fromFd, toFd},
                            [&] { return SystemCalls::CopyFileRange(fromFd, toFd, size); }));
  }
  ssize_t Sendfile(int toFd, int fromFd, size_t size) override {
    const std::lock_guard lock(mutex_);
    return Wrote(toFd, Note(SystemCall::Sendfile, {}, {toFd, fromFd},
                            [&] { return SystemCalls::Sendfile(toFd, fromFd, size); }));
  }
  int SyncFileRange(int fd, off_t offset, off_t size, unsigned flags) override {
    return Note(SystemCall::SyncFileRange, {}, {fd},
                [&] { return SystemCalls::SyncFileRange(fd, offset, size, flags); });
  }
  int Kill(pid_t process, int signal) override {
    return Note(SystemCall::Kill, {}, {}, [&] { return SystemCalls::Kill(process, signal); });
  }
  int Gethostname(char* name, size_t size) override {
    return Note(SystemCall::Gethostname, {}, {},
                [&] { return SystemCalls::Gethostname(name, size); });
  }
  int ListNames(const char* folder, std::string_view prefix,
                std::vector<std::string>& names) override {
    return Note(SystemCall::ListNames, {folder}, {},
                [&] { return SystemCalls::ListNames(folder, prefix, names); });
  }

 private:
  struct Opened {
    std::string path;
    dev_t device = 0;
  };

  // Descriptors come after the paths, each as the path it was opened with.
  RecordedCall& Add(SystemCall kind, std::vector<std::string> paths, std::vector<int> fds,
                    long result, int failure) {
    RecordedCall& call = calls.emplace_back();
    call.call = kind;
    call.paths = std::move(paths);
    call.fds = std::move(fds);
    call.result = result;
    call.error = result < 0 ? failure : 0;
    if (kind == SystemCall::Open) return call;
    for (const int fd : call.fds) {
      const auto found = opened_.find(fd);
      call.paths.push_back(found == opened_.end() ? "?" : found->second.path);
      if (found != opened_.end() && call.device == 0) call.device = found->second.device;
    }
    return call;
  }

  template <typename Real>
  auto Note(SystemCall kind, std::vector<std::string> paths, std::vector<int> fds, Real real)
      -> decltype(real()) {
    if (before) before();
    const std::lock_guard lock(mutex_);
    const auto result = real();
    const int failure = errno;
    Add(kind, std::move(paths), std::move(fds), static_cast<long>(result), failure);
    errno = failure;
    return result;
  }

  // The written file's whole content, read through a descriptor of our own: the layer's may be
  // open for writing only.
  ssize_t Wrote(int fd, ssize_t written) {
    const int failure = errno;
    if (written > 0) {
      const int reader = ::open(("/proc/self/fd/" + std::to_string(fd)).c_str(), O_RDONLY);
      char chunk[4096];
      for (ssize_t got; reader >= 0 && (got = ::read(reader, chunk, sizeof chunk)) > 0;) {
        calls.back().bytes.append(chunk, static_cast<size_t>(got));
      }
      if (reader >= 0) ::close(reader);
    }
    errno = failure;
    return written;
  }

  std::recursive_mutex mutex_;
  std::map<int, Opened> opened_;
};

// The call's name, for messages.
inline std::string_view CallName(SystemCall call) {
  switch (call) {
    case SystemCall::Stat:
      return "Stat";
    case SystemCall::Lstat:
      return "Lstat";
    case SystemCall::Mkdir:
      return "Mkdir";
    case SystemCall::Rmdir:
      return "Rmdir";
    case SystemCall::RenameNoReplace:
      return "RenameNoReplace";
    case SystemCall::Rename:
      return "Rename";
    case SystemCall::Link:
      return "Link";
    case SystemCall::Unlink:
      return "Unlink";
    case SystemCall::Open:
      return "Open";
    case SystemCall::Close:
      return "Close";
    case SystemCall::Read:
      return "Read";
    case SystemCall::Write:
      return "Write";
    case SystemCall::Fsync:
      return "Fsync";
    case SystemCall::Syncfs:
      return "Syncfs";
    case SystemCall::FileSystemType:
      return "FileSystemType";
    case SystemCall::Fstat:
      return "Fstat";
    case SystemCall::Fchmod:
      return "Fchmod";
    case SystemCall::Futimens:
      return "Futimens";
    case SystemCall::Fcntl:
      return "Fcntl";
    case SystemCall::CopyFileRange:
      return "CopyFileRange";
    case SystemCall::Sendfile:
      return "Sendfile";
    case SystemCall::SyncFileRange:
      return "SyncFileRange";
    case SystemCall::Kill:
      return "Kill";
    case SystemCall::Gethostname:
      return "Gethostname";
    case SystemCall::ListNames:
      return "ListNames";
  }
  return "?";
}

}  // namespace pellorin::testing
