#pragma once

// Starts programs from a small process of its own, forked before the benchmark has grown. Linux
// counts the memory of whatever process a child was started from into the child's peak resident
// size, so a child started from the benchmark itself would report the benchmark's peak.

#include <sys/types.h>
#include <string>
#include <vector>

namespace pellorin::bench {

struct ChildRun {
  std::string failure;  // empty when the child could be started and waited for
  int status = 0;       // as wait4 gives it
  double seconds = 0;   // from the start of the child to the end of the wait
  long peakRssKiB = 0;
};

class ChildLauncher {
 public:
  // Forks the launcher; call before the process allocates much.
  ChildLauncher();
  ~ChildLauncher();
  ChildLauncher(const ChildLauncher&) = delete;
  ChildLauncher& operator=(const ChildLauncher&) = delete;

  // Runs arguments[0] with these arguments, its standard streams opened on the three paths, and
  // the variables of environment ("NAME=value") set.
  ChildRun Run(const std::vector<std::string>& arguments, const std::string& in,
               const std::string& out, const std::string& err,
               const std::vector<std::string>& environment = {});

 private:
  int socket_ = -1;
  pid_t launcher_ = -1;
};

}  // namespace pellorin::bench
