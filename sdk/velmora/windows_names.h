// The Windows names a plug-in's contract is written in (GUID, HWND,
// HINSTANCE): the real SDK on Windows, the platform's headers of the same
// names on Linux; without the rarely used parts and the min and max macros.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
