#include "real_run.h"

#include <filesystem>
#include <sstream>

#include "journal/write_ahead.h"
#include "platform/posix/posix_file_enumeration.h"
#include "platform/posix/posix_file_system.h"
#include "sorting/move_run.h"
#include "sorting/undo_run.h"
#include "support/scripted_window.h"

namespace pellorin::testing {

RealRunResult RunAndJudge(const RealRunSetup& setup, FileSystemObject* disk) {
  posix::PosixFileSystem realDisk;
  FileSystemObject& fileSystem = disk != nullptr ? *disk : realDisk;
  ScriptedWindow window;
  window.pattern = fileSystem.BuildPath(setup.in, setup.glob);
  window.root = setup.root;
  window.answers = setup.answers;

  RealRunResult result;
  RunRecord& run = result.record;
  run.pattern = window.pattern;
  run.sourceFolder = setup.in;
  run.root = setup.root;
  run.answers = setup.answers;
  run.caseInsensitiveTop = setup.caseInsensitiveTop;
  run.normalPath = [](const std::string& path) {
    return std::filesystem::path(path).lexically_normal().string();
  };
  posix::PosixFileEnumeration files;
  std::string name;
  for (auto failure = files.First(window.pattern, name); !failure && !name.empty();
       failure = files.Next(name)) {
    run.offered.push_back(name);
  }
  for (const auto& top : setup.tops) AddDiskState(top, run.before);
  run.outcome = MoveRun(window, fileSystem, files);
  for (const auto& top : setup.tops) AddDiskState(top, run.after);
  run.log = window.results.text;
  result.verdict = JudgeRun(run, fileSystem);
  return result;
}

std::string JournaledMoveAll(const std::string& in, const std::string& root, FileSystemObject& disk,
                             const platform::StateFolder& state,
                             journal::JournalWriter::Opener open) {
  ScriptedWindow window;
  window.pattern = in + "/*";
  window.root = root;
  JournaledRun run;
  run.pattern = window.pattern;
  run.root = root;
  run.sourceFolder = in;
  std::ostringstream err;
  journal::RunJournal journal(state, run, err, std::move(open));
  journal::WriteAheadFileSystem ahead(disk, journal);
  posix::PosixFileEnumeration files;
  MoveRun(window, ahead, files);
  return window.results.text + err.str();
}

std::string UndoAll(const JournaledRun& run, FileSystemObject& disk) {
  ScriptedWindow window;
  UndoRun(window, disk, run);
  return window.results.text;
}

}  // namespace pellorin::testing
