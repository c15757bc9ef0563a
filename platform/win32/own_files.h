#pragma once

// The Windows side of the names the program gives its own files (platform/own_file_names.h): who
// this process is in those names, whether the process that made a name still runs, and the
// removal of what runs on this machine left behind when they died.
//
// Windows hands process ids out again soon, and Wine at every fresh start, so an id alone cannot
// tell a dead run from a live one. A name's serial therefore carries the start of the process that
// made it: its start time in milliseconds times kSerialsPerStart, plus a count.

#include <cstdint>
#include <optional>
#include <string>

namespace pellorin::win32 {

inline constexpr std::uint64_t kSerialsPerStart = 1'000'000;

// This machine's name as the names of our own files carry it.
const std::string& ThisHost();

// The first serial of the names made by the running process of that id; nothing when no such
// process runs or it cannot be asked.
std::optional<std::uint64_t> FirstSerialOf(unsigned long processId);

// A name that this process has not given to any temporary before.
std::string NewTemporaryName();

// Removes the temporaries in folder (an extended path) that runs on this machine left when they
// died. Those of running processes and of other machines stay, and so does every name that this
// program did not make.
void RemoveDeadTemporaries(const std::wstring& folder);

}  // namespace pellorin::win32
