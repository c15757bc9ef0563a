#pragma once

#include <string>
#include <vector>

#include "sorting/file_system.h"

namespace pellorin::win32 {

// FindFirstFileW and FindNextFileW on the pattern as given, so "*" and "?" mean what Windows
// makes of them; folders, hidden and system files are not offered. The names are put in
// case-insensitive ordinal order, as NTFS lists them, so that FAT drives and Wine (which lists
// in the order of the host file system) report in the same order too.
class Win32FileEnumeration final : public FileEnumeration {
 public:
  std::error_code First(std::string_view pattern, std::string& name) override;
  std::error_code Next(std::string& name) override;

 private:
  std::vector<std::string> names_;
  std::size_t next_ = 0;
};

}  // namespace pellorin::win32
