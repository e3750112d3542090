// What the platform's window system offers beyond user32: the resources a
// module brings with it (registered at load, since a Linux shared object has
// no resource section), and the actions of a person at the screen, which
// send the notifications a real control sends.
#pragma once

#include <windows.h>

namespace platform {

// The module instance of the module (executable or shared object) that holds
// address: its load address, as an HINSTANCE is on Windows.
HINSTANCE GetModuleOf(const void* address);

// Makes data (kept by the caller, not copied) resource (type, name) of
// module; false when that module already has one of that type and name.
bool RegisterResource(HINSTANCE module, WORD type, WORD name, const void* data, DWORD size);
void UnregisterResource(HINSTANCE module, WORD type, WORD name);

// Each action fails (false, nothing sent) when the window is not a control
// of that kind, or it or a window above it is disabled.
// A click: toggles an auto check box, then sends BN_CLICKED to the parent;
// a push button only sends it.
bool ClickControl(HWND control);
// A choice in a combo box's list: selects entry index and sends
// CBN_DROPDOWN, CBN_SELCHANGE, CBN_CLOSEUP and CBN_SELENDOK.
bool ChooseComboEntry(HWND control, int index);
// A drag of a trackbar's thumb to position (clamped to the range): sends
// WM_HSCROLL (WM_VSCROLL for TBS_VERT) with TB_THUMBTRACK, TB_THUMBPOSITION
// and TB_ENDTRACK.
bool DragTrackbar(HWND control, int position);
// Typing into an edit that is not read-only: replaces its text, then sends
// EN_UPDATE and EN_CHANGE.
bool TypeText(HWND control, const char* text);

// Number of windows that exist now, for checks that nothing is left behind.
size_t CountWindows();

}  // namespace platform
