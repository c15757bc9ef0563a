// The tag reader over whatever a file may hold: it must neither crash, hang nor leak, and what it
// gives must be fit to name one folder. The first byte picks the kind the name claims.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/read_only_file.h"
#include "tags/tag_artist.h"

namespace {

class MemoryFile final : public pellorin::platform::ReadOnlyFile {
 public:
  explicit MemoryFile(std::string_view bytes) : bytes_(bytes) {}
  std::uint64_t Size() const override { return bytes_.size(); }

 protected:
  std::optional<std::size_t> ReadSomeAt(std::uint64_t offset, std::span<char> into) override {
    if (offset >= bytes_.size()) return 0;
    const std::size_t count = std::min(into.size(), bytes_.size() - offset);
    std::memcpy(into.data(), bytes_.data() + offset, count);
    return count;
  }

 private:
  std::string_view bytes_;
};

constexpr std::array<const char*, 6> kNames = {"song.mp3",  "song.flac", "song.ogg",
                                               "song.opus", "song.m4a",  "song.wma"};

void Fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  MemoryFile file(bytes);
  const std::string artist = pellorin::tags::ArtistInTags(file, kNames[data[0] % kNames.size()]);
  if (artist.empty()) return 0;
  if (artist == "." || artist == ".." ||
      artist.find_first_of(std::string_view("/\\\0", 3)) != std::string::npos) {
    Fail("the artist would not name one folder");
  }
  if (std::string_view(" \t\r\n").find(artist.front()) != std::string_view::npos ||
      std::string_view(" \t\r\n").find(artist.back()) != std::string_view::npos) {
    Fail("blanks around the artist");
  }
  return 0;
}
