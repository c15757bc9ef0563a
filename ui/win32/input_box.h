#pragma once

#include <string>
#include <string_view>

#include "platform/win32/windows_api.h"

namespace pellorin::win32ui {

// A modal input box over owner: the prompt, the title, and an edit field holding the default
// text, selected. OK answers the text typed; Cancel, Escape and the close box the empty text.
std::string ShowInputBox(HWND owner, std::string_view prompt, std::string_view title,
                         std::string_view defaultText);

}  // namespace pellorin::win32ui
