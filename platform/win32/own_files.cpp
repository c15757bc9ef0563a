#include "own_files.h"

#include <atomic>
#include <memory>

#include "platform/own_file_names.h"
#include "wide_text.h"
#include "windows_api.h"

namespace pellorin::win32 {
namespace {

using platform::OwnFileKind;
using platform::OwnFileName;

struct HandleCloser {
  void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
struct FindCloser {
  void operator()(HANDLE find) const { ::FindClose(find); }
};

std::optional<std::uint64_t> FirstSerialOf(HANDLE process) {
  FILETIME started{}, ended{}, kernel{}, user{};
  if (!::GetProcessTimes(process, &started, &ended, &kernel, &user)) return std::nullopt;
  const std::uint64_t ticks =
      (std::uint64_t{started.dwHighDateTime} << 32) | std::uint64_t{started.dwLowDateTime};
  return ticks / 10'000 * kSerialsPerStart;  // ticks of 100 ns
}

// Only a process that is sure to be gone counts as gone: one that cannot be asked may be running.
bool MakerIsGone(const OwnFileName& name) {
  if (name.process > MAXDWORD) return false;  // no Windows process id: not ours to judge
  const std::unique_ptr<void, HandleCloser> process(
      ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(name.process)));
  if (!process) return ::GetLastError() == ERROR_INVALID_PARAMETER;  // no such process
  DWORD exitCode = 0;
  if (::GetExitCodeProcess(process.get(), &exitCode) && exitCode != STILL_ACTIVE) return true;
  const auto firstSerial = FirstSerialOf(process.get());
  return firstSerial && *firstSerial != name.serial / kSerialsPerStart * kSerialsPerStart;
}

bool IsDeadTemporaryOfThisHost(const std::wstring& fileName) {
  const auto name = platform::ParseOwnFileName(ToUtf8(fileName));
  return name && name->kind == OwnFileKind::Temporary && name->host == ThisHost() &&
         MakerIsGone(*name);
}

}  // namespace

const std::string& ThisHost() {
  static const std::string host = [] {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    return platform::HostTag(::GetComputerNameW(name, &length) ? ToUtf8({name, length}) : "");
  }();
  return host;
}

std::optional<std::uint64_t> FirstSerialOf(unsigned long processId) {
  if (processId == ::GetCurrentProcessId()) return FirstSerialOf(::GetCurrentProcess());
  const std::unique_ptr<void, HandleCloser> process(
      ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  if (!process) return std::nullopt;
  return FirstSerialOf(process.get());
}

std::string NewTemporaryName() {
  static const std::uint64_t firstSerial = FirstSerialOf(::GetCurrentProcessId()).value_or(0);
  static std::atomic<std::uint64_t> count{0};
  return platform::FormatOwnFileName({.kind = OwnFileKind::Temporary,
                                      .process = ::GetCurrentProcessId(),
                                      .serial = firstSerial + count++ % kSerialsPerStart,
                                      .host = ThisHost(),
                                      .original = ""});
}

void RemoveDeadTemporaries(const std::wstring& folder) {
  WIN32_FIND_DATAW found{};
  const HANDLE find = ::FindFirstFileExW((folder + L"\\.pellorin-*").c_str(), FindExInfoBasic,
                                         &found, FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) return;
  const std::unique_ptr<void, FindCloser> closer(find);
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
        !IsDeadTemporaryOfThisHost(found.cFileName)) {
      continue;
    }
    const std::wstring path = folder + L"\\" + found.cFileName;
    // A copy of a read-only song is read-only itself, and Windows removes no read-only file.
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
      ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    ::DeleteFileW(path.c_str());
  } while (::FindNextFileW(find, &found));
}

}  // namespace pellorin::win32
