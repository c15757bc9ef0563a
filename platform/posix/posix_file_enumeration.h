#pragma once

#include "sorting/listed_file_enumeration.h"

namespace pellorin::posix {

// Regular files that are not hidden (no leading ".") and whose names match the pattern's last
// component as fnmatch reads it, case-sensitively, in byte order of their names so that every run
// reports in the same order. Symbolic links are not offered: a move would carry the link, a copy
// across devices its target.
class PosixFileEnumeration final : public ListedFileEnumeration {
 public:
  std::uint64_t TotalBytes() override;

 protected:
  std::error_code List(std::string_view pattern, std::vector<std::string>& names) override;

 private:
  std::string folder_;  // of the last listing
};

}  // namespace pellorin::posix
