#pragma once

// The names the platform layers give their own files beside the user's: a copy on its way into an
// artist folder, a source set aside while it is checked. Each name is hidden, says it is
// Pellorin's, and which process on which machine made it, so that a later run can clean up after
// a run that died, leave a live run's files alone (on this machine or another sharing the
// folder), and never mistake anyone else's file for one of its own.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pellorin::platform {

enum class OwnFileKind {
  Temporary,  // a copy not yet published under its real name
  SetAside,   // a source moved aside, about to be removed once its copy is published and
              // flushed; without an original name, a folder holding such a source under its own
              // name, for names too long to carry
};

struct OwnFileName {
  OwnFileKind kind = OwnFileKind::Temporary;
  std::uint64_t process = 0;
  std::uint64_t serial = 0;  // tells apart the names one process makes
  std::string host;          // as made by HostTag
  std::string original;      // SetAside only: the name the source had; empty for a folder
};

// A machine's name reduced to what is safe in a file name on every system: letters and digits
// only, at most 32 of them; anything else becomes "_".
std::string HostTag(std::string_view machineName);

// ".pellorin-<process>-<serial>-<host>.part", or ".gone" for a set-aside source, followed by
// "-<original>" when the original name is known.
std::string FormatOwnFileName(const OwnFileName& name);

// The parts of a name that FormatOwnFileName made, exactly; nothing for any other name.
std::optional<OwnFileName> ParseOwnFileName(std::string_view name);

}  // namespace pellorin::platform
