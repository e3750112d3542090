// What the Linux platform gives the host beyond Windows' own calls, given on
// Windows over user32: a person's actions on the page's controls, sending
// the notifications the real controls send, and the clock settings, which
// Windows' own clock does not take.
#include "platform/clock.h"
#include "platform/user.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>

namespace {

bool IsClass(HWND window, const char* name)
{
    char found[64] = "";
    return window && GetClassNameA(window, found, sizeof found) && lstrcmpiA(found, name) == 0;
}

// A control takes input only while it and every window above it are enabled.
bool TakesInput(HWND control)
{
    for (HWND window = control; window; window = GetAncestor(window, GA_PARENT)) {
        if (!IsWindowEnabled(window)) return false;
        if (!(GetWindowLongW(window, GWL_STYLE) & WS_CHILD)) break;
    }
    return true;
}

void Notify(HWND control, WORD code)
{
    SendMessageW(GetParent(control), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), code),
                 reinterpret_cast<LPARAM>(control));
}

}  // namespace

bool platform::ClickControl(HWND control)
{
    if (!IsClass(control, "Button") || !TakesInput(control)) return false;
    const LRESULT check = SendMessageW(control, BM_GETCHECK, 0, 0);
    switch (GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK) {
    case BS_GROUPBOX: return false;  // a frame takes no clicks
    case BS_AUTOCHECKBOX:
        SendMessageW(control, BM_SETCHECK, check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED, 0);
        break;
    case BS_AUTO3STATE: SendMessageW(control, BM_SETCHECK, static_cast<WPARAM>((check + 1) % 3), 0); break;
    case BS_AUTORADIOBUTTON: SendMessageW(control, BM_SETCHECK, BST_CHECKED, 0); break;
    }
    Notify(control, BN_CLICKED);
    return true;
}

bool platform::ChooseComboEntry(HWND control, int index)
{
    if (!IsClass(control, "ComboBox") || !TakesInput(control)) return false;
    if (index < 0 || index >= static_cast<int>(SendMessageW(control, CB_GETCOUNT, 0, 0))) return false;
    Notify(control, CBN_DROPDOWN);
    if (!IsWindow(control)) return true;
    if (index >= static_cast<int>(SendMessageW(control, CB_GETCOUNT, 0, 0)))
        return false;  // the list changed as it opened
    SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    for (WORD code :
         {static_cast<WORD>(CBN_SELCHANGE), static_cast<WORD>(CBN_CLOSEUP), static_cast<WORD>(CBN_SELENDOK)}) {
        if (!IsWindow(control)) break;
        Notify(control, code);
    }
    return true;
}

bool platform::DragTrackbar(HWND control, int position)
{
    if (!IsClass(control, TRACKBAR_CLASSA) || !TakesInput(control)) return false;
    const int low = static_cast<int>(SendMessageW(control, TBM_GETRANGEMIN, 0, 0));
    const int high = static_cast<int>(SendMessageW(control, TBM_GETRANGEMAX, 0, 0));
    const int reached = std::clamp(position, low, std::max(low, high));
    SendMessageW(control, TBM_SETPOS, TRUE, reached);
    const UINT message = (GetWindowLongW(control, GWL_STYLE) & TBS_VERT) ? WM_VSCROLL : WM_HSCROLL;
    HWND parent = GetParent(control);
    const LPARAM from = reinterpret_cast<LPARAM>(control);
    SendMessageW(parent, message, MAKEWPARAM(TB_THUMBTRACK, static_cast<WORD>(reached)), from);
    SendMessageW(parent, message, MAKEWPARAM(TB_THUMBPOSITION, static_cast<WORD>(reached)), from);
    SendMessageW(parent, message, MAKEWPARAM(TB_ENDTRACK, 0), from);
    return true;
}

// Windows' clock runs at real time; the host refuses --speed before it gets
// here, and a decode's default, to follow the synthesizer, is what Windows'
// synthesizer does anyway.
void platform::SetClockRate(double) {}

bool platform::SetClockSpeed(const char* text) { return text && std::strcmp(text, "max") == 0; }
