// Windows: handles, parents, enable state, texts, properties, destruction,
// and the messages of the standard controls (buttons, statics, edits, combo
// boxes, trackbars).
#include "platform/user/windows_table.h"
#include "platform/user.h"

#include <commctrl.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <map>

namespace platform::user {
namespace {

struct CTable {
    std::recursive_mutex lock;
    std::map<uintptr_t, std::unique_ptr<CWindow>> windows;
    // Handles only ever grow, so a stale handle never names a newer window.
    uintptr_t nextHandle = 0x10010;
};

CTable& Table()
{
    static CTable table;
    return table;
}

std::string Lower(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Property names are atoms: compared without regard to case; an integer
// atom stands for itself.
std::string PropertyKey(LPCSTR name)
{
    if (IS_INTRESOURCE(name)) return "#" + std::to_string(reinterpret_cast<uintptr_t>(name));
    return Lower(name);
}

bool IsCheckBox(const CWindow& window)
{
    DWORD type = window.style & BS_TYPEMASK;
    return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE ||
           type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
}

bool IsDropDownList(const CWindow& window) { return (window.style & 3) == CBS_DROPDOWNLIST; }

void ClampPosition(CWindow& window)
{
    window.position = std::clamp(window.position, window.rangeMin, std::max(window.rangeMin, window.rangeMax));
}

LRESULT ButtonMessage(CWindow& window, UINT message, WPARAM wParam)
{
    switch (message) {
    case BM_GETCHECK: return IsCheckBox(window) ? window.check : BST_UNCHECKED;
    case BM_SETCHECK:
        if (IsCheckBox(window)) {
            DWORD type = window.style & BS_TYPEMASK;
            bool threeState = type == BS_3STATE || type == BS_AUTO3STATE;
            int state = static_cast<int>(wParam);
            window.check = state == BST_INDETERMINATE && !threeState ? BST_CHECKED
                           : state > BST_INDETERMINATE               ? BST_UNCHECKED
                                                                     : state;
        }
        return 0;
    case BM_CLICK: platform::ClickControl(window.handle); return 0;
    }
    return 0;
}

LRESULT ComboBoxMessage(CWindow& window, UINT message, WPARAM wParam, LPARAM lParam)
{
    int count = static_cast<int>(window.items.size());
    switch (message) {
    case CB_ADDSTRING: {
        std::string item = lParam ? reinterpret_cast<const char*>(lParam) : "";
        if (!(window.style & CBS_SORT)) {
            window.items.push_back(item);
            return count;
        }
        auto at = std::upper_bound(window.items.begin(), window.items.end(), item,
                                   [](const std::string& a, const std::string& b) { return Lower(a) < Lower(b); });
        int index = static_cast<int>(at - window.items.begin());
        window.items.insert(at, item);
        if (window.selection >= index) ++window.selection;
        return index;
    }
    case CB_RESETCONTENT:
        window.items.clear();
        window.selection = -1;
        return TRUE;
    case CB_GETCOUNT: return count;
    case CB_GETCURSEL: return window.selection;
    case CB_SETCURSEL: {
        // An index off the list clears the selection and answers CB_ERR.
        int index = static_cast<int>(wParam);
        if (index < 0 || index >= count) {
            window.selection = -1;
            return CB_ERR;
        }
        window.selection = index;
        return index;
    }
    case CB_GETLBTEXTLEN: {
        int index = static_cast<int>(wParam);
        if (index < 0 || index >= count) return CB_ERR;
        return static_cast<LRESULT>(window.items[static_cast<size_t>(index)].size());
    }
    case CB_GETLBTEXT: {
        // The caller sized the buffer with CB_GETLBTEXTLEN.
        int index = static_cast<int>(wParam);
        if (index < 0 || index >= count || !lParam) return CB_ERR;
        const std::string& item = window.items[static_cast<size_t>(index)];
        return CopyText(item, reinterpret_cast<char*>(lParam), item.size() + 1);
    }
    }
    return 0;
}

LRESULT TrackbarMessage(CWindow& window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case TBM_GETPOS: return window.position;
    case TBM_GETRANGEMIN: return window.rangeMin;
    case TBM_GETRANGEMAX: return window.rangeMax;
    case TBM_SETPOS:
        window.position = static_cast<int>(lParam);
        ClampPosition(window);
        return 0;
    case TBM_SETRANGE:
        window.rangeMin = static_cast<SHORT>(LOWORD(lParam));
        window.rangeMax = static_cast<SHORT>(HIWORD(lParam));
        ClampPosition(window);
        return 0;
    case TBM_SETRANGEMIN:
        window.rangeMin = static_cast<int>(lParam);
        ClampPosition(window);
        return 0;
    case TBM_SETRANGEMAX:
        window.rangeMax = static_cast<int>(lParam);
        ClampPosition(window);
        return 0;
    case TBM_SETTICFREQ: window.ticFrequency = std::max(1, static_cast<int>(wParam)); return 0;
    }
    return 0;
}

// What every window does with its text, then what its class adds.
LRESULT DefaultMessage(CWindow& window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SETTEXT:
        window.text = lParam ? reinterpret_cast<const char*>(lParam) : "";
        // A single-line edit reports text set by the program too.
        if (window.kind == CKind::edit && !(window.style & ES_MULTILINE)) {
            HWND handle = window.handle;
            Notify(window, EN_UPDATE);
            if (CWindow* still = FindWindowEntry(handle)) Notify(*still, EN_CHANGE);
        }
        return TRUE;
    case WM_GETTEXT: {
        const std::string& text =
            window.kind == CKind::comboBox && IsDropDownList(window)
                ? (window.selection >= 0 ? window.items[static_cast<size_t>(window.selection)] : std::string())
                : window.text;
        if (!lParam || wParam == 0) return 0;
        return CopyText(text, reinterpret_cast<char*>(lParam), wParam);
    }
    case WM_GETTEXTLENGTH:
        if (window.kind == CKind::comboBox && IsDropDownList(window))
            return window.selection >= 0
                       ? static_cast<LRESULT>(window.items[static_cast<size_t>(window.selection)].size())
                       : 0;
        return static_cast<LRESULT>(window.text.size());
    }
    switch (window.kind) {
    case CKind::button: return ButtonMessage(window, message, wParam);
    case CKind::comboBox: return ComboBoxMessage(window, message, wParam, lParam);
    case CKind::trackbar: return TrackbarMessage(window, message, wParam, lParam);
    default: return 0;
    }
}

void DestroyTree(HWND handle)
{
    CWindow* window = FindWindowEntry(handle);
    if (!window) return;
    window->destroying = true;
    // The window hears of its end before its children do, so it can still
    // read them.
    Dispatch(handle, WM_DESTROY, 0, 0);
    window = FindWindowEntry(handle);
    if (!window) return;
    std::vector<HWND> children = window->children;
    for (HWND child : children) {
        CWindow* entry = FindWindowEntry(child);
        if (entry && !entry->destroying) DestroyTree(child);
    }
    Dispatch(handle, WM_NCDESTROY, 0, 0);
    window = FindWindowEntry(handle);
    if (!window) return;
    if (CWindow* parent = FindWindowEntry(window->parent)) std::erase(parent->children, handle);
    // Properties go with the window.
    Table().windows.erase(reinterpret_cast<uintptr_t>(handle));
}

const struct {
    const char* name;
    CKind kind;
} predefinedClasses[] = {
    {"#32770", CKind::dialog}, {"Button", CKind::button},     {"Static", CKind::staticText},
    {"Edit", CKind::edit},     {"ComboBox", CKind::comboBox}, {TRACKBAR_CLASSA, CKind::trackbar},
};

}  // namespace

