#pragma once

#include <string>
#include <vector>

#include "sorting/file_system.h"

namespace pellorin::posix {

// Regular files that are not hidden (no leading ".") and whose names match the pattern's last
// component as fnmatch reads it, case-sensitively, in byte order of their names so that every run
// reports in the same order. Symbolic links are not offered: a move would carry the link, a copy
// across devices its target.
class PosixFileEnumeration final : public FileEnumeration {
 public:
  std::error_code First(std::string_view pattern, std::string& name) override;
  std::error_code Next(std::string& name) override;

 private:
  std::vector<std::string> names_;
  std::size_t next_ = 0;
};

}  // namespace pellorin::posix
