#include "posix_file_system.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <limits>
#include <vector>

#include "paths.h"
#include "sorting/artist_rules.h"

namespace pellorin::posix {
namespace {

using platform::OwnFileKind;

std::string MachineTag(SystemCalls& calls) {
  char name[HOST_NAME_MAX + 1] = {};
  if (calls.Gethostname(name, sizeof name - 1) != 0) name[0] = '\0';
  return platform::HostTag(name);
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

PosixFileSystem::PosixFileSystem(SystemCalls& calls)
    : calls_(calls), copy_(calls), host_(MachineTag(calls)) {}

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
  createdFolder_ = *kernelPath;
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

// Only a run across devices sets sources aside, so only then can a dead one have left one in the
// source folder.
void PosixFileSystem::PrepareRun(std::string_view sourceFolder, std::string_view root) {
  const auto from = KernelPath(sourceFolder);
  const auto to = KernelPath(root);
  struct stat fromInfo {};
  struct stat toInfo {};
  if (from && to && calls_.Stat(from->c_str(), &fromInfo) == 0 &&
      calls_.Stat(to->c_str(), &toInfo) == 0 && fromInfo.st_dev != toInfo.st_dev) {
    TidyOnce(ParentFolder(JoinPath(*from, "x")));  // spelt as the moves will spell it
  }
}

std::error_code PosixFileSystem::CopyAcrossDevices(const std::string& source,
                                                   const std::string& destination) {
  TidyOnce(ParentFolder(destination));
  TidyOnce(ParentFolder(source));
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
  bool sourceInPlace = true;
  const auto failure = RemoveCopiedSource(source, sourceFd, sourceInfo, leased, sourceInPlace);
  // One file, where it was; but while the source is not back under its name, the copy stays.
  if (failure && sourceInPlace) calls_.Unlink(destination.c_str());
  return failure;
}

// Between a look at the source and its removal another program could put a new file under its
// name, so the source is first moved aside to a hidden name of our own, where nobody swaps it, and
// looked at there: only the very file that was copied, unchanged, is removed.
// sourceInPlace tells whether, on failure, the source is under its own name again.
std::error_code PosixFileSystem::RemoveCopiedSource(const std::string& source, int fd,
                                                    const struct stat& copied, bool leased,
                                                    bool& sourceInPlace) {
  sourceInPlace = true;
  if (auto changed = ChangedSince(source, fd, copied, leased, Times::ChangeToo)) return changed;
  std::string aside;
  if (auto failure = SetAside(source, aside)) return failure;
  // The rename itself has set the change time, so from here on only the data's time tells.
  auto failure = ChangedSince(aside, fd, copied, leased, Times::ModificationOnly);
  if (!failure && calls_.Unlink(aside.c_str()) != 0) {
    failure = LastError();
    // A network file system may answer a repeated unlink with ENOENT: then the source is gone.
    struct stat info {};
    if (calls_.Lstat(aside.c_str(), &info) != 0 && errno == ENOENT) return {};
  }
  if (failure) sourceInPlace = !RenameWithoutReplacing(aside, source);
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
  auto failure = copy_.Copy(sourceFd, temporaryFd, sourceInfo.st_size);
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

// A hidden name of our own in the destination folder, created exclusively so that nothing of
// anyone else's is ever written to. Returns the descriptor, or -1 with errno set.
int PosixFileSystem::CreateTemporary(const std::string& folder, std::string& temporary) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary = OwnName(folder, OwnFileKind::Temporary);
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

// Under a name of our own that keeps the original, where the name fits, so that a run that dies
// here leaves a file the next run can put back.
std::error_code PosixFileSystem::SetAside(const std::string& source, std::string& aside) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    aside = OwnName(ParentFolder(source), OwnFileKind::SetAside, LastComponent(source));
    const auto failure = RenameWithoutReplacing(source, aside);
    if (failure.value() != EEXIST) return failure;  // EEXIST: a dead namesake of ours is there
  }
  return Error(EEXIST);
}

std::string PosixFileSystem::OwnName(const std::string& folder, OwnFileKind kind,
                                     std::string_view original) const {
  static std::atomic<std::uint64_t> serial{0};
  platform::OwnFileName name{.kind = kind,
                             .process = static_cast<std::uint64_t>(::getpid()),
                             .serial = serial++,
                             .host = host_,
                             .original = std::string(original)};
  std::string formatted = platform::FormatOwnFileName(name);
  if (formatted.size() > NAME_MAX) {
    name.original.clear();
    formatted = platform::FormatOwnFileName(name);
  }
  return JoinPath(folder, formatted);
}

// Only folders that a move across devices uses can hold what a dead run left, and each is looked
// at once per run, so a run on one device never pays for this. The folder just made for the
// file being moved, as a run makes them, holds nothing yet.
void PosixFileSystem::TidyOnce(const std::string& folder) {
  if (tidyFolders_.insert(folder).second && folder != createdFolder_) TidyAfterDeadRuns(folder);
}

// What a run of this machine that has died left in folder: its temporaries go; a source it had
// set aside, whose copy was published and flushed before, goes back under its own name if that
// name is free, as a duplicate for the next run to report, rather than being removed unverified.
// Anything else (a live run's files, another machine's, names not made by us) stays untouched.
void PosixFileSystem::TidyAfterDeadRuns(const std::string& folder) {
  std::vector<std::string> names;
  if (calls_.ListNames(folder.empty() ? "." : folder.c_str(), ".", names) != 0) return;
  for (const auto& name : names) {
    const auto own = platform::ParseOwnFileName(name);
    if (!own || own->host != host_ || !IsGone(own->process)) continue;
    const std::string path = JoinPath(folder, name);
    struct stat info {};
    if (calls_.Lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    if (own->kind == OwnFileKind::Temporary) {
      calls_.Unlink(path.c_str());
    } else if (!own->original.empty()) {
      RenameWithoutReplacing(path, JoinPath(folder, own->original));
    }
  }
}

// Only "no such process" counts: a process of another user answers EPERM and is alive. This
// process counts as alive even where it shares its number with a dead run of long ago.
bool PosixFileSystem::IsGone(std::uint64_t process) {
  if (process == 0 || process > static_cast<std::uint64_t>(std::numeric_limits<pid_t>::max()) ||
      process == static_cast<std::uint64_t>(::getpid())) {
    return false;
  }
  return calls_.Kill(static_cast<pid_t>(process), 0) != 0 && errno == ESRCH;
}

}  // namespace pellorin::posix
