#include "cross_device.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "contenders.h"
#include "cross_device_ways.h"
#include "disk_flushes.h"
#include "flush_wait.h"
#include "music_sample.h"
#include "platform/posix/posix_file_system.h"
#include "results.h"
#include "support/temp_folder.h"

namespace pellorin::bench {
namespace {

constexpr const char* kIncomingBase = "/dev/shm";
constexpr int kImageMiB = 2048;

// What a disk takes for one cache flush: a hard disk or a USB stick, and an SSD.
constexpr double kSlowFlushSeconds = 0.010;
constexpr double kFastFlushSeconds = 0.001;

constexpr const char* kPerFileFloor = "per-file floor";
constexpr const char* kGroupFsyncDirs = "group: fsync dirs";
constexpr const char* kGroupSyncfsTwice = "group: 2 syncfs";
constexpr const char* kPellorinMove = "pellorin-move";
constexpr const char* kNoJournal = "--no-journal";
constexpr const char* kUndo = "undo";
constexpr const char* kMoveRun = "MoveRun";
constexpr const char* kMvAndSync = "mv+sync";

// A fresh ext4 image (with its journal, as mkfs.ext4 makes it) mounted on a folder of its own.
class LoopExt4 {
 public:
  explicit LoopExt4(const std::filesystem::path& base) : folder_(base, "pellorin-bench-ext4-") {
    const std::string image = folder_ / "ext4.img";
    mountPoint_ = folder_ / "mounted";
    std::filesystem::create_directory(mountPoint_);
    // Inode tables and journal written now: initialised lazily, they would be written (and
    // flushed) by a kernel thread in the middle of the runs.
    const std::string make = "truncate -s " + std::to_string(kImageMiB) + "M '" + image +
                             "' && mkfs.ext4 -q -F -E lazy_itable_init=0,lazy_journal_init=0 '" +
                             image + "' >/dev/null 2>&1";
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

// Writes out everything a run before left to the file system, its journal included, as
// freezing does, so that no run pays for the one before; then drops the clean caches, as
// `sync; echo 3 > /proc/sys/vm/drop_caches` does, so that each run finds the library's folders
// and bitmaps on the disk as a user's run would, not in memory from the run before.
void Settle(const std::filesystem::path& mountPoint) {
  const int fd = ::open(mountPoint.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  if (::ioctl(fd, FIFREEZE, 0) == 0) ::ioctl(fd, FITHAW, 0);
  ::close(fd);
  ::sync();
  if (std::FILE* caches = std::fopen("/proc/sys/vm/drop_caches", "w")) {
    std::fputs("3\n", caches);
    std::fclose(caches);
  }
}

struct Shape {
  std::size_t files, bytes;
  std::vector<Contender> contenders;
};

// The run, with the flushes the disk completed while it ran.
std::function<RunResult(const Workspace&)> CountingFlushes(
    std::function<RunResult(const Workspace&)> run, const DiskFlushes& disk, FlushWait* wait) {
  return [run = std::move(run), &disk, wait](const Workspace& workspace) {
    if (wait != nullptr) wait->Start();
    const auto before = disk.Completed();
    RunResult result = run(workspace);
    const auto after = disk.Completed();
    if (before && after) result.flushes = *after - *before;
    return result;
  };
}

// Where flushes are waited for, the ways outside the benchmark cannot be, and the per-file floor
// would take minutes.
std::vector<Contender> MakeContenders(const CrossDeviceOptions& options, ChildLauncher& launcher,
                                      const DiskFlushes& disk, FlushWait* wait) {
  std::vector<Contender> contenders = {
      {kPerFileFloor, [wait](const Workspace& w) { return FileEachDurably(w, wait); }},
      {kGroupFsyncDirs,
       [wait](const Workspace& w) {
         return FileInGroups(w, PublishFlush::kFsyncEachFolder, wait);
       }},
      {kGroupSyncfsTwice,
       [wait](const Workspace& w) { return FileInGroups(w, PublishFlush::kSecondSyncfs, wait); }},
      {kPellorinMove,
       [&options, &launcher](const Workspace& w) {
         return RunCommand(w, launcher, options.program, false);
       }},
      {kNoJournal,
       [&options, &launcher](const Workspace& w) {
         return RunCommand(w, launcher, options.program, false, {"--no-journal"});
       }},
      {kUndo,
       [&options, &launcher](const Workspace& w) {
         return RunCommand(w, launcher, options.program, false, {"--undo"});
       },
       {},
       [&options, &launcher](const Workspace& w) {  // the undo pays nothing for the run
         auto forward = RunCommand(w, launcher, options.program, false);
         Settle(w.Library());
         return forward;
       }},
      {kMoveRun,
       [wait](const Workspace& w) {
         if (wait == nullptr) return RunCore(w);
         FlushWaitingCalls calls(*wait);
         posix::PosixFileSystem fileSystem(calls);
         return RunCoreOn(w, fileSystem);
       }},
      {kMvAndSync, [wait](const Workspace& w) { return FileLikeMvThenSync(w, wait); }},
  };
  std::erase_if(contenders, [&options, wait](const Contender& contender) {
    const bool waitsInHere = contender.name == kMoveRun || contender.name == kMvAndSync ||
                             contender.name == kGroupFsyncDirs ||
                             contender.name == kGroupSyncfsTwice;
    if (wait != nullptr && !waitsInHere) return true;
    // The per-file floor is what groups are measured from, not what a user waits for.
    return !options.only.empty() && contender.name != kGroupFsyncDirs &&
           contender.name != kGroupSyncfsTwice && contender.name != kMvAndSync &&
           contender.name != options.only;
  });
  for (auto& contender : contenders) contender.run = CountingFlushes(contender.run, disk, wait);
  return contenders;
}

std::string ShapeText(const Shape& shape) {
  const bool mebibytes = shape.bytes >= (std::size_t{1} << 20);
  return std::to_string(shape.files) + " files of " +
         std::to_string(mebibytes ? shape.bytes >> 20 : shape.bytes >> 10) +
         (mebibytes ? " MiB" : " KiB");
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
      const auto problem = RunChecked(contender, sample, workspace);
      const RunResult& result = contender.results.back();
      std::fprintf(stderr, "%s, %s: %.3f s, %s flushes%s%s\n", ShapeText(shape).c_str(),
                   contender.name.c_str(), result.seconds,
                   result.flushes ? std::to_string(*result.flushes).c_str() : "uncounted",
                   problem.empty() ? "" : ", FAILED: ", problem.c_str());
      allGood = problem.empty() && allGood;
    }
  }
  return allGood;
}

// One way's runs, medians each: its flushes, its time on the loop device, and that time with the
// flushes priced as a disk would charge them.
struct Priced {
  std::optional<double> flushes, atSlowFlush, atFastFlush;
  long fewestFlushes = 0, mostFlushes = 0;
  double seconds = 0, fastest = 0, slowest = 0;

