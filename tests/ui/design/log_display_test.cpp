#include "ui/design/log_display.h"

#include <gtest/gtest.h>

#include <string>

TEST(LogDisplay, ControlCharactersInsideAnEntryAreShownAsPictures) {
  const struct {
    std::string_view piece, shown;
  } cases[] = {
      {"File \"a.mp3\" moved.", "File \"a.mp3\" moved."},
      {"\r\nFile \"x.mp3\" moved.\r\nFile \"y.mp3\" moved.",
       "\r\nFile \"x.mp3\" moved.\u240D\u240AFile \"y.mp3\" moved."},
      {"\r\nDirectory \"a\rb\nc\" Exists.\r\n", "\r\nDirectory \"a\u240Db\u240Ac\" Exists.\r\n"},
      {"File \"\t\x1B\a\x01\x1F\x7F\" moved.",
       "File \"\u2409\u241B\u2407\u2401\u241F\u2421\" moved."},
      {"File \"\u2028\u2029\xE2\r\u00E9\" moved.", "File \"\u2424\u2424\xE2\u240D\u00E9\" moved."},
      {"\r\n", "\r\n"},
  };
  for (const auto& [piece, shown] : cases) {
    std::string text = "before";
    pellorin::design::AppendLogPieceForDisplay(text, piece);
    EXPECT_EQ(text, "before" + std::string(shown)) << piece;
  }
}
