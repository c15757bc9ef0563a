#include "platform/state_folder.h"

#include <cstdlib>

#include "paths.h"
#include "wide_text.h"
#include "windows_api.h"

namespace pellorin::platform {
namespace {

using win32::LastError;

class Win32AppendFile final : public AppendFile {
 public:
  explicit Win32AppendFile(HANDLE file) : file_(file) {}
  ~Win32AppendFile() override { ::CloseHandle(file_); }
  Win32AppendFile(const Win32AppendFile&) = delete;
  Win32AppendFile& operator=(const Win32AppendFile&) = delete;

  std::error_code Append(std::string_view bytes) override {
    while (!bytes.empty()) {
      DWORD written = 0;
      if (!::WriteFile(file_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
        return LastError();
      }
      bytes.remove_prefix(written);
    }
    return {};
  }
  std::error_code MakeDurable() override {
    return ::FlushFileBuffers(file_) ? std::error_code() : LastError();
  }

 private:
  HANDLE file_;
};

// Opened for appending only: every write goes to the end.
std::unique_ptr<AppendFile> Open(const std::string& path, DWORD disposition,
                                 std::error_code& failure) {
  const auto wide = win32::ExtendedPath(path);
  const HANDLE file =
      wide ? ::CreateFileW(wide->c_str(), FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ, nullptr,
                           disposition, FILE_ATTRIBUTE_NORMAL, nullptr)
           : INVALID_HANDLE_VALUE;
  if (file == INVALID_HANDLE_VALUE) {
    failure = wide ? LastError() : win32::Win32Error(ERROR_INVALID_NAME);
    return nullptr;
  }
  failure.clear();
  return std::make_unique<Win32AppendFile>(file);
}

// A new name is durable once its folder is flushed, as the file system layer does it.
std::error_code FlushFolder(const std::string& path) {
  const auto wide = win32::ExtendedPath(path);
  if (!wide) return win32::Win32Error(ERROR_INVALID_NAME);
  const HANDLE folder = ::CreateFileW(wide->c_str(), FILE_ADD_FILE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return LastError();
  const bool flushed = ::FlushFileBuffers(folder);
  const auto failure = flushed ? std::error_code() : LastError();
  ::CloseHandle(folder);
  return failure;
}

std::string Environment(const wchar_t* name) {
  const wchar_t* value = ::_wgetenv(name);
  return value != nullptr ? win32::ToUtf8(value) : std::string();
}

}  // namespace

std::string StateFolder::DefaultPath() {
  std::string local = Environment(L"LOCALAPPDATA");
  if (local.empty()) local = win32::JoinPath(Environment(L"USERPROFILE"), "AppData\\Local");
  return win32::JoinPath(local, "Pellorin");
}

std::string StateFolder::PathOf(std::string_view name) const {
  return win32::JoinPath(path_, name);
}

std::error_code StateFolder::Create() const {
  std::string folder = path_;
  std::vector<std::string> missing;
  while (!folder.empty() &&
         ::GetFileAttributesW(win32::ExtendedPath(folder).value_or(L"").c_str()) ==
             INVALID_FILE_ATTRIBUTES) {
    missing.push_back(folder);
    folder = win32::ParentFolder(folder);
  }
  for (auto each = missing.rbegin(); each != missing.rend(); ++each) {
    const auto wide = win32::ExtendedPath(*each);
    if (!wide) return win32::Win32Error(ERROR_INVALID_NAME);
    if (!::CreateDirectoryW(wide->c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
      return LastError();
    }
  }
  return {};
}

std::vector<std::string> StateFolder::FileNames() const {
  std::vector<std::string> names;
  const auto wide = win32::ExtendedPath(PathOf("*"));
  WIN32_FIND_DATAW found{};
  const HANDLE find = wide ? ::FindFirstFileW(wide->c_str(), &found) : INVALID_HANDLE_VALUE;
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      names.push_back(win32::ToUtf8(found.cFileName));
    }
  } while (::FindNextFileW(find, &found));
  ::FindClose(find);
  return names;
}

std::unique_ptr<AppendFile> StateFolder::CreateNew(std::string_view name,
                                                   std::error_code& failure) const {
  auto file = Open(PathOf(name), CREATE_NEW, failure);
  if (file && (failure = FlushFolder(path_))) return nullptr;
  return file;
}

std::unique_ptr<AppendFile> StateFolder::OpenToAppend(std::string_view name,
                                                      std::error_code& failure) const {
  return Open(PathOf(name), OPEN_EXISTING, failure);
}

std::error_code StateFolder::Read(std::string_view name, std::string& bytes) const {
  const auto wide = win32::ExtendedPath(PathOf(name));
  if (!wide) return win32::Win32Error(ERROR_INVALID_NAME);
  const HANDLE file = ::CreateFileW(wide->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastError();
  bytes.clear();
  char buffer[1 << 16];
  DWORD got = 0;
  bool read = false;
  while ((read = ::ReadFile(file, buffer, sizeof buffer, &got, nullptr)) && got > 0) {
    bytes.append(buffer, got);
  }
  const auto failure = read ? std::error_code() : LastError();
  ::CloseHandle(file);
  return failure;
}

std::error_code StateFolder::Remove(std::string_view name) const {
  const auto wide = win32::ExtendedPath(PathOf(name));
  if (!wide) return win32::Win32Error(ERROR_INVALID_NAME);
  return ::DeleteFileW(wide->c_str()) ? std::error_code() : LastError();
}

}  // namespace pellorin::platform
