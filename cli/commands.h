#pragma once

// What pellorin-move does, one function a command; each returns the exit status.

#include "command_line.h"
#include "terminal_window.h"

namespace pellorin::cli {

inline constexpr int kNoErrors = 0;
inline constexpr int kErrorEntries = 1;
inline constexpr int kRefused = 2;  // a usage error, a folder missing, nothing to undo

// One Move run, kept in a journal unless it is a dry run or the user said not to.
int MoveCommand(const CommandLine& line, TerminalStreams streams);
// Files what matches, then each song that arrives once it is whole, until a stop is requested.
int WatchCommand(const CommandLine& line, TerminalStreams streams);
// The undo of the newest run not undone yet, or of the one named.
int UndoCommand(const CommandLine& line, TerminalStreams streams);
// The journaled runs, newest first, one a line.
int RunsCommand(TerminalStreams streams);

}  // namespace pellorin::cli
