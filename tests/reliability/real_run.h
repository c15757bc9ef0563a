#pragma once

// One Move run of the real POSIX layer on real folders, judged by the run oracle.

#include <deque>
#include <string>
#include <vector>

#include "run_oracle.h"
#include "sorting/file_system.h"

namespace pellorin::testing {

struct RealRunSetup {
  std::string in{}, root{};           // the pattern's folder and the root folder
  std::string glob = "*";             // the pattern's last component
  std::vector<std::string> tops{};    // every folder the run may touch, read before and after
  std::deque<std::string> answers{};  // the input box's answers, in order
  std::string caseInsensitiveTop{};   // where names ignore case (FAT), if anywhere
};

struct RealRunResult {
  RunRecord record;
  RunVerdict verdict;
};

// Runs over disk (the real POSIX layer when null) and judges the run.
RealRunResult RunAndJudge(const RealRunSetup& setup, FileSystemObject* disk = nullptr);

}  // namespace pellorin::testing
