#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/folder_spellings.h"
#include "platform/group_writer.h"
#include "sorting/file_system.h"
#include "wide_text.h"

namespace pellorin::win32 {

class Flushers;  // threads that flush many files at once

// The Windows file system through the wide-character API, with paths in the extended form so
// that none is too long. A move never replaces a file. On one volume it is one rename, done at
// once. Across volumes the song is copied into a hidden temporary of our own beside its
// destination and waits there with others: a group of songs is flushed together, published under
// their names, the names flushed, and only then does each source go, if it is still the file that
// was copied. A group is made durable on a thread of its own while the next is copied (see
// GroupWriter). However the run ends, a song is then whole in one place or both, never partly
// anywhere, and only the songs of the group being made durable can be in both.
class Win32FileSystem final : public FileSystemObject {
 public:
  Win32FileSystem();
  // The group being made durable is finished; a group still gathering is abandoned: its sources
  // stay.
  ~Win32FileSystem() override;
  Win32FileSystem(const Win32FileSystem&) = delete;
  Win32FileSystem& operator=(const Win32FileSystem&) = delete;

  std::string GetParentFolderName(std::string_view path) const override;
  bool FolderExists(std::string_view path) const override;
  bool PathExists(std::string_view path) const override;
  std::string BuildPath(std::string_view path, std::string_view name) const override;
  std::error_code CreateFolder(std::string_view path) override;
  // One move, finished before it returns, with any pending ones.
  std::error_code MoveFile(std::string_view source, std::string_view destination) override;
  bool IsFolderName(std::string_view name) const override;
  std::string FolderNameAsKept(std::string_view name) const override;
  std::string FolderNameFor(std::string_view root, std::string_view name) const override;
  void PrepareRun(std::string_view, std::string_view) override { spellings_.Forget(); }
  std::optional<std::error_code> StartMove(std::string_view source, std::string_view destination,
                                           MoveTicket ticket) override;
  void FinishMoves(PendingMoves which, std::vector<FinishedMove>& finished) override;
  std::error_code RemoveFolder(std::string_view path) override;
  std::optional<std::vector<std::string>> FolderContents(std::string_view path) const override;
  std::optional<FileStamp> Stamp(std::string_view path) const override;
  std::error_code RemoveDuplicate(std::string_view path, std::string_view original) override;
  bool MovesCopy(std::string_view sourceFolder, std::string_view root) const override;
  std::int64_t CoarsestTimeStep() const override { return 20'000'000; }  // FAT's 2 s

  // Called after each piece of a copy across volumes, so that a test can play another program
  // that touches the source meanwhile.
  void SetCopyObserver(std::function<void()> observer) { copyObserver_ = std::move(observer); }

 private:
  mutable platform::FolderSpellings spellings_{ComposedText};
  struct PendingSong;
  struct GroupSteps;
  using Clock = std::chrono::steady_clock;

  std::error_code CopyIntoGroup(const std::wstring& from, const std::wstring& to,
                                MoveTicket ticket);
  bool GroupIsDue() const;
  enum class Durable { Meanwhile, Now };
  void CloseGroup(Durable when = Durable::Meanwhile);
  std::vector<FinishedMove> MakeDurable(std::vector<PendingSong>& group);  // the writer's
  void TidyOnce(const std::wstring& folder);

  // The run's thread only.
  std::function<void()> copyObserver_;
  std::vector<char> copyBuffer_;          // one for the whole run, not one per file
  std::set<std::wstring> tidiedFolders_;  // where this run has looked for dead runs' leftovers
  std::vector<PendingSong> group_;        // copied, not yet handed to the writer
  std::uint64_t groupBytes_ = 0;
  Clock::time_point groupStarted_;
  std::uint32_t groupVolume_ = 0;       // where the group's copies are
  std::vector<FinishedMove> finished_;  // taken from the writer, not yet handed to the run

  std::unique_ptr<Flushers> flushers_;  // the writer's thread only
  platform::GroupWriter writer_;        // last: stopped before anything it uses goes
};

}  // namespace pellorin::win32
