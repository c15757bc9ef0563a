#include "journal.h"

#include <algorithm>
#include <charconv>
#include <ctime>

namespace pellorin::cli {
namespace {

constexpr std::string_view kHeader = "pellorin journal 1\n";
constexpr std::string_view kSuffix = ".journal";

bool NeedsEscape(unsigned char byte) { return byte <= ' ' || byte == '%' || byte == 0x7f; }

std::string Number(std::integral auto value) { return std::to_string(value); }

template <typename Integer>
bool ParseNumber(std::string_view text, Integer& value) {
  const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
  return failure == std::errc() && end == text.data() + text.size();
}

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  for (auto blank = line.find(' '); blank != std::string_view::npos; blank = line.find(' ')) {
    fields.push_back(line.substr(0, blank));
    line.remove_prefix(blank + 1);
  }
  fields.push_back(line);
  return fields;
}

std::string Line(std::initializer_list<std::string_view> fields) {
  std::string line;
  for (const auto field : fields) line.append(line.empty() ? "" : " ").append(field);
  return line + '\n';
}

std::string MoveRecord(const JournaledMove& move) {
  return Line({"move", EncodeField(move.name), EncodeField(move.source),
               EncodeField(move.destination), Number(move.stamp.size), Number(move.stamp.modified),
               Number(move.stamp.volume), Number(move.stamp.file)});
}

bool ParseMove(const std::vector<std::string_view>& fields, JournaledMove& move) {
  std::optional<std::string> name, source, destination;
  if (fields.size() != 8 || !(name = DecodeField(fields[1])) ||
      !(source = DecodeField(fields[2])) || !(destination = DecodeField(fields[3]))) {
    return false;
  }
  move.name = std::move(*name);
  move.source = std::move(*source);
  move.destination = std::move(*destination);
  return ParseNumber(fields[4], move.stamp.size) && ParseNumber(fields[5], move.stamp.modified) &&
         ParseNumber(fields[6], move.stamp.volume) && ParseNumber(fields[7], move.stamp.file);
}

bool ParseRun(const std::vector<std::string_view>& fields, JournaledRun& run) {
  std::optional<std::string> pattern, root, sourceFolder;
  if (fields.size() != 5 || !ParseNumber(fields[1], run.startedAt) ||
      !(pattern = DecodeField(fields[2])) || !(root = DecodeField(fields[3])) ||
      !(sourceFolder = DecodeField(fields[4]))) {
    return false;
  }
  run.pattern = std::move(*pattern);
  run.root = std::move(*root);
  run.sourceFolder = std::move(*sourceFolder);
  return true;
}

// One record; false for a line that is not understood.
bool ApplyRecord(std::string_view line, JournaledRun& run, bool& hasRun) {
  const auto fields = Fields(line);
  const auto kind = fields.front();
  std::size_t index = 0;
  if (kind == "run" && !hasRun) return hasRun = ParseRun(fields, run);
  if (!hasRun) return false;
  if (kind == "move") {
    JournaledMove move;
    if (!ParseMove(fields, move)) return false;
    run.moves.push_back(std::move(move));
  } else if (kind == "folder" && fields.size() == 2) {
    auto path = DecodeField(fields[1]);
    if (!path) return false;
    run.folders.push_back({std::move(*path)});
  } else if (kind == "back" && fields.size() == 2 && ParseNumber(fields[1], index) &&
             index < run.moves.size()) {
    run.moves[index].movedBack = true;
  } else if (kind == "removed" && fields.size() == 2) {
    const auto path = DecodeField(fields[1]);
    for (auto& folder : run.folders) folder.removed = folder.removed || folder.path == path;
  } else if (kind == "undone") {
    run.undone = true;
  } else {
    return false;
  }
  return true;
}

}  // namespace

std::string EncodeField(std::string_view text) {
  constexpr char kHex[] = "0123456789ABCDEF";
  std::string field;
  field.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (!NeedsEscape(byte)) {
      field.push_back(c);
    } else {
      field.push_back('%');
      field.push_back(kHex[byte >> 4]);
      field.push_back(kHex[byte & 0xf]);
    }
  }
  return field;
}

std::optional<std::string> DecodeField(std::string_view field) {
  std::string text;
  text.reserve(field.size());
  for (std::size_t at = 0; at < field.size(); ++at) {
    if (field[at] != '%') {
      text.push_back(field[at]);
      continue;
    }
    unsigned byte = 0;
    const auto hex = field.substr(at + 1, 2);
    const auto [end, failure] = std::from_chars(hex.data(), hex.data() + hex.size(), byte, 16);
    if (hex.size() != 2 || failure != std::errc() || end != hex.data() + 2) return std::nullopt;
    text.push_back(static_cast<char>(byte));
    at += 2;
  }
  return text;
}

std::string RunRecord(const JournaledRun& run) {
  return Line({"run", Number(run.startedAt), EncodeField(run.pattern), EncodeField(run.root),
               EncodeField(run.sourceFolder)});
}
std::string BackRecord(std::size_t index) { return Line({"back", Number(index)}); }
std::string RemovedRecord(std::string_view folder) {
  return Line({"removed", EncodeField(folder)});
}
std::string UndoneRecord(std::int64_t at) { return Line({"undone", Number(at)}); }

