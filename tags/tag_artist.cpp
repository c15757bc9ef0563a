#include "tag_artist.h"

#include <taglib/apetag.h>
#include <taglib/fileref.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tdebuglistener.h>
#include <taglib/tpropertymap.h>

#include <algorithm>
#include <vector>

#include "read_only_stream.h"

namespace pellorin::tags {
namespace {

// TagLib's complaints about a malformed file would land in the middle of the log.
class Silence final : public TagLib::DebugListener {
 public:
  void printMessage(const TagLib::String&) override {}
};

void SilenceTagLib() {
  static Silence silence;
  static const bool silenced = (TagLib::setDebugListener(&silence), true);
  (void)silenced;
}

bool IsBlankOrNul(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0'; }

bool IsVariousArtists(std::string_view artist) {
  constexpr std::string_view kVarious = "various artists";
  return std::ranges::equal(artist, kVarious, [](char a, char b) {
    return (a >= 'A' && a <= 'Z' ? a - 'A' + 'a' : a) == b;
  });
}

// The tags of a file in the order their artist is looked for.
std::vector<TagLib::PropertyMap> TagsInOrder(TagLib::File& file) {
  auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(&file);
  if (mpeg == nullptr) return {file.properties()};
  std::vector<TagLib::PropertyMap> tags;
  if (mpeg->hasID3v2Tag()) tags.push_back(mpeg->ID3v2Tag()->properties());
  if (mpeg->hasAPETag()) tags.push_back(mpeg->APETag()->properties());
  if (mpeg->hasID3v1Tag()) tags.push_back(mpeg->ID3v1Tag()->properties());
  return tags;
}

std::string FirstValue(const TagLib::PropertyMap& tag, const char* key) {
  const auto found = tag.find(key);
  if (found == tag.end() || found->second.isEmpty()) return {};
  return CleanTagArtist(found->second.front().to8Bit(true));
}

std::string ArtistInTag(const TagLib::PropertyMap& tag) {
  for (const char* key : {"ALBUMARTIST", "ALBUM ARTIST"}) {
    auto albumArtist = FirstValue(tag, key);
    if (!albumArtist.empty() && !IsVariousArtists(albumArtist)) return albumArtist;
  }
  return FirstValue(tag, "ARTIST");
}

}  // namespace

std::string CleanTagArtist(std::string_view value) {
  const auto first = std::ranges::find_if_not(value, IsBlankOrNul) - value.begin();
  value.remove_prefix(static_cast<std::size_t>(first));
  value = value.substr(0, value.find('\0'));
  while (!value.empty() && IsBlankOrNul(value.back())) value.remove_suffix(1);
  std::string artist(value);
  std::ranges::replace_if(
      artist, [](char c) { return c == '/' || c == '\\'; }, kSeparatorStandIn);
  if (artist == "." || artist == "..") return {};
  return artist;
}

std::string ArtistInTags(platform::ReadOnlyFile& file, const std::string& name) {
  SilenceTagLib();
  try {
    ReadOnlyStream stream(file, name);
    const TagLib::FileRef song(&stream, false);
    if (song.isNull()) return {};
    for (const auto& tag : TagsInOrder(*song.file())) {
      if (auto artist = ArtistInTag(tag); !artist.empty()) return artist;
    }
  } catch (...) {  // std::bad_alloc above all: a file is never worth the run
  }
  return {};
}

std::string TagArtists::SuggestArtist(std::string_view path) {
  const auto file = platform::ReadOnlyFile::Open(path);
  return file ? ArtistInTags(*file, std::string(path)) : std::string();
}

}  // namespace pellorin::tags
