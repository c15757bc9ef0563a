// The floor: what the kernel has to do for a Move run, called as directly as it can be.

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

#include <chrono>
#include <string_view>
#include <vector>

#include "contenders.h"

namespace pellorin::bench {
namespace {

// Only what this sample needs: every name has the artist in parentheses or before one "-".
std::string_view SampleArtist(std::string_view name) {
  if (name.starts_with('(')) return name.substr(1, name.find(')') - 1);
  std::string_view artist = name.substr(0, name.find('-'));
  while (artist.ends_with(' ')) artist.remove_suffix(1);
  return artist;
}

std::vector<std::string> ReadFolder(const std::string& folder) {
  std::vector<std::string> names;
  DIR* listing = ::opendir(folder.c_str());
  if (listing == nullptr) return names;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string_view name = entry->d_name;
    if (entry->d_type == DT_REG && name.ends_with(".mp3")) names.emplace_back(name);
  }
  ::closedir(listing);
  return names;
}

}  // namespace

RunResult RunFloor(const Workspace& workspace) {
  const std::string incoming = workspace.Incoming() + "/";
  const std::string library = workspace.Library() + "/";
  const auto start = std::chrono::steady_clock::now();

  std::size_t failures = 0;
  for (const auto& name : ReadFolder(workspace.Incoming())) {
    const std::string folder = library + std::string(SampleArtist(name));
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0 && ::mkdir(folder.c_str(), 0777) != 0) {
      ++failures;
      continue;
    }
    const std::string source = incoming + name;
    const std::string destination = folder + "/" + name;
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE)) {
      ++failures;
    }
  }

  RunResult result;
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (failures != 0) result.failure = std::to_string(failures) + " files not filed";
  return result;
}

}  // namespace pellorin::bench
