#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

#include <string>
#include <string_view>
#include <vector>

namespace pellorin::posix {

// How a file that should be a song, ours or the user's, is opened for reading. A neighbour in a
// shared folder may have put a FIFO or a device under its name since the folder was listed: opened
// without O_NONBLOCK a FIFO waits for a writer that never comes, and a terminal could become ours.
// The caller checks that it got a regular file.
inline constexpr int kOpenWithoutWaiting =
    O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;

// The one seam between the POSIX layer and the kernel. Each call behaves exactly like the system
// call it is named after (a result of -1 with errno set on failure), so a test can derive from it
// and make any single call fail with the error it wants.
class SystemCalls {
 public:
  virtual ~SystemCalls() = default;

  virtual int Stat(const char* path, struct stat* info);
  virtual int Lstat(const char* path, struct stat* info);
  virtual int Mkdir(const char* path, mode_t mode);
  virtual int Rmdir(const char* path);
  virtual int RenameNoReplace(const char* from, const char* to);
  virtual int Rename(const char* from, const char* to);
  virtual int Link(const char* from, const char* to);
  virtual int Unlink(const char* path);
  virtual int Open(const char* path, int flags, mode_t mode);
  virtual int Close(int fd);
  virtual ssize_t Read(int fd, void* buffer, size_t size);
  virtual ssize_t Pread(int fd, void* buffer, size_t size, off_t offset);
  virtual ssize_t Write(int fd, const void* buffer, size_t size);
  virtual int Fsync(int fd);
  // Flushes the whole file system that fd is on.
  virtual int Syncfs(int fd);
  // The statfs f_type of the file system that fd is on.
  virtual int FileSystemType(int fd, long& type);
  virtual int Fstat(int fd, struct stat* info);
  virtual int Fchmod(int fd, mode_t mode);
  virtual int Futimens(int fd, const struct timespec times[2]);
  virtual int Fcntl(int fd, int command, int argument);
  // From and to the descriptors' own offsets, as with null offset pointers.
  virtual ssize_t CopyFileRange(int fromFd, int toFd, size_t size);
  virtual ssize_t Sendfile(int toFd, int fromFd, size_t size);
  virtual int SyncFileRange(int fd, off_t offset, off_t size, unsigned flags);
  virtual int Kill(pid_t process, int signal);
  virtual int Gethostname(char* name, size_t size);
  // opendir, readdir and closedir: the names in folder that begin with prefix.
  virtual int ListNames(const char* folder, std::string_view prefix,
                        std::vector<std::string>& names);

  static SystemCalls& Real();
};

}  // namespace pellorin::posix
