#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace pellorin::win32 {

// The core speaks UTF-8; Windows speaks UTF-16. Text crosses between them here and nowhere else.

// Nothing for text that is not valid UTF-8 or that holds a NUL.
std::optional<std::wstring> ToWide(std::string_view text);
std::string ToUtf8(std::wstring_view text);
// The text in Unicode's composed form (NFC), by the system's NormalizeString; text that is not
// valid UTF-8 stays as it is.
std::string ComposedText(std::string_view text);

// A path in the extended form ("\\?\C:\..." or "\\?\UNC\server\share\..."), so that paths longer
// than MAX_PATH work. It is made absolute and normalised as Windows would normalise it without
// the prefix, so both forms name the same file. Nothing for a path that cannot be converted or
// that names a device.
std::optional<std::wstring> ExtendedPath(std::string_view path);

std::error_code LastError();
std::error_code Win32Error(unsigned long code);

}  // namespace pellorin::win32
