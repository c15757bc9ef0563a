#include "posix_file_enumeration.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "paths.h"

namespace pellorin::posix {
namespace {

struct FolderCloser {
  void operator()(DIR* folder) const { ::closedir(folder); }
};

bool IsRegularFile(DIR* folder, const dirent& entry) {
  if (entry.d_type != DT_UNKNOWN) return entry.d_type == DT_REG;
  struct stat info {};
  return ::fstatat(::dirfd(folder), entry.d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
         S_ISREG(info.st_mode);
}

}  // namespace

std::error_code PosixFileEnumeration::List(std::string_view pattern,
                                           std::vector<std::string>& names) {
  const auto folderPath = KernelPath(ParentFolder(pattern));
  const auto glob = KernelPath(LastComponent(pattern));
  if (!folderPath || !glob) return {EINVAL, std::generic_category()};
  folder_ = folderPath->empty() ? "." : *folderPath;

  const std::unique_ptr<DIR, FolderCloser> folder(::opendir(folder_.c_str()));
  if (!folder) return {errno, std::generic_category()};
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(folder.get());
    if (entry == nullptr) break;
    if (entry->d_name[0] == '.' || ::fnmatch(glob->c_str(), entry->d_name, 0) != 0) continue;
    if (IsRegularFile(folder.get(), *entry)) names.emplace_back(entry->d_name);
  }
  if (errno != 0) return {errno, std::generic_category()};
  std::sort(names.begin(), names.end());
  return {};
}

std::uint64_t PosixFileEnumeration::TotalBytes() {
  const std::unique_ptr<DIR, FolderCloser> folder(::opendir(folder_.c_str()));
  if (!folder) return 0;
  std::uint64_t total = 0;
  for (const auto& name : Listed()) {
    struct stat info {};
    if (::fstatat(::dirfd(folder.get()), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
      total += static_cast<std::uint64_t>(info.st_size);
    }
  }
  return total;
}

}  // namespace pellorin::posix
