#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/platform.h"
#include "wide_text.h"
#include "win32_file_enumeration.h"
#include "win32_file_system.h"
#include "windows_api.h"
// After windows.h, which these need.
#include <shellapi.h>
#include <winver.h>

namespace pellorin::platform {
namespace {

std::wstring OwnExecutable() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) return path.substr(0, length);
    path.resize(path.size() * 2);
  }
}

}  // namespace

std::unique_ptr<FileSystemObject> MakeFileSystem() {
  return std::make_unique<win32::Win32FileSystem>();
}

std::unique_ptr<FileEnumeration> MakeFileEnumeration() {
  return std::make_unique<win32::Win32FileEnumeration>();
}

std::string DefaultPattern() { return "c:\\temp\\*.mp3"; }

std::string DefaultRootFolder() { return "c:\\music\\mp3"; }

// argv holds the arguments in the ANSI code page, which cannot spell every file name.
std::vector<std::string> CommandLineArguments(int, char**) {
  int count = 0;
  LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  for (int i = 1; wide != nullptr && i < count; ++i) arguments.push_back(win32::ToUtf8(wide[i]));
  ::LocalFree(wide);
  return arguments;
}

// UTF-8 on the console, and no CR added before each newline in files and pipes, so the bytes
// written are the same as on every other system.
void PrepareStandardStreams() {
  ::SetConsoleOutputCP(CP_UTF8);
  ::SetConsoleCP(CP_UTF8);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

bool IsTerminal(StandardStream stream) {
  DWORD mode = 0;
  const HANDLE handle =
      ::GetStdHandle(stream == StandardStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  return ::GetConsoleMode(handle, &mode) != 0;
}

// Read from the program's own version resource, so the number shown is the one Windows shows in
// the file's properties.
std::string ProgramVersion() {
  const std::wstring executable = OwnExecutable();
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(executable.c_str(), &ignored);
  std::vector<char> data(size);
  VS_FIXEDFILEINFO* info = nullptr;
  UINT infoSize = 0;
  if (size == 0 || !::GetFileVersionInfoW(executable.c_str(), 0, size, data.data()) ||
      !::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &infoSize) ||
      infoSize < sizeof(VS_FIXEDFILEINFO)) {
    return "unknown";
  }
  return std::to_string(HIWORD(info->dwFileVersionMS)) + "." +
         std::to_string(LOWORD(info->dwFileVersionMS)) + "." +
         std::to_string(LOWORD(info->dwFileVersionLS));
}

}  // namespace pellorin::platform
