// The Windows layer on real folders. These run under Wine here; what Wine does differently from
// Windows (wildcard corners, short names, names it accepts that Windows refuses) is not asserted.

#include "win32/win32_file_system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <utility>

#include "platform/own_file_names.h"
#include "sorting/move_run.h"
#include "support/scripted_window.h"
#include "support/temp_folder.h"
#include "win32/own_files.h"
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

std::wstring Wide(const std::string& path) { return Utf8Path(path).wstring(); }

// The names in folder that this program makes for itself.
std::vector<std::string> OwnFilesIn(const std::filesystem::path& folder) {
  std::vector<std::string> own;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (const auto name = Utf8(entry.path().filename()); name.starts_with(".pellorin-")) {
      own.push_back(name);
    }
  }
  return own;
}

bool SetWriteTime(const std::string& path, const FILETIME& written) {
  const HANDLE file = ::CreateFileW(Wide(path).c_str(), FILE_WRITE_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
  const bool set = file != INVALID_HANDLE_VALUE && ::SetFileTime(file, nullptr, nullptr, &written);
  if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
  return set;
}

// Wine can start a Linux program, which Windows' rules on open files do not bind. Nothing of this
// exists on Windows itself.
using UnixSpawn = long(__cdecl*)(char* const argv[], int wait);
using UnixFileName = char*(__cdecl*)(const wchar_t* path);

UnixSpawn WineUnixSpawn() {
  return reinterpret_cast<UnixSpawn>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "__wine_unix_spawnvp")));
}

bool CanRunOutsideWindows() { return WineUnixSpawn() != nullptr; }

// Runs a shell script with the Linux path of a file as $1, and waits for it.
bool RunOutsideWindows(const std::string& script, const std::string& path) {
  const auto unixFileName = reinterpret_cast<UnixFileName>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!CanRunOutsideWindows() || unixFileName == nullptr) return false;
  char* unixPath = unixFileName(Wide(path).c_str());
  if (unixPath == nullptr) return false;
  std::string shell = "/bin/sh", option = "-c", text = script, name = "script", file = unixPath;
  ::HeapFree(::GetProcessHeap(), 0, unixPath);
  char* const argv[] = {shell.data(), option.data(), text.data(),
                        name.data(),  file.data(),   nullptr};
  return WineUnixSpawn()(argv, 1) == 0;
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

// Moves between C: and Y:, which the test command maps to a folder on another device.
class AnotherDriveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists("Y:\\")) GTEST_SKIP() << "no drive Y: here";
    target.emplace("Y:\\");
  }
  TempFolder source;
  std::optional<TempFolder> target;
};

TEST_F(AnotherDriveTest, CopyKeepsContentAttributesAndTimeAndRemovesTheSource) {
  const FILETIME written{0x12345678, 0x01D00000};
  for (const std::size_t size : {std::size_t{0}, std::size_t{3} << 20}) {
    const std::string content(size, 'y'), from = source / "song.mp3", to = *target / "song.mp3";
    WriteFile(from, content);
    SetWriteTime(from, written);
    ::SetFileAttributesW(Wide(from).c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);

    ASSERT_FALSE(Win32FileSystem().MoveFile(from, to)) << size;
    WIN32_FILE_ATTRIBUTE_DATA moved{};
    ASSERT_TRUE(::GetFileAttributesExW(Wide(to).c_str(), GetFileExInfoStandard, &moved));
    EXPECT_EQ(moved.dwFileAttributes, DWORD{FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE});
    EXPECT_EQ(::CompareFileTime(&moved.ftLastWriteTime, &written), 0);
    EXPECT_EQ(ReadFile(to), content);
    EXPECT_FALSE(std::filesystem::exists(from));
    EXPECT_EQ(OwnFilesIn(target->path()), std::vector<std::string>{});
    ::SetFileAttributesW(Wide(to).c_str(), FILE_ATTRIBUTE_NORMAL);
    std::filesystem::remove(to);
  }
}

