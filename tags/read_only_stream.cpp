#include "read_only_stream.h"

#include <algorithm>
#include <limits>

namespace pellorin::tags {

ReadOnlyStream::ReadOnlyStream(platform::ReadOnlyFile& file, std::string name)
    : file_(file),
      name_(std::move(name)),
      // TagLib counts in long: a larger file is read as far as long reaches.
      size_(std::min<std::uint64_t>(file.Size(), std::numeric_limits<long>::max())) {}

// A window reaches from the offset asked for, or ends with the file when that is near.
const ReadOnlyStream::Window* ReadOnlyStream::WindowAt(std::uint64_t offset) {
  for (const auto& window : windows_) {
    if (offset >= window.start && offset - window.start < window.bytes.size()) return &window;
  }
  Window& window = windows_[older_];
  older_ = 1 - older_;
  window.start = size_ - offset < kWindowBytes ? size_ - std::min(size_, kWindowBytes) : offset;
  window.bytes.resize(std::min<std::uint64_t>(kWindowBytes, size_ - window.start));
  const auto got = file_.ReadAt(window.start, window.bytes);
  if (!got) {
    window.bytes.clear();
    return nullptr;
  }
  window.bytes.resize(*got);
  return offset - window.start < window.bytes.size() ? &window : nullptr;
}

TagLib::ByteVector ReadOnlyStream::readBlock(unsigned long length) {
  const std::uint64_t wanted = std::min<std::uint64_t>(length, size_ - std::min(position_, size_));
  TagLib::ByteVector block;
  if (wanted > kWindowBytes) {  // a large piece goes straight into its place
    block.resize(static_cast<unsigned>(wanted));
    const auto got = file_.ReadAt(position_, {block.data(), block.size()});
    block.resize(got ? static_cast<unsigned>(*got) : 0);
    position_ += block.size();
    return block;
  }
  const std::uint64_t end = position_ + wanted;
  while (position_ < end) {
    const Window* window = WindowAt(position_);
    if (window == nullptr) break;
    const std::uint64_t from = position_ - window->start;
    const std::uint64_t count = std::min(end - position_, window->bytes.size() - from);
    block.append(TagLib::ByteVector(window->bytes.data() + from, static_cast<unsigned>(count)));
    position_ += count;
  }
  return block;
}

// Past the end is allowed, as on a real file; before the start is the start.
void ReadOnlyStream::seek(long offset, Position from) {
  std::uint64_t base = 0;
  if (from == Current) base = position_;
  if (from == End) base = size_;
  if (offset >= 0) {
    position_ = base + static_cast<std::uint64_t>(offset);  // both below 2^63: no wrap
  } else {
    const std::uint64_t back = static_cast<std::uint64_t>(-(offset + 1)) + 1;
    position_ = base - std::min(base, back);
  }
}

long ReadOnlyStream::tell() const {
  return static_cast<long>(std::min<std::uint64_t>(position_, std::numeric_limits<long>::max()));
}

}  // namespace pellorin::tags
