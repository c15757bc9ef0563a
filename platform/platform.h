#pragma once

// What the front ends get from the operating system, without seeing any of its headers.

#include <memory>
#include <string>

#include "sorting/file_system.h"

namespace pellorin::platform {

std::unique_ptr<FileSystemObject> MakeFileSystem();
std::unique_ptr<FileEnumeration> MakeFileEnumeration();

// The texts the pattern and root boxes start with.
std::string DefaultPattern();
std::string DefaultRootFolder();

}  // namespace pellorin::platform
