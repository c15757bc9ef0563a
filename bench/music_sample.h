#pragma once

// The music that a benchmark files away: realistic names, written as empty files into a fresh
// pair of folders for every run, so that each contender starts from the same disk.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/temp_folder.h"

namespace pellorin::bench {

struct MusicSample {
  std::vector<std::string> names;  // every one resolvable by the artist rules or by its tags
  std::size_t artistCount = 0;     // distinct artists among the names
  std::vector<std::string> songs;  // when not empty, each file's bytes, all of one size
};

// count names over a few thousand artists: most "Artist - Title.mp3", some "(Band) Title.mp3"
// and a few "Artist-Title.mp3". The same count always gives the same names.
MusicSample MakeMusicSample(std::size_t count);

// The same songs, each with its artist in an ID3v2 tag, named "Artist - Title.mp3" or, when the
// names are to give no artist, "Title.mp3".
MusicSample TagSample(const MusicSample& sample, bool namesGiveArtist);

// The artist of one of the sample's names (in parentheses, or before the one "-").
std::string_view SampleArtist(std::string_view name);
// The sample's names in folder, in the order the folder gives them.
std::vector<std::string> ListSample(const std::string& folder);

// "incoming" holding the sample's files and an empty "library", below base, removed with
// everything in them when the workspace goes. The library may lie below another folder (on
// another file system), and the files may hold fileBytes bytes each instead of none.
class Workspace {
 public:
  Workspace(const std::filesystem::path& base, const MusicSample& sample,
            const std::filesystem::path& libraryBase = {}, std::size_t fileBytes = 0);
  ~Workspace();
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  std::string Incoming() const { return *folder_ / "incoming"; }
  std::string Library() const { return (library_ ? *library_ : *folder_) / "library"; }
  std::string Pattern() const { return Incoming() + "/*.mp3"; }
  std::string File(const std::string& name) const { return *folder_ / name; }
  std::size_t FileBytes() const { return fileBytes_; }

 private:
  // Emptied before the removal is flushed.
  std::optional<testing::TempFolder> folder_, library_;
  std::size_t fileBytes_;
};

// What a run left on disk.
struct FiledMusic {
  std::size_t leftBehind = 0;  // entries still in incoming
  std::size_t leftBehindBytes = 0;
  std::size_t artistFolders = 0;  // folders in the library
  std::size_t filedFiles = 0;     // files inside those folders
  std::size_t filedBytes = 0;     // their sizes added up
  std::size_t strayEntries = 0;   // anything else directly in the library
};
FiledMusic Inspect(const Workspace& workspace);

}  // namespace pellorin::bench
