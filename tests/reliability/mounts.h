#pragma once

// File systems mounted for one test, as root: a small tmpfs, a read-only bind mount, a FAT image
// through FUSE. Where the machine refuses, the mount says why, so the test can skip with that
// reason instead of failing. Declare a mount after the folder it lies in, so it goes first.

#include <string>

namespace pellorin::testing {

class Mount {
 public:
  // A tmpfs on folder with mount options such as "size=1m".
  static Mount Tmpfs(const std::string& folder, const std::string& options);
  // folder itself, bound onto itself and made read-only.
  static Mount ReadOnly(const std::string& folder);
  // A fresh FAT image of the given size in megabytes, made at image and mounted on folder.
  static Mount Fat(const std::string& image, const std::string& folder, int megabytes);

  Mount(Mount&& other) noexcept;
  Mount& operator=(Mount&&) = delete;
  ~Mount();

  bool mounted() const { return refusal_.empty(); }
  const std::string& refusal() const { return refusal_; }

 private:
  enum class Kind { Kernel, Fuse };
  Mount(std::string folder, Kind kind, std::string refusal)
      : folder_(std::move(folder)), kind_(kind), refusal_(std::move(refusal)) {}

  std::string folder_;
  Kind kind_;
  std::string refusal_;
};

}  // namespace pellorin::testing
