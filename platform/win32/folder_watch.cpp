// ReadDirectoryChangesW, overlapped: the wait sleeps in WaitForMultipleObjects on the change and on
// the request to stop. Windows has no event for a file's close; an open that shares nothing tells
// whether any other program still has the song open.

#include "platform/folder_watch.h"

#include <windows.h>

#include <algorithm>
#include <array>

#include "platform/platform.h"
#include "stop_event.h"
#include "wide_text.h"

namespace pellorin::platform {
namespace {

constexpr DWORD kWatched =
    FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE;

std::optional<ChangeKind> KindOf(DWORD action) {
  switch (action) {
    case FILE_ACTION_ADDED:
    case FILE_ACTION_MODIFIED:
      return ChangeKind::Written;
    case FILE_ACTION_RENAMED_NEW_NAME:
      return ChangeKind::MovedIn;
    case FILE_ACTION_REMOVED:
    case FILE_ACTION_RENAMED_OLD_NAME:
      return ChangeKind::Gone;
    default:
      return std::nullopt;
  }
}

DWORD Timeout(std::optional<WatchClock::time_point> deadline) {
  if (!deadline) return INFINITE;
  const auto left = std::max(WatchClock::duration::zero(), *deadline - WatchClock::now());
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return static_cast<DWORD>(std::min<long long>(ms, INFINITE - 1));
}

class UnwatchedFolder final : public FolderWatch {
 public:
  WatchWait Wait(std::optional<WatchClock::time_point> deadline) override {
    ::WaitForSingleObject(StopRequestEvent(), Timeout(deadline));
    WatchWait wait;
    wait.stopRequested = StopRequest() != 0;
    return wait;
  }
};

class DirectoryChanges final : public FolderWatch {
 public:
  DirectoryChanges(HANDLE folder, HANDLE changed) : folder_(folder), changed_(changed) {}
  ~DirectoryChanges() override {
    if (pending_) {
      ::CancelIoEx(folder_, &overlapped_);
      DWORD ignored = 0;
      ::GetOverlappedResult(folder_, &overlapped_, &ignored, TRUE);
    }
    ::CloseHandle(folder_);
    ::CloseHandle(changed_);
  }

  // False when the folder cannot be watched any more (it is gone).
  bool Ask() {
    overlapped_ = {};
    overlapped_.hEvent = changed_;
    pending_ = ::ReadDirectoryChangesW(folder_, buffer_.data(), static_cast<DWORD>(buffer_.size()),
                                       FALSE, kWatched, nullptr, &overlapped_, nullptr) != 0;
    return pending_;
  }

  WatchWait Wait(std::optional<WatchClock::time_point> deadline) override {
    WatchWait wait;
    const HANDLE both[] = {changed_, static_cast<HANDLE>(StopRequestEvent())};
    const DWORD woken = ::WaitForMultipleObjects(2, both, FALSE, Timeout(deadline));
    wait.stopRequested = StopRequest() != 0;
    if (woken != WAIT_OBJECT_0) return wait;
    DWORD bytes = 0;
    const bool done = ::GetOverlappedResult(folder_, &overlapped_, &bytes, FALSE) != 0;
    pending_ = false;
    if (!done && ::GetLastError() != ERROR_NOTIFY_ENUM_DIR) {
      wait.folderGone = true;
      return wait;
    }
    // Too much changed to be told (ERROR_NOTIFY_ENUM_DIR, or nothing in the buffer): list it.
    wait.overflowed = !done || bytes == 0;
    if (done) Read(bytes, wait);
    if (!Ask()) wait.folderGone = true;
    return wait;
  }

 private:
  void Read(DWORD bytes, WatchWait& wait) const {
    for (DWORD at = 0; at < bytes;) {
      const auto* change = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(buffer_.data() + at);
      const auto kind = KindOf(change->Action);
      if (kind) {
        const std::wstring_view name(change->FileName, change->FileNameLength / sizeof(wchar_t));
        wait.changes.push_back({win32::ToUtf8(name), *kind});
      }
      if (change->NextEntryOffset == 0) break;
      at += change->NextEntryOffset;
    }
  }

  const HANDLE folder_;
  const HANDLE changed_;
  OVERLAPPED overlapped_{};
  bool pending_ = false;
  alignas(DWORD) std::array<char, 64 * 1024> buffer_{};
};

}  // namespace

std::unique_ptr<FolderWatch> WatchFolder(std::string_view folder, std::string& why) {
  const auto path = win32::ExtendedPath(folder);
  const HANDLE handle =
      path
          ? ::CreateFileW(path->c_str(), FILE_LIST_DIRECTORY,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr)
          : INVALID_HANDLE_VALUE;
  if (handle != INVALID_HANDLE_VALUE) {
    auto watch =
        std::make_unique<DirectoryChanges>(handle, ::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (watch->Ask()) return watch;
  }
  why = win32::LastError().message();
  return std::make_unique<UnwatchedFolder>();
}

WriterCheck OtherWriter(std::string_view path) {
  const auto wide = win32::ExtendedPath(path);
  if (!wide) return WriterCheck::Unknown;
  const HANDLE file = ::CreateFileW(wide->c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return ::GetLastError() == ERROR_SHARING_VIOLATION ? WriterCheck::Busy : WriterCheck::Unknown;
  }
  const bool onDisk = ::GetFileType(file) == FILE_TYPE_DISK;
  ::CloseHandle(file);
  return onDisk ? WriterCheck::None : WriterCheck::Unknown;
}

WatchClock::duration SinceModified(const FileStamp& stamp) {
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  const auto ticks =
      static_cast<std::int64_t>((std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime) -
      stamp.modified;
  return std::chrono::duration_cast<WatchClock::duration>(
      std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>>(ticks));
}

}  // namespace pellorin::platform
