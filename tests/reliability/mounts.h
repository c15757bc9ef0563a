#pragma once

// File systems mounted for one test, as root: a small tmpfs, a read-only bind mount, FAT, exFAT
// and NTFS images through FUSE. Where the machine refuses, the mount says why, so the test can skip
// with that reason instead of failing. Declare a mount after the folder it lies in, so it goes
// first.

#include <string>
#include <vector>

namespace pellorin::testing {

class Mount {
 public:
  // A tmpfs on folder with mount options such as "size=1m".
  static Mount Tmpfs(const std::string& folder, const std::string& options);
  // folder itself, bound onto itself and made read-only.
  static Mount ReadOnly(const std::string& folder);
  // A fresh FAT image of the given size in megabytes, made at image and mounted on folder; with 0
  // megabytes, the image as it is, plugged in again.
  static Mount Fat(const std::string& image, const std::string& folder, int megabytes);
  // The same with exFAT (exfat-fuse), through a loop device: its driver refuses an image file.
  static Mount Exfat(const std::string& image, const std::string& folder, int megabytes);
  // The same with NTFS (ntfs-3g); windowsNames makes it refuse the names that Windows refuses.
  static Mount Ntfs(const std::string& image, const std::string& folder, int megabytes,
                    bool windowsNames);

  Mount(Mount&& other) noexcept;
  Mount& operator=(Mount&&) = delete;
  ~Mount();

  bool mounted() const { return refusal_.empty(); }
  const std::string& refusal() const { return refusal_; }

 private:
  enum class Kind { Kernel, Fuse, FuseDaemon };
  Mount(std::string folder, Kind kind, std::string refusal)
      : folder_(std::move(folder)), kind_(kind), refusal_(std::move(refusal)) {}
  static Mount WithDaemon(const std::vector<std::string>& arguments, const std::string& folder,
                          const std::string& loopDevice, const std::string& what);
  void Unmount();

  std::string folder_;
  Kind kind_;
  std::string refusal_;
  int daemon_ = 0;          // FuseDaemon: the process that serves the mount
  std::string loopDevice_;  // detached once the daemon has gone
};

}  // namespace pellorin::testing
