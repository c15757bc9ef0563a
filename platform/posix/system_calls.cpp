#include "system_calls.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

namespace pellorin::posix {

int SystemCalls::Stat(const char* path, struct stat* info) { return ::stat(path, info); }
int SystemCalls::Lstat(const char* path, struct stat* info) { return ::lstat(path, info); }
int SystemCalls::Mkdir(const char* path, mode_t mode) { return ::mkdir(path, mode); }
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
ssize_t SystemCalls::Write(int fd, const void* buffer, size_t size) {
  return ::write(fd, buffer, size);
}
int SystemCalls::Fsync(int fd) { return ::fsync(fd); }
int SystemCalls::Fstat(int fd, struct stat* info) { return ::fstat(fd, info); }
int SystemCalls::Fchmod(int fd, mode_t mode) { return ::fchmod(fd, mode); }
int SystemCalls::Futimens(int fd, const struct timespec times[2]) { return ::futimens(fd, times); }
int SystemCalls::Fcntl(int fd, int command, int argument) { return ::fcntl(fd, command, argument); }

SystemCalls& SystemCalls::Real() {
  static SystemCalls real;
  return real;
}

}  // namespace pellorin::posix
