#include "disk_flushes.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <fstream>
#include <sstream>

namespace pellorin::bench {
namespace {

constexpr int kStatsBeforeFlushes = 15;  // fields 4 to 18: reads, writes, discards, ...

struct DiskLine {
  std::string name;
  std::optional<long> flushes;
};

// The line of /proc/diskstats for one device: "major minor name" then its counters.
std::optional<DiskLine> FindDiskLine(unsigned major, unsigned minor) {
  std::ifstream stats("/proc/diskstats");
  for (std::string line; std::getline(stats, line);) {
    std::istringstream fields(line);
    unsigned lineMajor = 0, lineMinor = 0;
    DiskLine disk;
    if (!(fields >> lineMajor >> lineMinor >> disk.name) || lineMajor != major ||
        lineMinor != minor) {
      continue;
    }
    long value = 0;
    for (int skipped = 0; skipped < kStatsBeforeFlushes && fields >> value; ++skipped) {
    }
    if (fields >> value) disk.flushes = value;
    return disk;
  }
  return std::nullopt;
}

}  // namespace

DiskFlushes::DiskFlushes(const std::filesystem::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    device_ = "no device: cannot stat " + path.string();
    return;
  }
  major_ = ::major(info.st_dev);
  minor_ = ::minor(info.st_dev);
  const auto disk = FindDiskLine(major_, minor_);
  listed_ = disk.has_value();
  device_ = disk ? disk->name
                 : "no device " + std::to_string(major_) + ":" + std::to_string(minor_) +
                       " in /proc/diskstats";
}

std::optional<long> DiskFlushes::Completed() const {
  if (!listed_) return std::nullopt;
  const auto disk = FindDiskLine(major_, minor_);
  if (!disk) return std::nullopt;
  return disk->flushes;
}

}  // namespace pellorin::bench
