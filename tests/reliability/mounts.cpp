#include "mounts.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

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

bool MakeImage(const std::string& image, int megabytes, const std::string& make) {
  const std::string command = "truncate -s " + std::to_string(megabytes) + "M " + Quote(image) +
                              " && " + make + " " + Quote(image) + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

// What a shell command printed, without the last line break; empty when it failed.
std::string Output(const std::string& command) {
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return {};
  std::string text;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) text += buffer;
  if (::pclose(pipe) != 0) return {};
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

// A FUSE daemon detaches from the shell that started it: it is found by its exact arguments.
int ProcessWithArguments(const std::vector<std::string>& arguments) {
  std::string wanted;
  for (const auto& argument : arguments) wanted.append(argument).append(1, '\0');
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", ignored)) {
    std::ifstream file(entry.path() / "cmdline", std::ios::binary);
    if (std::string(std::istreambuf_iterator<char>(file), {}) == wanted) {
      return std::atoi(entry.path().filename().c_str());
    }
  }
  return 0;
}

// Gone, or a zombie that nobody has reaped yet: either way it holds no file open any more.
bool Gone(int process) {
  std::ifstream file("/proc/" + std::to_string(process) + "/stat");
  std::string line;
  std::getline(file, line);
  const auto nameEnd = line.rfind(')');  // the state follows the name, which may hold anything
  return nameEnd == std::string::npos || line.compare(nameEnd, 3, ") Z") == 0;
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
  if (megabytes > 0 && !MakeImage(image, megabytes, "mkfs.vfat")) {
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

Mount Mount::Exfat(const std::string& image, const std::string& folder, int megabytes) {
  if (megabytes > 0 && !MakeImage(image, megabytes, "mkfs.exfat")) {
    return {folder, Kind::FuseDaemon, "cannot make an exFAT image (is exfatprogs installed?)"};
  }
  const std::string loop = Output("losetup -f --show " + Quote(image) + " 2>/dev/null");
  if (loop.empty()) {
    return {folder, Kind::FuseDaemon, "cannot attach the exFAT image to a loop device (not root?)"};
  }
  return WithDaemon({"mount.exfat-fuse", loop, folder}, folder, loop, "exFAT");
}

Mount Mount::Ntfs(const std::string& image, const std::string& folder, int megabytes,
                  bool windowsNames) {
  if (megabytes > 0 && !MakeImage(image, megabytes, "mkfs.ntfs -F -Q -f")) {
    return {folder, Kind::FuseDaemon, "cannot make an NTFS image (is ntfs-3g installed?)"};
  }
  std::vector<std::string> arguments = {"ntfs-3g", image, folder};
  if (windowsNames) arguments.insert(arguments.begin() + 1, {"-o", "windows_names"});
  return WithDaemon(arguments, folder, "", "NTFS");
}

Mount Mount::WithDaemon(const std::vector<std::string>& arguments, const std::string& folder,
                        const std::string& loopDevice, const std::string& what) {
  std::string command;
  for (const auto& argument : arguments) command.append(Quote(argument)).append(" ");
  Mount mount(folder, Kind::FuseDaemon, "");
  mount.loopDevice_ = loopDevice;
  if (std::system((command + ">/dev/null 2>&1").c_str()) != 0 || !MountedOn(folder)) {
    mount.refusal_ = "cannot mount " + what + " with " + arguments.front() +
                     " (is it installed, /dev/fuse usable, are we root?)";
  } else {
    mount.daemon_ = ProcessWithArguments(arguments);
  }
  return mount;
}

Mount::Mount(Mount&& other) noexcept
    : folder_(std::move(other.folder_)),
      kind_(other.kind_),
      refusal_(std::move(other.refusal_)),
      daemon_(other.daemon_),
      loopDevice_(std::move(other.loopDevice_)) {
  other.refusal_ = "moved away";
  other.loopDevice_.clear();
}

Mount::~Mount() {
  if (mounted()) Unmount();
  // Only once the daemon has let go of it, or the device would stay attached.
  if (!loopDevice_.empty()) {
    [[maybe_unused]] const int detached =
        std::system(("losetup -d " + Quote(loopDevice_) + " >/dev/null 2>&1").c_str());
  }
}

void Mount::Unmount() {
  if (kind_ == Kind::Kernel) {
    ::umount2(folder_.c_str(), MNT_DETACH);
  } else if (kind_ == Kind::Fuse) {
    [[maybe_unused]] const int unmounted =
        std::system(("fusermount -u " + Quote(folder_) + " >/dev/null 2>&1").c_str());
  } else {
    // ntfs-3g mounts for anyone (it is set-user-ID): only fusermount unmounts that for them.
    if (::umount2(folder_.c_str(), 0) != 0 &&
        std::system(("fusermount -u " + Quote(folder_) + " >/dev/null 2>&1").c_str()) != 0) {
      ::umount2(folder_.c_str(), MNT_DETACH);
    }
    // The daemon writes the image out on its way: wait for it, five seconds at most.
    for (int wait = 0; daemon_ > 0 && !Gone(daemon_) && wait < 500; ++wait) ::usleep(10'000);
  }
}

}  // namespace pellorin::testing