// Another program at the source while it is copied to another drive. Windows lets nobody write
// to the held source or put another file under its name, but its time can be set, and a program
// outside Windows (Linux, under Wine) is not stopped at all. Where the source changed, it stays
// as that program left it and the copy is taken back, also where that program removed it.
TEST_F(AnotherDriveTest, SourceThatChangedDuringTheCopyStaysAndItsCopyGoes) {
  const std::string original(3 << 20, 'o');
  const struct {
    const char* what;
    std::function<bool(const std::string& path)> act;  // true when it did what it tried
    bool windowsStopsIt;
    bool outsideWindows;
    bool removesIt = false;
  } programs[] = {
      {"appends through Windows",
       [](const std::string& path) {
         return static_cast<bool>(std::ofstream(path, std::ios::binary | std::ios::app) << "x");
       },
       true, false},
      {"replaces it through Windows",
       [this](const std::string& path) {
         WriteFile(source / "other", "other");
         return ::MoveFileExW(Wide(source / "other").c_str(), Wide(path).c_str(),
                              MOVEFILE_REPLACE_EXISTING) != 0;
       },
       true, false},
      {"sets its last-write time",
       [](const std::string& path) {
         return SetWriteTime(path, FILETIME{1, 0x01C00000});
       },
       false, false},
      {"appends from Linux",
       [](const std::string& path) { return RunOutsideWindows("printf more >> \"$1\"", path); },
       false, true},
      {"replaces it from Linux",
       [](const std::string& path) {
         return RunOutsideWindows("printf new > \"$1.new\" && mv \"$1.new\" \"$1\"", path);
       },
       false, true},
      {"removes it from Linux",
       [](const std::string& path) { return RunOutsideWindows("rm \"$1\"", path); }, false, true,
       true},
  };
  for (const auto& program : programs) {
    if (program.outsideWindows && !CanRunOutsideWindows()) continue;
    const std::string from = source / "song.mp3", to = *target / "song.mp3";
    WriteFile(from, original);
    Win32FileSystem disk;
    std::optional<bool> acted;
    disk.SetCopyObserver([&] {
      if (!acted) acted = program.act(from);
    });
    const auto failure = disk.MoveFile(from, to);
    ASSERT_EQ(acted, !program.windowsStopsIt) << program.what;
    if (program.windowsStopsIt) {
      EXPECT_FALSE(failure) << program.what;
      EXPECT_EQ(ReadFile(to), original) << program.what;
      EXPECT_FALSE(std::filesystem::exists(from)) << program.what;
    } else if (program.removesIt) {
      EXPECT_EQ(failure.value(), ERROR_SHARING_VIOLATION) << program.what;
      EXPECT_FALSE(std::filesystem::exists(from)) << program.what << ": not brought back";
      EXPECT_FALSE(std::filesystem::exists(to)) << program.what;
    } else {
      EXPECT_EQ(failure.value(), ERROR_SHARING_VIOLATION) << program.what;
      EXPECT_NE(ReadFile(from), "<missing>") << program.what;
      EXPECT_FALSE(std::filesystem::exists(to)) << program.what;
    }
    EXPECT_EQ(OwnFilesIn(target->path()), std::vector<std::string>{}) << program.what;
    std::filesystem::remove(from);
    std::filesystem::remove(to);
  }

  // Open for writing elsewhere when the move begins: nothing is copied.
  const std::string from = source / "song.mp3";
  WriteFile(from, original);
  std::ofstream writer(from, std::ios::binary | std::ios::app);
  EXPECT_EQ(Win32FileSystem().MoveFile(from, *target / "song.mp3").value(),
            ERROR_SHARING_VIOLATION);
  EXPECT_FALSE(std::filesystem::exists(*target / "song.mp3"));
}

// Songs to another drive wait in a group, reported through FinishMoves, and each keeps its own
// outcome: one whose name is taken before it starts fails at once, one whose name is taken while
// it waits fails alone when the group is published, and the songs around them, in two folders,
// are moved. A move on one drive in between is done at once.
TEST_F(AnotherDriveTest, GroupOfSongsGivesEachSongItsOwnOutcome) {
  enum class Trouble { None, NameTakenBefore, NameTakenDuringCopy, SameDrive };
  const struct {
    std::string name;
    Trouble trouble;
    std::optional<DWORD> atOnce;  // the result StartMove returns; nothing while pending
    DWORD finished;               // for a pending move, the result FinishMoves reports
  } songs[] = {
      {"a.mp3", Trouble::None, std::nullopt, ERROR_SUCCESS},
      {"b.mp3", Trouble::NameTakenBefore, ERROR_ALREADY_EXISTS, ERROR_SUCCESS},
      {"c.mp3", Trouble::NameTakenDuringCopy, std::nullopt, ERROR_ALREADY_EXISTS},
      {"d.mp3", Trouble::SameDrive, ERROR_SUCCESS, ERROR_SUCCESS},
      {"e.mp3", Trouble::None, std::nullopt, ERROR_SUCCESS},
      {"f.mp3", Trouble::None, std::nullopt, ERROR_SUCCESS},
  };
  const std::filesystem::path folders[] = {target->path() / "Alpha", target->path() / "Beta",
                                           source.path() / "Same"};
  for (const auto& folder : folders) std::filesystem::create_directory(folder);
  const auto destination = [&](std::size_t i) {
    return folders[songs[i].trouble == Trouble::SameDrive ? 2 : i % 2] / songs[i].name;
  };

  const auto Code = [](std::error_code error) { return static_cast<DWORD>(error.value()); };
  Win32FileSystem disk;
  std::size_t copying = 0;
  disk.SetCopyObserver([&] {
    const auto to = destination(copying);
    if (songs[copying].trouble == Trouble::NameTakenDuringCopy && !std::filesystem::exists(to)) {
      WriteFile(to, "other");
    }
  });
  std::vector<FinishedMove> finished;
  for (std::size_t i = 0; i < std::size(songs); ++i) {
    const auto from = source.path() / songs[i].name;
    WriteFile(from, songs[i].name);
    if (songs[i].trouble == Trouble::NameTakenBefore) WriteFile(destination(i), "other");
    copying = i;
    const auto done = disk.StartMove(Utf8(from), Utf8(destination(i)), i);
    EXPECT_EQ(done ? std::optional(Code(*done)) : std::nullopt, songs[i].atOnce) << songs[i].name;
    disk.FinishMoves(PendingMoves::Due, finished);
  }
  disk.FinishMoves(PendingMoves::All, finished);

  std::vector<MoveTicket> reported;
  for (const auto& move : finished) {
    reported.push_back(move.ticket);
    ASSERT_LT(move.ticket, std::size(songs));
    const auto& song = songs[move.ticket];
    EXPECT_EQ(Code(move.error), song.finished) << song.name;
  }
  std::sort(reported.begin(), reported.end());
  EXPECT_EQ(reported, (std::vector<MoveTicket>{0, 2, 4, 5})) << "each pending move once";
  for (std::size_t i = 0; i < std::size(songs); ++i) {
    const bool moved = songs[i].atOnce.value_or(songs[i].finished) == ERROR_SUCCESS;
    EXPECT_EQ(ReadFile(source.path() / songs[i].name), moved ? "<missing>" : songs[i].name)
        << songs[i].name;
    EXPECT_EQ(ReadFile(destination(i)), moved ? songs[i].name : "other") << songs[i].name;
  }
  for (const auto& folder : {folders[0], folders[1], source.path()}) {
    EXPECT_EQ(OwnFilesIn(folder), std::vector<std::string>{}) << Utf8(folder);
  }
}

