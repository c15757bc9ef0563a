#include "wide_text.h"

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

}  // namespace pellorin::win32
