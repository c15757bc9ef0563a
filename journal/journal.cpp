#include "journal.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <unordered_map>
#include <utility>

namespace pellorin::journal {
namespace {

constexpr std::string_view kHeader = "pellorin journal 2\n";
constexpr std::string_view kFirstHeader = "pellorin journal 1\n";  // written after the moves
constexpr std::string_view kSuffix = ".journal";

bool NeedsEscape(unsigned char byte) { return byte <= ' ' || byte == '%' || byte == 0x7f; }

// Runs of plain bytes go in whole; most names have few bytes to escape, if any.
void AppendEncoded(std::string& out, std::string_view text) {
  constexpr char kHex[] = "0123456789ABCDEF";
  std::size_t plain = 0;
  for (std::size_t at = 0; at < text.size(); ++at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (!NeedsEscape(byte)) continue;
    out.append(text.substr(plain, at - plain));
    const char escape[] = {'%', kHex[byte >> 4], kHex[byte & 0xf]};
    out.append(escape, 3);
    plain = at + 1;
  }
  out.append(text.substr(plain));
}

// One record, built at the end of the text it goes into, and ended by a newline when done.
class RecordText {
 public:
  RecordText(std::string& out, std::string_view kind) : out_(out) { out_.append(kind); }
  ~RecordText() { out_.push_back('\n'); }
  RecordText(const RecordText&) = delete;
  RecordText& operator=(const RecordText&) = delete;

  RecordText& Text(std::string_view field) {
    out_.push_back(' ');
    AppendEncoded(out_, field);
    return *this;
  }
  RecordText& Number(std::integral auto value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out_.push_back(' ');
    out_.append(digits, end);
    return *this;
  }

 private:
  std::string& out_;
};

template <typename Integer>
bool ParseNumber(std::string_view text, Integer& value) {
  const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
  return failure == std::errc() && end == text.data() + text.size();
}

// A record's fields; a record of more fields than any has comes back empty.
struct Fields {
  std::array<std::string_view, 8> field;
  std::size_t count = 0;

  explicit Fields(std::string_view line) {
    for (;;) {
      if (count == field.size()) {
        count = 0;
        return;
      }
      const auto blank = line.find(' ');
      field[count++] = line.substr(0, blank);
      if (blank == std::string_view::npos) return;
      line.remove_prefix(blank + 1);
    }
  }
  bool Decode(std::size_t at, std::string& text) const {
    auto decoded = DecodeField(field[at]);
    if (decoded) text = std::move(*decoded);
    return decoded.has_value();
  }
};

// Version 1: "move <name> <from> <to> <size> <modified> <volume> <file>", after the move.
bool ParseFirstMove(const Fields& fields, JournaledMove& move) {
  std::uint64_t volume = 0;
  return fields.count == 8 && fields.Decode(1, move.name) && fields.Decode(2, move.source) &&
         fields.Decode(3, move.destination) && ParseNumber(fields.field[4], move.stamp.size) &&
         ParseNumber(fields.field[5], move.stamp.modified) &&
         ParseNumber(fields.field[6], volume) && ParseNumber(fields.field[7], move.stamp.file);
}

bool ParseMove(const Fields& fields, MoveTicket& ticket, JournaledMove& move) {
  move.outcome = MoveOutcome::Unknown;
  return fields.count == 8 && ParseNumber(fields.field[1], ticket) && fields.Decode(2, move.name) &&
         fields.Decode(3, move.source) && fields.Decode(4, move.destination) &&
         ParseNumber(fields.field[5], move.stamp.size) &&
         ParseNumber(fields.field[6], move.stamp.modified) &&
         ParseNumber(fields.field[7], move.stamp.file);
}

bool ParseRun(const Fields& fields, JournaledRun& run) {
  return fields.count == 5 && ParseNumber(fields.field[1], run.startedAt) &&
         fields.Decode(2, run.pattern) && fields.Decode(3, run.root) &&
         fields.Decode(4, run.sourceFolder);
}

// A journal being read: the run so far, and where each ticket's move is in it.
struct Reading {
  JournaledRun& run;
  bool firstVersion = false;
  bool hasRun = false;
  std::unordered_map<MoveTicket, std::size_t> moveOf;

