// Move runs over generated collections under random fault schedules, each case from its own
// fixed seed, judged after every run by what is on the disk and in the log. Faults are planted at
// two depths: in any FileSystemObject or enumeration call the run makes, and, on the real POSIX
// layer, in any one system call of a folder creation or a move, so that every step of the
// layer's recovery (link fallback, placeholder, cross-device copy) fails at some point.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <optional>
#include <random>

#include "generated_collection.h"
#include "platform/posix/posix_file_enumeration.h"
#include "platform/posix/posix_file_system.h"
#include "run_oracle.h"
#include "support/faulty_file_system.h"
#include "support/faulty_system_calls.h"
#include "support/memory_file_system.h"
#include "support/scripted_window.h"
#include "support/temp_folder.h"

namespace pellorin::testing {
namespace {

struct Totals {
  int cases = 0, faults = 0, filesMoved = 0, failureEntries = 0, listingFailures = 0;
  void Add(const RunVerdict& verdict, int faultCount) {
    ++cases;
    faults += faultCount;
    filesMoved += verdict.filesMoved;
    failureEntries += verdict.failureEntries;
    listingFailures += verdict.listingFailed ? 1 : 0;
  }
  void Print(const char* what) const {
    std::printf(
        "[ figures  ] %s: %d fault schedules, %d faults injected, %d files moved, %d failure "
        "entries, %d listings cut short\n",
        what, cases, faults, filesMoved, failureEntries, listingFailures);
  }
};

std::error_code ErrorFor(FileCall call, std::mt19937& random) {
  static const std::vector<std::errc> kMoveErrors = {std::errc::permission_denied,
                                                     std::errc::no_space_on_device,
                                                     std::errc::io_error,
                                                     std::errc::file_exists,
                                                     std::errc::read_only_file_system,
                                                     std::errc::no_such_file_or_directory};
  static const std::vector<std::errc> kListErrors = {std::errc::io_error,
                                                     std::errc::permission_denied};
  const auto& errors =
      (call == FileCall::First || call == FileCall::Next) ? kListErrors : kMoveErrors;
  return std::make_error_code(
      errors[std::uniform_int_distribution<std::size_t>(0, errors.size() - 1)(random)]);
}

// Each call fails with the case's probability; listing calls ten times less often.
FaultSchedule RandomSchedule(std::mt19937& random, double probability) {
  return [&random, probability](FileCall call, std::string_view) -> std::error_code {
    const bool listing = call == FileCall::First || call == FileCall::Next;
    if (std::bernoulli_distribution(listing ? probability / 10 : probability)(random)) {
      return ErrorFor(call, random);
    }
    return {};
  };
}

double ProbabilityFor(int seed) {
  static constexpr double kProbabilities[] = {0.0, 0.02, 0.1, 0.3, 0.6};
  return kProbabilities[seed % 5];
}

std::vector<std::string> Offered(FileEnumeration& files, const std::string& pattern) {
  std::vector<std::string> names;
  std::string name;
  for (auto failure = files.First(pattern, name); !failure && !name.empty();
       failure = files.Next(name)) {
    names.push_back(name);
  }
  return names;
}

TEST(FaultSchedules, InMemoryRunsKeepEveryFileAndTellTheTruth) {
  Totals totals;
  for (int seed = 1; seed <= 1500; ++seed) {
    std::mt19937 random(static_cast<unsigned>(seed));
    const auto collection = GenerateCollection(random, 1 + seed % 40, '\\');
    MemoryFileSystem disk;
    disk.folders = {"c:", "c:\\in", "c:\\root"};
    for (const auto& file : collection.incoming) disk.files["c:\\in\\" + file.name] = file.bytes;
    for (const auto& artist : collection.existingArtists)
      disk.folders.insert("c:\\root\\" + artist);
    for (const auto& file : collection.alreadyFiled) {
      disk.folders.insert(disk.GetParentFolderName("c:\\root\\" + file.name));
      disk.files["c:\\root\\" + file.name] = file.bytes;
    }
    ScriptedWindow window;
    window.pattern = "c:\\in\\*";
    window.root = "c:\\root";
    window.answers = collection.answers;
    window.results.text = "typed before the run";

    RunRecord run;
    run.pattern = window.pattern;
    run.sourceFolder = "c:\\in";
    run.root = window.root;
    run.offered = Offered(disk, window.pattern);
    run.answers = collection.answers;
    run.before = {disk.files, disk.folders};
    run.logBefore = window.results.text;
    FaultyFileSystem faulty(disk, disk, RandomSchedule(random, ProbabilityFor(seed)));
    run.outcome = MoveRun(window, faulty, faulty);
    run.after = {disk.files, disk.folders};
    run.log = window.results.text;

    const auto verdict = JudgeRun(run, disk);
    ASSERT_TRUE(verdict.problems.empty())
        << "seed " << seed << ": " << ::testing::PrintToString(verdict.problems);
    totals.Add(verdict, faulty.FaultsInjected());
  }
  totals.Print("in memory");
}

// One system call of the next folder creation or move fails, at a random step of it.
class SystemCallFaults {
 public:
  explicit SystemCallFaults(std::mt19937& random) : random_(random) {}

  void MaybeArm(double probability) {
    if (std::bernoulli_distribution(probability)(random_)) {
      countdown_ = std::uniform_int_distribution<int>(1, 14)(random_);
    }
  }
  int Decide(SystemCall call) {
    if (countdown_ <= 0 || --countdown_ > 0) return 0;
    return ErrnoFor(call);
  }

