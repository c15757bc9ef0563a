// Runs killed outright (SIGKILL, as by a crash or a power cut) at chosen moments of moves across
// devices, and the run after them. A child process moves real files of a few MiB between /tmp and
// /dev/shm through a seam that kills it at the chosen moment. Afterwards every file must be whole
// under its real name, at worst twice, never partly or nowhere; then a second run must leave
// nothing hidden of ours behind and file or report every file. The same holds for runs onto, off
// and within removable drives, killed before each step that changes a name or first writes a file.
// Groups of a song let a kill meet two in flight, which is all it may leave in files of ours or
// twice.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>

#include "mounts.h"
#include "platform/own_file_names.h"
#include "platform/posix/paths.h"
#include "platform/posix/posix_file_enumeration.h"
#include "platform/posix/posix_file_system.h"
#include "real_run.h"
#include "sorting/move_run.h"
#include "sorting/undo_run.h"
#include "support/run_goes_first.h"
#include "support/scripted_window.h"
#include "support/temp_folder.h"

namespace pellorin::testing {
namespace {

namespace fs = std::filesystem;

enum class KillPoint { DuringCopy, AfterPublish, AfterSetAside };

// The real system calls, except that the process kills itself once a number of bytes has been
// copied, or right after the nth publish of a temporary or the nth set-aside of a source. The run's
// thread copies as far as it may before the writer publishes.
class KillingCalls final : public posix::SystemCalls {
 public:
  KillingCalls(KillPoint point, long nth) : point_(point), nth_(nth) {}

  ssize_t CopyFileRange(int fromFd, int toFd, size_t size) override {
    return Copied(SystemCalls::CopyFileRange(fromFd, toFd, size));
  }
  ssize_t Sendfile(int toFd, int fromFd, size_t size) override {
    return Copied(SystemCalls::Sendfile(toFd, fromFd, size));
  }
  ssize_t Write(int fd, const void* buffer, size_t size) override {
    return Copied(SystemCalls::Write(fd, buffer, size));
  }
  int RenameNoReplace(const char* from, const char* to) override {
    runGoesFirst_.AtCall();
    const int renamed = SystemCalls::RenameNoReplace(from, to);
    if (renamed == 0 && (IsOwn(from, platform::OwnFileKind::Temporary, KillPoint::AfterPublish) ||
                         IsOwn(to, platform::OwnFileKind::SetAside, KillPoint::AfterSetAside))) {
      if (++seen_ == nth_) ::raise(SIGKILL);
    }
    return renamed;
  }

 private:
  ssize_t Copied(ssize_t bytes) {
    runGoesFirst_.AtCall();
    if (point_ == KillPoint::DuringCopy && bytes > 0 && (seen_ += bytes) >= nth_) ::raise(SIGKILL);
    return bytes;
  }
  bool IsOwn(const char* path, platform::OwnFileKind kind, KillPoint point) const {
    const auto own = platform::ParseOwnFileName(posix::LastComponent(path));
    return point_ == point && own && own->kind == kind;
  }

