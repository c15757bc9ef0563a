// One run over 100,000 files in one folder, for 20,000 artists, on a real disk: the log is exactly
// what the rules give, entry for entry, the count is right, and every file is in its folder. The
// time and the peak resident size are printed, not judged. Under AddressSanitizer, whose shadow
// memory and slower calls would make the figures meaningless, the run is a fifth of the size.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "platform/posix/posix_file_enumeration.h"
#include "platform/posix/posix_file_system.h"
#include "sorting/move_run.h"
#include "support/scripted_window.h"
#include "support/temp_folder.h"

namespace pellorin::testing {
namespace {

namespace fs = std::filesystem;

#if defined(__SANITIZE_ADDRESS__)
constexpr int kScaleDown = 5;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr int kScaleDown = 5;
#else
constexpr int kScaleDown = 1;
#endif
#else
constexpr int kScaleDown = 1;
#endif

constexpr int kFiles = 100000 / kScaleDown;
constexpr int kArtists = 20000 / kScaleDown;

long PeakResidentKilobytes() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

std::string Numbered(int number, std::size_t digits) {
  const std::string text = std::to_string(number);
  return std::string(digits > text.size() ? digits - text.size() : 0, '0') + text;
}

std::string Artist(int file) { return "Artist " + Numbered(file % kArtists, 5); }
std::string Name(int file) { return Artist(file) + " - Title " + Numbered(file, 6) + ".mp3"; }

void MakeFile(const std::string& path, const std::string& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
  ASSERT_GE(fd, 0) << path;
  ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  ::close(fd);
}

// The log the rules give: names come in byte order, and an artist's first file makes its folder.
std::string ExpectedLog(const std::string& root) {
  std::vector<std::string> names;
  for (int file = 0; file < kFiles; ++file) names.push_back(Name(file));
  std::sort(names.begin(), names.end());
  std::set<std::string> made;
  std::string log;
  for (const auto& name : names) {
    const std::string artist = name.substr(0, name.find(" - "));
    const std::string folder = "\"" + root + "/" + artist + "\"";
    log += made.insert(artist).second ? "Directory " + folder + " Created.\r\n"
                                      : "Directory " + folder + " Exists.\r\n\r\n";
    log += "File \"" + name + "\" moved.\r\n";
  }
  return log + std::to_string(kFiles) + "files(s) moved.";
}

TEST(Scale, HundredThousandFilesForTwentyThousandArtistsInOneRun) {
  const TempFolder temp;
  const std::string in = temp / "in", root = temp / "root";
  fs::create_directory(in);
  fs::create_directory(root);
  for (int file = 0; file < kFiles; ++file) MakeFile(in + "/" + Name(file), Name(file));

  const long residentBefore = PeakResidentKilobytes();
  ScriptedWindow window;
  window.pattern = in + "/*.mp3";
  window.root = root;
  posix::PosixFileSystem disk;
  posix::PosixFileEnumeration files;
  const auto start = std::chrono::steady_clock::now();
  const auto outcome = MoveRun(window, disk, files);
  const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start);
  const long residentPeak = PeakResidentKilobytes();
  std::printf(
      "[ figures  ] %d files for %d artists moved in %.1f s; peak resident size %.1f MB "
      "(%.1f MB before the run)%s\n",
      kFiles, kArtists, seconds.count(), static_cast<double>(residentPeak) / 1024,
      static_cast<double>(residentBefore) / 1024,
      kScaleDown > 1 ? ", reduced under AddressSanitizer" : "");

  EXPECT_EQ(outcome.filesMoved, kFiles);
  EXPECT_EQ(outcome.errorEntries, 0);
  EXPECT_TRUE(window.results.text == ExpectedLog(root)) << "the log differs from the rules'";
  EXPECT_TRUE(fs::is_empty(in));
  int filed = 0, folders = 0;
  for (const auto& folder : fs::directory_iterator(root)) {
    ++folders;
    for (const auto& file : fs::directory_iterator(folder)) {
      ++filed;
      if (!file.path().filename().string().starts_with(folder.path().filename().string() + " -")) {
        ADD_FAILURE() << file.path() << " is in the wrong folder";
      }
    }
  }
  EXPECT_EQ(folders, kArtists);
  EXPECT_EQ(filed, kFiles);
  EXPECT_EQ(ReadFile(root + "/" + Artist(kFiles - 1) + "/" + Name(kFiles - 1)), Name(kFiles - 1));
}

}  // namespace
}  // namespace pellorin::testing
