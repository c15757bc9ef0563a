#include "win32_file_system.h"

#include "paths.h"
#include "sorting/artist_rules.h"
#include "wide_text.h"
#include "windows_api.h"

namespace pellorin::win32 {
namespace {

DWORD Attributes(std::string_view path) {
  const auto wide = ExtendedPath(path);
  return wide ? ::GetFileAttributesW(wide->c_str()) : INVALID_FILE_ATTRIBUTES;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

std::wstring VolumeOf(const std::wstring& path) {
  std::wstring volume(path.size() + 1, L'\0');
  if (!::GetVolumePathNameW(path.c_str(), volume.data(), static_cast<DWORD>(volume.size()))) {
    return {};
  }
  volume.resize(volume.find(L'\0'));
  return volume;
}

}  // namespace

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

std::error_code Win32FileSystem::CreateFolder(std::string_view path) {
  // Windows refuses these names itself; Wine accepts some of them, so say no here too.
  if (!IsNameWindowsKeeps(LastComponent(path))) return Win32Error(ERROR_INVALID_NAME);
  const auto wide = ExtendedPath(path);
  if (!wide) return Win32Error(ERROR_INVALID_NAME);
  if (!::CreateDirectoryW(wide->c_str(), nullptr)) return LastError();
  return {};
}

std::error_code Win32FileSystem::MoveFile(std::string_view source, std::string_view destination) {
  const auto from = ExtendedPath(source);
  const auto to = ExtendedPath(destination);
  if (!from || !to) return Win32Error(ERROR_INVALID_NAME);
  // Names differ only in case: the same file on Windows, which a move would "succeed" on.
  if (SamePath(*from, *to)) return Win32Error(ERROR_ALREADY_EXISTS);
  const bool acrossVolumes = !SamePath(VolumeOf(*from), VolumeOf(*to));
  if (!::MoveFileExW(from->c_str(), to->c_str(), MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH)) {
    return LastError();
  }
  // Across volumes, MoveFileExW copies and then deletes, and reports success even when the
  // delete failed. One file in two places is not a move: take the copy back.
  if (acrossVolumes && ::GetFileAttributesW(from->c_str()) != INVALID_FILE_ATTRIBUTES) {
    ::DeleteFileW(to->c_str());
    return Win32Error(ERROR_ACCESS_DENIED);
  }
  return {};
}

}  // namespace pellorin::win32
