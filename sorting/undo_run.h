#pragma once

// An undo: a run of its own kind beside the Move run. It hands each move of a journaled run back
// to the same FileSystemObject, newest first, so every promise of a forward move holds for it too:
// never replacing anything, whole or not at all, across devices a group at a time. Then it removes
// the folders the run made, where they are empty. Its entries retire in order through the same
// InOrderLog; the observer hears of each file moved back and each folder removed, with the move's
// index in the journal as its ticket.
//
// A stop asked between files ends it there, its folders left for the next undo.
//
//   journal's moves, newest first -> still as the run left it? its old place free? -> moved back
//     -> one entry per move -> folders the run made, removed when empty -> closing count

#include <cstdint>

#include "file_system.h"
#include "journaled_run.h"
#include "run_observer.h"
#include "run_window.h"

namespace pellorin {

struct UndoRunOutcome {
  std::int64_t filesMovedBack = 0;
  std::int64_t errorEntries = 0;
  bool stopped = false;  // the window asked it to stop between two files
  // Only such an undo may call its run undone; any other leaves it partly undone, to be taken
  // again.
  bool PutEverythingBack() const { return errorEntries == 0 && !stopped; }
};

UndoRunOutcome UndoRun(RunWindow& window, FileSystemObject& fileSystem, const JournaledRun& run,
                       RunObserver* observer = nullptr);

}  // namespace pellorin
