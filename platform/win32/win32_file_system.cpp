#include "win32_file_system.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "own_files.h"
#include "paths.h"
#include "platform/group_steps.h"
#include "sorting/artist_rules.h"
#include "wide_text.h"
#include "windows_api.h"

namespace pellorin::win32 {
namespace {

// A group's copies are flushed from up to this many threads at once. Groups are as long as on
// Linux: under Wine, groups of 64 songs, a thread each, cost the disk more flushes in all.
constexpr std::size_t kFlushThreads = 64;
constexpr platform::GroupLimits kGroupLimits{};
// MoveFile's own move, which no run numbers that high.
constexpr MoveTicket kLoneMove = std::numeric_limits<MoveTicket>::max();

DWORD Attributes(std::string_view path) {
  const auto wide = ExtendedPath(path);
  return wide ? ::GetFileAttributesW(wide->c_str()) : INVALID_FILE_ATTRIBUTES;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// The folder of an extended path, which is absolute and ends in a name.
std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.rfind(L'\\')); }

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (*this) ::CloseHandle(handle_);
  }
  Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
  Handle& operator=(Handle&&) = delete;
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// Whether Windows removes the file when its last handle closes. Set on a copy until it is
// published, so that if this process ends halfway, however it ends, Windows takes the copy away.
bool RemoveOnClose(HANDLE file, bool remove) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = remove;
  return ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof(disposition));
}

// Zero times are left as they are.
bool SetBasics(HANDLE file, DWORD attributes, const FILETIME* created = nullptr,
               const FILETIME* accessed = nullptr, const FILETIME* written = nullptr) {
  const auto ticks = [](const FILETIME* time) {
    LARGE_INTEGER value{};
    if (time != nullptr) {
      value.LowPart = time->dwLowDateTime;
      value.HighPart = static_cast<LONG>(time->dwHighDateTime);
    }
    return value;
  };
  FILE_BASIC_INFO basics{};
  basics.CreationTime = ticks(created);
  basics.LastAccessTime = ticks(accessed);
  basics.LastWriteTime = ticks(written);
  basics.FileAttributes = attributes;
  return ::SetFileInformationByHandle(file, FileBasicInfo, &basics, sizeof(basics));
}

// The attributes a copy carries over; FILE_ATTRIBUTE_NORMAL, which stands alone, for none.
DWORD CarriedAttributes(DWORD attributes) {
  attributes &= FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
}

// Takes a copy back through its handle: whatever name it has by now, it is our copy that goes.
void Discard(HANDLE copy) {
  SetBasics(copy, FILE_ATTRIBUTE_NORMAL);  // Windows removes no read-only file
  RemoveOnClose(copy, true);
}

// Windows removes no read-only file, so a read-only source loses the attribute just before it
// goes; its copy keeps it.
bool RemoveSourceOnClose(HANDLE source, DWORD attributes) {
  const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  if (readOnly && !SetBasics(source, CarriedAttributes(attributes & ~FILE_ATTRIBUTE_READONLY))) {
    return false;
  }
  if (RemoveOnClose(source, true)) return true;
  const DWORD error = ::GetLastError();
  if (readOnly) SetBasics(source, CarriedAttributes(attributes));
  ::SetLastError(error);
  return false;
}

// Renames the open file to path, in the same folder, never over another file.
bool PublishAs(HANDLE file, const std::wstring& path) {
  // The native form: "\\?\C:\..." is "\??\C:\..." to the kernel.
  const std::wstring name = L"\\??\\" + path.substr(4);
  const std::size_t bytes = sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t);
  std::vector<std::uint64_t> storage((bytes + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t));
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(storage.data());
  rename->ReplaceIfExists = FALSE;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
  name.copy(rename->FileName, name.size());
  return ::SetFileInformationByHandle(file, FileRenameInfo, rename, static_cast<DWORD>(bytes));
}

// A hidden temporary of our own in folder, created where no file is, open for writing and for
// its removal or renaming through this handle only.
HANDLE CreateTemporary(const std::wstring& folder) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const auto name = ToWide(NewTemporaryName()).value_or(L"");
    const HANDLE file =
        ::CreateFileW((folder + L"\\" + name).c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                      CREATE_NEW, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS) return file;
  }
  return INVALID_HANDLE_VALUE;
}

