#include "platform/read_only_file.h"

#include <cerrno>

#include "paths.h"
#include "system_calls.h"

namespace pellorin::platform {
namespace {

class PosixReadOnlyFile final : public ReadOnlyFile {
 public:
  PosixReadOnlyFile(posix::SystemCalls& calls, int fd, std::uint64_t size)
      : calls_(calls), fd_(fd), size_(size) {}
  ~PosixReadOnlyFile() override { calls_.Close(fd_); }
  PosixReadOnlyFile(const PosixReadOnlyFile&) = delete;
  PosixReadOnlyFile& operator=(const PosixReadOnlyFile&) = delete;

  std::uint64_t Size() const override { return size_; }

 protected:
  std::optional<std::size_t> ReadSomeAt(std::uint64_t offset, std::span<char> into) override {
    for (;;) {
      const ssize_t got = calls_.Pread(fd_, into.data(), into.size(), static_cast<off_t>(offset));
      if (got >= 0) return static_cast<std::size_t>(got);
      if (errno != EINTR) return std::nullopt;
    }
  }

 private:
  posix::SystemCalls& calls_;
  const int fd_;
  const std::uint64_t size_;
};

}  // namespace

std::unique_ptr<ReadOnlyFile> ReadOnlyFile::Open(std::string_view path) {
  auto& calls = posix::SystemCalls::Real();
  const auto kernelPath = posix::KernelPath(path);
  if (!kernelPath || path.empty()) return nullptr;
  const int fd = calls.Open(kernelPath->c_str(), posix::kOpenWithoutWaiting, 0);
  if (fd < 0) return nullptr;
  struct stat info {};
  if (calls.Fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    calls.Close(fd);
    return nullptr;
  }
  return std::make_unique<PosixReadOnlyFile>(calls, fd, static_cast<std::uint64_t>(info.st_size));
}

}  // namespace pellorin::platform