  KillPoint point_;
  long nth_;
  std::atomic<long> seen_ = 0;
  RunGoesFirst runGoesFirst_;
};

constexpr std::size_t kFileSize = 3 << 20;

std::string Bytes(char seed, std::size_t size = kFileSize) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(seed + i / 511);
  return bytes;
}

using SongMap = std::map<std::string, std::string>;

const SongMap& Songs() {
  static const SongMap songs = {
      {"A - one.mp3", Bytes('a')}, {"B - two.mp3", Bytes('b')}, {"C - three.mp3", Bytes('c')}};
  return songs;
}

// The whole file at once: ReadFile goes byte by byte, too slow for megabytes in a debug build.
std::string Contents(const fs::path& path) {
  std::string bytes(fs::file_size(path), '\0');
  std::ifstream(path, std::ios::binary)
      .read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

std::string Artist(const std::string& name) { return name.substr(0, 1); }

std::string MoveAll(const std::string& in, const std::string& root, FileSystemObject& disk) {
  ScriptedWindow window;
  window.pattern = in + "/*";
  window.root = root;
  posix::PosixFileEnumeration files;
  MoveRun(window, disk, files);
  return window.results.text;
}

// The run journaled in state, as an undo reads it; none where the run was killed before its
// first step.
JournaledRun NewestRun(const platform::StateFolder& state) {
  const auto names = journal::JournaledRunNames(state);
  EXPECT_LE(names.size(), 1u) << "journals in " << state.Path();
  auto run = names.empty() ? std::nullopt : journal::ReadJournaledRun(state, names.front());
  EXPECT_EQ(names.empty(), !run.has_value()) << "a journal that cannot be read";
  return run.value_or(JournaledRun{});
}

// What is on the disk: each song's copies under its real name, anything else under a real name,
// and the hidden names of ours.
struct Found {
  std::map<std::string, int> copies;
  std::vector<std::string> foreign, ours;
  int Copies(const std::string& name) const {
    const auto found = copies.find(name);
    return found == copies.end() ? 0 : found->second;
  }
};

Found Look(const std::vector<std::string>& tops, const SongMap& songs = Songs()) {
  Found found;
  for (const auto& top : tops) {
    for (const auto& entry : fs::recursive_directory_iterator(top)) {
      if (!entry.is_regular_file()) continue;
      const std::string name = entry.path().filename();
      if (name.starts_with(".pellorin-")) {
        found.ours.push_back(entry.path());
      } else if (songs.contains(name) && Contents(entry.path()) == songs.at(name)) {
        ++found.copies[name];
      } else {
        found.foreign.push_back(entry.path());
      }
    }
  }
  return found;
}

bool ShmIsAnotherDevice() {
  struct stat here {
  }, there{};
  return ::stat(fs::temp_directory_path().c_str(), &here) == 0 && ::stat("/dev/shm", &there) == 0 &&
         here.st_dev != there.st_dev;
}

class KilledRun : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ShmIsAnotherDevice()) {
      GTEST_SKIP() << "/dev/shm is not another device than the temporary folder here";
    }
  }
};

