// The platform's windows: one table for the process, under one recursive
// lock that is held while a window procedure runs (windows here belong to the
// thread that drives them, as a dialog belongs to the user-interface thread).
#pragma once

#include <windows.h>

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace platform::user {

enum class CKind { generic, dialog, button, staticText, edit, comboBox, trackbar };

struct CWindow {
    HWND handle = nullptr;
    HWND parent = nullptr;
    std::vector<HWND> children;  // creation order, which is the dialog's tab order
    std::string className;
    CKind kind = CKind::generic;
    DWORD style = 0;
    DWORD exStyle = 0;
    int id = 0;
    std::string text;
    RECT rect{};  // in the parent's client coordinates (screen for a top-level window)
    DLGPROC dialogProc = nullptr;
    int baseUnitX = 0, baseUnitY = 0;  // a dialog's font base units, 0 when not a dialog
    std::vector<std::pair<std::string, HANDLE>> properties;
    bool destroying = false;

    // Controls.
    int check = BST_UNCHECKED;
    std::vector<std::string> items;
    int selection = -1;
    int rangeMin = 0, rangeMax = 100, position = 0, ticFrequency = 1;
};

std::recursive_mutex& TableLock();
CWindow* FindWindowEntry(HWND handle);
// Makes a window with a fresh handle (never one used before) and links it
// under its parent.
CWindow* AddWindow(std::unique_ptr<CWindow> window);
// The predefined class of that name (any letter case); false when none.
bool LookUpClass(const std::string& name, std::string& canonicalName, CKind& kind);
// Sends a message to a window: its dialog procedure first, then the
// window's own handling.
LRESULT Dispatch(HWND handle, UINT message, WPARAM wParam, LPARAM lParam);
// Sends a WM_COMMAND notification from a control to its parent.
void Notify(CWindow& control, WORD code);
// True when the window and every window above it take input.
bool TakesInput(const CWindow& window);
// Copies text into buffer of size bytes, cut at a character boundary,
// NUL-terminated; returns the bytes copied.
int CopyText(const std::string& text, char* buffer, size_t size);

}  // namespace platform::user
