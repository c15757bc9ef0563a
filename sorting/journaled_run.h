#pragma once

// What a journal knows of a Move run: where it moved each file, what the file was like as the run
// left it, the folders it made, and what an undo has put back since.

#include <cstdint>
#include <string>
#include <vector>

#include "file_system.h"

namespace pellorin {

struct JournaledMove {
  std::string name;         // the file's name, as the log showed it
  std::string source;       // where the file was
  std::string destination;  // where the run left it
  FileStamp stamp;          // the file at destination, as the run left it
  bool movedBack = false;   // an undo has put it back
};

struct JournaledFolder {
  std::string path;
  bool removed = false;  // an undo has removed it
};

struct JournaledRun {
  std::string name;            // what the user calls it by
  std::int64_t startedAt = 0;  // seconds since 1970, UTC
  std::string pattern, root, sourceFolder;
  std::vector<JournaledMove> moves;  // in the order their entries retired
  std::vector<JournaledFolder> folders;
  bool undone = false;  // an undo of it has run to its end
};

}  // namespace pellorin
