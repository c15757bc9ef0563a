// The POSIX layer on real folders, with faults injected through its system-call seam.

#include "platform/posix/posix_file_system.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "platform/posix/posix_file_enumeration.h"
#include "support/temp_folder.h"

namespace pellorin::posix {
namespace {

using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

// Fails one named call with a chosen error, optionally only for paths that contain a marker.
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
  int Fsync(int fd) override { return Fails("Fsync", "") ? -1 : SystemCalls::Fsync(fd); }
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

TEST_F(CrossDeviceTest, CopyKeepsContentModeAndTimeAndRemovesTheSource) {
  PosixFileSystem disk;
  for (const std::size_t size : {std::size_t{0}, std::size_t{3} << 20}) {
    const std::string content(size, 'm'), from = source / "song", to = *target / "song";
    WriteFile(from, content);
    ::chmod(from.c_str(), 0640);
    const struct timespec times[2] = {{1000000000, 0}, {1234567890, 500}};
    ::utimensat(AT_FDCWD, from.c_str(), times, 0);

    ASSERT_FALSE(disk.MoveFile(from, to));
    struct stat moved {};
    ASSERT_EQ(::stat(to.c_str(), &moved), 0);
    EXPECT_EQ(moved.st_mode & 07777, 0640u);
    EXPECT_EQ(moved.st_mtim.tv_sec, 1234567890);
    EXPECT_EQ(moved.st_mtim.tv_nsec, 500);
    EXPECT_EQ(ReadFile(to), content);
    EXPECT_FALSE(std::filesystem::exists(from));
    EXPECT_FALSE(HasTemporaries(target->path()));
    std::filesystem::remove(to);
  }
}

TEST_F(CrossDeviceTest, AnyFailureLeavesTheSourceAloneAndNoTemporary) {
  const std::string from = source / "song", to = *target / "song";
  const FaultyCalls::Fault faults[] = {
      {"Open", EACCES, ".pellorin-"},
      {"Write", ENOSPC, ""},
      {"Fsync", EIO, ""},
      {"Close", EIO, ""},
      {"RenameNoReplace", EIO, ".pellorin-"},
      {"Unlink", EACCES, source.path().string()},
  };
  for (const auto& fault : faults) {
    FaultyCalls calls;
    calls.faults = {fault};
    PosixFileSystem disk(calls);
    WriteFile(from, std::string(2 << 20, 's'));
    EXPECT_EQ(disk.MoveFile(from, to).value(), fault.error) << fault.call;
    EXPECT_EQ(ReadFile(from), std::string(2 << 20, 's')) << fault.call;
    EXPECT_FALSE(std::filesystem::exists(to)) << fault.call;
    EXPECT_FALSE(HasTemporaries(target->path())) << fault.call;
  }
  WriteFile(to, "old");
  EXPECT_EQ(PosixFileSystem().MoveFile(from, to), std::errc::file_exists);
  EXPECT_EQ(ReadFile(to), "old");
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
