#pragma once

// One Move run of the real POSIX layer on real folders, judged by the run oracle.

#include <deque>
#include <string>
#include <vector>

#include "journal/journal.h"
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

// A Move run of in's files into root over disk, journaled as pellorin-move journals one: in a
// journal of its own in state, or in the file that open opens. Its log.
std::string JournaledMoveAll(const std::string& in, const std::string& root, FileSystemObject& disk,
                             const platform::StateFolder& state,
                             journal::JournalWriter::Opener open = {});
// The undo of a journaled run over disk; its log.
std::string UndoAll(const JournaledRun& run, FileSystemObject& disk);

}  // namespace pellorin::testing