std::recursive_mutex& TableLock() { return Table().lock; }

CWindow* FindWindowEntry(HWND handle)
{
    auto found = Table().windows.find(reinterpret_cast<uintptr_t>(handle));
    return found == Table().windows.end() ? nullptr : found->second.get();
}

CWindow* AddWindow(std::unique_ptr<CWindow> window)
{
    CTable& table = Table();
    uintptr_t value = table.nextHandle;
    table.nextHandle += 4;
    window->handle = reinterpret_cast<HWND>(value);
    CWindow* entry = window.get();
    table.windows[value] = std::move(window);
    if (CWindow* parent = FindWindowEntry(entry->parent)) parent->children.push_back(entry->handle);
    return entry;
}

bool LookUpClass(const std::string& name, std::string& canonicalName, CKind& kind)
{
    for (const auto& known : predefinedClasses) {
        if (Lower(name) == Lower(known.name)) {
            canonicalName = known.name;
            kind = known.kind;
            return true;
        }
    }
    return false;
}

LRESULT Dispatch(HWND handle, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWindow* window = FindWindowEntry(handle);
    if (!window) return 0;
    if (window->dialogProc) {
        INT_PTR handled = window->dialogProc(handle, message, wParam, lParam);
        if (handled) return handled;
        window = FindWindowEntry(handle);
        if (!window) return 0;
    }
    return DefaultMessage(*window, message, wParam, lParam);
}