TEST_F(KilledRun, LeavesEveryFileWholeAndTheNextRunTidiesUpAndFilesOrReportsIt) {
  // First the three songs make one group: all are copied, flushed and published before any source
  // goes. Most moments fall in the second song. A kill after its publish leaves both published
  // songs twice; after its set-aside, the next run puts that source back under its name, which
  // leaves it twice, beside the third, published and not yet removed. An undo of a whole run is
  // killed at the same moments on its way back (newest song first); the next undo must finish
  // its job: every song back where it was, once, and the run's folders gone.
  const struct {
    const char* what;
    KillPoint point;
    long nth;
    int duplicates;
    std::size_t groupSongs = 3;
  } moments[] = {
      {"during the copy", KillPoint::DuringCopy, kFileSize + kFileSize / 2, 0},
      {"after the publish", KillPoint::AfterPublish, 2, 2},
      {"after the set-aside", KillPoint::AfterSetAside, 2, 2},
      // The last song: the next run has nothing else to move out of that folder.
      {"after the last set-aside", KillPoint::AfterSetAside, 3, 1},
      {"after the first publish, a song a group", KillPoint::AfterPublish, 1, 1, 1},
      {"after the second set-aside, a song a group", KillPoint::AfterSetAside, 2, 1, 1},
  };
  // A run killed so is then also undone from the journal it wrote ahead: every song it moved must
  // come back.
  int cases = 0, leftByKills = 0, leftAfterNextRun = 0, duplicates = 0, lostOrPartial = 0;
  enum class Then { NextRun, Undo };
  for (const auto& [undo, then] : {std::pair{false, Then::NextRun}, std::pair{false, Then::Undo},
                                   std::pair{true, Then::Undo}}) {
    for (const bool fromShm : {false, true}) {
      for (const auto& moment : moments) {
        const std::string what = std::string(undo                 ? "undo, "
                                             : then == Then::Undo ? "undone after, "
                                                                  : "") +
                                 moment.what +
                                 (fromShm ? ", /dev/shm to /tmp" : ", /tmp to /dev/shm");
        const TempFolder disk, shm("/dev/shm"), stateFolder;
        const platform::StateFolder state(stateFolder.path());
        const std::string in = (fromShm ? shm : disk) / "in",
                          root = (fromShm ? disk : shm) / "root";
        fs::create_directory(in);
        fs::create_directory(root);
        for (const auto& [name, bytes] : Songs()) WriteFile(in + "/" + name, bytes);
        const std::vector<std::string> tops = {in, root};
        if (undo) {
          posix::PosixFileSystem first;
          JournaledMoveAll(in, root, first, state);
        }
        const JournaledRun run = undo ? NewestRun(state) : JournaledRun{};

        const pid_t child = ::fork();
        ASSERT_NE(child, -1);
        if (child == 0) {
          KillingCalls calls(moment.point, moment.nth);
          posix::PosixFileSystem killed(
              calls, {.songs = moment.groupSongs, .work = std::chrono::hours(1)});
          undo ? UndoAll(run, killed) : JournaledMoveAll(in, root, killed, state);
          ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);  // reaped: a zombie would count as alive
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << what << ": not killed";

        const Found killed = Look(tops);
        EXPECT_TRUE(killed.foreign.empty()) << what << ": " << killed.foreign.front();
        for (const auto& [name, bytes] : Songs()) {
          EXPECT_GE(killed.Copies(name), 1) << what << ": " << name << " lost";
          lostOrPartial += killed.Copies(name) == 0 ? 1 : 0;
        }
        lostOrPartial += static_cast<int>(killed.foreign.size());
        leftByKills += static_cast<int>(killed.ours.size());
        std::size_t inFlight = killed.ours.size();
        for (const auto& [name, bytes] : Songs()) inFlight += killed.Copies(name) > 1 ? 1 : 0;
        EXPECT_LE(inFlight, 2 * moment.groupSongs) << what << ": more in flight than two groups";

        posix::PosixFileSystem real;
        const bool back = then == Then::Undo;
        const std::string log = undo   ? UndoAll(run, real)
                                : back ? UndoAll(NewestRun(state), real)
                                       : MoveAll(in, root, real);
        const Found after = Look(tops);
        EXPECT_TRUE(after.ours.empty()) << what << ": " << after.ours.front();
        leftAfterNextRun += static_cast<int>(after.ours.size());
        EXPECT_TRUE(after.foreign.empty()) << what << ": " << after.foreign.front();
        int twice = 0;
        for (const auto& [name, bytes] : Songs()) {
          if (back) {
            EXPECT_TRUE(fs::exists(in + "/" + name) && after.Copies(name) == 1)
                << what << ": " << name;
            twice += after.Copies(name) - 1;
            continue;
          }
          const bool filed = fs::exists(root + "/" + Artist(name) + "/" + name);
          const bool reported = log.find("Error moving File \"" + name + "\"") != std::string::npos;
          EXPECT_TRUE(filed) << what << ": " << name << " not filed\n" << log;
          EXPECT_EQ(fs::exists(in + "/" + name), after.Copies(name) == 2) << what << ": " << name;
          if (after.Copies(name) == 2 && !reported) {
            EXPECT_EQ(killed.Copies(name), 1) << what << ": " << name << " twice, not reported";
          }
          twice += after.Copies(name) - 1;
        }
        EXPECT_EQ(twice, back ? 0 : moment.duplicates) << what;
        if (back) {
          EXPECT_TRUE(log.find("Error") == std::string::npos && fs::is_empty(root)) << what << "\n"
                                                                                    << log;
        }
        duplicates += twice;
        ++cases;
      }
    }
  }
  std::printf(
      "[ figures  ] %d runs and undos killed across devices: %d hidden files of ours left by the "
      "kills, %d after the next run; %d songs left twice, %d lost or partial\n",
      cases, leftByKills, leftAfterNextRun, duplicates, lostOrPartial);
}

// Removable drives: exFAT, NTFS and FAT through FUSE, none of which renames without replacing,
// and exFAT and FAT have no links either; and /dev/shm with the seam answering as those do, which
// needs no mount and so runs everywhere. A run onto, off or within the drive is killed before
// each of its steps in turn, from the first until a run ends without reaching it.

