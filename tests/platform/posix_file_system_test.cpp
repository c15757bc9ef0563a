// The POSIX layer on real folders, with faults injected through its system-call seam.

#include "platform/posix/posix_file_system.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <stdexcept>

#include "platform/group_writer.h"
#include "platform/own_file_names.h"
#include "platform/posix/posix_file_enumeration.h"
#include "support/temp_folder.h"

namespace pellorin::posix {
namespace {

using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

// Fails one named call with a chosen error, optionally only for paths that contain a marker. A
// copy call whose error is 0 copies nothing and answers 0, as at the end of the source.
class FaultyCalls final : public SystemCalls {
 public:
  struct Fault {
    std::string call;
    int error;
    std::string pathMarker;
  };
  std::vector<Fault> faults;

  int RenameNoReplace(const char* from, const char* to) override {
    return Fails("RenameNoReplace", from) ? -1 : SystemCalls::RenameNoReplace(from, to);
  }
  int Link(const char* from, const char* to) override {
    return Fails("Link", from) ? -1 : SystemCalls::Link(from, to);
  }
  int Unlink(const char* path) override {
    return Fails("Unlink", path) ? -1 : SystemCalls::Unlink(path);
  }
  int Open(const char* path, int flags, mode_t mode) override {
    return Fails("Open", path) ? -1 : SystemCalls::Open(path, flags, mode);
  }
  ssize_t Write(int fd, const void* buffer, size_t size) override {
    return Fails("Write", "") ? -1 : SystemCalls::Write(fd, buffer, size);
  }
  ssize_t CopyFileRange(int fromFd, int toFd, size_t size) override {
    if (Fails("CopyFileRange", "")) return errno == 0 ? 0 : -1;
    return SystemCalls::CopyFileRange(fromFd, toFd, size);
  }
  ssize_t Sendfile(int toFd, int fromFd, size_t size) override {
    if (Fails("Sendfile", "")) return errno == 0 ? 0 : -1;
    return SystemCalls::Sendfile(toFd, fromFd, size);
  }
  int Fsync(int fd) override { return Fails("Fsync", "") ? -1 : SystemCalls::Fsync(fd); }
  int Syncfs(int fd) override { return Fails("Syncfs", "") ? -1 : SystemCalls::Syncfs(fd); }
  int Close(int fd) override {  // like the kernel, the descriptor is gone even when close fails
    const int closed = SystemCalls::Close(fd);
    return Fails("Close", "") ? -1 : closed;
  }

 private:
  bool Fails(std::string_view call, std::string_view path) {
    for (const auto& fault : faults) {
      if (fault.call == call && path.find(fault.pathMarker) != std::string_view::npos) {
        errno = fault.error;
        return true;
      }
    }
    return false;
  }
};

bool HasTemporaries(const std::filesystem::path& folder) {
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().filename().string().starts_with(".pellorin-")) return true;
  }
  return false;
}

TEST(PosixFileSystem, SplitsAndJoinsPathsWithOneSeparator) {
  const PosixFileSystem disk;
  const struct {
    std::string_view path, parent;
  } parents[] = {
      {"/tmp/*.mp3", "/tmp"}, {"*.mp3", ""}, {"/x", "/"},       {"/", ""},
      {"a//b/", "a"},         {"", ""},      {"//a//b", "//a"},
  };
  for (const auto& c : parents) EXPECT_EQ(disk.GetParentFolderName(c.path), c.parent) << c.path;
  EXPECT_EQ(disk.BuildPath("/music/mp3", "A"), "/music/mp3/A");
  EXPECT_EQ(disk.BuildPath("/music/mp3//", "A"), "/music/mp3/A");
  EXPECT_EQ(disk.BuildPath("/", "A"), "/A");
  EXPECT_EQ(disk.BuildPath("", "A"), "A");
}