void Notify(CWindow& control, WORD code)
{
    Dispatch(control.parent, WM_COMMAND, MAKEWPARAM(control.id, code), reinterpret_cast<LPARAM>(control.handle));
}

bool TakesInput(const CWindow& window)
{
    for (const CWindow* at = &window; at; at = FindWindowEntry(at->parent))
        if (at->style & WS_DISABLED) return false;
    return true;
}

int CopyText(const std::string& text, char* buffer, size_t size)
{
    if (!buffer || size == 0) return 0;
    size_t length = std::min(text.size(), size - 1);
    // Back off over continuation bytes so no character is cut in two.
    if (length < text.size())
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return static_cast<int>(length);
}

}  // namespace platform::user

using namespace platform::user;

extern "C" {

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                            int height, HWND parent, HMENU menu, HINSTANCE, LPVOID)
{
    std::lock_guard guard(TableLock());
    auto window = std::make_unique<CWindow>();
    if (!className || IS_INTRESOURCE(className) || !LookUpClass(className, window->className, window->kind)) {
        SetLastError(1407);  // ERROR_CANNOT_FIND_WND_CLASS
        return nullptr;
    }
    if (parent && !FindWindowEntry(parent)) {
        SetLastError(1400);  // ERROR_INVALID_WINDOW_HANDLE
        return nullptr;
    }
    if ((style & WS_CHILD) && !parent) {
        SetLastError(1406);  // ERROR_TLW_WITH_WSCHILD
        return nullptr;
    }
    window->parent = parent;
    window->style = style;
    window->exStyle = exStyle;
    window->id = (style & WS_CHILD) ? static_cast<int>(reinterpret_cast<uintptr_t>(menu)) : 0;
    window->text = windowName ? windowName : "";
    window->rect = {x, y, x + std::max(0, width), y + std::max(0, height)};
    HWND handle = AddWindow(std::move(window))->handle;
    Dispatch(handle, WM_CREATE, 0, 0);
    return handle;
}

BOOL WINAPI DestroyWindow(HWND window)
{
    std::lock_guard guard(TableLock());
    CWindow* entry = FindWindowEntry(window);
    if (!entry || entry->destroying) {
        SetLastError(1400);
        return FALSE;
    }
    DestroyTree(window);
    return TRUE;
}

BOOL WINAPI IsWindow(HWND window)
{
    std::lock_guard guard(TableLock());
    return FindWindowEntry(window) != nullptr;
}

LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::lock_guard guard(TableLock());
    return Dispatch(window, message, wParam, lParam);
}

LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::lock_guard guard(TableLock());
    CWindow* entry = FindWindowEntry(window);
    return entry ? DefaultMessage(*entry, message, wParam, lParam) : 0;
}

HWND WINAPI GetDlgItem(HWND dialog, int id)
{
    std::lock_guard guard(TableLock());
    CWindow* entry = FindWindowEntry(dialog);
    if (!entry) return nullptr;
    for (HWND child : entry->children) {
        CWindow* control = FindWindowEntry(child);
        if (control && control->id == id) return child;
    }
    SetLastError(1421);  // ERROR_CONTROL_ID_NOT_FOUND
    return nullptr;
}

LRESULT WINAPI SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::lock_guard guard(TableLock());
    HWND control = GetDlgItem(dialog, id);
    return control ? Dispatch(control, message, wParam, lParam) : 0;
}

int WINAPI GetDlgCtrlID(HWND window)
{
    std::lock_guard guard(TableLock());
    CWindow* entry = FindWindowEntry(window);
    return entry ? entry->id : 0;
}

