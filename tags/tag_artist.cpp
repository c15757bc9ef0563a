#include "tag_artist.h"

#include <taglib/apetag.h>
#include <taglib/fileref.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tdebuglistener.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tpropertymap.h>

#include <algorithm>
#include <initializer_list>

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

// The first album artist that is neither blank nor "Various Artists", else the artist; each
// value cleaned already.
std::string Chosen(std::initializer_list<std::string> albumArtists, std::string artist) {
  for (const auto& albumArtist : albumArtists) {
    if (!albumArtist.empty() && !IsVariousArtists(albumArtist)) return albumArtist;
  }
  return artist;
}

std::string FirstValue(const TagLib::PropertyMap& tag, const char* key) {
  const auto found = tag.find(key);
  if (found == tag.end() || found->second.isEmpty()) return {};
  return CleanTagArtist(found->second.front().to8Bit(true));
}

// Straight from the frame: the whole tag as properties would cost as much again as reading it.
std::string FirstText(const TagLib::ID3v2::Tag& tag, const char* id) {
  const auto found = tag.frameListMap().find(id);
  if (found == tag.frameListMap().end() || found->second.isEmpty()) return {};
  const auto* text =
      dynamic_cast<const TagLib::ID3v2::TextIdentificationFrame*>(found->second.front());
  if (text == nullptr || text->fieldList().isEmpty()) return {};
  return CleanTagArtist(text->fieldList().front().to8Bit(true));
}

std::string ArtistInProperties(const TagLib::PropertyMap& tag) {
  return Chosen({FirstValue(tag, "ALBUMARTIST"), FirstValue(tag, "ALBUM ARTIST")},
                FirstValue(tag, "ARTIST"));
}

// An MP3's tags in turn: ID3v2, APE, ID3v1.
std::string ArtistInMp3(TagLib::MPEG::File& mp3) {
  std::string artist;
  if (mp3.hasID3v2Tag()) {
    const auto& tag = *mp3.ID3v2Tag();
    artist = Chosen({FirstText(tag, "TPE2")}, FirstText(tag, "TPE1"));
  }
  if (artist.empty() && mp3.hasAPETag()) artist = ArtistInProperties(mp3.APETag()->properties());
  if (artist.empty() && mp3.hasID3v1Tag()) {
    artist = CleanTagArtist(mp3.ID3v1Tag()->artist().to8Bit(true));
  }
  return artist;
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
    auto* mp3 = dynamic_cast<TagLib::MPEG::File*>(song.file());
    return mp3 != nullptr ? ArtistInMp3(*mp3) : ArtistInProperties(song.file()->properties());
  } catch (...) {  // std::bad_alloc above all: a file is never worth the run
  }
  return {};
}

std::string TagArtists::SuggestArtist(std::string_view path) {
  const auto file = platform::ReadOnlyFile::Open(path);
  return file ? ArtistInTags(*file, std::string(path)) : std::string();
}

}  // namespace pellorin::tags