TEST(PosixFileSystem, FolderTestsAndCreation) {
  PosixFileSystem disk;
  const TempFolder temp;
  WriteFile(temp / "file", "x");
  EXPECT_TRUE(disk.FolderExists(temp.path().string()));
  EXPECT_FALSE(disk.FolderExists(temp / "file"));
  EXPECT_FALSE(disk.FolderExists(""));
  EXPECT_FALSE(disk.FolderExists(temp.path().string() + std::string("\0/x", 3)));
  EXPECT_FALSE(disk.CreateFolder(temp / "new"));
  EXPECT_EQ(disk.CreateFolder(temp / "new"), std::errc::file_exists);
  EXPECT_EQ(disk.CreateFolder(temp / "missing/new"), std::errc::no_such_file_or_directory);
  EXPECT_EQ(disk.CreateFolder(temp / std::string("a\0b", 3)), std::errc::invalid_argument);
  EXPECT_FALSE(std::filesystem::exists(temp / "a"));
}

// Natively, without RENAME_NOREPLACE (NFS, FUSE), and without hard links either (FAT).
TEST(PosixFileSystem, MoveNeverReplacesWhateverTheFileSystemLacks) {
  const std::vector<std::vector<FaultyCalls::Fault>> fileSystems = {
      {},
      {{"RenameNoReplace", EINVAL, ""}},
      {{"RenameNoReplace", EINVAL, ""}, {"Link", EPERM, ""}}};
  for (const auto& faults : fileSystems) {
    FaultyCalls calls;
    calls.faults = faults;
    PosixFileSystem disk(calls);
    const TempFolder temp;
    WriteFile(temp / "a", "new");
    WriteFile(temp / "b", "new b");
    WriteFile(temp / "taken", "old");
    EXPECT_EQ(disk.MoveFile(temp / "a", temp / "taken"), std::errc::file_exists);
    EXPECT_FALSE(disk.MoveFile(temp / "b", temp / "free"));
    EXPECT_EQ(ReadFile(temp / "taken"), "old") << faults.size();
    EXPECT_EQ(ReadFile(temp / "a"), "new");
    EXPECT_EQ(ReadFile(temp / "free"), "new b");
    EXPECT_FALSE(std::filesystem::exists(temp / "b"));
    EXPECT_EQ(disk.MoveFile(temp / "gone", temp / "other"), std::errc::no_such_file_or_directory);
    EXPECT_FALSE(std::filesystem::exists(temp / "other")) << "no placeholder left behind";
  }
}

class CrossDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    struct stat here {
    }, there{};
    if (::stat(source.path().c_str(), &here) != 0 || ::stat("/dev/shm", &there) != 0 ||
        here.st_dev == there.st_dev) {
      GTEST_SKIP() << "/dev/shm is not another device here";
    }
    target.emplace("/dev/shm");
  }
  TempFolder source;
  std::optional<TempFolder> target;
};

// Whichever way the kernel copies: copy_file_range, sendfile where the two file systems differ
// in type, a buffer of ours where neither works, and a kernel copy that stops short.
TEST_F(CrossDeviceTest, CopyKeepsContentModeAndTimeAndRemovesTheSource) {
  const std::vector<std::vector<FaultyCalls::Fault>> kernels = {
      {},
      {{"CopyFileRange", EXDEV, ""}},
      {{"CopyFileRange", ENOSYS, ""}, {"Sendfile", EINVAL, ""}},
      {{"CopyFileRange", 0, ""}, {"Sendfile", 0, ""}},
  };
  for (const auto& faults : kernels) {
    FaultyCalls calls;
    calls.faults = faults;
    PosixFileSystem disk(calls);
    for (const std::size_t size : {std::size_t{0}, (std::size_t{5} << 20) + 7}) {
      std::string content(size, 'm');
      for (std::size_t at = 0; at < size; at += 4093) content[at] = static_cast<char>(at >> 12);
      const std::string from = source / "song", to = *target / "song";
      WriteFile(from, content);
      // 0666: more than a temporary is made with, so set once the copy is whole.
      const mode_t mode = size == 0 ? 0666 : 0640;
      ::chmod(from.c_str(), mode);
      const struct timespec times[2] = {{1000000000, 0}, {1234567890, 500}};
      ::utimensat(AT_FDCWD, from.c_str(), times, 0);

      ASSERT_FALSE(disk.StartMove(from, to, 1).has_value()) << faults.size();
      std::vector<FinishedMove> finished;
      disk.FinishMoves(PendingMoves::All, finished);
      ASSERT_EQ(finished.size(), 1u);
      ASSERT_FALSE(finished[0].error) << faults.size();
      EXPECT_EQ(finished[0].copy, disk.Stamp(to)) << "the copy as the journal records it";
      struct stat moved {};
      ASSERT_EQ(::stat(to.c_str(), &moved), 0);
      EXPECT_EQ(moved.st_mode & 07777, mode);
      EXPECT_EQ(moved.st_mtim.tv_sec, 1234567890);
      EXPECT_EQ(moved.st_mtim.tv_nsec, 500);
      EXPECT_TRUE(ReadFile(to) == content) << faults.size() << " faults, " << size << " bytes";
      EXPECT_FALSE(std::filesystem::exists(from));
      EXPECT_FALSE(HasTemporaries(target->path()));
      std::filesystem::remove(to);
    }
  }
}

