#pragma once

// The bytes of small songs with tags, written by hand so that a test knows exactly what each tag
// holds: no audio worth hearing, just enough for a tag reader to know the format.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>

namespace pellorin::testing {

using Fields = std::initializer_list<std::pair<std::string, std::string>>;

inline std::string BigEndian(std::uint32_t value, int bits = 8) {
  std::string bytes;
  for (int shift = 3 * bits; shift >= 0; shift -= bits) {
    bytes.push_back(static_cast<char>((value >> shift) & ((1u << bits) - 1)));
  }
  return bytes;
}

inline std::string LittleEndian(std::uint32_t value) {
  std::string bytes;
  for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<char>(value >> shift));
  return bytes;
}

// One silent MPEG-1 Layer III frame.
inline std::string Mp3Frame() {
  return std::string("\xff\xfb\x90\x64", 4) + std::string(413, '\0');
}

// An ID3v2.3 or v2.4 tag of text frames, each value in UTF-8 (v2.4) or Latin-1 (v2.3).
inline std::string Id3v2Tag(int version, Fields frames) {
  std::string body;
  for (const auto& [id, text] : frames) {
    const std::string value = std::string(1, version == 4 ? '\3' : '\0') + text;
    const auto size = static_cast<std::uint32_t>(value.size());
    body +=
        id + (version == 4 ? BigEndian(size, 7) : BigEndian(size)) + std::string(2, '\0') + value;
  }
  return "ID3" + std::string(1, static_cast<char>(version)) + std::string(2, '\0') +
         BigEndian(static_cast<std::uint32_t>(body.size()), 7) + body;
}

inline std::string Id3v1Tag(const std::string& artist) {
  std::string tag = "TAG" + std::string(30, 'T') + artist;
  tag.resize(128, '\0');
  return tag;
}

// A FLAC stream's metadata: the stream information, then Vorbis comments ("KEY", "value").
inline std::string FlacSong(Fields comments) {
  std::string block =
      LittleEndian(4) + "test" + LittleEndian(static_cast<std::uint32_t>(comments.size()));
  for (const auto& [key, value] : comments) {
    block +=
        LittleEndian(static_cast<std::uint32_t>(key.size() + 1 + value.size())) + key + "=" + value;
  }
  std::string info(34, '\0');
  info[0] = info[2] = 0x10;  // blocks of 4,096 samples
  info[10] = 0x0a;           // 44.1 kHz, ...
  info[11] = static_cast<char>(0xc4);
  info[12] = static_cast<char>(0x42);
  return "fLaC" + BigEndian(34) + info +
         BigEndian(0x84000000u | static_cast<std::uint32_t>(block.size())) + block;
}

inline std::string Mp4Atom(const std::string& name, const std::string& payload) {
  return BigEndian(static_cast<std::uint32_t>(8 + payload.size())) + name + payload;
}

// An MP4 file's items ("aART", "\xa9ART"), each one UTF-8 text.
inline std::string Mp4Song(Fields items) {
  std::string list;
  for (const auto& [name, text] : items) {
    list += Mp4Atom(name, Mp4Atom("data", BigEndian(1) + BigEndian(0) + text));
  }
  const std::string meta = Mp4Atom("meta", BigEndian(0) + Mp4Atom("ilst", list));
  return Mp4Atom("ftyp", "M4A " + BigEndian(0) + "M4A mp42isom") +
         Mp4Atom("moov", Mp4Atom("udta", meta));
}

}  // namespace pellorin::testing