HWND WINAPI GetParent(HWND window)
{
    std::lock_guard guard(TableLock());
    CWindow* entry = FindWindowEntry(window);
    return entry ? entry->parent : nullptr;
}

HWND WINAPI GetWindow(HWND window, UINT command)
{
    std::lock_guard guard(TableLock());
    CWindow* entry = FindWindowEntry(window);
    if (!entry) return nullptr;
    if (command == GW_CHILD) return entry->children.empty() ? nullptr : entry->children.front();
    if (command == GW_HWNDNEXT) {
        CWindow* parent = FindWindowEntry(entry->parent);
        if (!parent) return nullptr;
        auto at = std::find(parent->children.begin(), parent->children.end(), window);
        if (at == parent->children.end() || ++at == parent->children.end()) return nullptr;
        return *at;
    }
    return nullptr;
}

BOOL WINAPI SetWindowTextA(HWND window, LPCSTR text)
{
    std::lock_guard guard(TableLock());
    if (!FindWindowEntry(window)) return FALSE;
    return static_cast<BOOL>(Dispatch(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)));
}

int WINAPI GetWindowTextA(HWND window, LPSTR buffer, int size)
{
    std::lock_guard guard(TableLock());
    if (!buffer || size <= 0) return 0;
    buffer[0] = '\0';
    if (!FindWindowEntry(window)) return 0;
    return static_cast<int>(Dispatch(window, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(buffer)));
}

int WINAPI GetWindowTextLengthA(HWND window)
{
    std::lock_guard guard(TableLock());
    return static_cast<int>(Dispatch(window, WM_GETTEXTLENGTH, 0, 0));
}

BOOL WINAPI SetDlgItemTextA(HWND dialog, int id, LPCSTR text)
{
    std::lock_guard guard(TableLock());
    HWND control = GetDlgItem(dialog, id);
    return control ? SetWindowTextA(control, text) : FALSE;
}

UINT WINAPI GetDlgItemTextA(HWND dialog, int id, LPSTR buffer, int size)
{
    std::lock_guard guard(TableLock());
    if (buffer && size > 0) buffer[0] = '\0';
    HWND control = GetDlgItem(dialog, id);
    return control ? static_cast<UINT>(GetWindowTextA(control, buffer, size)) : 0;
}

BOOL WINAPI SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned)
{
    char text[16];
    if (isSigned)
        std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    else
        std::snprintf(text, sizeof text, "%u", value);
    return SetDlgItemTextA(dialog, id, text);
}

UINT WINAPI GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned)
{
    if (translated) *translated = FALSE;
    std::lock_guard guard(TableLock());
    HWND control = GetDlgItem(dialog, id);
    if (!control) return 0;
    int length = GetWindowTextLengthA(control);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    text.resize(static_cast<size_t>(GetWindowTextA(control, text.data(), length + 1)));

    // Spaces around one decimal number, with a '-' only when signed.
    size_t at = text.find_first_not_of(' ');
    size_t end = text.find_last_not_of(' ');
    if (at == std::string::npos) return 0;
    bool negative = false;
    if (isSigned && (text[at] == '-' || text[at] == '+')) negative = text[at++] == '-';
    if (at > end) return 0;
    uint64_t value = 0;
    for (size_t i = at; i <= end; ++i) {
        if (text[i] < '0' || text[i] > '9') return 0;
        value = value * 10 + static_cast<uint64_t>(text[i] - '0');
        if (value > 0xFFFFFFFFull) return 0;
    }
    if (isSigned) {
        int64_t signedValue = negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
        if (signedValue < std::numeric_limits<int32_t>::min() || signedValue > std::numeric_limits<int32_t>::max())
            return 0;
        if (translated) *translated = TRUE;
        return static_cast<UINT>(static_cast<int32_t>(signedValue));
    }
    if (translated) *translated = TRUE;
    return static_cast<UINT>(value);
}

BOOL WINAPI EnableWindow(HWND window, BOOL enable)
{
    std::lock_guard guard(TableLock());
    CWindow* entry = FindWindowEntry(window);
    if (!entry) return FALSE;
    BOOL wasDisabled = (entry->style & WS_DISABLED) != 0;
    if (wasDisabled == !enable) return wasDisabled;
    if (enable)
        entry->style &= ~static_cast<DWORD>(WS_DISABLED);
    else
        entry->style |= WS_DISABLED;
    Dispatch(window, WM_ENABLE, enable ? TRUE : FALSE, 0);
    return wasDisabled;
}

