// Runs on real file systems that refuse, fill up, ignore case or lie on another device, and runs
// during which another program deletes, replaces or writes to a file. Each run is judged by the
// run oracle: nothing lost, duplicated or overwritten, and the log tells the truth.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <thread>

#include "mounts.h"
#include "platform/posix/posix_file_enumeration.h"
#include "platform/posix/posix_file_system.h"
#include "real_run.h"
#include "support/faulty_file_system.h"
#include "support/faulty_system_calls.h"
#include "support/temp_folder.h"

namespace pellorin::testing {
namespace {

namespace fs = std::filesystem;

std::string Bytes(std::size_t size, char seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(seed + i * 31 + i / 4096);
  return bytes;
}

void ExpectKeptEveryPromise(const RealRunResult& result) {
  EXPECT_TRUE(result.verdict.problems.empty())
      << ::testing::PrintToString(result.verdict.problems) << "\nlog:\n"
      << result.record.log;
}

bool OnAnotherDevice(const std::string& a, const std::string& b) {
  struct stat first {
  }, second{};
  return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
         first.st_dev != second.st_dev;
}

#define SKIP_UNLESS_MOUNTED(mount) \
  if (!(mount).mounted()) GTEST_SKIP() << (mount).refusal()

class RealFolders : public ::testing::Test {
 protected:
  RealFolders() {
    fs::create_directory(in);
    fs::create_directory(root);
  }
  void Incoming(const std::string& name, const std::string& bytes) {
    WriteFile(in + "/" + name, bytes);
  }
  RealRunSetup Setup() const { return {.in = in, .root = root, .tops = {temp.path()}}; }

  TempFolder temp;
  std::string in = temp / "in", root = temp / "root";
};

TEST_F(RealFolders, ReadOnlyRootRefusesEveryFolderAndFileAndSaysSo) {
  fs::create_directory(root + "/Old");
  WriteFile(root + "/Old/Old - kept.mp3", "older");
  Incoming("New - a.mp3", "a");
  Incoming("Old - b.mp3", Bytes(5000, 'b'));
  Incoming("Old - kept.mp3", "newer");
  const auto readOnly = Mount::ReadOnly(root);
  SKIP_UNLESS_MOUNTED(readOnly);

  const auto result = RunAndJudge(Setup());
  ExpectKeptEveryPromise(result);
  EXPECT_EQ(result.verdict.filesMoved, 0);
  EXPECT_EQ(result.verdict.failureEntries, 3);
}

// Out of a read-only folder the file is copied, but cannot be removed: so the copy goes again.
TEST_F(RealFolders, ReadOnlySourceLeavesEveryFileWhereItWasAndNoCopy) {
  Incoming("A - one.mp3", Bytes(3 << 20, '1'));
  Incoming("A - two.mp3", "");
  const auto readOnly = Mount::ReadOnly(in);
  SKIP_UNLESS_MOUNTED(readOnly);

  const auto result = RunAndJudge(Setup());
  ExpectKeptEveryPromise(result);
  EXPECT_EQ(result.verdict.filesMoved, 0);
  EXPECT_EQ(result.verdict.failureEntries, 2);
  EXPECT_TRUE(fs::is_empty(root + "/A"));
}

TEST_F(RealFolders, FullFileSystemTakesWhatFitsAndLeavesTheRestWhereItWas) {
  const auto small = Mount::Tmpfs(root, "size=1m");
  SKIP_UNLESS_MOUNTED(small);
  Incoming("A - small.mp3", Bytes(10000, 's'));
  Incoming("A - huge.mp3", Bytes(3 << 20, 'h'));
  Incoming("B - half.mp3", Bytes(600 << 10, 'x'));
  Incoming("B - second half.mp3", Bytes(600 << 10, 'y'));
  Incoming("C - empty.mp3", "");

  const auto result = RunAndJudge(Setup());
  ExpectKeptEveryPromise(result);
  EXPECT_EQ(result.verdict.filesMoved, 3);  // small, one half, empty
  EXPECT_EQ(result.verdict.failureEntries, 2);
}

TEST_F(RealFolders, FileSystemOutOfInodesRefusesFoldersAndSaysSo) {
  const auto few = Mount::Tmpfs(temp.path(), "size=4m,nr_inodes=12");
  SKIP_UNLESS_MOUNTED(few);
  fs::create_directory(in);
  fs::create_directory(root);
  for (const char* artist : {"A", "B", "C", "D", "E", "F"}) {
    Incoming(std::string(artist) + " - song.mp3", artist);
  }
  const auto result = RunAndJudge(Setup());
  ExpectKeptEveryPromise(result);
  EXPECT_GT(result.verdict.filesMoved, 0);
  EXPECT_GT(result.verdict.failureEntries, 0);
}

class AnotherDevice : public RealFolders {
 protected:
  void SetUp() override {
    if (!OnAnotherDevice(temp.path(), "/dev/shm")) GTEST_SKIP() << "/dev/shm is on this device";
    fs::remove(root);
    other.emplace("/dev/shm");
    root = *other / "root";
    fs::create_directory(root);
  }
  RealRunSetup Setup() const {
    return {.in = in, .root = root, .tops = {temp.path(), other->path()}};
  }

