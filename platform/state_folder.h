#pragma once

// The one folder where pellorin-move keeps files of its own between runs: the journals of its
// runs. Private to the user; a file in it only ever grows, and what was made durable survives a
// power cut.

#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace pellorin::platform {

// A file that only grows.
class AppendFile {
 public:
  virtual ~AppendFile() = default;
  virtual std::error_code Append(std::string_view bytes) = 0;
  // Everything appended so far survives a power cut.
  virtual std::error_code MakeDurable() = 0;
};

class StateFolder {
 public:
  // $XDG_STATE_HOME/pellorin, by default ~/.local/state/pellorin; %LOCALAPPDATA%\Pellorin on
  // Windows.
  static std::string DefaultPath();
  explicit StateFolder(std::string path) : path_(std::move(path)) {}

  const std::string& Path() const { return path_; }
  // The folder, and its parents where they are missing.
  std::error_code Create() const;
  // The names of the files in it; none when it cannot be read.
  std::vector<std::string> FileNames() const;
  // A file that did not exist, never an existing one; its name is durable once this returns.
  std::unique_ptr<AppendFile> CreateNew(std::string_view name, std::error_code& failure) const;
  // An existing file, appended to at its end.
  std::unique_ptr<AppendFile> OpenToAppend(std::string_view name, std::error_code& failure) const;
  std::error_code Read(std::string_view name, std::string& bytes) const;
  std::error_code Remove(std::string_view name) const;

 private:
  std::string PathOf(std::string_view name) const;

  std::string path_;
};

}  // namespace pellorin::platform