  JournaledMove* Ticket(std::string_view field) {
    MoveTicket ticket = 0;
    if (!ParseNumber(field, ticket)) return nullptr;
    const auto found = moveOf.find(ticket);
    return found == moveOf.end() ? nullptr : &run.moves[found->second];
  }
  bool Outcome(const Fields& fields) {
    const auto kind = fields.field[0];
    JournaledMove* move = fields.count >= 2 ? Ticket(fields.field[1]) : nullptr;
    if (move == nullptr) return false;
    if (kind == "done" && fields.count == 2) {
      move->outcome = MoveOutcome::Moved;
    } else if (kind == "failed" && fields.count == 2) {
      move->outcome = MoveOutcome::Failed;
    } else if (kind == "copied" && fields.count == 5) {
      FileStamp stamp;
      if (!ParseNumber(fields.field[2], stamp.size) ||
          !ParseNumber(fields.field[3], stamp.modified) ||
          !ParseNumber(fields.field[4], stamp.file)) {
        return false;
      }
      move->stamp = stamp;
      move->outcome = MoveOutcome::Moved;
    } else {
      return false;
    }
    return true;
  }
  bool Move(const Fields& fields) {
    JournaledMove move;
    MoveTicket ticket = run.moves.size();
    if (firstVersion ? !ParseFirstMove(fields, move) : !ParseMove(fields, ticket, move)) {
      return false;
    }
    moveOf[ticket] = run.moves.size();
    run.moves.push_back(std::move(move));
    return true;
  }

