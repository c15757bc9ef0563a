#include "terminal_text.h"

namespace pellorin::cli {
namespace {

bool IsControl(unsigned char byte) { return byte < 0x20 || byte == 0x7f; }

// A C1 control in UTF-8 (C2 80 to C2 9F) begins at.
bool IsC1Control(std::string_view text, std::size_t at) {
  if (at + 1 >= text.size() || static_cast<unsigned char>(text[at]) != 0xc2) return false;
  const auto second = static_cast<unsigned char>(text[at + 1]);
  return second >= 0x80 && second <= 0x9f;
}

void AppendEscape(std::string& out, unsigned char byte) {
  constexpr char kHex[] = "0123456789abcdef";
  out.append("\\x").push_back(kHex[byte >> 4]);
  out.push_back(kHex[byte & 0xf]);
}

}  // namespace

std::string EscapedForTerminal(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size(); ++at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (IsControl(byte)) {
      AppendEscape(out, byte);
    } else if (IsC1Control(text, at)) {
      AppendEscape(out, byte);
      AppendEscape(out, static_cast<unsigned char>(text[++at]));
    } else {
      out.push_back(text[at]);
    }
  }
  return out;
}

}  // namespace pellorin::cli