  // What the ratios compare: the time at 10 ms a flush, or the time itself where the flushes were
  // waited for.
  std::optional<double> Cost(bool waited) const {
    return waited ? std::optional(seconds) : atSlowFlush;
  }
};

Priced PriceRuns(const std::vector<RunResult>& results) {
  Priced priced;
  std::vector<double> seconds, flushes, slow, fast;
  for (const auto& result : results) {
    seconds.push_back(result.seconds);
    if (!result.flushes) continue;
    const auto count = static_cast<double>(*result.flushes);
    flushes.push_back(count);
    slow.push_back(result.seconds + count * kSlowFlushSeconds);
    fast.push_back(result.seconds + count * kFastFlushSeconds);
  }
  priced.seconds = Median(seconds);
  const auto [fastest, slowest] = std::minmax_element(seconds.begin(), seconds.end());
  priced.fastest = *fastest;
  priced.slowest = *slowest;
  if (flushes.size() == results.size()) {  // priced only where every run was counted
    priced.flushes = Median(flushes);
    priced.atSlowFlush = Median(slow);
    priced.atFastFlush = Median(fast);
    const auto [fewest, most] = std::minmax_element(flushes.begin(), flushes.end());
    priced.fewestFlushes = static_cast<long>(*fewest);
    priced.mostFlushes = static_cast<long>(*most);
  }
  return priced;
}

const Contender* Find(const Shape& shape, const std::string& name) {
  for (const auto& contender : shape.contenders) {
    if (contender.name == name) return &contender;
  }
  return nullptr;
}

// The group-commit floor: of its two ways of flushing the renames, the one that cost fewer
// flushes (the faster, where they were not counted or were even).
const Contender* GroupFloor(const Shape& shape, bool waited) {
  const Contender* folders = Find(shape, kGroupFsyncDirs);
  const Contender* syncfs = Find(shape, kGroupSyncfsTwice);
  if (folders == nullptr || syncfs == nullptr) return folders != nullptr ? folders : syncfs;
  const Priced a = PriceRuns(folders->results), b = PriceRuns(syncfs->results);
  if (a.flushes && b.flushes && *a.flushes != *b.flushes) {
    return *a.flushes < *b.flushes ? folders : syncfs;
  }
  return a.Cost(waited).value_or(a.seconds) <= b.Cost(waited).value_or(b.seconds) ? folders
                                                                                  : syncfs;
}

std::string Format(const char* format, std::optional<double> value) {
  if (!value) return "-";
  char text[32];
  std::snprintf(text, sizeof text, format, *value);
  return text;
}

std::string FlushesText(const Priced& priced) {
  if (!priced.flushes) return "uncounted";
  std::string text = Format("%.0f", priced.flushes);
  if (priced.fewestFlushes != priced.mostFlushes) {
    text += " (" + std::to_string(priced.fewestFlushes) + "-" + std::to_string(priced.mostFlushes) +
            ")";
  }
  return text;
}

// This way's cost against another's.
std::optional<double> Against(const Priced& priced, const Contender* other, bool waited) {
  const auto cost = priced.Cost(waited);
  if (other == nullptr || !cost) return std::nullopt;
  const auto otherCost = PriceRuns(other->results).Cost(waited);
  if (!otherCost || *otherCost <= 0) return std::nullopt;
  return *cost / *otherCost;
}

void PrintHeader(const CrossDeviceOptions& options, const DiskFlushes& disk) {
  double load[3] = {};
  ::getloadavg(load, 3);
  std::printf(
      "machine: %ld cores, %s\nfrom %s (%s) onto a journaled ext4 image of %d MiB in %s (%s), "
      "loop-mounted (%s)\nload average at the end: %.2f %.2f %.2f\nrepetitions: %d, medians "
      "shown\nflushes: cache flushes the loop device completed during the run (/proc/diskstats)\n",
      ::sysconf(_SC_NPROCESSORS_ONLN), CpuModel().c_str(), kIncomingBase,
      FileSystemType(kIncomingBase).c_str(), kImageMiB, options.imageFolder.c_str(),
      FileSystemType(options.imageFolder).c_str(), disk.device().c_str(), load[0], load[1], load[2],
      options.repetitions);
  if (options.flushWait.count() == 0) {
    std::printf(
        "priced: the run's time on the loop device (where a flush costs nothing) + flushes x 10 ms "
        "(hard disk, USB stick) or x 1 ms (SSD); ratios at 10 ms a flush\n\n");
  } else {
    std::printf(
        "waited: after each flush, the thread that asked for it waits %.1f ms for each flush the "
        "device completed since the last look; ratios of these times\n\n",
        static_cast<double>(options.flushWait.count()) / 1000);
  }
}

void PrintRow(const Shape& shape, const Contender& contender, bool waited) {
  const Priced priced = PriceRuns(contender.results);
  const std::string perSong =
      priced.flushes ? Format("%.3f", *priced.flushes / static_cast<double>(shape.files)) : "-";
  const bool mebibytes = shape.bytes >= (std::size_t{1} << 20);
  std::printf("| %5zu | %3zu %s | %-17s | %17s | %12s | %8.3f | %6.3f-%6.3f |", shape.files,
              mebibytes ? shape.bytes >> 20 : shape.bytes >> 10, mebibytes ? "MiB" : "KiB",
              contender.name.c_str(), FlushesText(priced).c_str(), perSong.c_str(), priced.seconds,
              priced.fastest, priced.slowest);
  if (!waited) {
    std::printf(" %10s | %9s |", Format("%.3f", priced.atSlowFlush).c_str(),
                Format("%.3f", priced.atFastFlush).c_str());
  }
  std::printf(" %13s | %9s |\n",
              Format("%.2fx", Against(priced, GroupFloor(shape, waited), waited)).c_str(),
              Format("%.2fx", Against(priced, Find(shape, kMvAndSync), waited)).c_str());
}

void PrintTable(const CrossDeviceOptions& options, const DiskFlushes& disk,
                const std::vector<Shape>& shapes) {
  PrintHeader(options, disk);
  const bool waited = options.flushWait.count() != 0;
  std::printf(
      "| files | each    | run               | flushes           | flushes/song | median s | all "
      "runs, s   |%s × group floor | × mv+sync |\n"
      "|------:|--------:|:------------------|------------------:|-------------:|---------:|:------"
      "--------|%s--------------:|----------:|\n",
      waited ? "" : " s at 10 ms | s at 1 ms |", waited ? "" : "-----------:|----------:|");
  for (const auto& shape : shapes) {
    for (const auto& contender : shape.contenders) PrintRow(shape, contender, waited);
  }
  std::printf("\nflushes: median (fewest-most) when the runs differ\n");
  for (const auto& shape : shapes) {
    if (const Contender* floor = GroupFloor(shape, waited)) {
      std::printf("group floor, %s: \"%s\", the cheaper way of flushing the renames\n",
                  ShapeText(shape).c_str(), floor->name.c_str());
    }
    const Contender* run = Find(shape, kPellorinMove);
    if (const Contender* undo = Find(shape, kUndo); undo != nullptr && run != nullptr) {
      std::printf("%s: undo %s the run, the run %s a run without its journal\n",
                  ShapeText(shape).c_str(),
                  Format("%.2fx", Against(PriceRuns(undo->results), run, waited)).c_str(),
                  Format("%.2fx", Against(PriceRuns(run->results), Find(shape, kNoJournal), waited))
                      .c_str());
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
  const DiskFlushes disk(ext4.path());
  if (!disk.Completed()) std::fprintf(stderr, "flushes not counted: %s\n", disk.device().c_str());
  std::optional<FlushWait> wait;
  if (options.flushWait.count() != 0) wait.emplace(disk, options.flushWait);
  const std::size_t scale = options.smoke ? 10 : 1;
  std::vector<Shape> shapes = {{200 / scale, std::size_t{4} << 20, {}},
                               {1000 / scale, std::size_t{256} << 10, {}}};
  bool allGood = true;
  for (auto& shape : shapes) {
    shape.contenders = MakeContenders(options, launcher, disk, wait ? &*wait : nullptr);
    allGood = RunShape(options, ext4.path(), shape) && allGood;
  }
  PrintTable(options, disk, shapes);
  return allGood ? 0 : 1;
}

}  // namespace pellorin::bench