struct RemovableDrive {
  const char* name;
  Mount (*mount)(const std::string& image, const std::string& folder);  // null: the seam plays it
  bool links;  // of a drive the seam plays: like NTFS, or like exFAT (link fails with EPERM)
  // fusefat now and then refuses a step with EPERM (measured: 17 rmdirs of an empty folder in 300);
  // an undo on it may then leave a song, which it must report, whole where the run left it.
  bool refusesAtRandom;
};

void PrintTo(const RemovableDrive& drive, std::ostream* out) { *out << drive.name; }

constexpr int kImageMegabytes = 16;

const RemovableDrive kDrives[] = {
    {"exFAT",
     [](const std::string& image, const std::string& folder) {
       return Mount::Exfat(image, folder, kImageMegabytes);
     },
     false, false},
    {"NTFS",
     [](const std::string& image, const std::string& folder) {
       return Mount::Ntfs(image, folder, kImageMegabytes, false);
     },
     true, false},
    {"NTFS_windows_names",
     [](const std::string& image, const std::string& folder) {
       return Mount::Ntfs(image, folder, kImageMegabytes, true);
     },
     true, false},
    {"FAT",
     [](const std::string& image, const std::string& folder) {
       return Mount::Fat(image, folder, kImageMegabytes);
     },
     false, true},
    {"shm_like_NTFS", nullptr, true, false},
    {"shm_like_exFAT", nullptr, false, false},
};

// A name as a message shows it: long ones cut short.
std::string Shown(const std::string& name) {
  return name.size() <= 40 ? name : name.substr(0, 30) + "...(" + std::to_string(name.size()) + ")";
}

std::string Shown(const fs::path& path) {
  return Shown(path.parent_path().filename().string()) + "/" + Shown(path.filename().string());
}

// The real system calls as a removable drive answers them, killing the process before its nth
// step: a call that changes a name (an open that may create one included), or the first write to
// a file it created. Below playedTop the seam plays the drive: renameat2 cannot refuse to replace
// (EINVAL, though the kernel still answers EEXIST where the name exists), and without links, link
// fails with EPERM. The step killed before is written to report first. A kill is no power cut:
// what the kernel holds still reaches the drive, so flushes are skipped, which cost real time.
class SteppingCalls final : public posix::SystemCalls {
 public:
  SteppingCalls(std::string playedTop, bool links, long killBefore, int report)
      : playedTop_(std::move(playedTop)), links_(links), killBefore_(killBefore), report_(report) {}

  int Mkdir(const char* path, mode_t mode) override {
    Step("Mkdir", path);
    return SystemCalls::Mkdir(path, mode);
  }
  int Rmdir(const char* path) override {
    Step("Rmdir", path);
    return SystemCalls::Rmdir(path);
  }
  int RenameNoReplace(const char* from, const char* to) override {
    Step("RenameNoReplace", from, to);
    if (!Played(from) || !Played(to)) return SystemCalls::RenameNoReplace(from, to);
    struct stat existing {};
    errno = SystemCalls::Lstat(to, &existing) == 0 ? EEXIST : EINVAL;
    return -1;
  }
  int Rename(const char* from, const char* to) override {
    Step("Rename", from, to);
    return SystemCalls::Rename(from, to);
  }
  int Link(const char* from, const char* to) override {
    Step("Link", from, to);
    if (links_ || !Played(from) || !Played(to)) return SystemCalls::Link(from, to);
    errno = EPERM;
    return -1;
  }
  int Unlink(const char* path) override {
    Step("Unlink", path);
    return SystemCalls::Unlink(path);
  }
  int Open(const char* path, int flags, mode_t mode) override {
    if ((flags & O_CREAT) == 0) return SystemCalls::Open(path, flags, mode);
    Step("Open O_CREAT", path);
    const int fd = SystemCalls::Open(path, flags, mode);
    const std::lock_guard lock(mutex_);
    if (fd >= 0) unwritten_[fd] = path;
    return fd;
  }
  int Close(int fd) override {
    const std::lock_guard lock(mutex_);  // so that no open takes the number before it is erased
    unwritten_.erase(fd);
    return SystemCalls::Close(fd);
  }
  int Fsync(int) override { return 0; }
  int Syncfs(int) override { return 0; }
  ssize_t CopyFileRange(int fromFd, int toFd, size_t size) override {
    FirstWrite(toFd);
    return SystemCalls::CopyFileRange(fromFd, toFd, size);
  }
  ssize_t Sendfile(int toFd, int fromFd, size_t size) override {
    FirstWrite(toFd);
    return SystemCalls::Sendfile(toFd, fromFd, size);
  }
  ssize_t Write(int fd, const void* buffer, size_t size) override {
    FirstWrite(fd);
    return SystemCalls::Write(fd, buffer, size);
  }

