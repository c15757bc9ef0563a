#include "log_display.h"

#include <algorithm>

#include "sorting/results_log.h"

namespace pellorin::design {
namespace {

constexpr std::string_view kLineSeparator = "\u2028";
constexpr std::string_view kParagraphSeparator = "\u2029";
constexpr std::string_view kNewlinePicture = "\u2424";
constexpr unsigned char kSeparatorsLead = 0xE2;  // the first byte of both separators in UTF-8
constexpr unsigned char kDelete = 0x7F;

bool IsControl(unsigned char byte) { return byte < 0x20 || byte == kDelete; }

bool MayNeedPicture(char byte) {
  const auto value = static_cast<unsigned char>(byte);
  return IsControl(value) || value == kSeparatorsLead;
}

// Appends the character at the start of text as shown; returns how many bytes it took.
std::size_t AppendCharacterForDisplay(std::string& shown, std::string_view text) {
  const auto first = static_cast<unsigned char>(text.front());
  if (IsControl(first)) {
    // U+2400 + code, and U+2421 for DEL: E2 90 80 + code and E2 90 A1 in UTF-8.
    const int last = first == kDelete ? 0xA1 : 0x80 + first;
    shown.append("\xE2\x90").push_back(static_cast<char>(last));
    return 1;
  }
  if (text.starts_with(kLineSeparator) || text.starts_with(kParagraphSeparator)) {
    shown.append(kNewlinePicture);
    return kLineSeparator.size();
  }
  shown.push_back(text.front());
  return 1;
}

}  // namespace

void AppendLogPieceForDisplay(std::string& shown, std::string_view piece) {
  const auto split = SplitLogPiece(piece);
  auto entry = split.entry;
  if (split.separated) shown.append(kCrLf);
  while (!entry.empty()) {
    const auto plain = std::find_if(entry.begin(), entry.end(), MayNeedPicture) - entry.begin();
    shown.append(entry.substr(0, static_cast<std::size_t>(plain)));
    entry.remove_prefix(static_cast<std::size_t>(plain));
    if (!entry.empty()) entry.remove_prefix(AppendCharacterForDisplay(shown, entry));
  }
  if (split.ended) shown.append(kCrLf);
}

}  // namespace pellorin::design
