// The artist that a song's tags give, over small songs written here, read the way pellorin-move
// reads them: through the platform layer's read-only opening.

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>
#include <string>

#include "support/tagged_songs.h"
#include "support/temp_folder.h"
#include "tags/tag_artist.h"

namespace {

using namespace pellorin::testing;

TEST(TagArtists, AlbumArtistFirstThenArtistThenId3v1CleanedAndNothingFromBadFiles) {
  const std::string bigFrame(100'000, 'x');  // beyond the stream's first window
  const struct {
    std::string name, bytes, artist;
  } cases[] = {
      {"v24.mp3", Id3v2Tag(4, {{"TPE2", "Album Band"}, {"TPE1", "Solo"}}) + Mp3Frame(),
       "Album Band"},
      {"various.mp3",
       Id3v2Tag(4, {{"TPE2", "VARIOUS artists"},
                    {std::string("TPE1"), std::string("Guest\0Second", 12)}}) +
           Mp3Frame(),
       "Guest"},
      {"blank.mp3",
       Id3v2Tag(3, {{"TPE2", std::string(" \0 ", 3)}, {"TPE1", "\t The Band \n"}}) + Mp3Frame(),
       "The Band"},
      {"separators.mp3", Id3v2Tag(4, {{"TPE1", "AC/DC\\Live"}}) + Mp3Frame(), "AC-DC-Live"},
      {"dots.mp3", Id3v2Tag(4, {{"TPE1", " .. "}}) + Mp3Frame(), ""},
      {"v1.mp3",
       Id3v2Tag(4, {{"TIT2", "Title"}}) + Mp3Frame() + std::string(200'000, '\0') +
           Id3v1Tag("Old Tag  "),
       "Old Tag"},
      {"big.mp3", Id3v2Tag(4, {{"TXXX", bigFrame}, {"TPE1", "Far In"}}) + Mp3Frame(), "Far In"},
      {"untagged.mp3", Mp3Frame(), ""},
      {"malformed.mp3", std::string("ID3\4\0\0\x7f\x7f\x7f\x7fTPE1\x7f\x7f\x7f\x7f", 18) + bigFrame,
       ""},
      {"album.flac", FlacSong({{"ALBUM ARTIST", "Flac Band"}, {"ARTIST", "Someone"}}), "Flac Band"},
      {"various.flac", FlacSong({{"ALBUMARTIST", "Various Artists"}, {"ARTIST", "Singer"}}),
       "Singer"},
      {"song.m4a",
       Mp4Song({{"\xa9"
                 "ART",
                 "Artist"},
                {"aART", "Mp4 Band"}}),
       "Mp4 Band"},
      {"garbage.flac", "fLaC\x84\xff\xff\xff" + bigFrame, ""},
      {"empty.m4a", "", ""},
  };
  TempFolder folder;
  pellorin::tags::TagArtists tags;
  for (const auto& c : cases) {
    const auto path = folder / c.name;
    WriteFile(path, c.bytes);
    const auto written = std::filesystem::last_write_time(path);
    EXPECT_EQ(tags.SuggestArtist(path), c.artist) << c.name;
    EXPECT_EQ(ReadFile(path), c.bytes) << c.name;
    EXPECT_EQ(std::filesystem::last_write_time(path), written) << c.name;
  }
#ifndef _WIN32
  // What stands under a song's name in a shared folder is never followed or waited on.
  std::filesystem::create_symlink(folder / "v24.mp3", folder / "link.mp3");
  ASSERT_EQ(::mkfifo((folder / "fifo.mp3").c_str(), 0600), 0);
  EXPECT_EQ(tags.SuggestArtist(folder / "link.mp3"), "");
  EXPECT_EQ(tags.SuggestArtist(folder / "fifo.mp3"), "");
#endif
  EXPECT_EQ(tags.SuggestArtist(folder / "missing.mp3"), "");
}

}  // namespace
