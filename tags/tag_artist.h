#pragma once

// The artist in a song's tags, for the files whose name gives none. TagLib reads the tags
// (MP3 with ID3v2, APE and ID3v1; FLAC, Ogg Vorbis, Opus, MP4, WMA...) through a ReadOnlyStream;
// the artist is, in each tag in turn (for an MP3: ID3v2, then APE, then ID3v1):
//   the first album artist (ID3v2 TPE2, ALBUMARTIST or ALBUM ARTIST in Vorbis comments and APE,
//   MP4 aART, ASF WM/AlbumArtist), unless it is blank or "Various Artists" in any case;
//   else the first artist.
// Each value is cleaned first (CleanTagArtist); a value of which nothing is left is passed over.

#include <string>
#include <string_view>

#include "platform/read_only_file.h"
#include "sorting/artist_suggestions.h"

namespace pellorin::tags {

// What stands for a "/" or "\" in an artist, so that "AC/DC" names one folder, not two.
inline constexpr char kSeparatorStandIn = '-';

// The value without the blanks (spaces, tabs, line breaks) and NULs around it, cut at a NUL inside
// it (which ends the first of several values), each "/" and "\" replaced by kSeparatorStandIn; the
// empty text for a value of which nothing is left, or only "." or "..".
std::string CleanTagArtist(std::string_view value);

// The artist in the tags of file, whose kind TagLib tells by the extension of name or else by its
// bytes; the empty text when there is none or the file cannot be read as a song. Never throws.
std::string ArtistInTags(platform::ReadOnlyFile& file, const std::string& name);

// The suggestions of pellorin-move: the artist in the tags of the file, opened read-only by the
// platform layer; nothing for a link, a FIFO or anything but a regular file.
class TagArtists final : public ArtistSuggestions {
 public:
  std::string SuggestArtist(std::string_view path) override;
  std::string_view Origin() const override { return "its tags"; }
};

}  // namespace pellorin::tags
