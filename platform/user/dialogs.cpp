// Dialogs built from templates (DLGTEMPLATEEX, and the plain DLGTEMPLATE),
// found among the resources of a module; the resource table itself; and the
// actions of a person at the screen.
#include "platform/user/windows_table.h"
#include "platform/user.h"
#include "platform/unicode.h"

#include <commctrl.h>
#include <dlfcn.h>

#include <algorithm>
#include <limits>
#include <map>
#include <tuple>

namespace platform::user {
namespace {

// ---- Resources --------------------------------------------------------------

struct CResource {
    const void* data;
    DWORD size;
};

struct CResources {
    std::mutex lock;
    std::map<std::tuple<uintptr_t, WORD, WORD>, CResource> entries;
};

CResources& Resources()
{
    static CResources resources;
    return resources;
}

// ---- Templates ----------------------------------------------------------------

// Reads a template within its size; any read past the end marks it bad.
class CTemplateReader {
public:
    CTemplateReader(const BYTE* data, size_t size) : data(data), size(size) {}

    bool Good() const { return good; }

    WORD Word()
    {
        if (!Need(2)) return 0;
        WORD value = static_cast<WORD>(data[at] | (data[at + 1] << 8));
        at += 2;
        return value;
    }
    DWORD Dword()
    {
        WORD low = Word();
        return low | (static_cast<DWORD>(Word()) << 16);
    }
    short Short() { return static_cast<short>(Word()); }
    void Byte() { Need(1) && ++at; }
    void AlignDword() { at = (at + 3) & ~static_cast<size_t>(3); }
    void Skip(size_t count)
    {
        if (Need(count)) at += count;
    }

    // A UTF-16 text ended by a NUL, as UTF-8.
    std::string Text()
    {
        std::u16string units;
        for (WORD unit = Word(); good && unit != 0; unit = Word()) units.push_back(char16_t(unit));
        return platform::Utf16ToUtf8(units);
    }
    // A text, an ordinal (0xFFFF then the number) or nothing (0).
    std::string TextOrOrdinal(WORD& ordinal)
    {
        ordinal = 0;
        if (!Need(2)) return {};
        WORD first = static_cast<WORD>(data[at] | (data[at + 1] << 8));
        if (first == 0) {
            at += 2;
            return {};
        }
        if (first == 0xFFFF) {
            at += 2;
            ordinal = Word();
            return {};
        }
        return Text();
    }

private:
    bool Need(size_t count)
    {
        if (!good || count > size || at > size - count) good = false;
        return good;
    }

