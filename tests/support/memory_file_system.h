#pragma once

// An in-memory disk with Windows-style paths ("\" separators), so the run's logic can be checked
// without touching a real one. Folders and files are plain sets; failures can be planted by path.

#include <map>
#include <set>
#include <string>
#include <vector>

#include "sorting/artist_rules.h"
#include "sorting/file_system.h"

namespace pellorin::testing {

class MemoryFileSystem final : public FileSystemObject, public FileEnumeration {
 public:
  std::set<std::string, std::less<>> folders;
  std::map<std::string, std::string, std::less<>> files;  // path -> content
  std::set<std::string, std::less<>> failingFolders;      // CreateFolder refuses these
  std::error_code listingFailure;

  std::string GetParentFolderName(std::string_view path) const override {
    const auto slash = path.rfind('\\');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash));
  }
  bool FolderExists(std::string_view path) const override {
    if (path.ends_with('\\')) path.remove_suffix(1);
    return folders.contains(path);
  }
  bool PathExists(std::string_view path) const override {
    return folders.contains(path) || files.contains(path);
  }
  std::string BuildPath(std::string_view path, std::string_view name) const override {
    std::string joined(path);
    if (!joined.ends_with('\\')) joined += '\\';
    return joined.append(name);
  }
  std::error_code CreateFolder(std::string_view path) override {
    if (PathExists(path) || failingFolders.contains(path) ||
        !FolderExists(GetParentFolderName(path))) {
      return std::make_error_code(std::errc::permission_denied);
    }
    folders.emplace(path);
    return {};
  }
  std::error_code MoveFile(std::string_view source, std::string_view destination) override {
    const auto file = files.find(source);
    if (file == files.end() || PathExists(destination)) {
      return std::make_error_code(std::errc::file_exists);
    }
    auto content = std::move(file->second);
    files.erase(file);
    files.emplace(destination, std::move(content));
    return {};
  }
  bool IsFolderName(std::string_view name) const override { return IsPlainFolderName(name, "\\/"); }

  // Only "*" patterns are needed here: every file directly in the pattern's folder, by name.
  std::error_code First(std::string_view pattern, std::string& name) override {
    listed_.clear();
    const std::string folder = GetParentFolderName(pattern);
    for (const auto& [path, content] : files) {
      if (GetParentFolderName(path) == folder) listed_.push_back(path.substr(folder.size() + 1));
    }
    next_ = 0;
    return Next(name);
  }
  std::error_code Next(std::string& name) override {
    if (listingFailure && next_ > 0) return listingFailure;
    name = next_ < listed_.size() ? listed_[next_++] : std::string();
    return {};
  }

 private:
  std::vector<std::string> listed_;
  std::size_t next_ = 0;
};

}  // namespace pellorin::testing
