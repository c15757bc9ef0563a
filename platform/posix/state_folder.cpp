#include "platform/state_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "append_file.h"
#include "paths.h"

namespace pellorin::platform {
namespace {

std::error_code LastError() { return {errno, std::generic_category()}; }

class PosixAppendFile final : public AppendFile {
 public:
  PosixAppendFile(posix::SystemCalls& calls, int fd) : calls_(calls), fd_(fd) {}
  ~PosixAppendFile() override { calls_.Close(fd_); }
  PosixAppendFile(const PosixAppendFile&) = delete;
  PosixAppendFile& operator=(const PosixAppendFile&) = delete;

  std::error_code Append(std::string_view bytes) override {
    while (!bytes.empty()) {
      const ssize_t written = calls_.Write(fd_, bytes.data(), bytes.size());
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0)
        return written < 0 ? LastError() : std::make_error_code(std::errc::io_error);
      bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return {};
  }
  // An append changes the size, which fdatasync would flush too: fsync costs the same.
  std::error_code MakeDurable() override {
    return calls_.Fsync(fd_) == 0 ? std::error_code() : LastError();
  }

 private:
  posix::SystemCalls& calls_;
  int fd_;
};

std::error_code FlushFolder(const std::string& path) {
  const int folder = ::open(path.empty() ? "/" : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return LastError();
  const auto failure = ::fsync(folder) == 0 ? std::error_code() : LastError();
  ::close(folder);
  return failure;
}

}  // namespace

std::string StateFolder::DefaultPath() {
  const char* state = std::getenv("XDG_STATE_HOME");
  const std::string base = (state != nullptr && *state == '/')
                               ? std::string(state)
                               : posix::JoinPath(posix::HomeFolder(), ".local/state");
  return posix::JoinPath(base, "pellorin");
}

std::string StateFolder::PathOf(std::string_view name) const {
  return posix::JoinPath(path_, name);
}

// Private, as the journals name the user's files. A folder made here is made durable in its
// parent, so that a power cut cannot take the journals' folder away with the first of them.
std::error_code StateFolder::Create() const {
  for (std::size_t slash = path_.find('/', 1);; slash = path_.find('/', slash + 1)) {
    const std::string folder = path_.substr(0, slash);
    if (::mkdir(folder.c_str(), 0700) == 0) {
      FlushFolder(folder.substr(0, folder.rfind('/')));
    } else if (errno != EEXIST) {
      return LastError();
    }
    if (slash == std::string::npos) return {};
  }
}

std::vector<std::string> StateFolder::FileNames() const {
  std::vector<std::string> names;
  DIR* folder = ::opendir(path_.c_str());
  if (folder == nullptr) return names;
  while (const dirent* entry = ::readdir(folder)) {
    if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
  }
  ::closedir(folder);
  return names;
}

std::unique_ptr<AppendFile> StateFolder::CreateNew(std::string_view name,
                                                   std::error_code& failure) const {
  auto file = posix::OpenAppendFile(posix::SystemCalls::Real(), PathOf(name),
                                    O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, failure);
  if (!file) return file;
  failure = FlushFolder(path_);
  return failure ? nullptr : std::move(file);
}

std::unique_ptr<AppendFile> StateFolder::OpenToAppend(std::string_view name,
                                                      std::error_code& failure) const {
  return posix::OpenAppendFile(posix::SystemCalls::Real(), PathOf(name),
                               O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC, failure);
}

std::error_code StateFolder::Read(std::string_view name, std::string& bytes) const {
  const int fd = ::open(PathOf(name).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return LastError();
  bytes.clear();
  char buffer[1 << 16];
  ssize_t got = 0;
  while ((got = ::read(fd, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR)) {
    if (got > 0) bytes.append(buffer, static_cast<std::size_t>(got));
  }
  const auto failure = got < 0 ? LastError() : std::error_code();
  ::close(fd);
  return failure;
}

std::error_code StateFolder::Remove(std::string_view name) const {
  return ::unlink(PathOf(name).c_str()) == 0 ? std::error_code() : LastError();
}

}  // namespace pellorin::platform

namespace pellorin::posix {

std::unique_ptr<platform::AppendFile> OpenAppendFile(SystemCalls& calls, const std::string& path,
                                                     int flags, std::error_code& failure) {
  const int fd = calls.Open(path.c_str(), flags, 0600);
  if (fd < 0) {
    failure = {errno, std::generic_category()};
    return nullptr;
  }
  failure.clear();
  return std::make_unique<platform::PosixAppendFile>(calls, fd);
}

}  // namespace pellorin::posix