    const BYTE* data;
    size_t size;
    size_t at = 0;
    bool good = true;
};

struct CItemTemplate {
    DWORD style = 0, exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    int id = 0;
    std::string className;
    WORD classOrdinal = 0;
    std::string title;
};

struct CDialogTemplate {
    DWORD style = 0, exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::string title;
    WORD pointSize = 0;
    std::string typeface;
    std::vector<CItemTemplate> items;
};

bool ParseTemplate(const BYTE* data, size_t size, CDialogTemplate& dialog)
{
    CTemplateReader reader(data, size);
    WORD version = reader.Word();
    WORD signature = reader.Word();
    bool extended = version == 1 && signature == 0xFFFF;
    if (!extended) reader = CTemplateReader(data, size);

    WORD count;
    if (extended) {
        reader.Dword();  // help id
        dialog.exStyle = reader.Dword();
        dialog.style = reader.Dword();
    } else {
        dialog.style = reader.Dword();
        dialog.exStyle = reader.Dword();
    }
    count = reader.Word();
    dialog.x = reader.Short();
    dialog.y = reader.Short();
    dialog.cx = reader.Short();
    dialog.cy = reader.Short();
    WORD ordinal;
    reader.TextOrOrdinal(ordinal);  // menu: a child dialog has none
    std::string dialogClass = reader.TextOrOrdinal(ordinal);
    if (!dialogClass.empty() || ordinal != 0) return false;  // only the standard dialog class
    dialog.title = reader.Text();
    if (dialog.style & DS_SETFONT) {
        dialog.pointSize = reader.Word();
        if (extended) {
            reader.Word();  // weight
            reader.Byte();  // italic
            reader.Byte();  // character set
        }
        dialog.typeface = reader.Text();
    }

    for (WORD i = 0; i < count && reader.Good(); ++i) {
        CItemTemplate item;
        reader.AlignDword();
        if (extended) {
            reader.Dword();  // help id
            item.exStyle = reader.Dword();
            item.style = reader.Dword();
        } else {
            item.style = reader.Dword();
            item.exStyle = reader.Dword();
        }
        item.x = reader.Short();
        item.y = reader.Short();
        item.cx = reader.Short();
        item.cy = reader.Short();
        item.id = extended ? static_cast<int>(reader.Dword()) : static_cast<int>(reader.Word());
        item.className = reader.TextOrOrdinal(item.classOrdinal);
        WORD titleOrdinal;
        item.title = reader.TextOrOrdinal(titleOrdinal);
        reader.Skip(reader.Word());  // creation data
        dialog.items.push_back(item);
    }
    return reader.Good();
}

const char* OrdinalClass(WORD ordinal)
{
    switch (ordinal) {
    case 0x80: return "Button";
    case 0x81: return "Edit";
    case 0x82: return "Static";
    case 0x85: return "ComboBox";
    }
    return nullptr;  // list boxes and scroll bars are not offered
}

// Base units of the dialog's font: the shell font at 8 points averages 6
// pixels wide and 13 high at 96 dots per inch; no font means the system
// font's 8 by 16.
void BaseUnits(const CDialogTemplate& dialog, int& x, int& y)
{
    if (!(dialog.style & DS_SETFONT) || dialog.pointSize == 0) {
        x = 8;
        y = 16;
        return;
    }
    x = std::max(1, (6 * dialog.pointSize + 4) / 8);
    y = std::max(1, (13 * dialog.pointSize + 4) / 8);
}

RECT MapRect(int baseX, int baseY, int x, int y, int cx, int cy)
{
    auto mapX = [&](int value) { return static_cast<LONG>((static_cast<int64_t>(value) * baseX + 2) / 4); };
    auto mapY = [&](int value) { return static_cast<LONG>((static_cast<int64_t>(value) * baseY + 4) / 8); };
    return {mapX(x), mapY(y), mapX(x + cx), mapY(y + cy)};
}

HWND CreateFromTemplate(const BYTE* data, size_t size, HWND parent, DLGPROC dialogProc, LPARAM initParam)
{
    CDialogTemplate dialog;
    if (!ParseTemplate(data, size, dialog)) {
        SetLastError(1813);  // ERROR_RESOURCE_TYPE_NOT_FOUND: not a dialog we can read
        return nullptr;
    }
    if ((parent && !FindWindowEntry(parent)) || ((dialog.style & WS_CHILD) && !parent)) {
        SetLastError(1400);
        return nullptr;
    }
    // Every control's class must exist before anything is made.
    std::vector<std::pair<std::string, CKind>> classes;
    for (const CItemTemplate& item : dialog.items) {
        std::string name = item.classOrdinal ? (OrdinalClass(item.classOrdinal) ? OrdinalClass(item.classOrdinal) : "")
                                             : item.className;
        std::string canonical;
        CKind kind;
        if (name.empty() || !LookUpClass(name, canonical, kind) || kind == CKind::dialog) {
            SetLastError(1407);
            return nullptr;
        }
        classes.emplace_back(canonical, kind);
    }

    auto window = std::make_unique<CWindow>();
    window->className = "#32770";
    window->kind = CKind::dialog;
    window->parent = parent;
    window->style = dialog.style;
    window->exStyle = dialog.exStyle;
    window->text = dialog.title;
    BaseUnits(dialog, window->baseUnitX, window->baseUnitY);
    window->rect = MapRect(window->baseUnitX, window->baseUnitY, dialog.x, dialog.y, dialog.cx, dialog.cy);
    CWindow* made = AddWindow(std::move(window));
    HWND handle = made->handle;
    int baseX = made->baseUnitX, baseY = made->baseUnitY;

    for (size_t i = 0; i < dialog.items.size(); ++i) {
        const CItemTemplate& item = dialog.items[i];
        auto control = std::make_unique<CWindow>();
        control->className = classes[i].first;
        control->kind = classes[i].second;
        control->parent = handle;
        control->style = item.style | WS_CHILD;
        control->exStyle = item.exStyle;
        control->id = item.id;
        control->text = item.title;
        control->rect = MapRect(baseX, baseY, item.x, item.y, item.cx, item.cy);
        AddWindow(std::move(control));
    }

    // The dialog procedure is in place for WM_INITDIALOG, not before.
    made->dialogProc = dialogProc;
    HWND focus = nullptr;
    for (HWND child : made->children) {
        CWindow* control = FindWindowEntry(child);
        if (control && (control->style & WS_TABSTOP) && !(control->style & WS_DISABLED)) {
            focus = child;
            break;
        }
    }
    Dispatch(handle, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), initParam);
    // A dialog that ended itself during initialisation is not handed out.
    return FindWindowEntry(handle) ? handle : nullptr;
}

}  // namespace
}  // namespace platform::user

