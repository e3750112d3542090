// The dialog calls of velmora_utf8 over the wide-character calls of Windows:
// dialogs from a module's resources, their controls' texts and messages,
// and the calls a person answers. While the host executable has answers
// installed (a command-line run), those answer instead of a person.
#include "host/utf8/dialog_answers.h"
#include "host/utf8/win/wide.h"

#include <commdlg.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

CDialogAnswers* HostAnswers()
{
    using CGetAnswers = CDialogAnswers* (*)();
    FARPROC found = GetProcAddress(GetModuleHandleW(nullptr), VELMORA_DIALOG_ANSWERS_EXPORT);
    return found ? reinterpret_cast<CGetAnswers>(reinterpret_cast<void (*)()>(found))() : nullptr;
}

std::wstring OptionalWide(const char* text) { return text ? Widen(text) : std::wstring(); }
const wchar_t* OrNull(const char* text, const std::wstring& wide) { return text ? wide.c_str() : nullptr; }

std::string WindowText(HWND window)
{
    const int length = GetWindowTextLengthW(window);
    if (length <= 0) return std::string();
    std::vector<wchar_t> text(static_cast<size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    return Narrow(text.data(), static_cast<size_t>(std::max(copied, 0)));
}

// "description|pattern|..." as the chooser takes it: NUL-separated, two NULs at the end.
std::wstring ChooserFilter(const char* filter)
{
    std::wstring out = Widen(filter ? filter : "");
    std::replace(out.begin(), out.end(), L'|', L'\0');
    out.push_back(L'\0');
    out.push_back(L'\0');
    return out;
}

}  // namespace

VELMORA_UTF8_API HWND uCreateDialog(HINSTANCE instance, UINT id, HWND parent, DLGPROC dialogProc, LPARAM param)
{
    return CreateDialogParamW(instance, MAKEINTRESOURCEW(id), parent, dialogProc, param);
}

VELMORA_UTF8_API BOOL uSetDlgItemText(HWND dialog, UINT id, const char* text)
{
    return SetDlgItemTextW(dialog, static_cast<int>(id), Widen(text ? text : "").c_str());
}

VELMORA_UTF8_API UINT uGetDlgItemText(HWND dialog, UINT id, char* buffer, UINT size)
{
    if (!buffer || size == 0) return 0;
    HWND control = GetDlgItem(dialog, static_cast<int>(id));
    if (!control) {
        buffer[0] = 0;
        return 0;
    }
    const std::string text = WindowText(control);
    const size_t length = Utf8PrefixLength(text, size - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = 0;
    return static_cast<UINT>(length);
}

VELMORA_UTF8_API LRESULT uSendDlgItemMessage(HWND dialog, UINT id, UINT message, WPARAM wParam, LPARAM lParam)
{
    // A text's length is counted in the bytes of its UTF-8 form, as the
    // other text calls here count.
    if (message == WM_GETTEXTLENGTH) {
        HWND control = GetDlgItem(dialog, static_cast<int>(id));
        return control ? static_cast<LRESULT>(WindowText(control).size()) : 0;
    }
    return SendDlgItemMessageW(dialog, static_cast<int>(id), message, wParam, lParam);
}

VELMORA_UTF8_API LRESULT uSendDlgItemMessageText(HWND dialog, UINT id, UINT message, WPARAM wParam, const char* text)
{
    const std::wstring wide = Widen(text ? text : "");
    return SendDlgItemMessageW(dialog, static_cast<int>(id), message, wParam, reinterpret_cast<LPARAM>(wide.c_str()));
}

VELMORA_UTF8_API int uMessageBox(HWND parent, const char* text, const char* caption, UINT type)
{
    if (CDialogAnswers* answers = HostAnswers())
        return answers->AnswerMessageBox(parent, text ? text : "", caption ? caption : "", type);
    return MessageBoxW(parent, Widen(text ? text : "").c_str(), Widen(caption ? caption : "").c_str(), type);
}

VELMORA_UTF8_API HINSTANCE uShellExecute(HWND parent, const char* verb, const char* file, const char* parameters,
                                         const char* folder, int show)
{
    if (CDialogAnswers* answers = HostAnswers()) {
        bool opened = file && answers->AnswerShellExecute(parent, verb, file, parameters);
        // Above 32 is success; SE_ERR_NOASSOC (31) when nothing opened it.
        return reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(opened ? 42 : 31));
    }
    const std::wstring wideVerb = OptionalWide(verb), wideFile = OptionalWide(file),
                       wideParameters = OptionalWide(parameters), wideFolder = OptionalWide(folder);
    return ShellExecuteW(parent, OrNull(verb, wideVerb), OrNull(file, wideFile), OrNull(parameters, wideParameters),
                         OrNull(folder, wideFolder), show);
}

VELMORA_UTF8_API BOOL uGetOpenFileName(HWND parent, const char* filter, UINT filterIndex, const char* defaultExtension,
                                       const char* title, const char* initialFolder, char* buffer, UINT size,
                                       BOOL allowMultiple)
{
    if (!buffer || size == 0) return FALSE;
    std::string path;
    if (CDialogAnswers* answers = HostAnswers()) {
        if (!answers->AnswerOpenFileName(parent, filter ? filter : "", title ? title : "", path)) return FALSE;
        if (std::memchr(path.data(), 0, path.size())) return FALSE;
    } else {
        const std::wstring wideFilter = ChooserFilter(filter), wideExtension = OptionalWide(defaultExtension),
                           wideTitle = OptionalWide(title), wideFolder = OptionalWide(initialFolder);
        std::vector<wchar_t> chosen(32768, L'\0');
        // The chooser starts in the folder of the path already in the buffer.
        const std::wstring current = Widen(std::string(buffer, strnlen(buffer, size)));
        if (current.size() < chosen.size()) std::copy(current.begin(), current.end(), chosen.begin());
        OPENFILENAMEW dialog{};
        dialog.lStructSize = sizeof dialog;
        dialog.hwndOwner = parent;
        dialog.lpstrFilter = wideFilter.c_str();
        dialog.nFilterIndex = filterIndex + 1;  // 1 is the first pair
        dialog.lpstrFile = chosen.data();
        dialog.nMaxFile = static_cast<DWORD>(chosen.size());
        dialog.lpstrInitialDir = OrNull(initialFolder, wideFolder);
        dialog.lpstrTitle = OrNull(title, wideTitle);
        dialog.lpstrDefExt = OrNull(defaultExtension, wideExtension);
        dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY |
                       (allowMultiple ? OFN_ALLOWMULTISELECT : 0);
        if (!GetOpenFileNameW(&dialog)) return FALSE;
        // Several files come as the folder and each name, NUL after each:
        // they are handed on in that form.
        size_t end = 0;
        do {
            end += std::wcslen(chosen.data() + end) + 1;
        } while (allowMultiple && end < chosen.size() && chosen[end] != L'\0');
        path = Narrow(chosen.data(), end - 1);
    }
    // A path that does not fit whole is not handed out cut.
    if (path.size() + 1 > size) return FALSE;
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return TRUE;
}