// What runs on this machine left in a folder when they died goes the first time a run moves into
// it from another drive; what live runs, other machines and everyone else have there stays.
TEST_F(AnotherDriveTest, FirstMoveIntoAFolderRemovesOnlyDeadRunsTemporaries) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION live{};
  std::wstring command = L"cmd.exe";
  ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                               nullptr, nullptr, &startup, &live));
  const auto liveStart = FirstSerialOf(live.dwProcessId),
             ownStart = FirstSerialOf(::GetCurrentProcessId());
  ASSERT_TRUE(liveStart && ownStart);
  const std::uint64_t ownProcess = ::GetCurrentProcessId(), noProcess = 4'000'000'000;
  const auto temporary = [](std::uint64_t process, std::uint64_t serial,
                            std::string host = ThisHost()) {
    return platform::FormatOwnFileName({.kind = platform::OwnFileKind::Temporary,
                                        .process = process,
                                        .serial = serial,
                                        .host = host,
                                        .original = ""});
  };
  const struct {
    std::string name;
    bool removed;
  } leftovers[] = {
      {temporary(noProcess, 3), true},
      {temporary(ownProcess, *ownStart - kSerialsPerStart), true},  // an earlier process, same id
      {temporary(live.dwProcessId, *liveStart + kSerialsPerStart + 1), true},
      {temporary(ownProcess, *ownStart + 9), false},
      {temporary(live.dwProcessId, *liveStart + 2), false},
      {temporary(noProcess, 3, "ELSEWHERE"), false},
      {platform::FormatOwnFileName({.kind = platform::OwnFileKind::SetAside,
                                    .process = noProcess,
                                    .serial = 1,
                                    .host = ThisHost(),
                                    .original = "a.mp3"}),
       false},
      {temporary(noProcess, 3) + ".mp3", false},
      {"song.mp3", false},
  };
  const std::filesystem::path artist = target->path() / "root" / "Artist", in = source.path();
  std::filesystem::create_directories(artist);
  for (const auto& leftover : leftovers) WriteFile(artist / leftover.name, "left");
  ::SetFileAttributesW((artist / leftovers[0].name).c_str(), FILE_ATTRIBUTE_READONLY);
  for (const char* song : {"a.mp3", "b.mp3", "c.mp3"}) WriteFile(in / song, song);

  Win32FileSystem disk;
  ASSERT_FALSE(disk.MoveFile(Utf8(in / "a.mp3"), Utf8(artist / "a.mp3")));
  for (const auto& leftover : leftovers) {
    EXPECT_EQ(std::filesystem::exists(artist / leftover.name), !leftover.removed) << leftover.name;
  }
  // Looked at once per run: a leftover that appears later waits for the next run.
  WriteFile(artist / leftovers[0].name, "left");
  ASSERT_FALSE(disk.MoveFile(Utf8(in / "b.mp3"), Utf8(artist / "b.mp3")));
  EXPECT_TRUE(std::filesystem::exists(artist / leftovers[0].name));
  ASSERT_FALSE(Win32FileSystem().MoveFile(Utf8(in / "c.mp3"), Utf8(artist / "c.mp3")));
  EXPECT_FALSE(std::filesystem::exists(artist / leftovers[0].name));

  ::TerminateProcess(live.hProcess, 0);
  ::CloseHandle(live.hThread);
  ::CloseHandle(live.hProcess);
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