using namespace platform::user;

HINSTANCE platform::GetModuleOf(const void* address)
{
    Dl_info info{};
    if (!address || !dladdr(address, &info) || !info.dli_fbase) return nullptr;
    return static_cast<HINSTANCE>(info.dli_fbase);
}

bool platform::RegisterResource(HINSTANCE module, WORD type, WORD name, const void* data, DWORD size)
{
    if (!module || !data) return false;
    CResources& resources = Resources();
    std::lock_guard guard(resources.lock);
    return resources.entries
        .emplace(std::make_tuple(reinterpret_cast<uintptr_t>(module), type, name), CResource{data, size})
        .second;
}

void platform::UnregisterResource(HINSTANCE module, WORD type, WORD name)
{
    CResources& resources = Resources();
    std::lock_guard guard(resources.lock);
    resources.entries.erase(std::make_tuple(reinterpret_cast<uintptr_t>(module), type, name));
}

bool platform::ClickControl(HWND control)
{
    std::lock_guard guard(TableLock());
    CWindow* window = FindWindowEntry(control);
    if (!window || window->kind != CKind::button || !TakesInput(*window)) return false;
    switch (window->style & BS_TYPEMASK) {
    case BS_GROUPBOX: return false;  // a frame takes no clicks
    case BS_AUTOCHECKBOX: window->check = window->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED; break;
    case BS_AUTO3STATE: window->check = (window->check + 1) % 3; break;
    case BS_AUTORADIOBUTTON: window->check = BST_CHECKED; break;
    }
    Notify(*window, BN_CLICKED);
    return true;
}

bool platform::ChooseComboEntry(HWND control, int index)
{
    std::lock_guard guard(TableLock());
    CWindow* window = FindWindowEntry(control);
    if (!window || window->kind != CKind::comboBox || !TakesInput(*window)) return false;
    if (index < 0 || index >= static_cast<int>(window->items.size())) return false;
    Notify(*window, CBN_DROPDOWN);
    if (!(window = FindWindowEntry(control))) return true;
    if (index >= static_cast<int>(window->items.size())) return false;  // the list changed as it opened
    window->selection = index;
    for (WORD code :
         {static_cast<WORD>(CBN_SELCHANGE), static_cast<WORD>(CBN_CLOSEUP), static_cast<WORD>(CBN_SELENDOK)}) {
        if (!(window = FindWindowEntry(control))) break;
        Notify(*window, code);
    }
    return true;
}