BOOL WINAPI IsWindowEnabled(HWND window)
{
    std::lock_guard guard(TableLock());
    CWindow* entry = FindWindowEntry(window);
    return entry && !(entry->style & WS_DISABLED);
}

int WINAPI GetClassNameA(HWND window, LPSTR buffer, int size)
{
    std::lock_guard guard(TableLock());
    CWindow* entry = FindWindowEntry(window);
    if (!entry || size <= 0) return 0;
    return CopyText(entry->className, buffer, static_cast<size_t>(size));
}

LONG WINAPI GetWindowLongA(HWND window, int index)
{
    std::lock_guard guard(TableLock());
    CWindow* entry = FindWindowEntry(window);
    if (!entry) return 0;
    switch (index) {
    case GWL_STYLE: return static_cast<LONG>(entry->style);
    case GWL_EXSTYLE: return static_cast<LONG>(entry->exStyle);
    case GWL_ID: return entry->id;
    }
    return 0;
}

BOOL WINAPI GetWindowRect(HWND window, LPRECT rect)
{
    std::lock_guard guard(TableLock());
    CWindow* entry = FindWindowEntry(window);
    if (!entry || !rect) return FALSE;
    *rect = entry->rect;
    for (CWindow* parent = FindWindowEntry(entry->parent); parent; parent = FindWindowEntry(parent->parent)) {
        rect->left += parent->rect.left;
        rect->right += parent->rect.left;
        rect->top += parent->rect.top;
        rect->bottom += parent->rect.top;
    }
    return TRUE;
}

BOOL WINAPI GetClientRect(HWND window, LPRECT rect)
{
    std::lock_guard guard(TableLock());
    CWindow* entry = FindWindowEntry(window);
    if (!entry || !rect) return FALSE;
    *rect = {0, 0, entry->rect.right - entry->rect.left, entry->rect.bottom - entry->rect.top};
    return TRUE;
}

BOOL WINAPI MapDialogRect(HWND dialog, LPRECT rect)
{
    std::lock_guard guard(TableLock());
    CWindow* entry = FindWindowEntry(dialog);
    if (!entry || !rect || entry->baseUnitX == 0) return FALSE;
    auto mapX = [&](LONG value) { return static_cast<LONG>((static_cast<int64_t>(value) * entry->baseUnitX + 2) / 4); };
    auto mapY = [&](LONG value) { return static_cast<LONG>((static_cast<int64_t>(value) * entry->baseUnitY + 4) / 8); };
    *rect = {mapX(rect->left), mapY(rect->top), mapX(rect->right), mapY(rect->bottom)};
    return TRUE;
}

HANDLE WINAPI GetPropA(HWND window, LPCSTR name)
{
    std::lock_guard guard(TableLock());
    CWindow* entry = FindWindowEntry(window);
    if (!entry || !name) return nullptr;
    std::string key = PropertyKey(name);
    for (auto& [propertyName, data] : entry->properties)
        if (propertyName == key) return data;
    return nullptr;
}

BOOL WINAPI SetPropA(HWND window, LPCSTR name, HANDLE data)
{
    std::lock_guard guard(TableLock());
    CWindow* entry = FindWindowEntry(window);
    if (!entry || !name) return FALSE;
    std::string key = PropertyKey(name);
    for (auto& [propertyName, value] : entry->properties) {
        if (propertyName == key) {
            value = data;
            return TRUE;
        }
    }
    entry->properties.emplace_back(key, data);
    return TRUE;
}

HANDLE WINAPI RemovePropA(HWND window, LPCSTR name)
{
    std::lock_guard guard(TableLock());
    CWindow* entry = FindWindowEntry(window);
    if (!entry || !name) return nullptr;
    std::string key = PropertyKey(name);
    for (auto at = entry->properties.begin(); at != entry->properties.end(); ++at) {
        if (at->first == key) {
            HANDLE data = at->second;
            entry->properties.erase(at);
            return data;
        }
    }
    return nullptr;
}

}  // extern "C"

size_t platform::CountWindows()
{
    std::lock_guard guard(TableLock());
    return Table().windows.size();
}
