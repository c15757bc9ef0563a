// Runs killed outright (SIGKILL, as by a crash or a power cut) at chosen moments of moves across
// devices, and the run after them. A child process moves real files of a few MiB between /tmp and
// /dev/shm through a seam that kills it at the chosen moment. Afterwards every file must be whole
// under its real name, at worst twice, never partly or nowhere; then a second run must leave
// nothing hidden of ours behind and file or report every file.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

#include "platform/own_file_names.h"
#include "platform/posix/paths.h"
#include "platform/posix/posix_file_enumeration.h"
#include "platform/posix/posix_file_system.h"
#include "sorting/move_run.h"
#include "support/scripted_window.h"
#include "support/temp_folder.h"

namespace pellorin::testing {
namespace {

namespace fs = std::filesystem;

enum class KillPoint { DuringCopy, AfterPublish, AfterSetAside };

// The real system calls, except that the process kills itself once a number of bytes has been
// copied, or right after the nth publish of a temporary or the nth set-aside of a source.
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
    const int renamed = SystemCalls::RenameNoReplace(from, to);
    if (renamed == 0 && (IsOwn(from, platform::OwnFileKind::Temporary, KillPoint::AfterPublish) ||
                         IsOwn(to, platform::OwnFileKind::SetAside, KillPoint::AfterSetAside))) {
      if (++seen_ == nth_) ::raise(SIGKILL);
    }
    return renamed;
  }

 private:
  ssize_t Copied(ssize_t bytes) {
    if (point_ == KillPoint::DuringCopy && bytes > 0 && (seen_ += bytes) >= nth_) ::raise(SIGKILL);
    return bytes;
  }
  bool IsOwn(const char* path, platform::OwnFileKind kind, KillPoint point) const {
    const auto own = platform::ParseOwnFileName(posix::LastComponent(path));
    return point_ == point && own && own->kind == kind;
  }

  KillPoint point_;
  long nth_;
  long seen_ = 0;
};

constexpr std::size_t kFileSize = 3 << 20;

std::string Bytes(char seed) {
  std::string bytes(kFileSize, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(seed + i / 511);
  return bytes;
}

const std::map<std::string, std::string>& Songs() {
  static const std::map<std::string, std::string> songs = {
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

Found Look(const std::vector<std::string>& tops) {
  Found found;
  for (const auto& top : tops) {
    for (const auto& entry : fs::recursive_directory_iterator(top)) {
      if (!entry.is_regular_file()) continue;
      const std::string name = entry.path().filename();
      if (name.starts_with(".pellorin-")) {
        found.ours.push_back(entry.path());
      } else if (Songs().contains(name) && Contents(entry.path()) == Songs().at(name)) {
        ++found.copies[name];
      } else {
        found.foreign.push_back(entry.path());
      }
    }
  }
  return found;
}

class KilledRun : public ::testing::Test {
 protected:
  void SetUp() override {
    struct stat here {
    }, there{};
    if (::stat(fs::temp_directory_path().c_str(), &here) != 0 || ::stat("/dev/shm", &there) != 0 ||
        here.st_dev == there.st_dev) {
      GTEST_SKIP() << "/dev/shm is not another device than the temporary folder here";
    }
  }
};

TEST_F(KilledRun, LeavesEveryFileWholeAndTheNextRunTidiesUpAndFilesOrReportsIt) {
  // The three songs make one group: all are copied, flushed and published before any source
  // goes. Most moments fall in the second song. A kill after its publish leaves both published
  // songs twice; after its set-aside, the next run puts that source back under its name, which
  // leaves it twice, beside the third, published and not yet removed.
  const struct {
    const char* what;
    KillPoint point;
    long nth;
    int duplicates;
  } moments[] = {
      {"during the copy", KillPoint::DuringCopy, kFileSize + kFileSize / 2, 0},
      {"after the publish", KillPoint::AfterPublish, 2, 2},
      {"after the set-aside", KillPoint::AfterSetAside, 2, 2},
      // The last song: the next run has nothing else to move out of that folder.
      {"after the last set-aside", KillPoint::AfterSetAside, 3, 1},
  };
  int cases = 0, leftByKills = 0, leftAfterNextRun = 0, duplicates = 0, lostOrPartial = 0;
  for (const bool fromShm : {false, true}) {
    for (const auto& moment : moments) {
      const std::string what =
          std::string(moment.what) + (fromShm ? ", /dev/shm to /tmp" : ", /tmp to /dev/shm");
      const TempFolder disk, shm("/dev/shm");
      const std::string in = (fromShm ? shm : disk) / "in", root = (fromShm ? disk : shm) / "root";
      fs::create_directory(in);
      fs::create_directory(root);
      for (const auto& [name, bytes] : Songs()) WriteFile(in + "/" + name, bytes);
      const std::vector<std::string> tops = {in, root};

      const pid_t child = ::fork();
      ASSERT_NE(child, -1);
      if (child == 0) {
        KillingCalls calls(moment.point, moment.nth);
        posix::PosixFileSystem killed(calls,
                                      {.songs = Songs().size(), .work = std::chrono::hours(1)});
        MoveAll(in, root, killed);
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

      posix::PosixFileSystem real;
      const std::string log = MoveAll(in, root, real);
      const Found after = Look(tops);
      EXPECT_TRUE(after.ours.empty()) << what << ": " << after.ours.front();
      leftAfterNextRun += static_cast<int>(after.ours.size());
      EXPECT_TRUE(after.foreign.empty()) << what << ": " << after.foreign.front();
      int twice = 0;
      for (const auto& [name, bytes] : Songs()) {
        const bool filed = fs::exists(root + "/" + Artist(name) + "/" + name);
        const bool reported = log.find("Error moving File \"" + name + "\"") != std::string::npos;
        EXPECT_TRUE(filed) << what << ": " << name << " not filed\n" << log;
        EXPECT_EQ(fs::exists(in + "/" + name), after.Copies(name) == 2) << what << ": " << name;
        if (after.Copies(name) == 2 && !reported) {
          EXPECT_EQ(killed.Copies(name), 1) << what << ": " << name << " twice, not reported";
        }
        twice += after.Copies(name) - 1;
      }
      EXPECT_EQ(twice, moment.duplicates) << what;
      duplicates += twice;
      ++cases;
    }
  }
  std::printf(
      "[ figures  ] %d runs killed across devices: %d hidden files of ours left by the kills, %d "
      "after the next run; %d songs left twice, %d lost or partial\n",
      cases, leftByKills, leftAfterNextRun, duplicates, lostOrPartial);
}

}  // namespace
}  // namespace pellorin::testing