// The bytes are read through the handle that holds the source, so they are the held file's.
std::error_code CopyContent(HANDLE source, HANDLE copy, std::vector<char>& buffer,
                            const std::function<void()>& observer) {
  buffer.resize(1 << 20);
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(source, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
      return LastError();
    }
    if (got == 0) return {};
    DWORD put = 0;
    if (!::WriteFile(copy, buffer.data(), got, &put, nullptr)) return LastError();
    if (put != got) return Win32Error(ERROR_WRITE_FAULT);
    if (observer) observer();
  }
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

// Whether path still names the held source, with the size and last-write time it had when its
// copy began. While we hold it, Windows lets nobody write to it or put another file under its
// name; its times can still be set, and programs outside Windows (Linux under Wine, other clients
// of a network share) are not stopped at all.
std::error_code ChangedSince(HANDLE source, const std::wstring& path,
                             const BY_HANDLE_FILE_INFORMATION& copied) {
  BY_HANDLE_FILE_INFORMATION now{}, named{};
  if (!::GetFileInformationByHandle(source, &now)) return LastError();
  const Handle byName(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
  const bool unchanged = byName && ::GetFileInformationByHandle(byName.get(), &named) &&
                         SameFile(now, named) && now.nFileSizeHigh == copied.nFileSizeHigh &&
                         now.nFileSizeLow == copied.nFileSizeLow &&
                         ::CompareFileTime(&now.ftLastWriteTime, &copied.ftLastWriteTime) == 0;
  return unchanged ? std::error_code() : Win32Error(ERROR_SHARING_VIOLATION);
}

// Opens the folders so that they can be flushed, which makes the names in them durable: Windows'
// own file systems flush a folder opened with the right to add files, and Wine fsyncs it. Fails
// where a folder cannot be opened so.
std::error_code OpenToFlush(const std::set<std::wstring>& paths, std::vector<Handle>& folders,
                            std::vector<HANDLE>& handles) {
  for (const auto& path : paths) {
    folders.emplace_back(::CreateFileW(
        path.c_str(), FILE_ADD_FILE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folders.back()) return LastError();
    handles.push_back(folders.back().get());
  }
  return {};
}

}  // namespace

// Threads that flush files all at once: flushes that wait together are merged into few by the
// disk's driver, while one after another each costs the disk a flush of its own. They are woken
// together for each batch, and kept for the file system's life, as starting one costs Wine
// milliseconds.
class Flushers {
 public:
  ~Flushers() {
    {
      const std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    for (auto& thread : threads_) thread.join();
  }

  // The first failure, if any.
  std::error_code FlushAll(const std::vector<HANDLE>& files) {
    if (files.empty()) return {};
    std::unique_lock lock(mutex_);
    Grow(std::min(files.size(), kFlushThreads) - 1);
    files_ = &files;
    next_ = 0;
    failure_ = ERROR_SUCCESS;
    working_ = threads_.size() + 1;
    ++batch_;
    lock.unlock();
    wake_.notify_all();
    FlushSome();  // this thread too
    lock.lock();
    done_.wait(lock, [this] { return working_ == 0; });
    files_ = nullptr;
    return failure_ == ERROR_SUCCESS ? std::error_code() : Win32Error(failure_);
  }

 private:
  // Fewer threads than wanted, if Windows will not start more: each then flushes more files.
  void Grow(std::size_t wanted) {
    try {
      while (threads_.size() < wanted) threads_.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
    }
  }

  void Work() {
    std::uint64_t seen = 0;
    std::unique_lock lock(mutex_);
    for (;;) {
      wake_.wait(lock, [&] { return stopping_ || batch_ != seen; });
      if (stopping_) return;
      seen = batch_;
      lock.unlock();
      FlushSome();
      lock.lock();
    }
  }

  void FlushSome() {
    const auto& files = *files_;
    for (std::size_t i = next_++; i < files.size(); i = next_++) {
      if (::FlushFileBuffers(files[i])) continue;
      DWORD none = ERROR_SUCCESS;
      failure_.compare_exchange_strong(none, ::GetLastError());
    }
    const std::lock_guard lock(mutex_);
    if (--working_ == 0) done_.notify_one();
  }

  std::mutex mutex_;
  std::condition_variable wake_, done_;
  std::vector<std::thread> threads_;
  const std::vector<HANDLE>* files_ = nullptr;
  std::atomic<std::size_t> next_{0};
  std::atomic<DWORD> failure_{ERROR_SUCCESS};
  std::size_t working_ = 0;
  std::uint64_t batch_ = 0;
  bool stopping_ = false;
};

namespace {

// Makes the new names in the folders durable, which flushing the folders does on Windows' own
// file systems and under Wine. Where a folder cannot be flushed, the renamed files are flushed
// again: that too makes a new name durable on Windows' own file systems (NTFS commits its log, FAT
// writes the file's entry).
std::error_code FlushNames(Flushers& flushers, const std::set<std::wstring>& folders,
                           const std::vector<HANDLE>& renamed) {
  std::vector<Handle> opened;
  std::vector<HANDLE> handles;
  auto failure = OpenToFlush(folders, opened, handles);
  if (!failure) failure = flushers.FlushAll(handles);
  if (failure) failure = flushers.FlushAll(renamed);
  return failure;
}

}  // namespace

struct Win32FileSystem::PendingSong {
  // Under its real name, never over another file. On failure the copy goes.
  std::error_code Publish() {
    // The song is ordinary before it is published, so no hidden song is ever left under its name.
    if (RemoveOnClose(copy.get(), false) &&
        SetBasics(copy.get(), CarriedAttributes(copied.dwFileAttributes)) &&
        PublishAs(copy.get(), to)) {
      return {};
    }
    const auto failure = LastError();
    Discard(copy.get());
    return failure;
  }

  // Once the copy is durable under its name: the source goes when its handle closes, if it is
  // still the file that was copied. Otherwise another program has had its say (changed, replaced
  // or removed it): the copy goes, and the source stays as that program left it.
  std::error_code RemoveSource() {
    auto failure = ChangedSince(source.get(), from, copied);
    if (!failure && !RemoveSourceOnClose(source.get(), copied.dwFileAttributes)) {
      failure = LastError();
    }
    if (failure) Discard(copy.get());
    return failure;
  }

  std::uint64_t Bytes() const {
    return (std::uint64_t{copied.nFileSizeHigh} << 32) | copied.nFileSizeLow;
  }

  MoveTicket ticket;
  std::wstring from, to;
  Handle source;  // held so that nobody writes to it or takes its name until it goes
  Handle copy;    // removed on close until it is published
  BY_HANDLE_FILE_INFORMATION copied;
};

Win32FileSystem::Win32FileSystem() : flushers_(std::make_unique<Flushers>()) {}

// The handles of a group still gathering close with it: its copies go, its sources stay.
Win32FileSystem::~Win32FileSystem() { writer_.Stop(); }

std::string Win32FileSystem::GetParentFolderName(std::string_view path) const {
  return ParentFolder(path);
}

bool Win32FileSystem::FolderExists(std::string_view path) const {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool Win32FileSystem::PathExists(std::string_view path) const {
  return Attributes(path) != INVALID_FILE_ATTRIBUTES;
}

std::string Win32FileSystem::BuildPath(std::string_view path, std::string_view name) const {
  return JoinPath(path, name);
}

bool Win32FileSystem::IsFolderName(std::string_view name) const {
  return IsPlainFolderName(name, "\\/") && IsNameWindowsKeeps(name);
}

std::string Win32FileSystem::FolderNameAsKept(std::string_view name) const {
  return NameAsWindowsKeepsIt(name);
}

std::string Win32FileSystem::FolderNameFor(std::string_view root, std::string_view name) const {
  const auto composed = ComposedText(name);
  const auto found = spellings_.Find(*this, root, composed);
  return found.empty() ? composed : found;
}

std::error_code Win32FileSystem::CreateFolder(std::string_view path) {
  // Windows refuses these names itself; Wine accepts some of them, so say no here too.
  if (!IsNameWindowsKeeps(LastComponent(path))) return Win32Error(ERROR_INVALID_NAME);
  const auto wide = ExtendedPath(path);
  if (!wide) return Win32Error(ERROR_INVALID_NAME);
  if (!::CreateDirectoryW(wide->c_str(), nullptr)) return LastError();
  tidiedFolders_.insert(*wide);  // a new folder holds nothing left behind
  return {};
}

std::error_code Win32FileSystem::MoveFile(std::string_view source, std::string_view destination) {
  if (const auto done = StartMove(source, destination, kLoneMove)) return *done;
  std::vector<FinishedMove> finished;
  FinishMoves(PendingMoves::All, finished);
  std::error_code outcome;
  for (const auto& move : finished) {
    if (move.ticket == kLoneMove) {
      outcome = move.error;
    } else {
      finished_.push_back(move);  // a run's, for its next FinishMoves
    }
  }
  return outcome;
}

std::optional<std::error_code> Win32FileSystem::StartMove(std::string_view source,
                                                          std::string_view destination,
                                                          MoveTicket ticket) {
  const auto from = ExtendedPath(source);
  const auto to = ExtendedPath(destination);
  if (!from || !to) return Win32Error(ERROR_INVALID_NAME);
  // Names differ only in case: the same file on Windows, which a move would "succeed" on.
  if (SamePath(*from, *to)) return Win32Error(ERROR_ALREADY_EXISTS);
  if (::MoveFileExW(from->c_str(), to->c_str(), 0)) return std::error_code();
  const DWORD error = ::GetLastError();
  if (error != ERROR_NOT_SAME_DEVICE) return Win32Error(error);

  if (group_.empty()) groupStarted_ = Clock::now();
  if (auto failure = CopyIntoGroup(*from, *to, ticket)) return failure;
  if (GroupIsDue()) CloseGroup();
  return std::nullopt;
}

void Win32FileSystem::FinishMoves(PendingMoves which, std::vector<FinishedMove>& finished) {
  if (which == PendingMoves::All) {
    CloseGroup(Durable::Now);
    writer_.WaitUntilIdle();
  } else if (GroupIsDue()) {
    CloseGroup();
  }
  writer_.TakeFinished(finished_);
  finished.insert(finished.end(), finished_.begin(), finished_.end());
  finished_.clear();
}

// CopyFileExW would open both files by name itself; here the source is read through the handle
// that holds it, and the copy is written through the one that Windows removes it with if the
// process ends before it is published.
std::error_code Win32FileSystem::CopyIntoGroup(const std::wstring& from, const std::wstring& to,
                                               MoveTicket ticket) {
  // Held from before the copy until its removal, without sharing write or delete access, and
  // removed through this handle, so that no other file that took its name could ever go instead.
  Handle source(::CreateFileW(from.c_str(), GENERIC_READ | FILE_WRITE_ATTRIBUTES | DELETE,
                              FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                              nullptr));
  if (!source) return LastError();
  // No named pipe or device can stand in a folder, but a symbolic link can lead to one, and
  // reading a pipe waits for its server: only a file on a disk is copied.
  if (::GetFileType(source.get()) != FILE_TYPE_DISK) return Win32Error(ERROR_INVALID_FUNCTION);
  BY_HANDLE_FILE_INFORMATION copied{};
  if (!::GetFileInformationByHandle(source.get(), &copied)) return LastError();
  if (::GetFileAttributesW(to.c_str()) != INVALID_FILE_ATTRIBUTES) {
    return Win32Error(ERROR_ALREADY_EXISTS);
  }
  // Only a move across volumes leaves anything behind when it is cut short.
  TidyOnce(FolderOf(to));

  Handle copy(CreateTemporary(FolderOf(to)));
  if (!copy) return LastError();
  if (!RemoveOnClose(copy.get(), true)) return LastError();
  if (auto failure = CopyContent(source.get(), copy.get(), copyBuffer_, copyObserver_))
    return failure;
  if (!SetBasics(copy.get(), FILE_ATTRIBUTE_HIDDEN, &copied.ftCreationTime,
                 &copied.ftLastAccessTime, &copied.ftLastWriteTime)) {
    return LastError();
  }
  // One group, one volume, whose flushes it takes.
  BY_HANDLE_FILE_INFORMATION arrived{};
  if (!::GetFileInformationByHandle(copy.get(), &arrived)) return LastError();
  if (!group_.empty() && arrived.dwVolumeSerialNumber != groupVolume_) {
    CloseGroup();
    groupStarted_ = Clock::now();
  }
  if (group_.empty()) groupVolume_ = arrived.dwVolumeSerialNumber;
  group_.push_back({ticket, from, to, std::move(source), std::move(copy), copied});
  groupBytes_ += group_.back().Bytes();
  return {};
}

bool Win32FileSystem::GroupIsDue() const {
  return !group_.empty() && kGroupLimits.IsDue(group_.size(), groupBytes_,
                                               Clock::now() - groupStarted_, !writer_.Busy());
}

// A group that the run is about to wait for is made durable on the run's thread, which spares it
// waking the writer.
void Win32FileSystem::CloseGroup(Durable when) {
  if (group_.empty()) return;
  auto group = std::make_shared<std::vector<PendingSong>>(std::exchange(group_, {}));
  groupBytes_ = 0;
  auto job = [this, group] {
    auto outcomes = MakeDurable(*group);
    group->clear();  // closing the handles removes the sources that went and the copies taken back
    return outcomes;
  };
  if (when == Durable::Now) {
    writer_.MakeDurableHere(std::move(job));
  } else {
    writer_.Hand(std::move(job));
  }
}

// The steps of MakeGroupDurable, on Windows. A copy not published and a source that is to go both
// go as their handles close, once the whole group is done.
struct Win32FileSystem::GroupSteps {
  Flushers& flushers;

  static std::vector<HANDLE> Copies(const std::vector<PendingSong*>& songs) {
    std::vector<HANDLE> copies;
    for (const auto* song : songs) copies.push_back(song->copy.get());
    return copies;
  }
  std::error_code FlushCopies(const std::vector<PendingSong*>& songs) {
    return flushers.FlushAll(Copies(songs));
  }
  std::error_code Publish(PendingSong& song) { return song.Publish(); }
  void Withdraw(PendingSong&) {}
  std::error_code FlushNames(const std::vector<PendingSong*>& published) {
    std::set<std::wstring> folders;
    for (const auto* song : published) folders.insert(FolderOf(song->to));
    return win32::FlushNames(flushers, folders, Copies(published));
  }
  std::error_code RemoveSource(PendingSong& song) { return song.RemoveSource(); }
  void Finish(PendingSong&) {}
  void SourcesRemoved(const std::vector<PendingSong*>&) {}
  FinishedMove Outcome(const PendingSong& song) const { return {song.ticket, {}, song.Bytes()}; }
};

std::vector<FinishedMove> Win32FileSystem::MakeDurable(std::vector<PendingSong>& group) {
  GroupSteps steps{*flushers_};
  return platform::MakeGroupDurable(group, steps);
}

void Win32FileSystem::TidyOnce(const std::wstring& folder) {
  if (tidiedFolders_.insert(folder).second) RemoveDeadTemporaries(folder);
}

std::error_code Win32FileSystem::RemoveFolder(std::string_view path) {
  const auto wide = ExtendedPath(path);
  if (!wide) return Win32Error(ERROR_INVALID_NAME);
  if (::RemoveDirectoryW(wide->c_str())) return {};
  switch (const DWORD error = ::GetLastError()) {
    case ERROR_DIR_NOT_EMPTY:
      return std::make_error_code(std::errc::directory_not_empty);
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return std::make_error_code(std::errc::no_such_file_or_directory);
    default:
      return Win32Error(error);
  }
}

std::optional<std::vector<std::string>> Win32FileSystem::FolderContents(
    std::string_view path) const {
  const auto wide = ExtendedPath(path);
  if (!wide) return std::nullopt;
  WIN32_FIND_DATAW found{};
  const HANDLE find = ::FindFirstFileExW((*wide + L"\\*").c_str(), FindExInfoBasic, &found,
                                         FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) return std::nullopt;
  std::vector<std::string> names;
  do {
    const std::wstring_view name(found.cFileName);
    if (name != L"." && name != L"..") names.push_back(ToUtf8(std::wstring(name)));
  } while (::FindNextFileW(find, &found));
  const DWORD error = ::GetLastError();
  ::FindClose(find);
  if (error != ERROR_NO_MORE_FILES) return std::nullopt;
  return names;
}

namespace {

// Whether the volume keeps its file IDs across mounts: NTFS stores them; FAT and exFAT make them
// up from where an entry sits. Asked once a volume.
bool KeepsFileIds(HANDLE file, DWORD serial) {
  static std::mutex mutex;
  static std::map<DWORD, bool> known;
  {
    const std::lock_guard lock(mutex);
    if (const auto found = known.find(serial); found != known.end()) return found->second;
  }
  wchar_t type[MAX_PATH + 1] = {};
  if (!::GetVolumeInformationByHandleW(file, nullptr, 0, nullptr, nullptr, nullptr, type,
                                       MAX_PATH + 1)) {
    return false;
  }
  const std::lock_guard lock(mutex);
  return known[serial] = std::wstring_view(type) == L"NTFS";
}

// What a path names, without following a link at its end; nothing when it cannot be opened.
std::optional<BY_HANDLE_FILE_INFORMATION> Information(std::string_view path,
                                                      bool* keepsFileIds = nullptr) {
  const auto wide = ExtendedPath(path);
  if (!wide) return std::nullopt;
  const Handle file(::CreateFileW(
      wide->c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION information{};
  if (!file || !::GetFileInformationByHandle(file.get(), &information)) return std::nullopt;
  if (keepsFileIds != nullptr) {
    *keepsFileIds = KeepsFileIds(file.get(), information.dwVolumeSerialNumber);
  }
  return information;
}

}  // namespace

std::optional<FileStamp> Win32FileSystem::Stamp(std::string_view path) const {
  bool keepsFileIds = false;
  const auto information = Information(path, &keepsFileIds);
  constexpr DWORD kNotAFile = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  if (!information || (information->dwFileAttributes & kNotAFile) != 0) return std::nullopt;
  const auto wide = [](DWORD high, DWORD low) { return (std::uint64_t{high} << 32) | low; };
  const auto& written = information->ftLastWriteTime;
  return FileStamp{
      .size = wide(information->nFileSizeHigh, information->nFileSizeLow),
      .modified = static_cast<std::int64_t>(wide(written.dwHighDateTime, written.dwLowDateTime)),
      .file = keepsFileIds ? wide(information->nFileIndexHigh, information->nFileIndexLow) : 0};
}

bool Win32FileSystem::MovesCopy(std::string_view sourceFolder, std::string_view root) const {
  const auto from = Information(sourceFolder);
  const auto to = Information(root);
  return from && to && from->dwVolumeSerialNumber != to->dwVolumeSerialNumber;
}

namespace {

// The bytes of two open files, from where they stand, are the same.
bool SameBytes(HANDLE a, HANDLE b) {
  std::vector<char> first(1 << 16), second(1 << 16);
  for (;;) {
    DWORD gotFirst = 0, gotSecond = 0;
    if (!::ReadFile(a, first.data(), static_cast<DWORD>(first.size()), &gotFirst, nullptr) ||
        !::ReadFile(b, second.data(), static_cast<DWORD>(second.size()), &gotSecond, nullptr) ||
        gotFirst != gotSecond ||
        !std::equal(first.begin(), first.begin() + gotFirst, second.begin())) {
      return false;
    }
    if (gotFirst == 0) return true;
  }
}

}  // namespace

// The copy is held, shared for reading only, from the comparison to its removal through the same
// handle, so no other file that took its name could go instead.
std::error_code Win32FileSystem::RemoveDuplicate(std::string_view path, std::string_view original) {
  const auto copyPath = ExtendedPath(path);
  const auto keptPath = ExtendedPath(original);
  if (!copyPath || !keptPath) return Win32Error(ERROR_INVALID_NAME);
  const Handle copy(::CreateFileW(copyPath->c_str(), GENERIC_READ | FILE_WRITE_ATTRIBUTES | DELETE,
                                  FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  const Handle kept(::CreateFileW(keptPath->c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!copy || !kept) return LastError();
  BY_HANDLE_FILE_INFORMATION copyInfo{}, keptInfo{};
  if (!::GetFileInformationByHandle(copy.get(), &copyInfo) ||
      !::GetFileInformationByHandle(kept.get(), &keptInfo)) {
    return LastError();
  }
  const bool sameSize = copyInfo.nFileSizeHigh == keptInfo.nFileSizeHigh &&
                        copyInfo.nFileSizeLow == keptInfo.nFileSizeLow;
  if (SameFile(copyInfo, keptInfo) || !sameSize || ::GetFileType(copy.get()) != FILE_TYPE_DISK ||
      !SameBytes(copy.get(), kept.get())) {
    return Win32Error(ERROR_FILE_EXISTS);
  }
  return RemoveSourceOnClose(copy.get(), copyInfo.dwFileAttributes) ? std::error_code()
                                                                    : LastError();
}

}  // namespace pellorin::win32
