#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

namespace pellorin::platform {

// A regular file opened for reading only, as a song's source is opened for a copy: never through
// a link at its name, never waiting on what is not a regular file (a FIFO, a device), never
// changing its bytes or times. For readers that must not trust what they read, such as tags.
class ReadOnlyFile {
 public:
  virtual ~ReadOnlyFile() = default;
  // Nothing when path cannot be opened so or is no regular file.
  static std::unique_ptr<ReadOnlyFile> Open(std::string_view path);

  // The size when it was opened.
  virtual std::uint64_t Size() const = 0;
  // Fills into from offset; fewer bytes only at the end of the file; nothing on a failure.
  std::optional<std::size_t> ReadAt(std::uint64_t offset, std::span<char> into) {
    std::size_t filled = 0;
    while (filled < into.size()) {
      const auto got = ReadSomeAt(offset + filled, into.subspan(filled));
      if (!got) return std::nullopt;
      if (*got == 0) break;
      filled += *got;
    }
    return filled;
  }

 protected:
  // One read from offset, as the system gives it: some of into, none only at the end of the file.
  virtual std::optional<std::size_t> ReadSomeAt(std::uint64_t offset, std::span<char> into) = 0;
};

}  // namespace pellorin::platform
