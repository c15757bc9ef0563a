#include "dry_run_file_system.h"

namespace pellorin {

std::string DryRunFileSystem::GetParentFolderName(std::string_view path) const {
  return disk_.GetParentFolderName(path);
}

bool DryRunFileSystem::FolderExists(std::string_view path) const {
  return createdFolders_.contains(path) || disk_.FolderExists(path);
}

bool DryRunFileSystem::PathExists(std::string_view path) const {
  if (movedAway_.contains(path)) return false;
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
  return {};
}

std::error_code DryRunFileSystem::MoveFile(std::string_view source, std::string_view destination) {
  if (!PathExists(source) || !FolderExists(GetParentFolderName(destination))) {
    return std::make_error_code(std::errc::no_such_file_or_directory);
  }
  if (PathExists(destination)) return std::make_error_code(std::errc::file_exists);
  if (auto in = movedIn_.find(source); in != movedIn_.end()) movedIn_.erase(in);
  movedAway_.emplace(source);
  if (auto away = movedAway_.find(destination); away != movedAway_.end()) movedAway_.erase(away);
  movedIn_.emplace(destination);
  return {};
}

bool DryRunFileSystem::IsFolderName(std::string_view name) const {
  return disk_.IsFolderName(name);
}

std::string DryRunFileSystem::FolderNameAsKept(std::string_view name) const {
  return disk_.FolderNameAsKept(name);
}

}  // namespace pellorin
