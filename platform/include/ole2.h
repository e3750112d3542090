// OLE's object running call.
#pragma once

#include <objbase.h>

extern "C" {
HRESULT WINAPI OleRun(LPUNKNOWN unknown);
}
