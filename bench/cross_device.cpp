#include "cross_device.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <vector>

#include "contenders.h"
#include "music_sample.h"
#include "results.h"
#include "support/temp_folder.h"

namespace pellorin::bench {
namespace {

constexpr const char* kIncomingBase = "/dev/shm";
constexpr int kImageMiB = 2048;

// A fresh ext4 image (with its journal, as mkfs.ext4 makes it) mounted on a folder of its own.
class LoopExt4 {
 public:
  explicit LoopExt4(const std::filesystem::path& base) : folder_(base, "pellorin-bench-ext4-") {
    const std::string image = folder_ / "ext4.img";
    mountPoint_ = folder_ / "mounted";
    std::filesystem::create_directory(mountPoint_);
    const std::string make = "truncate -s " + std::to_string(kImageMiB) + "M '" + image +
                             "' && mkfs.ext4 -q -F '" + image + "' >/dev/null 2>&1";
    if (std::system(make.c_str()) != 0) {
      refusal_ = "cannot make an ext4 image with truncate and mkfs.ext4 (e2fsprogs)";
      return;
    }
    const std::string mount =
        "mount -o loop '" + image + "' '" + mountPoint_.string() + "' >/dev/null 2>&1";
    if (std::system(mount.c_str()) != 0) {
      refusal_ = "cannot mount an ext4 image through a loop device (mount -o loop, as root)";
      return;
    }
    Prime();
  }
  ~LoopExt4() {
    if (mounted()) ::umount2(mountPoint_.c_str(), 0);
  }
  LoopExt4(const LoopExt4&) = delete;
  LoopExt4& operator=(const LoopExt4&) = delete;

  bool mounted() const { return refusal_.empty(); }
  const std::string& refusal() const { return refusal_; }
  const std::filesystem::path& path() const { return mountPoint_; }

 private:
  // Writes once over all the space of the file system, so that every block of the image has a
  // block of the disk below it before the first run: otherwise whichever run first touched a part
  // of the image would pay for the disk's allocating it.
  void Prime() const {
    const std::string filler = (mountPoint_ / "filler").string();
    const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return;
    const std::vector<char> zeros(1 << 20);
    while (::write(fd, zeros.data(), zeros.size()) > 0) {
    }
    ::fsync(fd);
    ::close(fd);
    ::unlink(filler.c_str());
  }

  testing::TempFolder folder_;
  std::filesystem::path mountPoint_;
  std::string refusal_;
};

// sendfile, what the kernel offers between tmpfs and ext4.
bool CopyAll(int from, int to) {
  struct stat info {};
  if (::fstat(from, &info) != 0) return false;
  for (off_t left = info.st_size; left > 0;) {
    const ssize_t sent = ::sendfile(to, from, nullptr, static_cast<size_t>(left));
    if (sent <= 0) return false;
    left -= sent;
  }
  return true;
}

bool FlushFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const bool flushed = fd >= 0 && ::fsync(fd) == 0;
  if (fd >= 0) ::close(fd);
  return flushed;
}

// One song: copied, flushed, published under its name without replacing, its folder flushed,
// and only then the source removed. Nothing less keeps every song through a power cut.
bool FileDurably(const std::string& source, const std::string& folder, const std::string& name) {
  const std::string temporary = folder + "/." + name + ".part";
  const int from = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  const int to = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  bool filed = from >= 0 && to >= 0 && CopyAll(from, to) && ::fsync(to) == 0;
  if (from >= 0) ::close(from);
  if (to >= 0) filed = ::close(to) == 0 && filed;
  const std::string destination = folder + "/" + name;
  return filed &&
         ::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, destination.c_str(),
                     RENAME_NOREPLACE) == 0 &&
         FlushFolder(folder) && ::unlink(source.c_str()) == 0;
}

