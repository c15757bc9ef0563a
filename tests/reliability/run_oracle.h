#pragma once

// Judges one finished Move run by what is on the disk and in the log, against the rules alone
// (reference::Artist, not the core's own code): every file is exactly once either where it was
// or in its artist folder with its bytes unchanged; the log has, file by file, exactly the
// entries the rules allow, a success entry only where the disk shows that success, and a closing
// count of the files really moved; nothing else appeared on the disk, not even a temporary.

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "sorting/file_system.h"
#include "sorting/move_run.h"

namespace pellorin::testing {

struct DiskState {
  std::map<std::string, std::string, std::less<>> files;  // full path -> bytes
  std::set<std::string, std::less<>> folders;
};

struct RunRecord {
  std::string pattern, sourceFolder, root;
  std::vector<std::string> offered;  // the enumeration's names, in its order, taken before the run
  std::deque<std::string> answers;   // the input box's answers, in order
  DiskState before, after;
  std::string logBefore, log;
  MoveRunOutcome outcome;
  std::string caseInsensitiveTop;  // where "A" and "a" name one file (FAT), if anywhere
  // The one spelling of a path, when the run's paths may hold "." or ".." components.
  std::function<std::string(const std::string&)> normalPath;
};

struct RunVerdict {
  std::vector<std::string> problems;  // empty when the run kept every promise
  int filesMoved = 0;
  int failureEntries = 0;
  bool listingFailed = false;
};

// paths gives BuildPath, the same joining the run used.
RunVerdict JudgeRun(const RunRecord& run, const FileSystemObject& paths);

// Everything below top (files with their bytes, folders), following no symbolic link.
void AddDiskState(const std::string& top, DiskState& state);

}  // namespace pellorin::testing