TEST_F(CrossDeviceTest, AnyFailureLeavesTheSourceAloneAndNoTemporary) {
  const std::string from = source / "song", to = *target / "song";
  const struct {
    std::vector<FaultyCalls::Fault> faults;
    int error;
  } cases[] = {
      {{{"Open", EACCES, ".pellorin-"}}, EACCES},
      {{{"CopyFileRange", ENOSPC, ""}, {"Sendfile", ENOSPC, ""}}, ENOSPC},
      {{{"CopyFileRange", EXDEV, ""}, {"Sendfile", EINVAL, ""}, {"Write", ENOSPC, ""}}, ENOSPC},
      {{{"Fsync", EIO, ""}, {"Syncfs", EIO, ""}}, EIO},
      {{{"Close", EIO, ""}}, EIO},
      {{{"RenameNoReplace", EIO, ".pellorin-"}}, EIO},
      {{{"Unlink", EACCES, source.path().string()}}, EACCES},
  };
  for (const auto& [faults, error] : cases) {
    FaultyCalls calls;
    calls.faults = faults;
    PosixFileSystem disk(calls);
    WriteFile(from, std::string(2 << 20, 's'));
    EXPECT_EQ(disk.MoveFile(from, to).value(), error) << faults.front().call;
    EXPECT_TRUE(ReadFile(from) == std::string(2 << 20, 's')) << faults.front().call;
    EXPECT_FALSE(std::filesystem::exists(to)) << faults.front().call;
    EXPECT_FALSE(HasTemporaries(target->path())) << faults.front().call;
    EXPECT_FALSE(HasTemporaries(source.path())) << faults.front().call;
  }
  WriteFile(to, "old");
  EXPECT_EQ(PosixFileSystem().MoveFile(from, to), std::errc::file_exists);
  EXPECT_EQ(ReadFile(to), "old");
}

// The set-aside source's unlink answers an error: the song must still be whole somewhere under a
// real name. A network file system may answer a repeated unlink with ENOENT after it removed the
// file; another program may take the source's name while the source is aside, so that it cannot
// go back.
class AsideUnlinkCalls final : public SystemCalls {
 public:
  bool removes = false;
  std::string newcomer;  // written under this path before the unlink fails, when not empty
  int Unlink(const char* path) override {
    if (std::string_view(path).find(".gone") == std::string_view::npos) {
      return SystemCalls::Unlink(path);
    }
    if (removes) SystemCalls::Unlink(path);
    if (!newcomer.empty()) WriteFile(newcomer, "newcomer");
    errno = removes ? ENOENT : EIO;
    return -1;
  }
};

