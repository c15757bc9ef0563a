#include <chrono>

#include "contenders.h"
#include "platform/platform.h"
#include "sorting/move_run.h"
#include "support/scripted_window.h"

namespace pellorin::bench {

RunResult RunCore(const Workspace& workspace) {
  return RunCoreOn(workspace, *platform::MakeFileSystem());
}

RunResult RunCoreOn(const Workspace& workspace, FileSystemObject& fileSystem) {
  testing::ScriptedWindow window;  // asking would throw: every name of the sample has an artist
  window.pattern = workspace.Pattern();
  window.root = workspace.Library();
  const auto files = platform::MakeFileEnumeration();

  const auto start = std::chrono::steady_clock::now();
  const auto outcome = MoveRun(window, fileSystem, *files);
  const auto seconds = std::chrono::steady_clock::now() - start;

  RunResult result;
  result.seconds = std::chrono::duration<double>(seconds).count();
  if (!outcome.inputsAccepted) result.failure = "inputs refused";
  const std::string_view log = window.results.text;
  result.logSeen = true;
  for (auto at = log.find("\r\n"); at != std::string_view::npos; at = log.find("\r\n", at + 2)) {
    ++result.logLines;
  }
  ++result.logLines;
  const auto lastBreak = log.rfind("\r\n");
  result.lastLogLine = log.substr(lastBreak == std::string_view::npos ? 0 : lastBreak + 2);
  return result;
}

}  // namespace pellorin::bench
