#pragma once

#include "sorting/listed_file_enumeration.h"

namespace pellorin::win32 {

// FindFirstFileW and FindNextFileW on the pattern as given, so "*" and "?" mean what Windows
// makes of them; folders, hidden and system files are not offered. The names are put in
// case-insensitive ordinal order, as NTFS lists them, so that FAT drives and Wine (which lists
// in the order of the host file system) report in the same order too.
class Win32FileEnumeration final : public ListedFileEnumeration {
 public:
  std::uint64_t TotalBytes() override { return totalBytes_; }

 protected:
  std::error_code List(std::string_view pattern, std::vector<std::string>& names) override;

 private:
  std::uint64_t totalBytes_ = 0;  // of the last listing, as the folder told it
};

}  // namespace pellorin::win32
