// The one place that picks the Windows SDK headers or, on Linux, the
// platform's headers of the same names and meaning.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <mmsystem.h>
#include <objbase.h>
#include <ole2.h>
#include <process.h>
#include <comdef.h>
#else
#include <windows.h>
#include <objbase.h>
#include <ole2.h>
#include <comdef.h>
#endif
