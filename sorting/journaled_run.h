#pragma once

// What a journal knows of a Move run: where it moved each file, what the file was like as the run
// left it, the folders it made, and what an undo has put back since.

#include <cstdint>
#include <string>
#include <vector>

#include "file_system.h"

namespace pellorin {

// What the journal heard of a move's end.
enum class MoveOutcome {
  Unknown,  // journaled before it was made, and nothing since: it may or may not have been made
  Moved,
  Failed,  // not made
};

struct JournaledMove {
  std::string name;         // the file's name, as the log showed it
  std::string source;       // where the file was
  std::string destination;  // where the run left it
  FileStamp stamp;          // the file at destination as the run left it; the source before it
  MoveOutcome outcome = MoveOutcome::Moved;
  bool movedBack = false;  // an undo has put it back, or found it back
};

struct JournaledFolder {
  std::string path;
  bool removed = false;  // an undo has removed it
};

struct JournaledRun {
  std::string name;                        // what the user calls it by
  std::int64_t startedAt = 0;              // seconds since 1970, UTC
  std::int64_t startedAtMilliseconds = 0;  // the same, finer, to name the run by
  std::string pattern, root, sourceFolder;
  std::vector<JournaledMove> moves;  // in the order they were journaled
  std::vector<JournaledFolder> folders;
  bool ended = false;         // the run closed its journal, rather than being cut short
  bool undone = false;        // an undo put back everything
  bool partlyUndone = false;  // an undo ended with files still out

  // The moves an undo still has to put back, or to look for.
  std::size_t StillOut() const {
    std::size_t out = 0;
    for (const auto& move : moves) out += !move.movedBack && move.outcome != MoveOutcome::Failed;
    return out;
  }
};

}  // namespace pellorin
