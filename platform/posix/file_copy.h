#pragma once

#include <sys/types.h>

#include <system_error>
#include <vector>

#include "system_calls.h"

namespace pellorin::posix {

// Copies one open file into another the cheapest way the two file systems allow: inside the
// kernel with copy_file_range (which since Linux 5.19 refuses two file systems of different
// types), else with sendfile, else through one buffer of ours, allocated the first time it is
// needed and kept for every later file. Write-back of the copy starts every few MiB and at its
// end, so that the flush of its group finds little left to write.
class FileCopy {
 public:
  explicit FileCopy(SystemCalls& calls) : calls_(calls) {}

  // Copies from both descriptors' current offsets until size bytes are copied or the source
  // ends, whichever comes first. Returns the first error that no other way could avoid.
  std::error_code Copy(int fromFd, int toFd, off_t size);

 private:
  enum class Way { CopyFileRange, Sendfile, ReadWrite };
  ssize_t CopySome(Way way, int fromFd, int toFd, size_t size);
  ssize_t ReadThenWrite(int fromFd, int toFd, size_t size);

  SystemCalls& calls_;
  std::vector<char> buffer_;
};

}  // namespace pellorin::posix
