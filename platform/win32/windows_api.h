#pragma once

// The one way the Windows layer includes the Windows headers: wide-character API, no min/max
// macros, and without the MoveFile macro, which would rename FileSystemObject::MoveFile.

#ifndef UNICODE
#define UNICODE
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#undef MoveFile
