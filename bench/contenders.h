#pragma once

// The ways of filing one workspace that the benchmark compares. Each times only the filing itself;
// the workspace is written before and inspected after.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "child_launcher.h"
#include "music_sample.h"
#include "sorting/file_system.h"

namespace pellorin::bench {

struct RunResult {
  double seconds = 0;
  std::string failure;       // what went wrong, empty when the run itself succeeded
  bool logSeen = false;      // whether the log below was seen at all
  std::size_t logLines = 0;  // lines of the log, empty lines included
  std::string lastLogLine;
  long peakRssKiB = 0;          // peak resident memory, for a child process only
  std::optional<long> flushes;  // cache flushes the destination's disk completed, where counted
};

// One way of filing, with what each of its runs gave.
struct Contender {
  std::string name;
  std::function<RunResult(const Workspace&)> run;
  std::vector<RunResult> results{};
  // For an undo: the run it undoes, made untimed just before; the files must then end where they
  // were, the library empty.
  std::function<RunResult(const Workspace&)> runToUndo{};
};

// The file system's own work and nothing else: read the folder, then per file one folder test,
// a folder creation for a new artist and one rename that never replaces.
RunResult RunFloor(const Workspace& workspace);
// The core's MoveRun with the real POSIX file system, the log kept in memory.
RunResult RunCore(const Workspace& workspace);
// The same with the file system given.
RunResult RunCoreOn(const Workspace& workspace, FileSystemObject& fileSystem);
// pellorin-move as a child process, with its journal in the workspace, and any options given; its
// log goes to /dev/null unless keepLog, when it is kept in a file and counted.
RunResult RunCommand(const Workspace& workspace, ChildLauncher& launcher,
                     const std::string& program, bool keepLog,
                     const std::vector<std::string>& options = {});
// The main window's Move button, with the log in the results box. Needs a QApplication.
RunResult RunWindow(const Workspace& workspace);

}  // namespace pellorin::bench
