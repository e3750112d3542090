// The window thread and the text description of the preferences page.
#include "host/cli/page_window.h"

#include <commctrl.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

std::string ClassOf(HWND control)
{
    char name[64] = "";
    GetClassNameA(control, name, sizeof name);
    return name;
}

std::string TextOf(HWND control)
{
    int length = GetWindowTextLengthA(control);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    text.resize(static_cast<size_t>(GetWindowTextA(control, text.data(), length + 1)));
    return text;
}

// A text on one line: line breaks and quotes escaped.
std::string Quoted(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '"' || c == '\\')
            out += std::string("\\") + c;
        else
            out += c;
    }
    return out + "\"";
}

std::string DescribeControl(HWND control)
{
    std::string className = ClassOf(control);
    DWORD style = static_cast<DWORD>(GetWindowLongA(control, GWL_STYLE));
    std::string line = std::to_string(GetDlgCtrlID(control)) + " ";
    if (className == "Button") {
        DWORD type = style & BS_TYPEMASK;
        if (type == BS_GROUPBOX) {
            line += "group box " + Quoted(TextOf(control));
        } else if (type == BS_AUTOCHECKBOX || type == BS_CHECKBOX) {
            bool checked = SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
            line += "check box " + Quoted(TextOf(control)) + (checked ? " checked" : " unchecked");
        } else {
            line += "button " + Quoted(TextOf(control));
        }
    } else if (className == "Static") {
        line += "static " + Quoted(TextOf(control));
    } else if (className == "Edit") {
        line += std::string((style & ES_READONLY) ? "read-only edit " : "edit ") + Quoted(TextOf(control));
    } else if (className == "ComboBox") {
        int count = static_cast<int>(SendMessageA(control, CB_GETCOUNT, 0, 0));
        int selection = static_cast<int>(SendMessageA(control, CB_GETCURSEL, 0, 0));
        line += "combo box, selected " + (selection >= 0 ? std::to_string(selection) : std::string("none")) + " of " +
                std::to_string(count);
        for (int i = 0; i < count; ++i) {
            int length = static_cast<int>(SendMessageA(control, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0));
            std::string item(static_cast<size_t>(std::max(length, 0)) + 1, '\0');
            SendMessageA(control, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item.data()));
            item.resize(static_cast<size_t>(std::max(length, 0)));
            line += "\n    [" + std::to_string(i) + "] " + Quoted(item);
        }
    } else if (className == TRACKBAR_CLASSA) {
        line += "trackbar " + std::to_string(SendMessageA(control, TBM_GETPOS, 0, 0)) + " (" +
                std::to_string(SendMessageA(control, TBM_GETRANGEMIN, 0, 0)) + ".." +
                std::to_string(SendMessageA(control, TBM_GETRANGEMAX, 0, 0)) + ")";
    } else {
        line += className + " " + Quoted(TextOf(control));
    }
    if (!IsWindowEnabled(control)) line += " disabled";
    return line;
}

}  // namespace

int RunOnWindowThread(const std::function<int()>& work)
{
    int result = 1;
    std::thread thread([&] {
        HRESULT entered = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        result = work();
        if (SUCCEEDED(entered)) CoUninitialize();
    });
    thread.join();
    return result;
}

std::string DescribePage(HWND page)
{
    std::string out;
    for (HWND control = GetWindow(page, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT))
        out += DescribeControl(control) + "\n";
    return out;
}

HWND FindControl(HWND page, const std::string& className, const std::string& caption)
{
    for (HWND control = GetWindow(page, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT))
        if (ClassOf(control) == className && TextOf(control) == caption) return control;
    return nullptr;
}

HWND FindControlBeside(HWND page, const std::string& className, const std::string& label)
{
    HWND previous = nullptr;
    for (HWND control = GetWindow(page, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
        if (TextOf(control).rfind(label, 0) == 0) {
            if (previous && ClassOf(previous) == className) return previous;
            HWND next = GetWindow(control, GW_HWNDNEXT);
            if (next && ClassOf(next) == className) return next;
        }
        previous = control;
    }
    return nullptr;
}

bool IsPageLive(HWND page) { return GetPropA(page, "ThisClass") != nullptr; }
