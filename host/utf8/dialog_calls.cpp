// The dialog calls of velmora_utf8: dialogs from a module's resources, their
// controls' texts and messages, and the calls a person answers.
#include "host/utf8/dialog_answers.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace {

std::atomic<CDialogAnswers*> installedAnswers{nullptr};

int DefaultAnswer(UINT type)
{
    switch (type & 0xF) {
    case MB_YESNO:
    case 3:  // MB_YESNOCANCEL
        return IDNO;
    case MB_OK: return IDOK;
    default: return IDCANCEL;
    }
}

}  // namespace

VELMORA_UTF8_API CDialogAnswers* uSetDialogAnswers(CDialogAnswers* answers)
{
    return installedAnswers.exchange(answers);
}

VELMORA_UTF8_API HWND uCreateDialog(HINSTANCE instance, UINT id, HWND parent, DLGPROC dialogProc, LPARAM param)
{
    return CreateDialogParamA(instance, MAKEINTRESOURCEA(id), parent, dialogProc, param);
}

VELMORA_UTF8_API BOOL uSetDlgItemText(HWND dialog, UINT id, const char* text)
{
    return SetDlgItemTextA(dialog, static_cast<int>(id), text ? text : "");
}

VELMORA_UTF8_API UINT uGetDlgItemText(HWND dialog, UINT id, char* buffer, UINT size)
{
    if (!buffer || size == 0) return 0;
    return GetDlgItemTextA(dialog, static_cast<int>(id), buffer, static_cast<int>(std::min<UINT>(size, 0x7FFFFFFF)));
}

VELMORA_UTF8_API LRESULT uSendDlgItemMessage(HWND dialog, UINT id, UINT message, WPARAM wParam, LPARAM lParam)
{
    return SendDlgItemMessageA(dialog, static_cast<int>(id), message, wParam, lParam);
}

VELMORA_UTF8_API LRESULT uSendDlgItemMessageText(HWND dialog, UINT id, UINT message, WPARAM wParam, const char* text)
{
    return SendDlgItemMessageA(dialog, static_cast<int>(id), message, wParam,
                               reinterpret_cast<LPARAM>(text ? text : ""));
}

VELMORA_UTF8_API int uMessageBox(HWND parent, const char* text, const char* caption, UINT type)
{
    CDialogAnswers* answers = installedAnswers.load();
    if (!answers) return DefaultAnswer(type);
    return answers->AnswerMessageBox(parent, text ? text : "", caption ? caption : "", type);
}

VELMORA_UTF8_API HINSTANCE uShellExecute(HWND parent, const char* verb, const char* file, const char* parameters,
                                         const char*, int)
{
    CDialogAnswers* answers = installedAnswers.load();
    bool opened = answers && file && answers->AnswerShellExecute(parent, verb, file, parameters);
    // Above 32 is success; SE_ERR_NOASSOC (31) when nothing opened it.
    return reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(opened ? 42 : 31));
}

VELMORA_UTF8_API BOOL uGetOpenFileName(HWND parent, const char* filter, UINT, const char*, const char* title,
                                       const char*, char* buffer, UINT size, BOOL)
{
    CDialogAnswers* answers = installedAnswers.load();
    if (!answers || !buffer || size == 0) return FALSE;
    std::string path;
    if (!answers->AnswerOpenFileName(parent, filter ? filter : "", title ? title : "", path)) return FALSE;
    // A path that does not fit whole is not handed out cut.
    if (path.size() + 1 > size || std::memchr(path.data(), 0, path.size())) return FALSE;
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return TRUE;
}