TEST_F(CrossDeviceTest, AFailedRemovalOfTheSetAsideSourceNeverTakesTheOnlyCopy) {
  const std::string from = source / "song", to = *target / "song";
  for (const bool removes : {true, false}) {
    AsideUnlinkCalls calls;
    calls.removes = removes;
    calls.newcomer = removes ? "" : from;
    WriteFile(from, "song");
    const auto failure = PosixFileSystem(calls).MoveFile(from, to);
    EXPECT_EQ(failure.value(), removes ? 0 : EIO);
    EXPECT_EQ(ReadFile(to), "song") << removes;
    if (!removes) {
      EXPECT_EQ(ReadFile(from), "newcomer");
    }
    for (const auto& entry : std::filesystem::directory_iterator(source.path())) {
      std::filesystem::remove(entry.path());
    }
    std::filesystem::remove(to);
  }
}

pid_t DeadProcess() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  return child;
}

std::string ThisMachine() {
  char name[HOST_NAME_MAX + 1] = {};
  ::gethostname(name, sizeof name - 1);
  return platform::HostTag(name);
}

// What a dead run of this machine left in the folders a move uses goes: its temporary is removed,
// its set-aside source goes back under its own name where that is free, or goes where it is only
// a second name of the file under that name. Nothing else is touched.
TEST_F(CrossDeviceTest, MoveTidiesOnlyWhatDeadRunsOfThisMachineLeftInItsFolders) {
  using platform::OwnFileKind;
  const auto own = [](OwnFileKind kind, pid_t process, std::string host, std::string original) {
    return platform::FormatOwnFileName({.kind = kind,
                                        .process = static_cast<std::uint64_t>(process),
                                        .serial = 3,
                                        .host = std::move(host),
                                        .original = std::move(original)});
  };
  const pid_t dead = DeadProcess();
  const std::string here = ThisMachine();
  enum class After { Gone, Kept, Restored };
  const struct {
    std::string name;
    After after;
  } leftovers[] = {
      {own(OwnFileKind::Temporary, dead, here, ""), After::Gone},
      {own(OwnFileKind::Temporary, ::getpid(), here, ""), After::Kept},
      {own(OwnFileKind::Temporary, ::getppid(), here, ""), After::Kept},
      {own(OwnFileKind::Temporary, dead, here + "x", ""), After::Kept},
      {own(OwnFileKind::SetAside, dead, here, "A - back.mp3"), After::Restored},
      {own(OwnFileKind::SetAside, dead, here, "A - taken.mp3"), After::Kept},
      {own(OwnFileKind::SetAside, dead, here, ""), After::Kept},
      {own(OwnFileKind::Temporary, dead, here, "") + ".mp3", After::Kept},
  };
  const std::filesystem::path folders[] = {source.path(), target->path()};
  for (const auto& folder : folders) {
    WriteFile(folder / "A - taken.mp3", "someone else's");
    for (const auto& leftover : leftovers) WriteFile(folder / leftover.name, leftover.name);
    std::filesystem::create_directory(folder / own(OwnFileKind::SetAside, dead, here, "A - dir"));
    // A long name set aside inside a folder of ours; a set-aside that is a second link of the
    // song under its own name; an empty placeholder beside the whole song.
    const auto asideFolder =
        folder / platform::FormatOwnFileName({.kind = OwnFileKind::SetAside,
                                              .process = static_cast<std::uint64_t>(dead),
                                              .serial = 4,
                                              .host = here,
                                              .original = ""});
    std::filesystem::create_directory(asideFolder);
    WriteFile(asideFolder / "A - long.mp3", "long");
    WriteFile(folder / "A - linked.mp3", "linked");
    std::filesystem::create_hard_link(
        folder / "A - linked.mp3",
        folder / own(OwnFileKind::SetAside, dead, here, "A - linked.mp3"));
    WriteFile(folder / "A - claimed.mp3", "claimed");
    WriteFile(folder / own(OwnFileKind::SetAside, dead, here, "A - claimed.mp3"), "");
  }
  WriteFile(source / "song", "song");

  ASSERT_FALSE(PosixFileSystem().MoveFile(source / "song", *target / "song"));
  for (const auto& folder : folders) {
    for (const auto& [name, after] : leftovers) {
      EXPECT_EQ(std::filesystem::exists(folder / name), after == After::Kept) << folder / name;
      if (after == After::Restored) {
        EXPECT_EQ(ReadFile(folder / "A - back.mp3"), name);
      }
    }
    EXPECT_EQ(ReadFile(folder / "A - taken.mp3"), "someone else's");
    EXPECT_FALSE(std::filesystem::exists(folder / "A - dir")) << "a folder is never ours";
    EXPECT_EQ(ReadFile(folder / "A - long.mp3"), "long");
    EXPECT_EQ(ReadFile(folder / "A - linked.mp3"), "linked");
    EXPECT_EQ(ReadFile(folder / "A - claimed.mp3"), "claimed");
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      const auto name = entry.path().filename().string();
      EXPECT_FALSE(name.ends_with("-4-" + here + ".gone") ||
                   name.ends_with(".gone-A - linked.mp3") ||
                   name.ends_with(".gone-A - claimed.mp3"))
          << entry.path();
    }
  }
}

