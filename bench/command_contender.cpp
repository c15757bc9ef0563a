#include <sys/wait.h>

#include <fstream>

#include "contenders.h"

namespace pellorin::bench {
namespace {

void CountLines(const std::string& path, RunResult& result) {
  std::ifstream log(path, std::ios::binary);
  result.logSeen = true;
  for (std::string line; std::getline(log, line);) {
    ++result.logLines;
    result.lastLogLine = line;
  }
}

}  // namespace

// The journal goes into the workspace, never into the home of whoever runs the benchmark.
RunResult RunCommand(const Workspace& workspace, ChildLauncher& launcher,
                     const std::string& program, bool keepLog,
                     const std::vector<std::string>& options) {
  const std::string logPath = keepLog ? workspace.File("stdout") : "/dev/null";
  const std::string errorPath = workspace.File("stderr");
  std::vector<std::string> arguments = {program};
  arguments.insert(arguments.end(), options.begin(), options.end());
  if (options.empty() || options.front() != "--undo") {
    arguments.insert(arguments.end(), {"--no-ask", workspace.Pattern(), workspace.Library()});
  }
  const auto run = launcher.Run(arguments, "/dev/null", logPath, errorPath,
                                {"XDG_STATE_HOME=" + workspace.File("state")});

  RunResult result;
  result.seconds = run.seconds;
  result.peakRssKiB = run.peakRssKiB;
  result.failure = run.failure;
  if (result.failure.empty() && (!WIFEXITED(run.status) || WEXITSTATUS(run.status) != 0)) {
    std::ifstream errors(errorPath);
    std::string firstError;
    std::getline(errors, firstError);
    result.failure =
        "pellorin-move failed (wait status " + std::to_string(run.status) + "): " + firstError;
  }
  if (keepLog) CountLines(logPath, result);
  return result;
}

}  // namespace pellorin::bench