  std::optional<TempFolder> other;
};

TEST_F(AnotherDevice, FilesOfEverySizeAroundPagesAndBuffersArriveWhole) {
  const std::size_t sizes[] = {
      0, 1, 4095, 4096, 4097, 65537, (1 << 20) - 1, 1 << 20, (1 << 20) + 1, 3 << 20};
  for (const auto size : sizes) {
    Incoming("Size - " + std::to_string(size) + ".mp3", Bytes(size, static_cast<char>(size)));
  }
  const auto result = RunAndJudge(Setup());
  ExpectKeptEveryPromise(result);
  EXPECT_EQ(result.verdict.filesMoved, std::size(sizes));
}

// A flush after a copy across devices that fails (EIO, or ENOTCONN from a drive pulled out), each
// flush of the run in turn, however many the layer makes: where the copy depended on it (the
// copy, the destination folder, its file system), the song is reported and its source stays
// whole, a copy already published may stay beside it; a failed flush of the source folder after
// the removal changes nothing. Never anything partial under a real name, nothing hidden left.
class FailedFlush : public AnotherDevice {
 protected:
  struct Way {
    const char* name;
    bool typeKnown;  // else flushed file by file, as on FUSE, where syncfs reaches no storage
    std::size_t groupSongs;
  };
  // False when the run made fewer flushes than nth.
  bool RunWithFailing(const Way& way, int error, int nth) {
    fs::remove_all(in);
    fs::remove_all(root);
    fs::create_directory(in);
    fs::create_directory(root);
    for (const auto& [name, bytes] : songs) Incoming(name, bytes);
    FaultySystemCalls calls;
    int flushes = 0;
    std::string failed;
    calls.schedule = [&](SystemCall call, const char* path) {
      if (call == SystemCall::FileSystemType && !way.typeKnown) return EIO;
      if ((call != SystemCall::Fsync && call != SystemCall::Syncfs) || ++flushes != nth) return 0;
      failed = path;
      return error;
    };
    posix::PosixFileSystem disk(calls, {.songs = way.groupSongs, .work = std::chrono::hours(1)});
    const auto run = RunAndJudge(Setup(), &disk).record;
    if (flushes < nth) return false;
    ++cases;
    const std::string what = std::string(way.name) + ", " + std::strerror(error) + ", flush " +
                             std::to_string(nth) + " of " + std::to_string(flushes) + " (" +
                             failed + ") fails\n" + run.log;
    for (const auto& [path, bytes] : run.after.files) {
      const std::string name = fs::path(path).filename();
      EXPECT_FALSE(name.starts_with(".pellorin-")) << what << "\nleft hidden: " << path;
      EXPECT_TRUE(!songs.contains(name) || bytes == songs.at(name))
          << what << "\npartial: " << path;
    }
    int moved = 0, errors = 0;
    for (const auto& [name, bytes] : songs) {
      const std::string source = in + "/" + name,
                        filed = root + "/" + name.substr(0, 1) + "/" + name;
      const bool saidMoved = run.log.find("File \"" + name + "\" moved.") != std::string::npos;
      const bool saidError =
          run.log.find("Error moving File \"" + name + "\"") != std::string::npos;
      EXPECT_NE(saidMoved, saidError) << what << "\n" << name;
      if (saidMoved) {
        EXPECT_FALSE(run.after.files.contains(source)) << what << "\n" << name << " still there";
        EXPECT_TRUE(run.after.files.contains(filed)) << what << "\n" << name << " not filed";
      } else {
        EXPECT_TRUE(run.after.files.contains(source)) << what << "\n" << name << " lost";
        duplicates += run.after.files.contains(filed) ? 1 : 0;
      }
      moved += saidMoved ? 1 : 0;
      errors += saidError ? 1 : 0;
    }
    EXPECT_EQ(run.outcome.filesMoved, moved) << what;
    EXPECT_EQ(run.outcome.errorEntries, errors) << what;  // pellorin-move's exit status follows
    if (failed.starts_with(root)) {
      EXPECT_GT(errors, 0) << what << "\nthe failed flush was ignored";
    } else {
      EXPECT_EQ(errors, 0) << what << "\na failed flush of the source folder stopped a move";
    }
    reported += errors;
    return true;
  }