bool platform::DragTrackbar(HWND control, int position)
{
    std::lock_guard guard(TableLock());
    CWindow* window = FindWindowEntry(control);
    if (!window || window->kind != CKind::trackbar || !TakesInput(*window)) return false;
    window->position = std::clamp(position, window->rangeMin, std::max(window->rangeMin, window->rangeMax));
    UINT message = (window->style & TBS_VERT) ? WM_VSCROLL : WM_HSCROLL;
    WORD reached = static_cast<WORD>(window->position);
    HWND parent = window->parent;
    Dispatch(parent, message, MAKEWPARAM(TB_THUMBTRACK, reached), reinterpret_cast<LPARAM>(control));
    Dispatch(parent, message, MAKEWPARAM(TB_THUMBPOSITION, reached), reinterpret_cast<LPARAM>(control));
    Dispatch(parent, message, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(control));
    return true;
}

bool platform::TypeText(HWND control, const char* text)
{
    std::lock_guard guard(TableLock());
    CWindow* window = FindWindowEntry(control);
    if (!window || window->kind != CKind::edit || (window->style & ES_READONLY) || !TakesInput(*window)) return false;
    window->text = text ? text : "";
    Notify(*window, EN_UPDATE);
    if ((window = FindWindowEntry(control))) Notify(*window, EN_CHANGE);
    return true;
}

extern "C" {

HRSRC WINAPI FindResourceA(HMODULE module, LPCSTR name, LPCSTR type)
{
    // Only numbered resources are registered.
    if (!IS_INTRESOURCE(name) || !IS_INTRESOURCE(type)) {
        SetLastError(1814);  // ERROR_RESOURCE_NAME_NOT_FOUND
        return nullptr;
    }
    CResources& resources = Resources();
    std::lock_guard guard(resources.lock);
    auto found = resources.entries.find(std::make_tuple(reinterpret_cast<uintptr_t>(module),
                                                        static_cast<WORD>(reinterpret_cast<uintptr_t>(type)),
                                                        static_cast<WORD>(reinterpret_cast<uintptr_t>(name))));
    if (found == resources.entries.end()) {
        SetLastError(module ? 1814 : 1812);  // not found; ERROR_RESOURCE_DATA_NOT_FOUND
        return nullptr;
    }
    return reinterpret_cast<HRSRC>(&found->second);
}

HGLOBAL WINAPI LoadResource(HMODULE, HRSRC resource)
{
    return resource ? const_cast<void*>(reinterpret_cast<CResource*>(resource)->data) : nullptr;
}

LPVOID WINAPI LockResource(HGLOBAL data) { return data; }

DWORD WINAPI SizeofResource(HMODULE, HRSRC resource)
{
    return resource ? reinterpret_cast<CResource*>(resource)->size : 0;
}

HWND WINAPI CreateDialogParamA(HINSTANCE instance, LPCSTR templateName, HWND parent, DLGPROC dialogProc,
                               LPARAM initParam)
{
    HRSRC resource = FindResourceA(instance, templateName, RT_DIALOG);
    if (!resource) return nullptr;
    const void* data = LoadResource(instance, resource);
    DWORD size = SizeofResource(instance, resource);
    std::lock_guard guard(TableLock());
    return CreateFromTemplate(static_cast<const BYTE*>(data), size, parent, dialogProc, initParam);
}

HWND WINAPI CreateDialogIndirectParamA(HINSTANCE, LPCDLGTEMPLATEA dialogTemplate, HWND parent, DLGPROC dialogProc,
                                       LPARAM initParam)
{
    if (!dialogTemplate) return nullptr;
    std::lock_guard guard(TableLock());
    // A template in memory carries no size: it is read as far as it says.
    return CreateFromTemplate(reinterpret_cast<const BYTE*>(dialogTemplate), std::numeric_limits<size_t>::max() / 2,
                              parent, dialogProc, initParam);
}

}  // extern "C"