  // One record; false for a line that is not understood.
  bool Apply(std::string_view line) {
    const Fields fields(line);
    const auto kind = fields.count > 0 ? fields.field[0] : std::string_view();
    std::size_t index = 0;
    std::string path;
    if (kind == "run" && !hasRun) return hasRun = ParseRun(fields, run);
    if (!hasRun) return false;
    if (kind == "move") return Move(fields);
    if (kind == "done" || kind == "copied" || kind == "failed") return Outcome(fields);
    if (kind == "folder" && fields.count == 2 && fields.Decode(1, path)) {
      run.folders.push_back({std::move(path)});
    } else if (kind == "back" && fields.count == 2 && ParseNumber(fields.field[1], index) &&
               index < run.moves.size()) {
      run.moves[index].movedBack = true;
    } else if (kind == "removed" && fields.count == 2 && fields.Decode(1, path)) {
      for (auto& folder : run.folders) folder.removed = folder.removed || folder.path == path;
    } else if (kind == "end") {
      run.ended = true;
    } else if (kind == "undone" || kind == "partly") {
      run.undone = kind == "undone";
      run.partlyUndone = !run.undone;
    } else {
      return false;
    }
    return true;
  }
};

}  // namespace

std::string EncodeField(std::string_view text) {
  std::string field;
  field.reserve(text.size());
  AppendEncoded(field, text);
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
  std::string line;
  RecordText(line, "run")
      .Number(run.startedAt)
      .Text(run.pattern)
      .Text(run.root)
      .Text(run.sourceFolder);
  return line;
}
std::string BackRecord(std::size_t index) {
  std::string line;
  RecordText(line, "back").Number(index);
  return line;
}
std::string RemovedRecord(std::string_view folder) {
  std::string line;
  RecordText(line, "removed").Text(folder);
  return line;
}
std::string UndoneRecord(std::int64_t at, bool everythingBack) {
  std::string line;
  RecordText(line, everythingBack ? "undone" : "partly").Number(at);
  return line;
}

std::optional<JournaledRun> ParseJournal(std::string name, std::string_view text) {
  JournaledRun run;
  Reading reading{
      .run = run, .firstVersion = text.starts_with(kFirstHeader), .hasRun = false, .moveOf = {}};
  if (!reading.firstVersion && !text.starts_with(kHeader)) return std::nullopt;
  text.remove_prefix(kHeader.size());
  run.name = std::move(name);
  for (auto end = text.find('\n'); end != std::string_view::npos; end = text.find('\n')) {
    reading.Apply(text.substr(0, end));
    text.remove_prefix(end + 1);
  }
  if (!reading.hasRun) return std::nullopt;
  run.ended = run.ended || reading.firstVersion;
  return run;
}

std::string* JournalWriter::Records() { return failed_ ? nullptr : &pending_; }

std::error_code JournalWriter::WriteOut(bool durable) {
  if (failed_) return failure_;
  if (pending_.empty() && !(durable && unflushed_)) return {};
  std::error_code failure;
  if (!file_) file_ = open_(failure);
  if (!failure && !file_) failure = std::make_error_code(std::errc::io_error);
  if (!failure && !pending_.empty()) failure = file_->Append(pending_);
  unflushed_ = !durable;
  if (!failure && durable) failure = file_->MakeDurable();
  pending_.clear();
  if (failure) Fail(failure);
  return failure;
}

// What was durable stays: a run that filled the disk is the very run to undo.
void JournalWriter::Fail(std::error_code failure) {
  failed_ = true;
  failure_ = failure;
  file_.reset();
  err_ << "pellorin-move: " << whatIsLost_ << ": its journal could not be written ("
       << failure.message() << ")";
  if (!progress_.empty()) err_ << "; " << progress_;
  err_ << '\n';
  err_.flush();
}

RunJournal::RunJournal(const platform::StateFolder& folder, JournaledRun run, std::ostream& err,
                       JournalWriter::Opener open)
    : folder_(folder),
      run_(std::move(run)),
      writer_(open ? std::move(open) : JournalWriter::Opener([this](std::error_code& failure) {
                return Create(failure);
              }),
              err, "the run stops") {}

RunJournal::~RunJournal() {
  if (started_) {
    if (auto* records = writer_.Records()) RecordText(*records, "end").Number(run_.startedAt);
  }
  Commit();
}

void RunJournal::Folder(std::string_view path) {
  if (auto* records = Records()) RecordText(*records, "folder").Text(path);
}

void RunJournal::Move(MoveTicket ticket, std::string_view name, std::string_view source,
                      std::string_view destination, const FileStamp& sourceStamp) {
  auto* records = Records();
  if (records == nullptr) return;
  RecordText(*records, "move")
      .Number(ticket)
      .Text(name)
      .Text(source)
      .Text(destination)
      .Number(sourceStamp.size)
      .Number(sourceStamp.modified)
      .Number(sourceStamp.file);
  ++moves_;
}

// A failure says how far the journal holds for certain.
std::error_code RunJournal::WriteOut(bool durable) {
  writer_.SetProgress("it holds the run's first " + std::to_string(durableMoves_) +
                      " moves for certain, and an undo will look for any after them");
  const auto failure = durable ? writer_.Commit() : writer_.Write();
  if (!failure && durable) durableMoves_ = moves_;
  return failure;
}

void RunJournal::Done(MoveTicket ticket) {
  if (auto* records = Records()) RecordText(*records, "done").Number(ticket);
}

void RunJournal::Copied(MoveTicket ticket, const FileStamp& stamp) {
  if (auto* records = Records()) {
    RecordText(*records, "copied")
        .Number(ticket)
        .Number(stamp.size)
        .Number(stamp.modified)
        .Number(stamp.file);
  }
}

void RunJournal::Failed(MoveTicket ticket) {
  if (auto* records = Records()) RecordText(*records, "failed").Number(ticket);
}

// The journal's first lines come with its first record.
std::string* RunJournal::Records() {
  auto* records = writer_.Records();
  if (records != nullptr && !started_) {
    records->append(kHeader).append(RunRecord(run_));
    started_ = true;
  }
  return records;
}

// Named after the time the run started, and never over another run's journal.
std::unique_ptr<platform::AppendFile> RunJournal::Create(std::error_code& failure) {
  if ((failure = folder_.Create())) return nullptr;
  const std::string base = RunNameFor(run_.startedAtMilliseconds);
  std::unique_ptr<platform::AppendFile> file;
  for (int attempt = 1; attempt < 100 && !file; ++attempt) {
    run_.name = attempt == 1 ? base : base + "-" + std::to_string(attempt);
    file = folder_.CreateNew(run_.name + std::string(kSuffix), failure);
    if (failure != std::errc::file_exists) break;
  }
  if (!file) return nullptr;
  const auto names = JournaledRunNames(folder_);
  for (std::size_t old = kJournalsKept; old < names.size(); ++old) {
    if (names[old] != run_.name) folder_.Remove(names[old] + std::string(kSuffix));
  }
  return file;
}

// After whatever the interrupted writer left: a line cut short stays apart, and is ignored.
UndoJournal::UndoJournal(const platform::StateFolder& folder, const std::string& run,
                         std::ostream& err)
    : writer_([&folder, name = run + std::string(kSuffix)](
                  std::error_code& failure) { return folder.OpenToAppend(name, failure); },
              err, "the undo cannot be resumed from where it is") {
  writer_.Records()->push_back('\n');
}

void UndoJournal::FolderRemoved(std::string_view folder) {
  if (auto* records = writer_.Records()) records->append(RemovedRecord(folder));
}

void UndoJournal::Moved(MoveTicket ticket, std::string_view, std::string_view, std::string_view) {
  if (auto* records = writer_.Records()) records->append(BackRecord(ticket));
}

void UndoJournal::Finish(std::int64_t at, bool everythingBack) {
  if (auto* records = writer_.Records()) records->append(UndoneRecord(at, everythingBack));
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

std::string LocalTime(std::int64_t at, const char* format) {
  const std::time_t time = static_cast<std::time_t>(at);
  char text[64] = {};
  const std::tm* local = std::localtime(&time);
  if (local == nullptr || std::strftime(text, sizeof text, format, local) == 0) {
    return std::to_string(at);
  }
  return text;
}

std::string RunNameFor(std::int64_t startedAtMilliseconds) {
  const auto seconds = static_cast<std::time_t>(startedAtMilliseconds / 1000);
  std::tm utc{};
#ifdef _WIN32
  gmtime_s(&utc, &seconds);
#else
  gmtime_r(&seconds, &utc);
#endif
  char text[32] = {};
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &utc);
  char fraction[8] = {};
  std::snprintf(fraction, sizeof fraction, ".%03d", static_cast<int>(startedAtMilliseconds % 1000));
  return std::string(text) + fraction;
}

}  // namespace pellorin::journal
