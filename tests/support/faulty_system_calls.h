#pragma once

// The POSIX layer's system calls with faults planted in them. Before each call, the schedule may
// name an errno: the call then fails with it and does nothing (a write may instead be cut short).
// A hook runs before each call, so a test can play another program acting at exactly that moment.
// A flush names the file or folder it flushes, as its descriptor was last known by. The layer calls
// from two threads (the run's, and the one that makes groups durable): the hooks run one at a time.

#include <cerrno>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/system_calls.h"

namespace pellorin::testing {

enum class SystemCall {
  Stat,
  Lstat,
  Mkdir,
  Rmdir,
  RenameNoReplace,
  Rename,
  Link,
  Unlink,
  Open,
  Close,
  Read,
  Write,
  Fsync,
  Syncfs,
  FileSystemType,
  Fstat,
  Fchmod,
  Futimens,
  Fcntl,
  CopyFileRange,
  Sendfile,
  SyncFileRange,
  Kill,
  Gethostname,
  ListNames
};

// The calls that carry a file's bytes across devices, whichever the kernel takes.
inline bool CopiesBytes(SystemCall call) {
  return call == SystemCall::CopyFileRange || call == SystemCall::Sendfile ||
         call == SystemCall::Read;
}

// A schedule's answer: write or copy only part of what was asked.
inline constexpr int kShortWrite = -1;

class FaultySystemCalls final : public posix::SystemCalls {
 public:
  // Returns 0 to let the call through, an errno to fail it, or kShortWrite for a Write.
  std::function<int(SystemCall call, const char* path)> schedule;
  std::function<void(SystemCall call, const char* path)> before;
  int faultsInjected = 0;

  int Stat(const char* path, struct stat* info) override {
    return Call(SystemCall::Stat, path, [&] { return SystemCalls::Stat(path, info); });
  }
  int Lstat(const char* path, struct stat* info) override {
    return Call(SystemCall::Lstat, path, [&] { return SystemCalls::Lstat(path, info); });
  }
  int Mkdir(const char* path, mode_t mode) override {
    return Call(SystemCall::Mkdir, path, [&] { return SystemCalls::Mkdir(path, mode); });
  }
  int Rmdir(const char* path) override {
    return Call(SystemCall::Rmdir, path, [&] { return SystemCalls::Rmdir(path); });
  }
  int RenameNoReplace(const char* from, const char* to) override {
    return Call(SystemCall::RenameNoReplace, from,
                [&] { return SystemCalls::RenameNoReplace(from, to); });
  }
  int Rename(const char* from, const char* to) override {
    return Call(SystemCall::Rename, from, [&] { return SystemCalls::Rename(from, to); });
  }
  int Link(const char* from, const char* to) override {
    return Call(SystemCall::Link, from, [&] { return SystemCalls::Link(from, to); });
  }
  int Unlink(const char* path) override {
    return Call(SystemCall::Unlink, path, [&] { return SystemCalls::Unlink(path); });
  }
  int Open(const char* path, int flags, mode_t mode) override {
    return Call(SystemCall::Open, path, [&] { return SystemCalls::Open(path, flags, mode); });
  }
  int Close(int fd) override {  // like the kernel's, a failed close still frees the descriptor
    const int failure = Decide(SystemCall::Close, "");
    const int closed = SystemCalls::Close(fd);
    if (failure <= 0) return closed;
    errno = failure;
    return -1;
  }
  ssize_t Read(int fd, void* buffer, size_t size) override {
    return Call(SystemCall::Read, "", [&] { return SystemCalls::Read(fd, buffer, size); });
  }
  ssize_t Write(int fd, const void* buffer, size_t size) override {
    const int failure = Decide(SystemCall::Write, "");
    if (failure == kShortWrite) return SystemCalls::Write(fd, buffer, (size + 1) / 2);
    if (failure > 0) return Fail<ssize_t>(failure);
    return SystemCalls::Write(fd, buffer, size);
  }
  int Fsync(int fd) override {
    return Call(SystemCall::Fsync, PathOf(fd).c_str(), [&] { return SystemCalls::Fsync(fd); });
  }
  int Syncfs(int fd) override {
    return Call(SystemCall::Syncfs, PathOf(fd).c_str(), [&] { return SystemCalls::Syncfs(fd); });
  }
  int FileSystemType(int fd, long& type) override {
    return Call(SystemCall::FileSystemType, "",
                [&] { return SystemCalls::FileSystemType(fd, type); });
  }
  int Fstat(int fd, struct stat* info) override {
    return Call(SystemCall::Fstat, "", [&] { return SystemCalls::Fstat(fd, info); });
  }
  int Fchmod(int fd, mode_t mode) override {
    return Call(SystemCall::Fchmod, "", [&] { return SystemCalls::Fchmod(fd, mode); });
  }
  int Futimens(int fd, const struct timespec times[2]) override {
    return Call(SystemCall::Futimens, "", [&] { return SystemCalls::Futimens(fd, times); });
  }
  int Fcntl(int fd, int command, int argument) override {
    return Call(SystemCall::Fcntl, "", [&] { return SystemCalls::Fcntl(fd, command, argument); });
  }
  ssize_t CopyFileRange(int fromFd, int toFd, size_t size) override {
    const int failure = Decide(SystemCall::CopyFileRange, "");
    if (failure == kShortWrite) return SystemCalls::CopyFileRange(fromFd, toFd, (size + 1) / 2);
    if (failure > 0) return Fail<ssize_t>(failure);
    return SystemCalls::CopyFileRange(fromFd, toFd, size);
  }
  ssize_t Sendfile(int toFd, int fromFd, size_t size) override {
    const int failure = Decide(SystemCall::Sendfile, "");
    if (failure == kShortWrite) return SystemCalls::Sendfile(toFd, fromFd, (size + 1) / 2);
    if (failure > 0) return Fail<ssize_t>(failure);
    return SystemCalls::Sendfile(toFd, fromFd, size);
  }
  int SyncFileRange(int fd, off_t offset, off_t size, unsigned flags) override {
    return Call(SystemCall::SyncFileRange, "",
                [&] { return SystemCalls::SyncFileRange(fd, offset, size, flags); });
  }
  int Kill(pid_t process, int signal) override {
    return Call(SystemCall::Kill, "", [&] { return SystemCalls::Kill(process, signal); });
  }
  int Gethostname(char* name, size_t size) override {
    return Call(SystemCall::Gethostname, "", [&] { return SystemCalls::Gethostname(name, size); });
  }
  int ListNames(const char* folder, std::string_view prefix,
                std::vector<std::string>& names) override {
    return Call(SystemCall::ListNames, folder,
                [&] { return SystemCalls::ListNames(folder, prefix, names); });
  }

 private:
  static std::string PathOf(int fd) {
    std::error_code unknown;
    return std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), unknown);
  }
  int Decide(SystemCall call, const char* path) {
    const std::lock_guard lock(mutex_);
    if (before) before(call, path);
    const int failure = schedule ? schedule(call, path) : 0;
    if (failure != 0) ++faultsInjected;
    return failure;
  }
  template <typename Result>
  Result Fail(int failure) {
    errno = failure;
    return -1;
  }
  template <typename Real>
  auto Call(SystemCall call, const char* path, Real real) -> decltype(real()) {
    const int failure = Decide(call, path);
    if (failure > 0) return Fail<decltype(real())>(failure);
    return real();
  }

  std::mutex mutex_;
};

}  // namespace pellorin::testing
