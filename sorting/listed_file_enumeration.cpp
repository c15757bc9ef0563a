#include "listed_file_enumeration.h"

namespace pellorin {

std::error_code ListedFileEnumeration::First(std::string_view pattern, std::string& name) {
  names_.clear();
  next_ = 0;
  name.clear();
  if (auto failure = List(pattern, names_)) {
    names_.clear();
    return failure;
  }
  return Next(name);
}

std::error_code ListedFileEnumeration::Next(std::string& name) {
  if (next_ < names_.size()) {
    name = names_[next_++];  // kept, for TotalBytes; name's own room is reused
  } else {
    name.clear();
  }
  return {};
}

}  // namespace pellorin
