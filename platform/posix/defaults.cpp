#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "paths.h"
#include "pellorin/version.h"
#include "platform/platform.h"
#include "posix_file_enumeration.h"
#include "posix_file_system.h"

namespace pellorin::platform {
namespace {

// The user's music folder as the desktop names it (XDG_MUSIC_DIR in user-dirs.dirs), else ~/Music.
std::string MusicFolder() {
  const std::string home = posix::HomeFolder();
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  const std::string config =
      (configHome != nullptr && *configHome == '/') ? configHome : home + "/.config";
  std::ifstream dirs(config + "/user-dirs.dirs");
  const std::string key = "XDG_MUSIC_DIR=\"";
  for (std::string line; std::getline(dirs, line);) {
    if (!line.starts_with(key) || !line.ends_with('"')) continue;
    std::string value = line.substr(key.size(), line.size() - key.size() - 1);
    if (value.starts_with("$HOME")) value = home + value.substr(5);
    if (value.starts_with('/') && value != home && value != home + "/") return value;
  }
  return posix::JoinPath(home, "Music");
}

}  // namespace

std::unique_ptr<FileSystemObject> MakeFileSystem() {
  return std::make_unique<posix::PosixFileSystem>();
}

std::unique_ptr<FileEnumeration> MakeFileEnumeration() {
  return std::make_unique<posix::PosixFileEnumeration>();
}

std::string DefaultPattern() { return "/tmp/*.mp3"; }

std::string DefaultRootFolder() { return posix::JoinPath(MusicFolder(), "mp3"); }

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}

void PrepareStandardStreams() {}

bool IsTerminal(StandardStream stream) {
  return ::isatty(stream == StandardStream::Output ? STDOUT_FILENO : STDERR_FILENO) == 1;
}

std::string ProgramVersion() { return version::kDisplay; }

}  // namespace pellorin::platform
