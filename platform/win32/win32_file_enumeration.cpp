#include "win32_file_enumeration.h"

#include <algorithm>
#include <memory>

#include "wide_text.h"
#include "windows_api.h"

namespace pellorin::win32 {
namespace {

constexpr DWORD kNotOrdinary =
    FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

bool NameBefore(const std::wstring& a, const std::wstring& b) {
  const int order = ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                           static_cast<int>(b.size()), TRUE);
  return order == CSTR_LESS_THAN || (order == CSTR_EQUAL && a < b);
}

struct FindCloser {
  void operator()(HANDLE find) const { ::FindClose(find); }
};

}  // namespace

std::error_code Win32FileEnumeration::List(std::string_view pattern,
                                           std::vector<std::string>& names) {
  const auto widePattern = ExtendedPath(pattern);
  if (!widePattern) return Win32Error(ERROR_INVALID_NAME);

  WIN32_FIND_DATAW found{};
  const HANDLE find = ::FindFirstFileExW(widePattern->c_str(), FindExInfoBasic, &found,
                                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? std::error_code() : Win32Error(error);
  }
  const std::unique_ptr<void, FindCloser> closer(find);
  std::vector<std::wstring> wideNames;
  totalBytes_ = 0;
  do {
    if ((found.dwFileAttributes & kNotOrdinary) != 0) continue;
    wideNames.emplace_back(found.cFileName);
    totalBytes_ += (std::uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
  } while (::FindNextFileW(find, &found));
  if (const DWORD error = ::GetLastError(); error != ERROR_NO_MORE_FILES) return Win32Error(error);

  std::sort(wideNames.begin(), wideNames.end(), NameBefore);
  names.reserve(wideNames.size());
  for (const auto& wideName : wideNames) names.push_back(ToUtf8(wideName));
  return {};
}

}  // namespace pellorin::win32
