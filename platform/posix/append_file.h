#pragma once

// The journals' files on POSIX, written through the system-call seam, so that a test can record
// them beside the moves they tell of.

#include <memory>
#include <string>
#include <system_error>

#include "platform/state_folder.h"
#include "system_calls.h"

namespace pellorin::posix {

// The file at path, opened with flags (O_WRONLY | O_APPEND and more), appended to through calls.
std::unique_ptr<platform::AppendFile> OpenAppendFile(SystemCalls& calls, const std::string& path,
                                                     int flags, std::error_code& failure);

}  // namespace pellorin::posix