// One song as mv does it across devices: copied onto its name and the source removed, nothing
// flushed.
bool FileLikeMv(const std::string& source, const std::string& folder, const std::string& name) {
  const std::string destination = folder + "/" + name;
  const int from = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  const int to = ::open(destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  bool filed = from >= 0 && to >= 0 && CopyAll(from, to);
  if (from >= 0) ::close(from);
  if (to >= 0) filed = ::close(to) == 0 && filed;
  return filed && ::unlink(source.c_str()) == 0;
}

using FileOne = std::function<bool(const std::string&, const std::string&, const std::string&)>;

// Every song into its artist's folder, then finish (for mv, the one sync at the end), timed.
RunResult FileEach(const Workspace& workspace, const FileOne& fileOne, bool syncAtEnd) {
  const std::string incoming = workspace.Incoming() + "/";
  const std::string library = workspace.Library() + "/";
  const auto start = std::chrono::steady_clock::now();
  std::size_t failures = 0;
  for (const auto& name : ListSample(workspace.Incoming())) {
    const std::string folder = library + std::string(SampleArtist(name));
    struct stat info {};
    if ((::stat(folder.c_str(), &info) != 0 && ::mkdir(folder.c_str(), 0777) != 0) ||
        !fileOne(incoming + name, folder, name)) {
      ++failures;
    }
  }
  if (syncAtEnd) {
    const int fd = ::open(library.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || ::syncfs(fd) != 0) ++failures;
    if (fd >= 0) ::close(fd);
  }
  RunResult result;
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (failures != 0) result.failure = std::to_string(failures) + " files not filed";
  return result;
}

// Writes out everything a run before left to the file system, its journal included, as
// freezing does, so that no run pays for the one before.
void Settle(const std::filesystem::path& mountPoint) {
  const int fd = ::open(mountPoint.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  if (::ioctl(fd, FIFREEZE, 0) == 0) ::ioctl(fd, FITHAW, 0);
  ::close(fd);
}

struct Shape {
  std::size_t files, bytes;
  std::vector<Contender> contenders;
};

std::vector<Contender> MakeContenders(const CrossDeviceOptions& options, ChildLauncher& launcher) {
  std::vector<Contender> contenders = {
      {"floor", [](const Workspace& w) { return FileEach(w, FileDurably, false); }},
      {"pellorin-move",
       [&options, &launcher](const Workspace& w) {
         return RunCommand(w, launcher, options.program, false);
       }},
      {"mv+sync", [](const Workspace& w) { return FileEach(w, FileLikeMv, true); }},
  };
  std::erase_if(contenders, [&options](const Contender& contender) {
    return !options.only.empty() && contender.name != "floor" && contender.name != options.only;
  });
  return contenders;
}

bool RunShape(const CrossDeviceOptions& options, const std::filesystem::path& library,
              Shape& shape) {
  const MusicSample sample = MakeMusicSample(shape.files);
  bool allGood = true;
  const std::size_t count = shape.contenders.size();
  for (int repetition = 0; repetition < options.repetitions; ++repetition) {
    // Each repetition starts with another contender, so that none always follows the same one.
    for (std::size_t turn = 0; turn < count; ++turn) {
      auto& contender = shape.contenders[(static_cast<std::size_t>(repetition) + turn) % count];
      const Workspace workspace(kIncomingBase, sample, library, shape.bytes);
      Settle(library);
      if (const auto problem = RunChecked(contender, sample, workspace); !problem.empty()) {
        std::fprintf(stderr, "%s, %zu files of %zu KiB: %s\n", contender.name.c_str(), shape.files,
                     shape.bytes >> 10, problem.c_str());
        allGood = false;
      }
    }
  }
  std::fprintf(stderr, "%zu files of %zu KiB done\n", shape.files, shape.bytes >> 10);
  return allGood;
}

double SecondsOf(const Shape& shape, const std::string& name) {
  for (const auto& contender : shape.contenders) {
    if (contender.name == name) return MedianSeconds(contender);
  }
  return 0;
}

void PrintTable(const CrossDeviceOptions& options, const std::vector<Shape>& shapes) {
  double load[3] = {};
  ::getloadavg(load, 3);
  std::printf(
      "machine: %ld cores, %s\nfrom %s (%s) onto a journaled ext4 image of %d MiB, loop-mounted, "
      "in %s (%s)\nload average at the end: %.2f %.2f %.2f\nrepetitions: %d, medians shown\n\n",
      ::sysconf(_SC_NPROCESSORS_ONLN), CpuModel().c_str(), kIncomingBase,
      FileSystemType(kIncomingBase).c_str(), kImageMiB, options.imageFolder.c_str(),
      FileSystemType(options.imageFolder).c_str(), load[0], load[1], load[2], options.repetitions);
  std::printf(
      "| files | each    | run            |  median s | all runs, s   | ms/file | × floor | × "
      "mv+sync |\n"
      "|------:|--------:|:---------------|----------:|:--------------|--------:|--------:|-------"
      "---:|\n");
  for (const auto& shape : shapes) {
    const double floor = SecondsOf(shape, "floor"), mvAndSync = SecondsOf(shape, "mv+sync");
    for (const auto& contender : shape.contenders) {
      const double seconds = MedianSeconds(contender);
      char againstMv[16] = "";
      if (mvAndSync > 0) std::snprintf(againstMv, sizeof againstMv, "%.2fx", seconds / mvAndSync);
      const auto [fastest, slowest] = std::minmax_element(
          contender.results.begin(), contender.results.end(),
          [](const RunResult& a, const RunResult& b) { return a.seconds < b.seconds; });
      std::printf("| %5zu | %3zu %s | %-14s | %9.3f | %6.3f-%6.3f | %7.2f | %6.2fx | %9s |\n",
                  shape.files, shape.bytes >= (1 << 20) ? shape.bytes >> 20 : shape.bytes >> 10,
                  shape.bytes >= (1 << 20) ? "MiB" : "KiB", contender.name.c_str(), seconds,
                  fastest->seconds, slowest->seconds,
                  seconds / static_cast<double>(shape.files) * 1e3, seconds / floor, againstMv);
    }
  }
}

}  // namespace

int RunCrossDeviceTable(const CrossDeviceOptions& options, ChildLauncher& launcher) {
  std::error_code ignored;
  if (!std::filesystem::is_directory(kIncomingBase, ignored)) {
    std::printf("across devices: skipped, no %s here\n", kIncomingBase);
    return 0;
  }
  const LoopExt4 ext4(options.imageFolder);
  if (!ext4.mounted()) {
    std::printf("across devices: skipped, %s\n", ext4.refusal().c_str());
    return 0;
  }
  const std::size_t scale = options.smoke ? 10 : 1;
  std::vector<Shape> shapes = {{200 / scale, std::size_t{4} << 20, {}},
                               {1000 / scale, std::size_t{256} << 10, {}}};
  bool allGood = true;
  for (auto& shape : shapes) {
    shape.contenders = MakeContenders(options, launcher);
    allGood = RunShape(options, ext4.path(), shape) && allGood;
  }
  PrintTable(options, shapes);
  return allGood ? 0 : 1;
}

}  // namespace pellorin::bench
