#pragma once

#include <taglib/tiostream.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/read_only_file.h"

namespace pellorin::tags {

// What TagLib reads a song through: a stream that refuses every write and reads a file the
// platform layer opened itself. TagLib asks for many small pieces (a header here, a frame there,
// the last 128 bytes); each is served from one of two windows of the file, the one at its start
// and the one at its end most of the time, so that a song's tags cost a read or two. A piece
// that would run past the end is cut short, so nothing a file claims makes TagLib allocate more
// than the file holds.
class ReadOnlyStream final : public TagLib::IOStream {
 public:
  static constexpr std::size_t kWindowBytes = 16 * 1024;

  // name gives TagLib the file's kind by its extension.
  ReadOnlyStream(platform::ReadOnlyFile& file, std::string name);

  TagLib::FileName name() const override { return name_.c_str(); }
  TagLib::ByteVector readBlock(unsigned long length) override;
  void writeBlock(const TagLib::ByteVector&) override {}
  void insert(const TagLib::ByteVector&, unsigned long, unsigned long) override {}
  void removeBlock(unsigned long, unsigned long) override {}
  bool readOnly() const override { return true; }
  bool isOpen() const override { return true; }
  void seek(long offset, Position from) override;
  long tell() const override;
  long length() override { return static_cast<long>(size_); }
  void truncate(long) override {}

 private:
  struct Window {
    std::uint64_t start = 0;
    std::vector<char> bytes;
  };
  // The window that holds the byte at offset, read if need be; nothing on a read failure.
  const Window* WindowAt(std::uint64_t offset);

  platform::ReadOnlyFile& file_;
  const std::string name_;
  const std::uint64_t size_;
  std::uint64_t position_ = 0;
  std::array<Window, 2> windows_;
  std::size_t older_ = 0;  // the window to read into next
};

}  // namespace pellorin::tags
