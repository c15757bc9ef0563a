// The Windows layer on real folders. These run under Wine here; what Wine does differently from
// Windows (wildcard corners, short names, names it accepts that Windows refuses) is not asserted.

#include "win32/win32_file_system.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "sorting/move_run.h"
#include "support/scripted_window.h"
#include "support/temp_folder.h"
#include "win32/win32_file_enumeration.h"
#include "win32/windows_api.h"

namespace pellorin::win32 {
namespace {

using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

std::filesystem::path Utf8Path(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8(const std::filesystem::path& path) {
  const auto text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::vector<std::string> Offered(const std::string& pattern) {
  Win32FileEnumeration files;
  std::vector<std::string> offered;
  std::string name;
  EXPECT_FALSE(files.First(pattern, name));
  for (; !name.empty(); files.Next(name)) offered.push_back(name);
  return offered;
}

TEST(Win32FileSystem, SplitsAndJoinsWindowsPaths) {
  const Win32FileSystem disk;
  const struct {
    std::string_view path, parent;
  } parents[] = {
      {"c:\\temp\\*.mp3", "c:\\temp"}, {"c:\\x", "c:\\"}, {"c:\\", ""}, {"*.mp3", ""},
      {"c:/music/mp3/", "c:/music"},   {"\\x", "\\"},
  };
  for (const auto& c : parents) EXPECT_EQ(disk.GetParentFolderName(c.path), c.parent) << c.path;
  EXPECT_EQ(disk.BuildPath("c:\\music\\mp3\\", "A"), "c:\\music\\mp3\\A");
  EXPECT_EQ(disk.BuildPath("c:/music/mp3", "A"), "c:/music/mp3\\A");
  EXPECT_EQ(disk.BuildPath("c:\\", "A"), "c:\\A");
}

TEST(Win32FileSystem, RefusesNamesWindowsWouldNotKeep) {
  const Win32FileSystem disk;
  for (const char* bad : {"CON", "nul.txt", "Com1", "a:b", "What?", "a*", "..", ". .", "...",
                          "AC/DC", "AC\\DC", "tab\there", "<x>"}) {
    EXPECT_FALSE(disk.IsFolderName(bad)) << bad;
  }
  for (const char* good : {" The Band ", "Mr.", "Console", "COM10", "\xE6\x97\xA5\xE6\x9C\xAC"}) {
    EXPECT_TRUE(disk.IsFolderName(good)) << good;
  }
  const TempFolder temp;
  Win32FileSystem writable;
  EXPECT_EQ(writable.CreateFolder(temp / "What?").value(), ERROR_INVALID_NAME);
  EXPECT_FALSE(std::filesystem::exists(temp / "What"));
}

// An artist that Windows would not keep as a folder name gets the create-directory entry from a
// run, and its file stays where it was; nothing is made under the root.
TEST(Win32FileSystem, RunRefusesArtistsWindowsWouldNotKeep) {
  const TempFolder temp;
  const std::string in = Utf8(temp.path() / "in"), root = Utf8(temp.path() / "root");
  Win32FileSystem disk;
  ASSERT_FALSE(disk.CreateFolder(in));
  ASSERT_FALSE(disk.CreateFolder(root));
  const std::vector<std::string> names = {"CON - live.mp3", "a.mp3", "b.mp3", "c.mp3"};
  for (const auto& name : names) WriteFile(Utf8Path(disk.BuildPath(in, name)), name);

  testing::ScriptedWindow window;
  window.pattern = disk.BuildPath(in, "*.mp3");
  window.root = root;
  window.answers = {"AC:DC", "What?", "<x>"};
  Win32FileEnumeration files;
  const auto outcome = MoveRun(window, disk, files);
  EXPECT_EQ(outcome.filesMoved, 0);
  EXPECT_EQ(outcome.errorEntries, 4);
  for (const char* artist : {"CON", "AC:DC", "What?", "<x>"}) {
    const std::string entry =
        "Error: Cannot create directory \"" + disk.BuildPath(root, artist) + "\"";
    EXPECT_NE(window.results.text.find(entry), std::string::npos) << artist;
  }
  for (const auto& name : names) EXPECT_EQ(ReadFile(Utf8Path(disk.BuildPath(in, name))), name);
  EXPECT_TRUE(std::filesystem::is_empty(Utf8Path(root)));
}

TEST(Win32FileEnumeration, OffersOrdinaryFilesMatchedWithoutCase) {
  const TempFolder temp;
  for (const char* name : {"b.mp3", "A.MP3", "hidden.mp3", "system.mp3", "x.txt"}) {
    WriteFile(temp / name, name);
  }
  ::SetFileAttributesW((temp.path() / "hidden.mp3").c_str(), FILE_ATTRIBUTE_HIDDEN);
  ::SetFileAttributesW((temp.path() / "system.mp3").c_str(), FILE_ATTRIBUTE_SYSTEM);
  std::filesystem::create_directory(temp.path() / "folder.mp3");
  EXPECT_EQ(Offered(temp / "*.mp3"), (std::vector<std::string>{"A.MP3", "b.mp3"}));
  EXPECT_EQ(Offered(temp / "B.Mp3"), std::vector<std::string>{"b.mp3"});
  EXPECT_EQ(Offered(temp / "*.none"), std::vector<std::string>{});
}

TEST(Win32FileSystem, MoveNeverReplacesAndKeepsOneFile) {
  const TempFolder temp;
  Win32FileSystem disk;
  WriteFile(temp / "new.mp3", "new");
  WriteFile(temp / "taken.mp3", "old");
  EXPECT_TRUE(disk.MoveFile(temp / "new.mp3", temp / "taken.mp3"));
  EXPECT_TRUE(disk.MoveFile(temp / "new.mp3", temp / "NEW.MP3")) << "the same file";
  EXPECT_EQ(ReadFile(temp / "new.mp3"), "new");
  EXPECT_EQ(ReadFile(temp / "taken.mp3"), "old");
}

TEST(Win32FileSystem, MovesToAnotherDrive) {
  if (!std::filesystem::exists("Y:\\")) GTEST_SKIP() << "no drive Y: here";
  const TempFolder source;
  const TempFolder target("Y:\\");
  Win32FileSystem disk;
  const std::string content(3 << 20, 'y');
  WriteFile(source / "song.mp3", content);
  ASSERT_FALSE(disk.MoveFile(source / "song.mp3", target / "song.mp3"));
  EXPECT_EQ(ReadFile(target / "song.mp3"), content);
  EXPECT_FALSE(std::filesystem::exists(source / "song.mp3"));
}

TEST(Win32FileSystem, NonAsciiNamesAndLongPathsAreFiled) {
  const TempFolder temp;
  const std::string in = Utf8(temp.path() / "in"), deep(120, 'd');
  std::string root = Utf8(temp.path());
  Win32FileSystem disk;
  ASSERT_FALSE(disk.CreateFolder(in));
  for (int level = 0; level < 3; ++level) {
    root = disk.BuildPath(root, deep);
    ASSERT_FALSE(disk.CreateFolder(root)) << root.size();
  }
  ASSERT_GT(root.size(), 360u);
  const std::string names[] = {"\xC3\xA9 - \xC3\x9F.mp3", "\xE6\x97\xA5\xE6\x9C\xAC - x.mp3"};
  for (const auto& name : names) WriteFile(Utf8Path(in) / Utf8Path(name), name);

  testing::ScriptedWindow window;
  window.pattern = disk.BuildPath(in, "*.mp3");
  window.root = root;
  Win32FileEnumeration files;
  EXPECT_EQ(MoveRun(window, disk, files).filesMoved, 2);
  EXPECT_NE(window.results.text.find("File \"" + names[0] + "\" moved."), std::string::npos);
  EXPECT_NE(window.results.text.find("File \"" + names[1] + "\" moved."), std::string::npos);
  EXPECT_TRUE(disk.PathExists(disk.BuildPath(disk.BuildPath(root, "\xC3\xA9"), names[0])));
}

}  // namespace
}  // namespace pellorin::win32
