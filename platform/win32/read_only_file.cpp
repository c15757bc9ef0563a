#include "platform/read_only_file.h"

#include <algorithm>
#include <limits>

#include "wide_text.h"
#include "windows_api.h"

namespace pellorin::platform {
namespace {

class Win32ReadOnlyFile final : public ReadOnlyFile {
 public:
  Win32ReadOnlyFile(HANDLE file, std::uint64_t size) : file_(file), size_(size) {}
  ~Win32ReadOnlyFile() override { ::CloseHandle(file_); }
  Win32ReadOnlyFile(const Win32ReadOnlyFile&) = delete;
  Win32ReadOnlyFile& operator=(const Win32ReadOnlyFile&) = delete;

  std::uint64_t Size() const override { return size_; }

 protected:
  std::optional<std::size_t> ReadSomeAt(std::uint64_t offset, std::span<char> into) override {
    OVERLAPPED position{};
    position.Offset = static_cast<DWORD>(offset);
    position.OffsetHigh = static_cast<DWORD>(offset >> 32);
    const auto wanted =
        static_cast<DWORD>(std::min<std::size_t>(into.size(), std::numeric_limits<DWORD>::max()));
    DWORD got = 0;
    if (::ReadFile(file_, into.data(), wanted, &got, &position)) return got;
    if (::GetLastError() == ERROR_HANDLE_EOF) return 0;
    return std::nullopt;
  }

 private:
  const HANDLE file_;
  const std::uint64_t size_;
};

}  // namespace

// A link is opened as itself (FILE_FLAG_OPEN_REPARSE_POINT) and then refused, and only a file on
// a disk is read: a named pipe's reader waits for its server.
std::unique_ptr<ReadOnlyFile> ReadOnlyFile::Open(std::string_view path) {
  const auto wide = win32::ExtendedPath(path);
  if (!wide) return nullptr;
  const HANDLE file = ::CreateFileW(wide->c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  BY_HANDLE_FILE_INFORMATION info{};
  if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    ::CloseHandle(file);
    return nullptr;
  }
  const std::uint64_t size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  return std::make_unique<Win32ReadOnlyFile>(file, size);
}

}  // namespace pellorin::platform