  const std::map<std::string, std::string> songs = {{"A - one.mp3", Bytes(20000, '1')},
                                                    {"A - two.mp3", Bytes(30000, '2')},
                                                    {"B - three.mp3", Bytes(10000, '3')}};
  int cases = 0, reported = 0, duplicates = 0;
};

TEST_F(FailedFlush, KeepsTheSourceAndReportsTheSong) {
  const Way ways[] = {{"one syncfs a group", true, 256},
                      {"each copy and folder flushed", false, 256},
                      {"each flushed, one song a group", false, 1}};
  for (const auto& way : ways) {
    for (const int error : {EIO, ENOTCONN}) {
      for (int nth = 1; RunWithFailing(way, error, nth); ++nth) {
      }
    }
  }
  std::printf(
      "[ figures  ] %d runs with one failed flush: %d songs reported not moved, %d of them "
      "with their published copy kept beside the source\n",
      cases, reported, duplicates);
}

// Another program acting at one exact moment of a copy across devices.
class OtherProgramDuringCopy : public AnotherDevice {
 protected:
  // The oracle's "before" would be wrong once another program has changed a file, so the log
  // and the disk are checked here: the file is not reported moved, no copy and no temporary
  // stays behind.
  std::string RunWith(std::function<void(SystemCall, const char*)> otherProgram,
                      bool leasesAvailable = true) {
    FaultySystemCalls calls;
    calls.before = std::move(otherProgram);
    if (!leasesAvailable) {
      calls.schedule = [](SystemCall call, const char*) {
        return call == SystemCall::Fcntl ? EINVAL : 0;
      };
    }
    posix::PosixFileSystem disk(calls);
    return RunAndJudge(Setup(), &disk).record.log;
  }
  void ExpectNotMoved(std::function<void(SystemCall, const char*)> otherProgram,
                      bool leasesAvailable = true) {
    ExpectNotMovedBy(RunWith(std::move(otherProgram), leasesAvailable));
  }
  void ExpectNotMovedBy(const std::string& log) {
    EXPECT_NE(log.find("Error moving File \"Artist - song.mp3\""), std::string::npos) << log;
    EXPECT_FALSE(fs::exists(root + "/Artist/Artist - song.mp3"));
    for (const auto* top : {&in, &root}) {
      for (const auto& entry : fs::recursive_directory_iterator(*top)) {
        EXPECT_FALSE(entry.path().filename().string().starts_with(".pellorin-")) << entry.path();
      }
    }
  }
  std::string source = in + "/Artist - song.mp3";
  const std::string song = Bytes(2 << 20, 's');
};

// The newer version must survive, whenever it arrives after the copy has begun.
TEST_F(OtherProgramDuringCopy, ReplacedSourceIsNeitherRemovedNorReportedMoved) {
  for (int moment = 1; moment <= 8; ++moment) {
    Incoming("Artist - song.mp3", song);
    int reads = 0, callsOnSource = 0;
    const auto log = RunWith([&](SystemCall call, const char* path) {
      if (CopiesBytes(call)) ++reads;
      if (reads > 0 && path == source && ++callsOnSource == moment) {
        WriteFile(in + "/newer", "the newer version");
        fs::rename(in + "/newer", source);
      }
    });
    if (callsOnSource < moment) break;  // every moment at which the source is touched was tried
    ExpectNotMovedBy(log);
    EXPECT_EQ(ReadFile(source), "the newer version") << moment;
    fs::remove_all(root + "/Artist");
  }
}

TEST_F(OtherProgramDuringCopy, SourceThatGrowsDuringTheCopyStaysWholeWhereItWas) {
  Incoming("Artist - song.mp3", song);
  int reads = 0;
  ExpectNotMoved(
      [&](SystemCall call, const char*) {
        if (CopiesBytes(call) && ++reads == 2) {
          std::ofstream(source, std::ios::binary | std::ios::app) << "appended";
        }
      },
      /*leasesAvailable=*/false);
  EXPECT_TRUE(ReadFile(source) == song + "appended");
}

TEST_F(OtherProgramDuringCopy, WriterThatOpensTheSourceDuringTheCopyWaitsAndKeepsItsFile) {
  Incoming("Artist - song.mp3", song);
  std::thread writer;
  ExpectNotMoved([&](SystemCall call, const char*) {
    if (!CopiesBytes(call) || writer.joinable()) return;
    writer =
        std::thread([&] { std::ofstream(source, std::ios::binary | std::ios::app) << "more"; });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // until its open waits on us
  });
  writer.join();
  EXPECT_TRUE(ReadFile(source) == song + "more");
}

TEST_F(OtherProgramDuringCopy, SourceDeletedDuringTheCopyIsNotBroughtBack) {
  Incoming("Artist - song.mp3", song);
  ExpectNotMoved([&](SystemCall call, const char*) {
    if (CopiesBytes(call)) fs::remove(source);
  });
  EXPECT_FALSE(fs::exists(source));
}

TEST_F(OtherProgramDuringCopy, FileOpenForWritingIsNotCopiedAwayFromItsWriter) {
  Incoming("Artist - song.mp3", "first half, ");
  const int writer = ::open(source.c_str(), O_WRONLY | O_APPEND);
  ASSERT_GE(writer, 0);
  ExpectNotMoved({});
  const std::string rest = "second half";
  EXPECT_EQ(::write(writer, rest.data(), rest.size()), static_cast<ssize_t>(rest.size()));
  ::close(writer);
  EXPECT_EQ(ReadFile(source), "first half, second half");
}

// A neighbour in a shared folder swaps a song for a FIFO after the listing: opening it must not
// wait for a writer (the alarm ends a run that hangs), and the other songs are filed as usual.
TEST_F(OtherProgramDuringCopy, SongSwappedForAFifoIsReportedWithoutWaitingAndStaysThere) {
  Incoming("Artist - song.mp3", song);
  Incoming("Other - song.mp3", "other");
  ::alarm(60);
  ExpectNotMoved([&](SystemCall call, const char* path) {
    if (call == SystemCall::Open && path == source && !fs::is_fifo(source)) {
      fs::remove(source);
      ASSERT_EQ(::mkfifo(source.c_str(), 0600), 0);
    }
  });
  ::alarm(0);
  EXPECT_TRUE(fs::is_fifo(source));
  EXPECT_EQ(ReadFile(root + "/Other/Other - song.mp3"), "other");
}

TEST_F(RealFolders, FileOpenForWritingOnTheSameDeviceMovesWithItsWriter) {
  Incoming("Artist - song.mp3", "first half, ");
  const int writer = ::open((in + "/Artist - song.mp3").c_str(), O_WRONLY | O_APPEND);
  ASSERT_GE(writer, 0);
  const auto result = RunAndJudge(Setup());
  const std::string rest = "second half";
  EXPECT_EQ(::write(writer, rest.data(), rest.size()), static_cast<ssize_t>(rest.size()));
  ::close(writer);
  EXPECT_EQ(result.verdict.filesMoved, 1);
  EXPECT_EQ(ReadFile(root + "/Artist/Artist - song.mp3"), "first half, second half");
}

TEST_F(RealFolders, SourceDeletedOrReplacedJustBeforeItsMoveIsReportedTruthfully) {
  Incoming("A - deleted.mp3", "deleted");
  Incoming("A - replaced.mp3", "original");
  posix::PosixFileSystem real;
  posix::PosixFileEnumeration unused;
  FaultyFileSystem disk(real, unused, [](FileCall, std::string_view) { return std::error_code(); });
  disk.beforeMove = [&](std::string_view from, std::string_view) {
    if (from.ends_with("deleted.mp3")) fs::remove(std::string(from));
    if (from.ends_with("replaced.mp3")) WriteFile(std::string(from), "replacement");
  };
  const auto result = RunAndJudge(Setup(), &disk);
  const auto& log = result.record.log;
  EXPECT_NE(log.find("Error moving File \"A - deleted.mp3\""), std::string::npos) << log;
  EXPECT_NE(log.find("File \"A - replaced.mp3\" moved."), std::string::npos) << log;
  EXPECT_FALSE(fs::exists(root + "/A/A - deleted.mp3"));
  EXPECT_EQ(ReadFile(root + "/A/A - replaced.mp3"), "replacement");
  EXPECT_FALSE(fs::exists(in + "/A - replaced.mp3"));
  EXPECT_TRUE(log.ends_with("1files(s) moved."));
}

// FAT, through FUSE: no RENAME_NOREPLACE, no hard links, names that ignore case, characters that
// are not allowed.
class FatFolders : public ::testing::Test {
 protected:
  void Populate(const std::string& in) {
    for (const auto& [name, bytes] : std::vector<std::pair<std::string, std::string>>{
             {"(X) f.mp3", "lower"},
             {"(X) F.MP3", "upper"},
             {"Abc - 1.mp3", Bytes(70000, '1')},
             {"ABC - 2.mp3", ""},
             {"(a:b) colon.mp3", "colon artist"},
             {"Fine - what?.mp3", "question mark"},
             {"Big - one.mp3", Bytes(3 << 20, 'B')},
         }) {
      WriteFile(in + "/" + name, bytes);
    }
  }
  // Onto a fresh drive mounted on a folder beside the source: the refused names are reported,
  // the case twins share one folder and one name, the rest arrives whole.
  void RunOnto(Mount (*mountDrive)(const std::string&, const std::string&, int), int megabytes) {
    const std::string in = temp / "in", root = temp / "drive";
    fs::create_directory(in);
    fs::create_directory(root);
    Populate(in);
    const auto drive = mountDrive(image / "drive.img", root, megabytes);
    SKIP_UNLESS_MOUNTED(drive);
    const auto result =
        RunAndJudge({.in = in, .root = root, .tops = {temp.path()}, .caseInsensitiveTop = root});
    ExpectKeptEveryPromise(result);
    const auto& log = result.record.log;
    EXPECT_NE(log.find("File \"(X) F.MP3\" moved."), std::string::npos) << log;
    EXPECT_NE(log.find("Error moving File \"(X) f.mp3\""), std::string::npos) << log;
    EXPECT_NE(log.find("Error: Cannot create directory"), std::string::npos) << log;
    EXPECT_NE(log.find("Error moving File \"Fine - what?.mp3\""), std::string::npos) << log;
    EXPECT_NE(log.find("File \"Big - one.mp3\" moved."), std::string::npos) << log;
  }
  TempFolder image, temp;  // the image apart, so that reading the run's folders skips it
};

TEST_F(FatFolders, OntoFatFromAnotherFileSystem) { RunOnto(&Mount::Fat, 32); }

// exFAT, through FUSE, refuses the same names, ignores case the same way and has no links either.
TEST_F(FatFolders, OntoExfatFromAnotherFileSystem) { RunOnto(&Mount::Exfat, 16); }

// A 4 MB exFAT image holds about 2 MB of files.
TEST_F(FatFolders, FullExfatTakesWhatFitsAndLeavesTheRestWhereItWas) {
  const std::string in = temp / "in", root = temp / "exfat";
  fs::create_directory(in);
  fs::create_directory(root);
  for (const auto& [name, bytes] : std::vector<std::pair<std::string, std::string>>{
           {"A - small.mp3", Bytes(10000, 's')},
           {"A - huge.mp3", Bytes(3 << 20, 'h')},
           {"B - half.mp3", Bytes(1200 << 10, 'x')},
           {"B - second half.mp3", Bytes(1200 << 10, 'y')},
           {"C - empty.mp3", ""}}) {
    WriteFile(in + "/" + name, bytes);
  }
  const auto exfat = Mount::Exfat(image / "exfat.img", root, 4);
  SKIP_UNLESS_MOUNTED(exfat);
  const auto result =
      RunAndJudge({.in = in, .root = root, .tops = {temp.path()}, .caseInsensitiveTop = root});
  ExpectKeptEveryPromise(result);
  EXPECT_EQ(result.verdict.filesMoved, 3);  // small, one half, empty
  EXPECT_EQ(result.verdict.failureEntries, 2);
}

TEST_F(FatFolders, WithinOneFatFileSystem) {
  const std::string mounted = temp / "fat";
  fs::create_directory(mounted);
  const auto fat = Mount::Fat(image / "fat.img", mounted, 32);
  SKIP_UNLESS_MOUNTED(fat);
  const std::string in = mounted + "/in", root = mounted + "/root";
  fs::create_directory(in);
  fs::create_directory(root);
  for (const auto& [name, bytes] : std::vector<std::pair<std::string, std::string>>{
           {"(X) f.mp3", "lower"}, {"Abc - 1.mp3", Bytes(70000, '1')}, {"ABC - 2.mp3", ""}}) {
    WriteFile(in + "/" + name, bytes);
  }
  WriteFile(root + "/X", "");  // not a folder: the folder X cannot be made
  fs::create_directory(root + "/Y");
  WriteFile(root + "/Y/(Y) G.MP3", "older");
  WriteFile(in + "/(Y) g.mp3", "newer");
  const auto result =
      RunAndJudge({.in = in, .root = root, .tops = {mounted}, .caseInsensitiveTop = mounted});
  ExpectKeptEveryPromise(result);
  EXPECT_EQ(result.verdict.filesMoved, 2);
  EXPECT_EQ(ReadFile(root + "/Y/(Y) G.MP3"), "older");
}

// On FAT "abc/ABC - x.mp3" and "ABC/ABC - x.mp3" are one file: moving it onto itself must leave it.
TEST_F(FatFolders, FileAlreadyInItsFolderUnderAnotherCaseStaysAsItIs) {
  const std::string mounted = temp / "fat";
  fs::create_directory(mounted);
  const auto fat = Mount::Fat(image / "fat.img", mounted, 32);
  SKIP_UNLESS_MOUNTED(fat);
  fs::create_directories(mounted + "/abc");
  WriteFile(mounted + "/abc/ABC - x.mp3", "in place");
  const auto result = RunAndJudge(
      {.in = mounted + "/abc", .root = mounted, .tops = {mounted}, .caseInsensitiveTop = mounted});
  ExpectKeptEveryPromise(result);
  EXPECT_EQ(result.verdict.failureEntries, 1);
  EXPECT_EQ(ReadFile(mounted + "/abc/ABC - x.mp3"), "in place");
}

// A drive unplugged and plugged in again comes back under another device number, and FAT and
// exFAT through FUSE give its files new inode numbers: the undo still knows every song it left,
// moved within the drive or copied onto it.
TEST_F(FatFolders, UndoAfterTheDriveWasPluggedInAgainRecognisesEverySong) {
  const struct {
    const char* name;
    Mount (*mount)(const std::string&, const std::string&, int);
  } drives[] = {{"FAT", &Mount::Fat},
                {"exFAT", &Mount::Exfat},
                {"NTFS", [](const std::string& file, const std::string& folder, int megabytes) {
                   return Mount::Ntfs(file, folder, megabytes, false);
                 }}};
  const std::map<std::string, std::string> songs = {
      {"A - one.mp3", Bytes(5000, 'a')}, {"B - two.mp3", ""}, {"B - three.mp3", Bytes(300, 'c')}};
  for (const auto& drive : drives) {
    for (const bool within : {true, false}) {
      const std::string what = std::string(drive.name) + (within ? ", within it" : ", onto it");
      const std::string mounted = temp / "drive", img = image / "drive.img";
      fs::create_directory(mounted);
      std::optional<Mount> plugged(drive.mount(img, mounted, 16));
      SKIP_UNLESS_MOUNTED(*plugged);
      const std::string in = (within ? mounted : temp.path().string()) + "/in";
      const std::string root = mounted + "/root";
      fs::create_directory(in);
      fs::create_directory(root);
      for (const auto& [name, bytes] : songs) WriteFile(in + "/" + name, bytes);
      const TempFolder stateFolder;
      const platform::StateFolder state(stateFolder.path());
      {
        posix::PosixFileSystem disk;
        JournaledMoveAll(in, root, disk, state);
      }
      plugged.reset();
      plugged.emplace(drive.mount(img, mounted, 0));
      SKIP_UNLESS_MOUNTED(*plugged);
      const auto run = journal::ReadJournaledRun(state, journal::JournaledRunNames(state).at(0));
      ASSERT_TRUE(run.has_value()) << what;
      posix::PosixFileSystem disk;
      const std::string log = UndoAll(*run, disk);
      for (const auto& [name, bytes] : songs) {
        EXPECT_EQ(ReadFile(in + "/" + name), bytes) << what << ": " << name << "\n" << log;
      }
      EXPECT_TRUE(fs::is_empty(root)) << what << "\n" << log;
      plugged.reset();
      fs::remove_all(temp / "in");
      fs::remove_all(mounted);
    }
  }
}

}  // namespace
}  // namespace pellorin::testing
