#include "wide_text.h"

#include <algorithm>

#include "windows_api.h"

namespace pellorin::win32 {

std::optional<std::wstring> ToWide(std::string_view text) {
  if (text.find('\0') != std::string_view::npos) return std::nullopt;
  if (text.empty()) return std::wstring();
  const int size = static_cast<int>(text.size());
  const int length =
      ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (length <= 0) return std::nullopt;
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), length);
  return wide;
}

std::string ToUtf8(std::wstring_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length =
      ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, utf8.data(), length, nullptr, nullptr);
  return utf8;
}

std::optional<std::wstring> ExtendedPath(std::string_view path) {
  auto wide = ToWide(path);
  if (!wide || wide->empty()) return std::nullopt;
  if (wide->starts_with(L"\\\\?\\")) return wide;
  const DWORD needed = ::GetFullPathNameW(wide->c_str(), 0, nullptr, nullptr);
  if (needed == 0) return std::nullopt;
  std::wstring full(needed, L'\0');
  const DWORD length = ::GetFullPathNameW(wide->c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return std::nullopt;
  full.resize(length);
  if (full.starts_with(L"\\\\.\\")) return std::nullopt;  // CON, NUL, COM1...
  if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

std::error_code LastError() { return Win32Error(::GetLastError()); }

std::error_code Win32Error(unsigned long code) {
  return {static_cast<int>(code), std::system_category()};
}

std::string ComposedText(std::string_view text) {
  if (std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; })) {
    return std::string(text);  // ASCII is composed already
  }
  const auto wide = ToWide(text);
  if (!wide) return std::string(text);
  const int size = static_cast<int>(wide->size());
  // The system's guess at the length is an estimate: it says when it needs more.
  for (int room = ::NormalizeString(NormalizationC, wide->data(), size, nullptr, 0); room > 0;) {
    std::wstring composed(static_cast<std::size_t>(room), L'\0');
    const int length = ::NormalizeString(NormalizationC, wide->data(), size, composed.data(), room);
    if (length > 0)
      return ToUtf8(std::wstring_view(composed.data(), static_cast<std::size_t>(length)));
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
    room = -length;
  }
  return std::string(text);
}

}  // namespace pellorin::win32