 private:
  int ErrnoFor(SystemCall call) {
    static const std::map<SystemCall, std::vector<int>> kErrors = {
        {SystemCall::Stat, {EACCES, EIO}},
        {SystemCall::Lstat, {EACCES, EIO, ENOENT}},
        {SystemCall::Mkdir, {EACCES, ENOSPC, EROFS, EEXIST}},
        {SystemCall::Rmdir, {EACCES, EIO}},
        {SystemCall::RenameNoReplace, {EXDEV, EINVAL, EACCES, EIO, ENOSPC}},
        {SystemCall::Rename, {EACCES, EIO}},
        {SystemCall::Link, {EPERM, EMLINK, EIO, EXDEV}},
        {SystemCall::Unlink, {EACCES, EBUSY, EIO, EROFS}},
        {SystemCall::Open, {EACCES, EMFILE, ENOSPC, EIO}},
        {SystemCall::Close, {EIO}},
        {SystemCall::Read, {EIO, EINTR}},
        {SystemCall::Write, {ENOSPC, EIO, EINTR, EDQUOT, kShortWrite}},
        {SystemCall::Fsync, {EIO, EINVAL}},
        {SystemCall::Syncfs, {EIO}},
        {SystemCall::FileSystemType, {EIO}},
        {SystemCall::Fstat, {EIO}},
        {SystemCall::Fchmod, {EPERM, ENOSYS}},
        {SystemCall::Futimens, {EPERM, ENOSYS}},
        {SystemCall::Fcntl, {EINVAL, EAGAIN}},
        {SystemCall::CopyFileRange, {EXDEV, EINVAL, ENOSYS, EIO, ENOSPC, EINTR, kShortWrite}},
        {SystemCall::Sendfile, {EINVAL, ENOSYS, EIO, ENOSPC, EINTR, kShortWrite}},
        {SystemCall::SyncFileRange, {EIO, EINVAL}},
        {SystemCall::Kill, {EPERM}},
        {SystemCall::Gethostname, {EFAULT}},
        {SystemCall::ListNames, {EACCES, EIO}},
    };
    const auto& errors = kErrors.at(call);
    return errors[std::uniform_int_distribution<std::size_t>(0, errors.size() - 1)(random_)];
  }

  std::mt19937& random_;
  int countdown_ = 0;
};

void MakeCollection(const GeneratedCollection& collection, const std::string& in,
                    const std::string& root) {
  std::filesystem::create_directory(in);
  std::filesystem::create_directory(root);
  for (const auto& file : collection.incoming) WriteFile(in + "/" + file.name, file.bytes);
  for (const auto& artist : collection.existingArtists) {
    std::filesystem::create_directory(root + "/" + artist);
  }
  for (const auto& file : collection.alreadyFiled) {
    const std::filesystem::path path = root + "/" + file.name;
    std::filesystem::create_directories(path.parent_path());
    WriteFile(path, file.bytes);
  }
}

void RunOnRealFolders(const std::filesystem::path& rootBase, int cases, const char* what) {
  Totals totals;
  for (int seed = 1; seed <= cases; ++seed) {
    std::mt19937 random(static_cast<unsigned>(seed) * 7919u);
    const auto collection = GenerateCollection(random, 1 + seed % 16, '/');
    const TempFolder temp, rootTemp(rootBase);
    const std::string in = temp / "in", root = rootTemp / "root";
    MakeCollection(collection, in, root);

    FaultySystemCalls calls;
    SystemCallFaults systemFaults(random);
    const double probability = ProbabilityFor(seed);
    // The layer's writer thread decides too: one draw from the generator at a time.
    std::mutex drawing;
    calls.schedule = [&](SystemCall call, const char*) {
      const std::lock_guard lock(drawing);
      return systemFaults.Decide(call);
    };
    posix::PosixFileSystem disk(calls);
    posix::PosixFileEnumeration files;
    auto outer = RandomSchedule(random, probability / 2);
    FaultyFileSystem faulty(disk, files, [&](FileCall call, std::string_view path) {
      const std::lock_guard lock(drawing);
      if (call == FileCall::CreateFolder || call == FileCall::MoveFile) {
        systemFaults.MaybeArm(probability * 1.5);
      }
      return outer(call, path);
    });

    ScriptedWindow window;
    window.pattern = in + "/*";
    window.root = root;
    window.answers = collection.answers;
    RunRecord run;
    run.pattern = window.pattern;
    run.sourceFolder = in;
    run.root = root;
    run.offered = Offered(files, window.pattern);
    run.answers = collection.answers;
    AddDiskState(temp.path(), run.before);
    AddDiskState(rootTemp.path(), run.before);
    run.outcome = MoveRun(window, faulty, faulty);
    AddDiskState(temp.path(), run.after);
    AddDiskState(rootTemp.path(), run.after);
    run.log = window.results.text;

    const auto verdict = JudgeRun(run, disk);
    ASSERT_TRUE(verdict.problems.empty())
        << what << " seed " << seed << ": " << ::testing::PrintToString(verdict.problems);
    totals.Add(verdict, faulty.FaultsInjected() + calls.faultsInjected);
  }
  totals.Print(what);
}

TEST(FaultSchedules, PosixRunsOnOneDeviceKeepEveryFileAndTellTheTruth) {
  RunOnRealFolders(std::filesystem::temp_directory_path(), 300, "POSIX, one device");
}

TEST(FaultSchedules, PosixRunsAcrossDevicesKeepEveryFileAndTellTheTruth) {
  struct stat here {
  }, there{};
  if (::stat(std::filesystem::temp_directory_path().c_str(), &here) != 0 ||
      ::stat("/dev/shm", &there) != 0 || here.st_dev == there.st_dev) {
    GTEST_SKIP() << "/dev/shm is not another device than the temporary folder here";
  }
  RunOnRealFolders("/dev/shm", 150, "POSIX, across devices");
}

}  // namespace
}  // namespace pellorin::testing
