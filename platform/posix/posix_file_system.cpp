#include "posix_file_system.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <vector>

#include "paths.h"
#include "sorting/artist_rules.h"

namespace pellorin::posix {
namespace {

// A name of our own in folder that no other program uses: hidden, with our process and a count.
std::string HiddenName(const std::string& folder, std::string_view ending) {
  static std::atomic<unsigned> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  return JoinPath(folder, ".pellorin-" + std::to_string(::getpid()) + "-" + std::to_string(stamp) +
                              "-" + std::to_string(counter++) + std::string(ending));
}

std::error_code LastError() { return {errno, std::generic_category()}; }
std::error_code Error(int number) { return {number, std::generic_category()}; }

// Errors by which a file system says it cannot do what was asked at all, as opposed to "not now".
bool Unsupported(int number) {
  return number == EINVAL || number == ENOSYS || number == ENOTSUP || number == EOPNOTSUPP;
}
bool LinkUnsupported(int number) {
  return Unsupported(number) || number == EPERM || number == EMLINK;
}

}  // namespace

std::string PosixFileSystem::GetParentFolderName(std::string_view path) const {
  return ParentFolder(path);
}

bool PosixFileSystem::FolderExists(std::string_view path) const {
  const auto kernelPath = KernelPath(path);
  struct stat info {};
  return kernelPath && !path.empty() && calls_.Stat(kernelPath->c_str(), &info) == 0 &&
         S_ISDIR(info.st_mode);
}

bool PosixFileSystem::PathExists(std::string_view path) const {
  const auto kernelPath = KernelPath(path);
  struct stat info {};
  return kernelPath && !path.empty() && calls_.Lstat(kernelPath->c_str(), &info) == 0;
}

std::string PosixFileSystem::BuildPath(std::string_view path, std::string_view name) const {
  return JoinPath(path, name);
}

bool PosixFileSystem::IsFolderName(std::string_view name) const {
  return IsPlainFolderName(name, "/");
}

std::error_code PosixFileSystem::CreateFolder(std::string_view path) {
  const auto kernelPath = KernelPath(path);
  if (!kernelPath || path.empty()) return Error(EINVAL);
  if (calls_.Mkdir(kernelPath->c_str(), 0777) != 0) return LastError();
  return {};
}

std::error_code PosixFileSystem::MoveFile(std::string_view source, std::string_view destination) {
  const auto from = KernelPath(source);
  const auto to = KernelPath(destination);
  if (!from || !to || source.empty() || destination.empty()) return Error(EINVAL);
  const auto moved = RenameWithoutReplacing(*from, *to);
  if (moved.value() == EXDEV) return CopyAcrossDevices(*from, *to);
  return moved;
}

std::error_code PosixFileSystem::RenameWithoutReplacing(const std::string& from,
                                                        const std::string& to) {
  if (calls_.RenameNoReplace(from.c_str(), to.c_str()) == 0) return {};
  const int number = errno;
  if (!Unsupported(number)) return Error(number);
  return LinkOrPlaceholderRename(from, to);
}

std::error_code PosixFileSystem::LinkOrPlaceholderRename(const std::string& from,
                                                         const std::string& to) {
  if (calls_.Link(from.c_str(), to.c_str()) == 0) {
    if (calls_.Unlink(from.c_str()) == 0) return {};
    const auto failure = LastError();
    calls_.Unlink(to.c_str());
    return failure;
  }
  if (!LinkUnsupported(errno)) return LastError();

  // No hard links either (FAT): claim the name exclusively, then rename over our own placeholder.
  const int placeholder = calls_.Open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (placeholder < 0) return LastError();
  calls_.Close(placeholder);
  if (calls_.Rename(from.c_str(), to.c_str()) == 0) return {};
  const auto failure = LastError();
  calls_.Unlink(to.c_str());
  return failure;
}

std::error_code PosixFileSystem::CopyAcrossDevices(const std::string& source,
                                                   const std::string& destination) {
  struct stat existing {};
  if (calls_.Lstat(destination.c_str(), &existing) == 0) return Error(EEXIST);

  const int sourceFd = calls_.Open(source.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC, 0);
  if (sourceFd < 0) return LastError();
  const auto failure = CopyThenRemoveSource(source, sourceFd, destination);
  calls_.Close(sourceFd);  // ends the lease too
  if (!failure) FlushFolder(ParentFolder(source));
  return failure;
}

// The source goes only while it is still the very file that was copied, unchanged and open for
// writing nowhere. Otherwise another program has had its say: the copy goes again, and the source
// stays as that program left it.
std::error_code PosixFileSystem::CopyThenRemoveSource(const std::string& source, int sourceFd,
                                                      const std::string& destination) {
  struct stat sourceInfo {};
  if (calls_.Fstat(sourceFd, &sourceInfo) != 0) return LastError();
  if (!S_ISREG(sourceInfo.st_mode)) return Error(EINVAL);
  bool leased = false;
  if (auto busy = TakeReadLease(sourceFd, leased)) return busy;

  std::string temporary;
  const std::string folder = ParentFolder(destination);
  const int temporaryFd = CreateTemporary(folder, temporary);
  if (temporaryFd < 0) return LastError();
  if (auto failure = CopyIntoTemporary(sourceFd, sourceInfo, temporary, temporaryFd)) {
    return failure;
  }
  if (auto published = RenameWithoutReplacing(temporary, destination)) {
    calls_.Unlink(temporary.c_str());
    return published;
  }
  FlushFolder(folder);
  const auto failure = RemoveCopiedSource(source, sourceFd, sourceInfo, leased);
  if (failure) calls_.Unlink(destination.c_str());  // one file, where it was
  return failure;
}

// Between a look at the source and its removal another program could put a new file under its
// name, so the source is first moved aside to a hidden name of our own, where nobody swaps it, and
// looked at there: only the very file that was copied, unchanged, is removed.
std::error_code PosixFileSystem::RemoveCopiedSource(const std::string& source, int fd,
                                                    const struct stat& copied, bool leased) {
  if (auto changed = ChangedSince(source, fd, copied, leased, Times::ChangeToo)) return changed;
  const std::string aside = HiddenName(ParentFolder(source), ".gone");
  if (auto failure = RenameWithoutReplacing(source, aside)) return failure;
  // The rename itself has set the change time, so from here on only the data's time tells.
  auto failure = ChangedSince(aside, fd, copied, leased, Times::ModificationOnly);
  if (!failure && calls_.Unlink(aside.c_str()) != 0) failure = LastError();
  if (failure) RenameWithoutReplacing(aside, source);
  return failure;
}

// The kernel refuses a read lease while anyone has the file open for writing, and breaks it when
// anyone opens it for writing later. Where no lease is to be had (a file of another owner, a file
// system without leases), the comparison of identity, size and times still stands.
std::error_code PosixFileSystem::TakeReadLease(int fd, bool& leased) {
  leased = false;
  // A broken lease is announced by a signal: SIGURG, ignored unless asked for, rather than the
  // default SIGIO, which would end the program.
  if (calls_.Fcntl(fd, F_SETSIG, SIGURG) != 0) return {};
  leased = calls_.Fcntl(fd, F_SETLEASE, F_RDLCK) == 0;
  if (!leased && errno == EAGAIN) return Error(EBUSY);
  return {};
}

// Whether path still names the file open as fd, with the size and times it had when copied, and
// nobody has opened it for writing since.
std::error_code PosixFileSystem::ChangedSince(const std::string& path, int fd,
                                              const struct stat& copied, bool leased, Times times) {
  if (leased && calls_.Fcntl(fd, F_GETLEASE, 0) != F_RDLCK) return Error(EBUSY);
  struct stat now {};
  struct stat named {};
  if (calls_.Fstat(fd, &now) != 0 || calls_.Lstat(path.c_str(), &named) != 0) {
    return LastError();
  }
  const auto same = [](const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
  };
  const bool unchanged = named.st_dev == now.st_dev && named.st_ino == now.st_ino &&
                         now.st_size == copied.st_size && same(now.st_mtim, copied.st_mtim) &&
                         (times == Times::ModificationOnly || same(now.st_ctim, copied.st_ctim));
  return unchanged ? std::error_code() : Error(EBUSY);
}

// Copies, carries mode and times over where the file system keeps them, flushes and closes the
// temporary; on failure the temporary is gone.
std::error_code PosixFileSystem::CopyIntoTemporary(int sourceFd, const struct stat& sourceInfo,
                                                   const std::string& temporary, int temporaryFd) {
  auto failure = CopyBytes(sourceFd, temporaryFd);
  if (!failure) {
    calls_.Fchmod(temporaryFd, sourceInfo.st_mode & 07777);
    const struct timespec times[2] = {sourceInfo.st_atim, sourceInfo.st_mtim};
    calls_.Futimens(temporaryFd, times);
    if (calls_.Fsync(temporaryFd) != 0 && !Unsupported(errno)) failure = LastError();
  }
  if (calls_.Close(temporaryFd) != 0 && !failure) failure = LastError();
  if (failure) calls_.Unlink(temporary.c_str());
  return failure;
}

std::error_code PosixFileSystem::CopyBytes(int fromFd, int toFd) {
  std::vector<char> buffer(1 << 20);
  for (;;) {
    const ssize_t got = calls_.Read(fromFd, buffer.data(), buffer.size());
    if (got == 0) return {};
    if (got < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    for (ssize_t written = 0; written < got;) {
      const ssize_t put =
          calls_.Write(toFd, buffer.data() + written, static_cast<size_t>(got - written));
      if (put < 0) {
        if (errno == EINTR) continue;
        return LastError();
      }
      written += put;
    }
  }
}

// A hidden name of our own in the destination folder, created exclusively so that nothing of
// anyone else's is ever written to. Returns the descriptor, or -1 with errno set.
int PosixFileSystem::CreateTemporary(const std::string& folder, std::string& temporary) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary = HiddenName(folder, ".part");
    const int fd = calls_.Open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

void PosixFileSystem::FlushFolder(const std::string& folder) {
  const int fd =
      calls_.Open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (fd < 0) return;
  calls_.Fsync(fd);
  calls_.Close(fd);
}

}  // namespace pellorin::posix
