#include "file_copy.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>

namespace pellorin::posix {
namespace {

constexpr size_t kCopySize = 2 << 20;       // asked of the kernel per call
constexpr off_t kWriteBackEvery = 2 << 20;  // bytes copied between two starts of write-back
constexpr size_t kBufferSize = 1 << 20;     // for the copy through user space

// Errors by which a kernel copy says it cannot copy between these two files at all.
bool CannotCopyThisWay(int number) {
  return number == EXDEV || number == EINVAL || number == ENOSYS || number == ENOTSUP ||
         number == EOPNOTSUPP;
}

}  // namespace

std::error_code FileCopy::Copy(int fromFd, int toFd, off_t size) {
  Way way = Way::CopyFileRange;
  off_t copied = 0, writtenBack = 0;
  while (copied < size) {
    const auto wanted = static_cast<size_t>(std::min<off_t>(size - copied, kCopySize));
    const ssize_t got = CopySome(way, fromFd, toFd, wanted);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && !(way != Way::ReadWrite && CannotCopyThisWay(errno))) {
      return {errno, std::generic_category()};
    }
    if (got <= 0) {
      // A kernel copy may also stop short of the end on some file systems; a plain read tells
      // whether the source has really ended.
      if (way == Way::ReadWrite) break;
      way = way == Way::CopyFileRange ? Way::Sendfile : Way::ReadWrite;
      continue;
    }
    copied += got;
    if (copied - writtenBack >= kWriteBackEvery) {
      // Only a hint: whatever goes wrong in the write-back, the flush after the copy reports.
      calls_.SyncFileRange(toFd, writtenBack, copied - writtenBack, SYNC_FILE_RANGE_WRITE);
      writtenBack = copied;
    }
  }
  // The rest goes to the disk while the next songs are copied, so that the flush of their group
  // finds little left to write.
  if (copied > writtenBack) {
    calls_.SyncFileRange(toFd, writtenBack, copied - writtenBack, SYNC_FILE_RANGE_WRITE);
  }
  return {};
}

ssize_t FileCopy::CopySome(Way way, int fromFd, int toFd, size_t size) {
  switch (way) {
    case Way::CopyFileRange:
      return calls_.CopyFileRange(fromFd, toFd, size);
    case Way::Sendfile:
      return calls_.Sendfile(toFd, fromFd, size);
    case Way::ReadWrite:
      break;
  }
  return ReadThenWrite(fromFd, toFd, size);
}

// One read, all of it written: the bytes read, or -1 with errno set.
ssize_t FileCopy::ReadThenWrite(int fromFd, int toFd, size_t size) {
  if (buffer_.empty()) buffer_.resize(kBufferSize);
  const ssize_t got = calls_.Read(fromFd, buffer_.data(), std::min(size, buffer_.size()));
  if (got <= 0) return got;
  for (ssize_t written = 0; written < got;) {
    const ssize_t put =
        calls_.Write(toFd, buffer_.data() + written, static_cast<size_t>(got - written));
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return -1;
    written += put;
  }
  return got;
}

}  // namespace pellorin::posix
