// The floor: what the kernel has to do for a Move run, called as directly as it can be.

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

#include <chrono>

#include "contenders.h"

namespace pellorin::bench {

RunResult RunFloor(const Workspace& workspace) {
  const std::string incoming = workspace.Incoming() + "/";
  const std::string library = workspace.Library() + "/";
  const auto start = std::chrono::steady_clock::now();

  std::size_t failures = 0;
  for (const auto& name : ListSample(workspace.Incoming())) {
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
