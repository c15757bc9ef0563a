#include "dry_run_file_system.h"

#include <algorithm>

namespace pellorin {

std::string DryRunFileSystem::GetParentFolderName(std::string_view path) const {
  return disk_.GetParentFolderName(path);
}

bool DryRunFileSystem::FolderExists(std::string_view path) const {
  if (removedFolders_.contains(path)) return false;
  return createdFolders_.contains(path) || disk_.FolderExists(path);
}

bool DryRunFileSystem::PathExists(std::string_view path) const {
  if (movedAway_.contains(path) || removedFolders_.contains(path)) return false;
  return createdFolders_.contains(path) || movedIn_.contains(path) || disk_.PathExists(path);
}

std::string DryRunFileSystem::BuildPath(std::string_view path, std::string_view name) const {
  return disk_.BuildPath(path, name);
}

std::error_code DryRunFileSystem::CreateFolder(std::string_view path) {
  if (PathExists(path)) return std::make_error_code(std::errc::file_exists);
  if (!FolderExists(GetParentFolderName(path))) {
    return std::make_error_code(std::errc::no_such_file_or_directory);
  }
  createdFolders_.emplace(path);
  if (auto removed = removedFolders_.find(path); removed != removedFolders_.end()) {
    removedFolders_.erase(removed);
  }
  return {};
}

std::error_code DryRunFileSystem::MoveFile(std::string_view source, std::string_view destination) {
  if (!PathExists(source) || !FolderExists(GetParentFolderName(destination))) {
    return std::make_error_code(std::errc::no_such_file_or_directory);
  }
  if (PathExists(destination)) return std::make_error_code(std::errc::file_exists);
  std::string origin(source);
  if (auto in = movedIn_.find(source); in != movedIn_.end()) {
    origin = std::move(in->second);
    movedIn_.erase(in);
  }
  movedAway_.emplace(source);
  if (auto away = movedAway_.find(destination); away != movedAway_.end()) movedAway_.erase(away);
  movedIn_.emplace(destination, std::move(origin));
  return {};
}

bool DryRunFileSystem::IsFolderName(std::string_view name) const {
  return disk_.IsFolderName(name);
}

std::string DryRunFileSystem::FolderNameAsKept(std::string_view name) const {
  return disk_.FolderNameAsKept(name);
}

std::error_code DryRunFileSystem::RemoveFolder(std::string_view path) {
  if (!FolderExists(path)) return std::make_error_code(std::errc::no_such_file_or_directory);
  if (HoldsAnything(path)) return std::make_error_code(std::errc::directory_not_empty);
  removedFolders_.emplace(path);
  if (auto created = createdFolders_.find(path); created != createdFolders_.end()) {
    createdFolders_.erase(created);
  }
  return {};
}

// Whether anything would be in the folder after what this run did: what the disk holds there
// and has not been moved away, and whatever was moved or made in it.
bool DryRunFileSystem::HoldsAnything(std::string_view folder) const {
  const auto inFolder = [&](std::string_view path) { return GetParentFolderName(path) == folder; };
  if (std::any_of(movedIn_.begin(), movedIn_.end(),
                  [&](const auto& in) { return inFolder(in.first); }) ||
      std::any_of(createdFolders_.begin(), createdFolders_.end(), inFolder)) {
    return true;
  }
  if (createdFolders_.contains(folder)) return false;
  const auto names = disk_.FolderContents(folder);
  if (!names) return true;
  return std::any_of(names->begin(), names->end(), [&](const std::string& name) {
    const std::string path = BuildPath(folder, name);
    return !movedAway_.contains(path) && !removedFolders_.contains(path);
  });
}

std::optional<FileStamp> DryRunFileSystem::Stamp(std::string_view path) const {
  if (movedAway_.contains(path)) return std::nullopt;
  if (auto in = movedIn_.find(path); in != movedIn_.end()) return disk_.Stamp(in->second);
  return disk_.Stamp(path);
}

bool DryRunFileSystem::MovesCopy(std::string_view sourceFolder, std::string_view root) const {
  return disk_.MovesCopy(sourceFolder, root);
}

}  // namespace pellorin
