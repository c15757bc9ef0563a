#include "status_line.h"

#include <cstdio>

namespace pellorin::cli {
namespace {

// 1023 bytes, 4.5 KiB, 12.0 MiB, 3.4 GiB.
std::string Size(double bytes) {
  const char* units[] = {"bytes", "KiB", "MiB", "GiB", "TiB"};
  int unit = 0;
  while (bytes >= 1024 && unit < 4) {
    bytes /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
  return text;
}

// 0:07, 12:34, 1:02:03.
std::string Duration(double seconds) {
  const auto whole = static_cast<long>(seconds + 0.5);
  char text[32];
  if (whole >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
  }
  return text;
}

}  // namespace

void StatusLine::Listed(std::size_t files, std::uint64_t bytes) {
  files_ = files;
  bytes_ = bytes;
  filesDone_ = 0;
  bytesDone_ = 0;
  listed_ = true;
  watching_ = false;
  started_ = now_();
  Draw();
}

void StatusLine::FileDone(std::uint64_t bytes) {
  ++filesDone_;
  bytesDone_ += bytes;
  if (listed_ && now_() - drawn_ >= kRedrawInterval) Draw();
}

void StatusLine::Waiting(std::size_t songs) {
  if (watching_ && songs == waiting_) return;
  filed_ += watching_ ? 0 : filesDone_;
  waiting_ = songs;
  watching_ = listed_ = true;
  Draw();
}

// The rate comes from everything done since the listing; the time left from the bytes where there
// are any to copy, else from the songs.
std::string StatusLine::Text(Clock::time_point now) const {
  if (watching_) {
    return "watching: " + std::to_string(filed_) + " songs filed, " + std::to_string(waiting_) +
           " settling";
  }
  std::string text = std::to_string(filesDone_) + "/" + std::to_string(files_) + " songs";
  const double seconds = std::chrono::duration<double>(now - started_).count();
  const bool byBytes = bytes_ > 0;
  const double done = byBytes ? static_cast<double>(bytesDone_) : static_cast<double>(filesDone_);
  const double total = byBytes ? static_cast<double>(bytes_) : static_cast<double>(files_);
  if (byBytes) text += "  " + Size(done) + " of " + Size(total);
  if (seconds < 1 || done <= 0) return text;
  const double rate = done / seconds;
  text += "  " + (byBytes ? Size(rate) : std::to_string(static_cast<long>(rate)) + " songs") + "/s";
  if (done < total) text += "  " + Duration((total - done) / rate) + " left";
  return text;
}

void StatusLine::Draw() {
  if (finished_ || !listed_) return;
  drawn_ = now_();
  const std::string text = Text(drawn_);
  // Blanks over what is left of a longer line; no escape sequence, which not every console obeys.
  const std::size_t blanks = shownWidth_ > text.size() ? shownWidth_ - text.size() : 0;
  err_ << '\r' << text << std::string(blanks, ' ') << '\r';
  err_.flush();
  shownWidth_ = text.size();
}

void StatusLine::Clear() {
  if (shownWidth_ == 0) return;
  err_ << '\r' << std::string(shownWidth_, ' ') << '\r';
  err_.flush();
  shownWidth_ = 0;
}

void StatusLine::Finish() {
  Clear();
  finished_ = true;
}

}  // namespace pellorin::cli