std::optional<JournaledRun> ParseJournal(std::string name, std::string_view text) {
  if (!text.starts_with(kHeader)) return std::nullopt;
  text.remove_prefix(kHeader.size());
  JournaledRun run;
  run.name = std::move(name);
  bool hasRun = false;
  for (auto end = text.find('\n'); end != std::string_view::npos; end = text.find('\n')) {
    ApplyRecord(text.substr(0, end), run, hasRun);
    text.remove_prefix(end + 1);
  }
  if (!hasRun) return std::nullopt;
  return run;
}

void JournalWriter::Record(std::string_view line) {
  if (!failed_) pending_.append(line);
}

void JournalWriter::Commit() {
  if (failed_ || pending_.empty()) return;
  std::error_code failure;
  if (!file_) file_ = open_(failure);
  if (!failure && !file_) failure = std::make_error_code(std::errc::io_error);
  if (!failure) failure = file_->Append(pending_);
  if (!failure) failure = file_->MakeDurable();
  pending_.clear();
  if (failure) Fail(failure);
}

void JournalWriter::Fail(std::error_code failure) {
  failed_ = true;
  file_.reset();
  if (onFailure_) onFailure_();
  err_ << "pellorin-move: " << whatIsLost_ << ": its journal could not be written ("
       << failure.message() << ")\n";
  err_.flush();
}

MoveJournal::MoveJournal(const platform::StateFolder& folder, const FileSystemObject& fileSystem,
                         JournaledRun run, std::ostream& err)
    : folder_(folder),
      fileSystem_(fileSystem),
      run_(std::move(run)),
      writer_([this](std::error_code& failure) { return Create(failure); }, err,
              "this run cannot be undone",
              // Half a journal would undo half the run and call it undone.
              [this] {
                if (created_) folder_.Remove(run_.name + std::string(kSuffix));
              }) {}

void MoveJournal::FolderCreated(std::string_view folder) {
  Record(Line({"folder", EncodeField(folder)}));
}

void MoveJournal::Moved(MoveTicket, std::string_view name, std::string_view source,
                        std::string_view destination) {
  const JournaledMove move{.name = std::string(name),
                           .source = std::string(source),
                           .destination = std::string(destination),
                           .stamp = fileSystem_.Stamp(destination).value_or(FileStamp{}),
                           .movedBack = false};
  Record(MoveRecord(move));
}

void MoveJournal::Record(std::string_view line) {
  if (!started_) {
    writer_.Record(kHeader);
    writer_.Record(RunRecord(run_));
    started_ = true;
  }
  writer_.Record(line);
}

// Named after the time the run started, and never over another run's journal.
std::unique_ptr<platform::AppendFile> MoveJournal::Create(std::error_code& failure) {
  if ((failure = folder_.Create())) return nullptr;
  const std::string base = RunNameFor(run_.startedAt);
  std::unique_ptr<platform::AppendFile> file;
  for (int attempt = 1; attempt < 100 && !file; ++attempt) {
    run_.name = attempt == 1 ? base : base + "-" + std::to_string(attempt);
    file = folder_.CreateNew(run_.name + std::string(kSuffix), failure);
    if (failure != std::errc::file_exists) break;
  }
  if (!file) return nullptr;
  created_ = true;
  const auto names = JournaledRunNames(folder_);
  for (std::size_t old = kJournalsKept; old < names.size(); ++old) {
    folder_.Remove(names[old] + std::string(kSuffix));
  }
  return file;
}

// After whatever the interrupted writer left: a line cut short stays apart, and is ignored.
UndoJournal::UndoJournal(const platform::StateFolder& folder, const std::string& run,
                         std::ostream& err)
    : writer_([&folder, name = run + std::string(kSuffix)](
                  std::error_code& failure) { return folder.OpenToAppend(name, failure); },
              err, "the undo cannot be resumed from where it is") {
  writer_.Record("\n");
}

void UndoJournal::FolderRemoved(std::string_view folder) { writer_.Record(RemovedRecord(folder)); }

void UndoJournal::Moved(MoveTicket ticket, std::string_view, std::string_view, std::string_view) {
  writer_.Record(BackRecord(ticket));
}

void UndoJournal::Finish(std::int64_t at) {
  writer_.Record(UndoneRecord(at));
  writer_.Commit();
}

std::vector<std::string> JournaledRunNames(const platform::StateFolder& folder) {
  std::vector<std::string> names;
  for (auto& name : folder.FileNames()) {
    if (name.ends_with(kSuffix)) names.push_back(name.substr(0, name.size() - kSuffix.size()));
  }
  std::sort(names.begin(), names.end(), std::greater<>());
  return names;
}

std::optional<JournaledRun> ReadJournaledRun(const platform::StateFolder& folder,
                                             const std::string& name) {
  std::string text;
  if (folder.Read(name + std::string(kSuffix), text)) return std::nullopt;
  return ParseJournal(name, text);
}

std::string RunNameFor(std::int64_t startedAt) {
  const std::time_t time = static_cast<std::time_t>(startedAt);
  char name[32] = {};
  const std::tm* local = std::localtime(&time);
  if (local == nullptr || std::strftime(name, sizeof name, "%Y%m%d-%H%M%S", local) == 0) {
    return std::to_string(startedAt);
  }
  return name;
}

}  // namespace pellorin::cli