 private:
  bool Played(const char* path) const {
    return !playedTop_.empty() && std::string_view(path).starts_with(playedTop_ + "/");
  }
  void FirstWrite(int fd) {
    const std::lock_guard lock(mutex_);
    const auto file = unwritten_.find(fd);
    if (file == unwritten_.end()) return;
    const std::string path = file->second;
    unwritten_.erase(file);
    Step("first write to", path.c_str());
  }
  void Step(const char* call, const char* path, const char* to = nullptr) {
    if (++steps_ != killBefore_) return;
    std::string step = std::string(call) + " " + Shown(fs::path(path));
    if (to != nullptr) step += " -> " + Shown(fs::path(to));
    [[maybe_unused]] const ssize_t told = ::write(report_, step.data(), step.size());
    ::raise(SIGKILL);
  }

  std::string playedTop_;
  bool links_;
  long killBefore_;
  int report_;
  std::atomic<long> steps_ = 0;  // of the run's thread and the writer's
  std::mutex mutex_;
  std::map<int, std::string> unwritten_;  // files created and not written to yet
};

// Small songs, one with a name that FAT, exFAT and Windows refuse, one with a name of 250 bytes,
// too long to keep whole inside a name of ours.
const SongMap& DriveSongs() {
  static const SongMap songs = {
      {"A - one.mp3", Bytes('1', 40 << 10)},
      {"B - what?.mp3", Bytes('2', 24 << 10)},
      {"A - " + std::string(242, 'x') + ".mp3", Bytes('3', 56 << 10)},
  };
  return songs;
}

// Two songs a group, however slow the machine, so that every run takes the same steps: a group of
// several songs, then one that comes after a group's sources have gone.
const posix::GroupLimits kTwoSongGroups{.songs = 2, .work = std::chrono::hours(1)};

// The songs that the source's file system takes, put there.
SongMap PutSongs(const std::string& in, const std::string& root) {
  fs::create_directory(in);
  fs::create_directory(root);
  SongMap put;
  for (const auto& [name, bytes] : DriveSongs()) {
    WriteFile(in + "/" + name, bytes);
    if (fs::exists(in + "/" + name)) put.emplace(name, bytes);
  }
  return put;
}

bool IsWhole(const std::string& path, const std::string& bytes) {
  std::error_code missing;
  return fs::is_regular_file(path, missing) && Contents(path) == bytes;
}

struct DriveFigures {
  long killPoints = 0;
  int leftByKills = 0, leftAfterNextRun = 0, twice = 0, reported = 0, lostOrPartial = 0;
  int notBack = 0;  // by the undo after a kill
};

// Moves in a child killed before the given step: what that step was, or nothing when the run ended
// before it.
std::optional<std::string> MoveKilledBefore(const std::string& where, long step,
                                            const std::string& playedTop, bool links,
                                            const std::string& in, const std::string& root,
                                            const platform::StateFolder& state) {
  int report[2];
  if (::pipe(report) != 0) {
    ADD_FAILURE() << where << ": no pipe: " << std::strerror(errno);
    return std::nullopt;
  }
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(report[0]);
    SteppingCalls calls(playedTop, links, step, report[1]);
    posix::PosixFileSystem killed(calls, kTwoSongGroups);
    JournaledMoveAll(in, root, killed, state);
    ::_exit(0);
  }
  ::close(report[1]);
  int status = 0;
  const bool reaped = child != -1 && ::waitpid(child, &status, 0) == child;
  std::string told(512, '\0');
  told.resize(static_cast<std::size_t>(std::max<ssize_t>(::read(report[0], told.data(), 512), 0)));
  ::close(report[0]);
  if (reaped && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) return told;
  EXPECT_TRUE(reaped && WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << where << ", step " << step << ": the run died otherwise, status " << status;
  return std::nullopt;
}

