#include "system_calls.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/sendfile.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>

namespace pellorin::posix {

int SystemCalls::Stat(const char* path, struct stat* info) { return ::stat(path, info); }
int SystemCalls::Lstat(const char* path, struct stat* info) { return ::lstat(path, info); }
int SystemCalls::Mkdir(const char* path, mode_t mode) { return ::mkdir(path, mode); }
int SystemCalls::Rmdir(const char* path) { return ::rmdir(path); }
int SystemCalls::RenameNoReplace(const char* from, const char* to) {
  return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
}
int SystemCalls::Rename(const char* from, const char* to) { return ::rename(from, to); }
int SystemCalls::Link(const char* from, const char* to) { return ::link(from, to); }
int SystemCalls::Unlink(const char* path) { return ::unlink(path); }
int SystemCalls::Open(const char* path, int flags, mode_t mode) {
  return ::open(path, flags, mode);
}
int SystemCalls::Close(int fd) { return ::close(fd); }
ssize_t SystemCalls::Read(int fd, void* buffer, size_t size) { return ::read(fd, buffer, size); }
ssize_t SystemCalls::Pread(int fd, void* buffer, size_t size, off_t offset) {
  return ::pread(fd, buffer, size, offset);
}
ssize_t SystemCalls::Write(int fd, const void* buffer, size_t size) {
  return ::write(fd, buffer, size);
}
int SystemCalls::Fsync(int fd) { return ::fsync(fd); }
int SystemCalls::Syncfs(int fd) { return ::syncfs(fd); }
int SystemCalls::FileSystemType(int fd, long& type) {
  struct statfs info {};
  if (::fstatfs(fd, &info) != 0) return -1;
  type = static_cast<long>(info.f_type);
  return 0;
}
int SystemCalls::Fstat(int fd, struct stat* info) { return ::fstat(fd, info); }
int SystemCalls::Fchmod(int fd, mode_t mode) { return ::fchmod(fd, mode); }
int SystemCalls::Futimens(int fd, const struct timespec times[2]) { return ::futimens(fd, times); }
int SystemCalls::Fcntl(int fd, int command, int argument) { return ::fcntl(fd, command, argument); }
ssize_t SystemCalls::CopyFileRange(int fromFd, int toFd, size_t size) {
  return ::copy_file_range(fromFd, nullptr, toFd, nullptr, size, 0);
}
ssize_t SystemCalls::Sendfile(int toFd, int fromFd, size_t size) {
  return ::sendfile(toFd, fromFd, nullptr, size);
}
int SystemCalls::SyncFileRange(int fd, off_t offset, off_t size, unsigned flags) {
  return ::sync_file_range(fd, offset, size, flags);
}
int SystemCalls::Kill(pid_t process, int signal) { return ::kill(process, signal); }
int SystemCalls::Gethostname(char* name, size_t size) { return ::gethostname(name, size); }

int SystemCalls::ListNames(const char* folder, std::string_view prefix,
                           std::vector<std::string>& names) {
  DIR* listing = ::opendir(folder);
  if (listing == nullptr) return -1;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(listing);
    if (entry == nullptr) break;
    if (std::string_view(entry->d_name).starts_with(prefix)) names.emplace_back(entry->d_name);
  }
  const int failure = errno;
  ::closedir(listing);
  errno = failure;
  return failure == 0 ? 0 : -1;
}

SystemCalls& SystemCalls::Real() {
  static SystemCalls real;
  return real;
}

}  // namespace pellorin::posix
