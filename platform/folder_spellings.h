#pragma once

// The folders directly under a run's root by their names in Unicode's composed form (NFC), so that
// an artist whose accents one system composed ("ö") and another decomposed ("o" and a combining
// diaeresis, as macOS keeps names) finds the one folder instead of making a second that looks the
// same. The root is read once a run, at the first artist whose folder is not there under its
// exact name. A folder the run makes needs no entry: its name is composed, so an artist that
// needs it finds it under its exact name.

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "sorting/file_system.h"

namespace pellorin::platform {

class FolderSpellings {
 public:
  // A name in NFC; a name that is not valid UTF-8 stays as it is.
  using Normalize = std::function<std::string(std::string_view)>;
  explicit FolderSpellings(Normalize normalize) : normalize_(std::move(normalize)) {}

  // The name of a folder under root that is composedName once in NFC: of several, the first in
  // byte order; empty when there is none.
  std::string Find(const FileSystemObject& disk, std::string_view root,
                   std::string_view composedName);
  // The root may have changed since: it is read again when next asked.
  void Forget() { root_.reset(); }

 private:
  Normalize normalize_;
  std::optional<std::string> root_;
  std::multimap<std::string, std::string, std::less<>> byComposed_;
};

}  // namespace pellorin::platform