void ExpectEverySongWhole(const std::string& what, const std::vector<std::string>& tops,
                          const SongMap& songs, DriveFigures& figures) {
  const Found killed = Look(tops, songs);
  for (const auto& path : killed.foreign) {
    ADD_FAILURE() << what << ": empty or partial file under a real name: " << Shown(fs::path(path));
  }
  figures.lostOrPartial += static_cast<int>(killed.foreign.size());
  for (const auto& [name, bytes] : songs) {
    EXPECT_GE(killed.Copies(name), 1) << what << ": " << Shown(name) << " lost";
    figures.lostOrPartial += killed.Copies(name) == 0 ? 1 : 0;
  }
  figures.leftByKills += static_cast<int>(killed.ours.size());
}

void ExpectNextRunFilesOrReportsEverySong(const std::string& what, const std::string& in,
                                          const std::string& root, const SongMap& songs,
                                          posix::SystemCalls& calls, DriveFigures& figures) {
  posix::PosixFileSystem disk(calls, kTwoSongGroups);
  const std::string log = MoveAll(in, root, disk);
  const Found after = Look({in, root}, songs);
  for (const auto& path : after.ours) {
    ADD_FAILURE() << what << ": left hidden after the next run: " << Shown(fs::path(path));
  }
  for (const auto& path : after.foreign) {
    ADD_FAILURE() << what << ": empty or partial after the next run: " << Shown(fs::path(path));
  }
  figures.leftAfterNextRun += static_cast<int>(after.ours.size());
  for (const auto& [name, bytes] : songs) {
    const bool filed = IsWhole(root + "/" + Artist(name) + "/" + name, bytes);
    const bool kept = IsWhole(in + "/" + name, bytes);
    const bool reported = log.find("Error moving File \"" + name + "\"") != std::string::npos;
    const bool moved = log.find("File \"" + name + "\" moved.") != std::string::npos;
    EXPECT_TRUE(filed || (reported && kept))
        << what << ": " << Shown(name) << " neither filed nor reported with its source kept\n"
        << log;
    EXPECT_FALSE(moved && kept) << what << ": " << Shown(name) << " reported moved, still there";
    figures.twice += after.Copies(name) > 1 ? 1 : 0;
    figures.reported += reported ? 1 : 0;
  }
}

// The undo from the journal the killed run wrote ahead: every song back where it was, once, and
// no folder of the run's left.
void ExpectUndoBringsBackEverySong(const std::string& what, const std::string& in,
                                   const std::string& root, const SongMap& songs,
                                   posix::SystemCalls& calls, const platform::StateFolder& state,
                                   bool refusesAtRandom, DriveFigures& figures) {
  posix::PosixFileSystem disk(calls, kTwoSongGroups);
  const std::string log = UndoAll(NewestRun(state), disk);
  const Found after = Look({in, root}, songs);
  bool reportedLeft = false;
  for (const auto& [name, bytes] : songs) {
    const bool back = IsWhole(in + "/" + name, bytes) && after.Copies(name) == 1;
    // On a line of its own that begins with "Error".
    const auto named = log.find("\"" + name + "\"");
    const auto lineEnd = named == std::string::npos ? named : log.rfind('\n', named);
    const std::size_t line = lineEnd == std::string::npos ? 0 : lineEnd + 1;
    const bool reported = refusesAtRandom && after.Copies(name) >= 1 &&
                          named != std::string::npos && log.compare(line, 5, "Error") == 0;
    EXPECT_TRUE(back || reported) << what << ", undone: " << Shown(name) << " not back once\n"
                                  << log;
    figures.notBack += back ? 0 : 1;
    reportedLeft = reportedLeft || !back;
  }
  if (reportedLeft) return;
  std::string left;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    left += Shown(entry.path()) + " ";
  EXPECT_TRUE(after.ours.empty() && after.foreign.empty() && left.empty())
      << what << ", undone: left " << left << "\n"
      << log;
  figures.leftAfterNextRun += static_cast<int>(after.ours.size());
}

