#pragma once

// What a disk would charge a run for: the cache flushes that the block device under a file system
// completed, as the kernel counts them in /proc/diskstats (its 19th field, "flushes completed",
// since Linux 5.5). On a loop device a flush costs next to nothing, so a run's time there leaves
// them out; counted, they can be priced as a real disk would.

#include <filesystem>
#include <optional>
#include <string>

namespace pellorin::bench {

class DiskFlushes {
 public:
  // The device that holds the file system of path (for a loop mount, its loop device).
  explicit DiskFlushes(const std::filesystem::path& path);

  // Flushes the device has completed since it appeared; none where the kernel does not count them
  // or the device is not listed.
  std::optional<long> Completed() const;
  // The device's name in /proc/diskstats ("loop3"), or why it was not found.
  const std::string& device() const { return device_; }

 private:
  bool listed_ = false;
  unsigned major_ = 0, minor_ = 0;
  std::string device_;
};

}  // namespace pellorin::bench
