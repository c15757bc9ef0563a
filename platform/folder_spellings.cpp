#include "folder_spellings.h"

#include <algorithm>

namespace pellorin::platform {

std::string FolderSpellings::Find(const FileSystemObject& disk, std::string_view root,
                                  std::string_view composedName) {
  if (root_ != root) {
    byComposed_.clear();
    auto names = disk.FolderContents(root).value_or(std::vector<std::string>());
    std::sort(names.begin(), names.end());
    for (auto& name : names) byComposed_.emplace(normalize_(name), std::move(name));
    root_ = std::string(root);
  }
  const auto [first, last] = byComposed_.equal_range(composedName);
  for (auto found = first; found != last; ++found) {
    if (disk.FolderExists(disk.BuildPath(root, found->second))) return found->second;
  }
  return {};
}

}  // namespace pellorin::platform
