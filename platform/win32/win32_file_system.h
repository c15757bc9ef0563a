#pragma once

#include "sorting/file_system.h"

namespace pellorin::win32 {

// The Windows file system through the wide-character API, with paths in the extended form so
// that none is too long. MoveFileExW never replaces a file here (no MOVEFILE_REPLACE_EXISTING)
// and copies across drives.
class Win32FileSystem final : public FileSystemObject {
 public:
  std::string GetParentFolderName(std::string_view path) const override;
  bool FolderExists(std::string_view path) const override;
  bool PathExists(std::string_view path) const override;
  std::string BuildPath(std::string_view path, std::string_view name) const override;
  std::error_code CreateFolder(std::string_view path) override;
  std::error_code MoveFile(std::string_view source, std::string_view destination) override;
  bool IsFolderName(std::string_view name) const override;
  std::string FolderNameAsKept(std::string_view name) const override;
};

}  // namespace pellorin::win32
