#pragma once

#include "platform/win32/windows_api.h"

namespace pellorin::win32ui {

// The About picture, decoded from the JPEG in the program's resources by the system's own
// picture loader. Null when it cannot be read; the dialog then shows an empty frame.
HBITMAP LoadAboutPicture();

}  // namespace pellorin::win32ui
