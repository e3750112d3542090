// velmora_utf8: the host's library of UTF-8 versions of Windows calls.
// Every text is UTF-8 and NUL-terminated.
#pragma once

// Only Windows names: the real SDK on Windows, the platform's headers on Linux.
#include <windows.h>

#ifdef VELMORA_UTF8_BUILD
#ifdef _WIN32
#define VELMORA_UTF8_API extern "C" __declspec(dllexport)
#else
#define VELMORA_UTF8_API extern "C" __attribute__((visibility("default")))
#endif
#else
#ifdef _WIN32
#define VELMORA_UTF8_API extern "C" __declspec(dllimport)
#else
#define VELMORA_UTF8_API extern "C"
#endif
#endif

// The host's answers to the dialog calls (dialog_answers.h). On Windows
// velmora_utf8.dll exports only the player's calls, so the host executable
// keeps the answers and the library asks it for them.
#ifdef _WIN32
#define VELMORA_DIALOG_ANSWERS_API extern "C"
#else
#define VELMORA_DIALOG_ANSWERS_API VELMORA_UTF8_API
#endif

// Largest path, in bytes with its NUL, that the path calls write.
#define VELMORA_UTF8_MAX_PATH 4096

// CreateEvent with a UTF-8 name (null for none).
VELMORA_UTF8_API HANDLE uCreateEvent(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState,
                                     const char* name);

// Writes the temporary folder, ending in a separator, into buffer (size
// bytes); returns its length, or the size needed when it does not fit, or 0.
VELMORA_UTF8_API DWORD uGetTempPath(DWORD size, char* buffer);

// Writes a fresh file name in folder path, made from prefix and a number,
// into out (VELMORA_UTF8_MAX_PATH bytes). With unique 0 the number is
// chosen and the file is created, empty, to reserve the name. Returns the
// number used, 0 on failure.
VELMORA_UTF8_API UINT uGetTempFileName(const char* path, const char* prefix, UINT unique, char* out);

// Compares two UTF-8 texts without regard to case (Unicode case folding):
// below 0, 0 or above 0.
VELMORA_UTF8_API int stricmp_utf8(const char* a, const char* b);

// ---- Dialogs: the calls the preferences page makes -------------------------

// A modeless dialog from dialog resource id of instance; null on failure.
VELMORA_UTF8_API HWND uCreateDialog(HINSTANCE instance, UINT id, HWND parent, DLGPROC dialogProc, LPARAM param);
VELMORA_UTF8_API BOOL uSetDlgItemText(HWND dialog, UINT id, const char* text);
// Copies the control's text into buffer (size bytes, cut at a character
// boundary); returns the bytes copied, 0 when there is no such control.
VELMORA_UTF8_API UINT uGetDlgItemText(HWND dialog, UINT id, char* buffer, UINT size);
VELMORA_UTF8_API LRESULT uSendDlgItemMessage(HWND dialog, UINT id, UINT message, WPARAM wParam, LPARAM lParam);
// A message whose lParam is a text (CB_ADDSTRING, WM_SETTEXT).
VELMORA_UTF8_API LRESULT uSendDlgItemMessageText(HWND dialog, UINT id, UINT message, WPARAM wParam, const char* text);
// Returns the button chosen (IDYES, IDNO, ...), 0 on failure.
VELMORA_UTF8_API int uMessageBox(HWND parent, const char* text, const char* caption, UINT type);
// Returns a value above 32 on success, as ShellExecute does.
VELMORA_UTF8_API HINSTANCE uShellExecute(HWND parent, const char* verb, const char* file, const char* parameters,
                                         const char* folder, int show);
// The file chooser. filter is pairs of "description|pattern" joined by '|';
// filterIndex 0 picks the first. On 1 the chosen path is in buffer (size
// bytes); 0 when cancelled, failed, or when the path would not fit, and then
// buffer is unchanged.
VELMORA_UTF8_API BOOL uGetOpenFileName(HWND parent, const char* filter, UINT filterIndex, const char* defaultExtension,
                                       const char* title, const char* initialFolder, char* buffer, UINT size,
                                       BOOL allowMultiple);
