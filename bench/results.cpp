#include "results.h"

#include <sys/statfs.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <fstream>

namespace pellorin::bench {

// What every run must leave: each file filed under its artist with all its bytes, the library
// holding nothing else, and, where the log was seen, one directory and one file entry per file
// (with the empty line that follows each "Exists." entry) and the closing count.
std::string CheckOutcome(const MusicSample& sample, const Workspace& workspace,
                         const RunResult& result) {
  if (!result.failure.empty()) return result.failure;
  const auto filed = Inspect(workspace);
  const std::size_t files = sample.names.size();
  if (filed.leftBehind != 0) return std::to_string(filed.leftBehind) + " files left behind";
  if (filed.filedFiles != files || filed.artistFolders != sample.artistCount ||
      filed.strayEntries != 0) {
    return std::to_string(filed.filedFiles) + " files in " + std::to_string(filed.artistFolders) +
           " folders (" + std::to_string(filed.strayEntries) + " stray), expected " +
           std::to_string(files) + " in " + std::to_string(sample.artistCount);
  }
  if (filed.filedBytes != files * workspace.FileBytes()) {
    return std::to_string(filed.filedBytes) + " bytes filed, expected " +
           std::to_string(files * workspace.FileBytes());
  }
  if (!result.logSeen) return {};
  const std::size_t lines = 3 * files + 1 - sample.artistCount;
  if (result.logLines != lines) {
    return "log of " + std::to_string(result.logLines) + " lines, expected " +
           std::to_string(lines);
  }
  const std::string closing = std::to_string(files) + "files(s) moved.";
  if (result.lastLogLine != closing) return "log ends \"" + result.lastLogLine + "\"";
  return {};
}

// What an undo must leave: every file back where it was, and the library as empty as it began.
std::string CheckPutBack(const MusicSample& sample, const Workspace& workspace,
                         const RunResult& result) {
  if (!result.failure.empty()) return result.failure;
  const auto left = Inspect(workspace);
  const std::size_t files = sample.names.size();
  if (left.leftBehind != files || left.artistFolders != 0 || left.strayEntries != 0) {
    return std::to_string(left.leftBehind) + " files put back, " +
           std::to_string(left.artistFolders) + " folders left, expected " + std::to_string(files) +
           " and none";
  }
  if (left.leftBehindBytes != files * workspace.FileBytes()) {
    return std::to_string(left.leftBehindBytes) + " bytes put back, expected " +
           std::to_string(files * workspace.FileBytes());
  }
  if (!result.logSeen) return {};
  const std::size_t lines = files + sample.artistCount + 1;
  if (result.logLines != lines) {
    return "log of " + std::to_string(result.logLines) + " lines, expected " +
           std::to_string(lines);
  }
  const std::string closing = std::to_string(files) + "files(s) moved back.";
  if (result.lastLogLine != closing) return "log ends \"" + result.lastLogLine + "\"";
  return {};
}

std::string RunChecked(Contender& contender, const MusicSample& sample,
                       const Workspace& workspace) {
  RunResult result;
  try {
    if (contender.runToUndo) result = contender.runToUndo(workspace);
    if (result.failure.empty()) result = contender.run(workspace);
  } catch (const std::exception& failure) {
    result.failure = failure.what();
  }
  contender.results.push_back(result);
  return contender.runToUndo ? CheckPutBack(sample, workspace, result)
                             : CheckOutcome(sample, workspace, result);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double MedianSeconds(const Contender& contender) {
  std::vector<double> seconds;
  for (const auto& result : contender.results) seconds.push_back(result.seconds);
  return Median(seconds);
}

std::string FileSystemType(const std::filesystem::path& path) {
  struct statfs info {};
  if (::statfs(path.c_str(), &info) != 0) return "unknown";
  switch (info.f_type) {
    case 0xEF53:
      return "ext2/3/4";
    case 0x01021994:
      return "tmpfs";
    case 0x58465342:
      return "xfs";
    case 0x9123683E:
      return "btrfs";
    case 0x794C7630:
      return "overlayfs";
    default: {
      char hex[24];
      std::snprintf(hex, sizeof hex, "0x%lx", static_cast<unsigned long>(info.f_type));
      return hex;
    }
  }
}

std::string CpuModel() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  for (std::string line; std::getline(cpuinfo, line);) {
    if (line.starts_with("model name")) return line.substr(line.find(':') + 2);
  }
  return "unknown";
}

}  // namespace pellorin::bench
