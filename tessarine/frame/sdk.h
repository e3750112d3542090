// The one place that picks the Windows SDK headers or, on Linux, the
// platform's headers of the same names and meaning.
#pragma once

#ifdef _WIN32
#include "sdk/velmora/windows_names.h"
#include <mmsystem.h>
#include <objbase.h>
#include <ole2.h>
#include <process.h>
#include <comdef.h>
#include <dsound.h>
#include <dmusici.h>
#include <dmusicc.h>
#include <dmerror.h>
#define TESSARINE_EXPORT extern "C" __declspec(dllexport)
#else
#include <windows.h>
#include <objbase.h>
#include <ole2.h>
#include <comdef.h>
// The platform's DirectSound and DirectMusic declarations, where present.
#if __has_include(<dsound.h>)
#include <dsound.h>
#endif
#if __has_include(<dmusici.h>)
#include <dmusici.h>
#endif
#if __has_include(<dmusicc.h>)
#include <dmusicc.h>
#endif
#if __has_include(<dmerror.h>)
#include <dmerror.h>
#endif
#define TESSARINE_EXPORT extern "C" __attribute__((visibility("default")))
#endif
