#pragma once

// The Move run, the heart of Pellorin. A front end (the window, the terminal, a test) hands it a
// RunWindow, a FileSystemObject and a FileEnumeration and the run calls back into them:
//
//   window texts -> input checks -> enumeration -> artist rules (else a suggestion, the input box)
//     -> artist folder found or created -> file moved -> one log entry per step -> closing count
//
// A move may finish later than it starts (across drives a group of songs is made durable at
// once); its entry, and every entry after it, waits in an InOrderLog until it has, so the log
// keeps the run's order. Before the input box and at the end every pending move is finished.
//
// The run owns no state beyond one call; everything it changes is on disk or in the results box.

#include <cstdint>

#include "artist_suggestions.h"
#include "file_system.h"
#include "run_observer.h"
#include "run_window.h"

namespace pellorin {

struct MoveRunOutcome {
  bool inputsAccepted = false;  // false when a message box ended the run before it began
  std::int64_t filesMoved = 0;
  std::int64_t errorEntries = 0;
};

// Whether the folder of the window's pattern and its root folder exist; where one does not, the
// window is told so, as a Move run tells it.
bool InputFoldersExist(RunWindow& window, const FileSystemObject& fileSystem);

// One synchronous Move run over the window's pattern and root folder; the observer, if any, hears
// of it as its entries retire. A file whose name gives no artist gets the suggestion, if any, as
// its artist or as the question's default.
MoveRunOutcome MoveRun(RunWindow& window, FileSystemObject& fileSystem, FileEnumeration& files,
                       RunObserver* observer = nullptr, ArtistSuggestionUse suggestions = {});

}  // namespace pellorin
