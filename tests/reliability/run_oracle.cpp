#include "run_oracle.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/reference_rules.h"

namespace pellorin::testing {
namespace {

// Built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) about "\"" + std::string(...).
std::string Quoted(std::string_view text) {
  std::string quoted = "\"";
  quoted.append(text).push_back('"');
  return quoted;
}

std::string Printable(std::string_view text) {
  std::string shown;
  for (const char byte : text) {
    const auto c = static_cast<unsigned char>(byte);
    if (c >= 32 && c < 127) {
      shown += static_cast<char>(c);
    } else {
      static constexpr char kHex[] = "0123456789abcdef";
      shown.append("\\x").append(1, kHex[c >> 4]).append(1, kHex[c & 15]);
    }
  }
  return shown;
}

// Reads the log entry by entry; entries are separated by CR LF and may hold CR LF themselves, so
// each one is recognised by its exact expected text.
class LogReader {
 public:
  explicit LogReader(std::string_view log) : log_(log) {}

  bool Take(std::string_view entry) {
    if (log_.substr(at_, entry.size()) != entry) return false;
    const auto end = at_ + entry.size();
    if (end == log_.size()) {
      at_ = end;
      return true;
    }
    if (log_.substr(end, 2) != "\r\n") return false;
    at_ = end + 2;
    return true;
  }
  bool TakeLast(std::string_view entry) { return log_.substr(at_) == entry; }
  std::string Rest() const { return Printable(log_.substr(at_, 120)); }

 private:
  std::string_view log_;
  std::size_t at_ = 0;
};

class Judge {
 public:
  Judge(const RunRecord& run, const FileSystemObject& paths)
      : run_(run),
        paths_(paths),
        log_(run.log),
        before_(Folded(run.before)),
        after_(Folded(run.after)),
        expected_(before_) {}

  RunVerdict Verdict() {
    if (!run_.outcome.inputsAccepted) {
      if (run_.log != run_.logBefore) Problem("a refused run changed the log");
      CompareDisk();
      return verdict_;
    }
    for (const auto& name : run_.offered) {
      if (log_.Take("Error: Cannot list the files " + Quoted(run_.pattern))) {
        verdict_.listingFailed = true;
        ++verdict_.failureEntries;
        break;
      }
      if (!JudgeFile(name)) break;
    }
    if (!verdict_.listingFailed &&
        log_.Take("Error: Cannot list the files " + Quoted(run_.pattern))) {
      verdict_.listingFailed = true;
      ++verdict_.failureEntries;
    }
    if (!log_.TakeLast(std::to_string(verdict_.filesMoved) + "files(s) moved.")) {
      Problem("closing count is not " + std::to_string(verdict_.filesMoved) +
              " at: " + log_.Rest());
    }
    if (run_.outcome.filesMoved != verdict_.filesMoved) Problem("outcome counts other moves");
    if (run_.outcome.errorEntries != verdict_.failureEntries)
      Problem("outcome counts other errors");
    CompareDisk();
    return verdict_;
  }

 private:
  // On a file system that ignores case, "a" and "A" name one file: paths are compared folded.
  std::string Key(std::string path) const {
    if (run_.normalPath) path = run_.normalPath(path);
    const auto& top = run_.caseInsensitiveTop;
    if (top.empty() || !path.starts_with(top)) return path;
    for (char& c : path) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return path;
  }
  DiskState Folded(const DiskState& state) const {
    DiskState folded;
    for (const auto& [path, bytes] : state.files) folded.files.emplace(Key(path), bytes);
    for (const auto& path : state.folders) folded.folders.insert(Key(path));
    return folded;
  }

  // False when the log cannot be followed any further.
  bool JudgeFile(const std::string& name) {
    const std::string source = Key(paths_.BuildPath(run_.sourceFolder, name));
    if (!before_.files.contains(source)) Problem("offered a file that was not there: " + name);
    std::string artist = reference::Artist(reference::Trim(name));
    if (artist.empty()) {
      if (nextAnswer_ >= run_.answers.size()) {
        Problem("more questions than answers");
        return false;
      }
      artist = run_.answers[nextAnswer_++];
    }
    if (artist.empty()) {
      return Failure("Error: Cannot establish directory name for " + Quoted(name), name);
    }
    const std::string folder = paths_.BuildPath(run_.root, artist);
    if (log_.Take("Directory " + Quoted(folder) + " Exists.\r\n")) {
      if (!after_.folders.contains(Key(folder))) Problem("found a folder that is not there");
    } else if (log_.Take("Directory " + Quoted(folder) + " Created.")) {
      if (before_.folders.contains(Key(folder)) || created_.contains(Key(folder))) {
        Problem("created a folder that was already there: " + Printable(folder));
      }
      created_.insert(Key(folder));
    } else {
      return Failure("Error: Cannot create directory " + Quoted(folder), name);
    }
    if (log_.Take("File " + Quoted(name) + " moved.")) {
      Moved(source, Key(paths_.BuildPath(folder, name)));
      return true;
    }
    return Failure("Error moving File " + Quoted(name), name);
  }

  bool Failure(const std::string& entry, const std::string& name) {
    if (!log_.Take(entry)) {
      Problem("no entry the rules allow for " + Printable(name) + " at: " + log_.Rest());
      return false;
    }
    ++verdict_.failureEntries;
    return true;
  }

  void Moved(const std::string& source, const std::string& destination) {
    ++verdict_.filesMoved;
    const auto file = expected_.files.find(source);
    if (file == expected_.files.end()) return;
    if (expected_.files.contains(destination)) {
      Problem("reported moved onto an existing file: " + Printable(destination));
      return;
    }
    auto bytes = std::move(file->second);
    expected_.files.erase(file);
    expected_.files.emplace(destination, std::move(bytes));
  }

  void CompareDisk() {
    expected_.folders.insert(created_.begin(), created_.end());
    for (const auto& [path, bytes] : expected_.files) {
      const auto found = after_.files.find(path);
      if (found == after_.files.end()) {
        Problem("file lost or not where the log says: " + Printable(path));
      } else if (found->second != bytes) {
        Problem("bytes changed: " + Printable(path));
      }
    }
    for (const auto& [path, bytes] : after_.files) {
      if (!expected_.files.contains(path))
        Problem("file that should not be there: " + Printable(path));
    }
    if (after_.folders != expected_.folders) Problem("folders differ from the log's");
  }

  void Problem(std::string problem) { verdict_.problems.push_back(std::move(problem)); }

  const RunRecord& run_;
  const FileSystemObject& paths_;
  LogReader log_;
  const DiskState before_, after_;
  DiskState expected_;
  std::set<std::string, std::less<>> created_;
  std::size_t nextAnswer_ = 0;
  RunVerdict verdict_;
};

}  // namespace

RunVerdict JudgeRun(const RunRecord& run, const FileSystemObject& paths) {
  return Judge(run, paths).Verdict();
}

void AddDiskState(const std::string& top, DiskState& state) {
  namespace fs = std::filesystem;
  state.folders.insert(top);
  for (const auto& entry : fs::recursive_directory_iterator(top)) {
    const std::string path = entry.path().string();
    if (entry.is_directory() && !entry.is_symlink()) {
      state.folders.insert(path);
    } else if (entry.is_other()) {  // a FIFO or a device: reading it could wait for ever
      state.files[path] = "(special file)";
    } else {
      std::ifstream in(path, std::ios::binary);
      state.files[path] = {std::istreambuf_iterator<char>(in), {}};
    }
  }
}

}  // namespace pellorin::testing
