// The delimited-field helpers, the results log rule and the artist rules, case by case.

#include <gtest/gtest.h>

#include "sorting/artist_rules.h"
#include "sorting/delimited_fields.h"
#include "sorting/results_log.h"
#include "support/scripted_window.h"

namespace pellorin {
namespace {

TEST(DelimitedFields, CountsNonOverlappingOccurrencesPlusOne) {
  const struct {
    std::string_view text, delimiter;
    std::int32_t fields;
  } cases[] = {
      {"Artist - Title.mp3", "-", 2},
      {"Title.mp3", "-", 1},
      {"A - B - C.mp3", "-", 3},
      {"", "-", 1},
      {"--", "-", 3},
      {"aaaa", "aa", 3},
      {"X", "x", 1},
      {"a-b", "", 1},  // no caller passes an empty delimiter; it must still end
  };
  for (const auto& c : cases) EXPECT_EQ(CountFields(c.text, c.delimiter), c.fields) << c.text;
}

TEST(DelimitedFields, GetsFieldByZeroBasedIndexKeepingBlanks) {
  const struct {
    std::string_view text;
    std::int16_t index;
    std::string_view field;
  } cases[] = {
      {"Artist - Title.mp3", 0, "Artist "},
      {"Title.mp3", 0, "Title.mp3"},
      {"A - B - C.mp3", 1, " B "},
      {"A - B - C.mp3", 2, " C.mp3"},
      {"A - B - C.mp3", 3, ""},
      {"-x", 0, ""},
      {"a-b", -1, "a"},
      {"a-b", -32768, "a"},
      {"a--b", 1, ""},
      {"a--b", 2, "b"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GetField(c.text, c.index, "-"), c.field) << c.text << " #" << c.index;
  }
  EXPECT_EQ(GetField("a::b::c", 2, "::"), "c");
  EXPECT_EQ(GetField("X", 0, "x"), "X");
  EXPECT_EQ(GetField("a-b", 1, ""), "");
}

TEST(ResultsLog, SeparatesEntriesWithCrLfAndNeverLeadsWithOne) {
  testing::StringResultsBox box;
  AppendResult(box, "");
  EXPECT_EQ(box.text, "") << "an empty entry leaves an empty log empty";
  AppendResult(box, "a");
  AppendResult(box, "b");
  EXPECT_EQ(box.text, "a\r\nb");
  AppendResult(box, "");
  EXPECT_EQ(box.text, "a\r\nb\r\n");

  box.text = "x\r\n";
  AppendResult(box, "y");
  EXPECT_EQ(box.text, "x\r\n\r\ny") << "an entry ending in CR LF leaves an empty line";
}

TEST(ArtistRules, ParenthesisRuleThenDashRule) {
  const struct {
    std::string_view name, artist;
  } cases[] = {
      {"Artist - Title.mp3", "Artist"},
      {"Artist-Title.mp3", "Artist"},
      {"Artist  -Title.mp3", "Artist"},
      {"(The Band) Live - Remix.mp3", "The Band"},
      {"( The Band ) Song.mp3", " The Band "},
      {"(A)(B) x.mp3", "A"},
      {"()Song.mp3", ""},
      {"(Song.mp3", ""},
      {"(Song - Other.mp3", ""},  // a "(" name never falls back to the dash rule
      {"Song.mp3", ""},
      {"A - B - C.mp3", ""},
      {"- Song.mp3", ""},
      {"Ærø - Sång.mp3", "Ærø"},
  };
  for (const auto& c : cases) EXPECT_EQ(ArtistFromName(c.name), c.artist) << c.name;
}

TEST(ArtistRules, TrimsSpacesOnly) {
  EXPECT_EQ(TrimBlanks("  a b  "), "a b");
  EXPECT_EQ(TrimBlanks("   "), "");
  EXPECT_EQ(TrimBlanks("\ta\t"), "\ta\t");
}

TEST(ArtistRules, PlainFolderNameStaysDirectlyUnderTheRoot) {
  using namespace std::string_view_literals;
  for (const auto bad : {"."sv, ".."sv, "a/b"sv, "/"sv, "a\0b"sv}) {
    EXPECT_FALSE(IsPlainFolderName(bad, "/")) << bad;
  }
  for (const auto good : {"..."sv, "a.b"sv, " The Band "sv, "AC\\DC"sv}) {
    EXPECT_TRUE(IsPlainFolderName(good, "/")) << good;
  }
  EXPECT_FALSE(IsPlainFolderName("AC\\DC", "\\/"));
}

}  // namespace
}  // namespace pellorin