class KilledOnRemovableDrive : public ::testing::TestWithParam<RemovableDrive> {};

TEST_P(KilledOnRemovableDrive, EveryStepLeavesEverySongWholeAndTheNextRunTidiesUpAndFilesIt) {
  const RemovableDrive& drive = GetParam();
  // A mounted drive's image and other side are kept in memory, clear of the disk's flushes.
  const TempFolder shm("/dev/shm"), disk, mountPoint;
  std::optional<Mount> mount;
  std::string top = shm.path(), other = disk.path(), playedTop = top;
  if (drive.mount != nullptr) {
    mount.emplace(drive.mount(shm / "drive.img", mountPoint.path()));
    if (!mount->mounted()) GTEST_SKIP() << mount->refusal();
    top = mountPoint.path();
    other = shm / "other";
    fs::create_directory(other);
    playedTop.clear();
  } else if (!ShmIsAnotherDevice()) {
    GTEST_SKIP() << "/dev/shm is not another device than the temporary folder here";
  }
  const struct {
    const char* name;
    bool sourceOnDrive, rootOnDrive;
  } directions[] = {{"onto it", false, true}, {"off it", true, false}, {"within it", true, true}};
  DriveFigures figures;
  std::string pointsPerDirection;
  for (const auto& direction : directions) {
    const std::string in = (direction.sourceOnDrive ? top : other) + "/in";
    const std::string root = (direction.rootOnDrive ? top : other) + "/root";
    long step = 1;
    // Each step twice: killed there, then the next run, or the undo from the journal.
    for (bool killed = true; killed; ++step) {
      for (const bool undo : {false, true}) {
        const TempFolder stateFolder;
        const platform::StateFolder state(stateFolder.path());
        const SongMap songs = PutSongs(in, root);
        const std::string where = std::string(drive.name) + ", " + direction.name;
        const auto killedBefore =
            MoveKilledBefore(where, step, playedTop, drive.links, in, root, state);
        const std::string what =
            where + (killedBefore
                         ? ", killed before step " + std::to_string(step) + ": " + *killedBefore
                         : ", not killed");
        ExpectEverySongWhole(what, {in, root}, songs, figures);
        SteppingCalls calls(playedTop, drive.links, 0, -1);
        if (undo) {
          ExpectUndoBringsBackEverySong(what, in, root, songs, calls, state, drive.refusesAtRandom,
                                        figures);
        } else {
          ExpectNextRunFilesOrReportsEverySong(what, in, root, songs, calls, figures);
        }
        fs::remove_all(in);
        fs::remove_all(root);
        killed = killedBefore.has_value();
      }
    }
    --step;
    figures.killPoints += step - 1;
    pointsPerDirection +=
        (pointsPerDirection.empty() ? "" : ", ") + std::to_string(step - 1) + " " + direction.name;
  }
  std::printf(
      "[ figures  ] %s: %ld kill points (%s): %d hidden files of ours left by the kills, %d after "
      "the next run or undo; %d songs left twice, %d reported not moved, %d lost or partial; %d "
      "not back after the undo (each reported, where the drive refuses at random)\n",
      drive.name, figures.killPoints, pointsPerDirection.c_str(), figures.leftByKills,
      figures.leftAfterNextRun, figures.twice, figures.reported, figures.lostOrPartial,
      figures.notBack);
}

INSTANTIATE_TEST_SUITE_P(Drives, KilledOnRemovableDrive, ::testing::ValuesIn(kDrives),
                         [](const auto& drive) { return std::string(drive.param.name); });

}  // namespace
}  // namespace pellorin::testing
