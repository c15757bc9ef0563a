// The artist rules and trimming against the rules written a second time, and the folder-name
// check against what it promises: a name it accepts stays one entry directly inside the root.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "sorting/artist_rules.h"
#include "support/reference_rules.h"

namespace {

void Fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string name(reinterpret_cast<const char*>(data), size);
  if (pellorin::TrimBlanks(name) != pellorin::reference::Trim(name)) Fail("TrimBlanks differs");
  const std::string trimmed = pellorin::reference::Trim(name);
  if (pellorin::ArtistFromName(trimmed) != pellorin::reference::Artist(trimmed)) {
    Fail("ArtistFromName differs from the rules");
  }
  for (const std::string_view separators : {std::string_view("/"), std::string_view("\\/")}) {
    if (!pellorin::IsPlainFolderName(name, separators)) continue;
    if (name == "." || name == ".." || name.find('\0') != std::string::npos ||
        name.find_first_of(separators) != std::string::npos) {
      Fail("IsPlainFolderName accepted a name that leaves the root");
    }
  }
  return 0;
}