TEST(PosixFileEnumeration, OffersMatchingOrdinaryFilesInNameOrderOnce) {
  const TempFolder temp;
  for (const char* name : {"b.mp3", "a.mp3", "C.MP3", ".hidden.mp3", "x.txt", "c.mp3"}) {
    WriteFile(temp / name, name);
  }
  std::filesystem::create_directory(temp / "folder.mp3");
  std::filesystem::create_symlink(temp / "a.mp3", temp / "link.mp3");

  PosixFileEnumeration files;
  std::string name;
  std::vector<std::string> offered;
  ASSERT_FALSE(files.First(temp / "*.mp3", name));
  WriteFile(temp / "added.mp3", "late");  // the list was taken at the first call
  for (; !name.empty(); files.Next(name)) offered.push_back(name);
  EXPECT_EQ(offered, (std::vector<std::string>{"a.mp3", "b.mp3", "c.mp3"}));

  ASSERT_FALSE(files.First(temp / "?.MP3", name));
  EXPECT_EQ(name, "C.MP3");
  EXPECT_EQ(files.First(temp / "missing/*.mp3", name), std::errc::no_such_file_or_directory);
  EXPECT_EQ(name, "");
}

}  // namespace
}  // namespace pellorin::posix

namespace pellorin::platform {
namespace {

// A job that throws (a failed allocation, say) must leave the writer idle, so that neither the
// run's wait nor the destructor waits for ever, and the run's thread hears of it.
TEST(GroupWriter, AJobThatThrowsLeavesItIdleAndTellsTheRunsThread) {
  GroupWriter writer;
  writer.Hand([]() -> std::vector<FinishedMove> { throw std::runtime_error("no memory"); });
  writer.WaitUntilIdle();
  std::vector<FinishedMove> finished;
  EXPECT_THROW(writer.TakeFinished(finished), std::runtime_error);
  writer.Hand([] { return std::vector<FinishedMove>{{7, {}, 0}}; });
  writer.WaitUntilIdle();
  writer.TakeFinished(finished);
  ASSERT_EQ(finished.size(), 1u);
  EXPECT_EQ(finished[0].ticket, 7u);
}

// A group past its least time closes once the group before is durable; that least time grows
// with what the group before took to be made durable, up to the longest a group may gather.
TEST(GroupLimits, AGroupGathersLongerAfterAGroupThatTookLongToBeMadeDurable) {
  using ms = std::chrono::milliseconds;
  // ms gathering, ms the group before took, whether it is durable, whether this one is due
  const int rows[][4] = {
      {249, 0, 1, 0}, {250, 0, 0, 0}, {250, 100, 1, 0}, {400, 100, 1, 1}, {2000, 1000, 0, 1}};
  for (const auto& [gathering, took, durable, due] : rows) {
    EXPECT_EQ(GroupLimits{}.IsDue(1, 1, ms(gathering), durable != 0, ms(took)), due != 0)
        << gathering << " ms after one that took " << took << " ms";
  }
}

}  // namespace
}  // namespace pellorin::platform
