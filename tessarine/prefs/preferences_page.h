// The preferences page: a child dialog in the host's preferences window that
// edits the ten settings, lists the DirectMusic output ports and shows the
// chosen port's capabilities.
#pragma once

#include "tessarine/frame/sdk.h"

#include <functional>
#include <string>

class CPreferencesPageService;

// The page's dialog under parent, made from dialog resource 101 of the
// module; null when the dialog cannot be made.
HWND CreatePreferencesPage(HWND parent, CPreferencesPageService* page);

INT_PTR CALLBACK PageDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The text shown for a port's capabilities.
std::string BuildCapabilitiesText(const DMUS_PORTCAPS& caps);

// The port's description as UTF-8, read up to its first NUL within its 128
// units; "Port N" (N its enumeration index) when it has none.
std::string PortDescription(const DMUS_PORTCAPS& caps, DWORD index);

// The bytes of PCM that a buffer length read from the page stands for.
int32_t OutputBufferFromMilliseconds(UINT milliseconds);

// A control's whole text as UTF-8: reportedLength is what WM_GETTEXTLENGTH
// answered (on Windows a count of UTF-16 units, not bytes), copy fills a
// buffer as GetDlgItemText does and returns the bytes it copied. False when
// the text cannot be read whole.
bool ReadWholeText(LRESULT reportedLength, const std::function<UINT(char* buffer, UINT size)>& copy, std::string& text);

// "MIDIMasterTempo" as a trackbar position: NaN or below 0 is 0, above 100
// (infinity too) is 100, else truncated towards zero.
int TempoPosition(float tempo);

// The address offered when DirectX cannot be set up.
extern const char* const directXDownloadAddress;
