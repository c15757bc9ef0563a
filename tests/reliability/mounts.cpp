#include "mounts.h"

#include <sys/mount.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace pellorin::testing {
namespace {

std::string Quote(const std::string& text) { return "'" + text + "'"; }

std::string Refusal(const std::string& what) { return what + ": " + std::strerror(errno); }

bool MountedOn(const std::string& folder) {
  struct stat mounted {
  }, parent{};
  return ::stat(folder.c_str(), &mounted) == 0 && ::stat((folder + "/..").c_str(), &parent) == 0 &&
         mounted.st_dev != parent.st_dev;
}

}  // namespace

Mount Mount::Tmpfs(const std::string& folder, const std::string& options) {
  if (::mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) != 0) {
    return {folder, Kind::Kernel, Refusal("cannot mount a tmpfs")};
  }
  return {folder, Kind::Kernel, ""};
}

Mount Mount::ReadOnly(const std::string& folder) {
  if (::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0) {
    return {folder, Kind::Kernel, Refusal("cannot bind-mount")};
  }
  if (::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
    Mount bound(folder, Kind::Kernel, "");  // unmounted again on the way out
    return {folder, Kind::Kernel, Refusal("cannot make a bind mount read-only")};
  }
  return {folder, Kind::Kernel, ""};
}

Mount Mount::Fat(const std::string& image, const std::string& folder, int megabytes) {
  const std::string make = "truncate -s " + std::to_string(megabytes) + "M " + Quote(image) +
                           " && mkfs.vfat " + Quote(image) + " >/dev/null 2>&1";
  if (std::system(make.c_str()) != 0) {
    return {folder, Kind::Fuse, "cannot make a FAT image (is dosfstools installed?)"};
  }
  const std::string mount =
      "fusefat -o rw+ " + Quote(image) + " " + Quote(folder) + " >/dev/null 2>&1";
  // fusefat can report success without mounting (no access to /dev/fuse): believe the device.
  if (std::system(mount.c_str()) != 0 || !MountedOn(folder)) {
    return {folder, Kind::Fuse,
            "cannot mount a FAT image with fusefat (is it installed, /dev/fuse usable?)"};
  }
  return {folder, Kind::Fuse, ""};
}

Mount::Mount(Mount&& other) noexcept
    : folder_(std::move(other.folder_)), kind_(other.kind_), refusal_(std::move(other.refusal_)) {
  other.refusal_ = "moved away";
}

Mount::~Mount() {
  if (!mounted()) return;
  if (kind_ == Kind::Fuse) {
    [[maybe_unused]] const int unmounted =
        std::system(("fusermount -u " + Quote(folder_) + " >/dev/null 2>&1").c_str());
  } else {
    ::umount2(folder_.c_str(), MNT_DETACH);
  }
}

}  // namespace pellorin::testing
