// The platform's dialogs behave as Windows' do: templates make the controls,
// programs change controls silently, people's actions notify, disabled
// controls ignore people, handles are never reused.
#include "platform/user.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A DLGTEMPLATEEX in memory, with shell font, written as windres lays it out.
class CTemplateWriter {
public:
    explicit CTemplateWriter(DWORD style)
    {
        Word(1), Word(0xFFFF), Dword(0), Dword(0), Dword(style | DS_SETFONT);
        countAt = bytes.size();
        Word(0), Word(0), Word(0), Word(200), Word(100), Word(0), Word(0), Text("Test");
        Word(8), Word(0), Word(0x100), Text("MS Shell Dlg");
    }
    CTemplateWriter& Control(const char* className, int id, DWORD style, const char* text = "")
    {
        while (bytes.size() % 4) bytes.push_back(0);
        Dword(0), Dword(0), Dword(style | WS_CHILD | WS_VISIBLE);
        Word(10), Word(10 * count), Word(50), Word(10), Dword(static_cast<DWORD>(id));
        Text(className), Text(text), Word(0);
        bytes[countAt] = static_cast<BYTE>(++count);
        return *this;
    }
    std::vector<BYTE> bytes;

private:
    int Word(WORD value)
    {
        bytes.push_back(static_cast<BYTE>(value)), bytes.push_back(static_cast<BYTE>(value >> 8));
        return 0;
    }
    int Dword(DWORD value) { return Word(static_cast<WORD>(value)), Word(static_cast<WORD>(value >> 16)); }
    int Text(const char* text)
    {
        for (; *text; ++text) Word(static_cast<BYTE>(*text));
        return Word(0);
    }
    size_t countAt = 0;
    WORD count = 0;
};

enum { idBox = 1, idButton = 2, idList = 3, idTrack = 4, idEdit = 5, idFrame = 6, idLabel = 7 };

struct CMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<CMessage> received;

INT_PTR CALLBACK RecordingProc(HWND, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND || message == WM_HSCROLL || message == WM_INITDIALOG)
        received.push_back({message, wParam, lParam});
    return FALSE;
}

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CTemplateWriter writer(WS_CHILD);
        writer.Control("button", idBox, BS_AUTOCHECKBOX, "Box")
            .Control("BUTTON", idButton, BS_PUSHBUTTON, "...")
            .Control("ComboBox", idList, CBS_DROPDOWNLIST)
            .Control("MSCTLS_TRACKBAR32", idTrack, TBS_TOOLTIPS)
            .Control("Edit", idEdit, ES_AUTOHSCROLL)
            .Control("Button", idFrame, BS_GROUPBOX, "Frame")
            .Control("static", idLabel, SS_LEFT, "Label");
        bytes = writer.bytes;
        module = platform::GetModuleOf(&received);
        ASSERT_TRUE(platform::RegisterResource(module, 5, 900, bytes.data(), static_cast<DWORD>(bytes.size())));
        parent =
            CreateWindowExA(0, "#32770", "Host", WS_OVERLAPPED, 0, 0, 640, 480, nullptr, nullptr, nullptr, nullptr);
        dialog = CreateDialogParamA(module, MAKEINTRESOURCEA(900), parent, RecordingProc, 77);
        ASSERT_NE(dialog, nullptr);
        for (const char* text : {"zero", "one", "two"})
            SendDlgItemMessageA(dialog, idList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
        received.clear();
    }
    void TearDown() override
    {
        DestroyWindow(parent);
        platform::UnregisterResource(module, 5, 900);
        EXPECT_EQ(platform::CountWindows(), 0u);
    }
    HWND Item(int id) { return GetDlgItem(dialog, id); }

    std::vector<BYTE> bytes;
    HINSTANCE module = nullptr;
    HWND parent = nullptr, dialog = nullptr;
};

TEST_F(DialogTest, TemplateMakesItsControlsInOrder)
{
    const struct {
        int id;
        const char* className;
        const char* text;
    } rows[] = {{idBox, "Button", "Box"},       {idButton, "Button", "..."}, {idList, "ComboBox", ""},
                {idTrack, TRACKBAR_CLASSA, ""}, {idEdit, "Edit", ""},        {idFrame, "Button", "Frame"},
                {idLabel, "Static", "Label"}};
    HWND control = GetWindow(dialog, GW_CHILD);
    for (const auto& row : rows) {
        ASSERT_NE(control, nullptr) << row.id;
        char name[64], text[64];
        GetClassNameA(control, name, sizeof name);
        GetWindowTextA(control, text, sizeof text);
        EXPECT_EQ(GetDlgCtrlID(control), row.id);
        EXPECT_STREQ(name, row.className) << row.id;
        EXPECT_EQ(std::string(row.id == idList ? "" : text), row.text) << row.id;
        EXPECT_EQ(GetParent(control), dialog);
        control = GetWindow(control, GW_HWNDNEXT);
    }
    EXPECT_EQ(control, nullptr);
    // A shell-font dialog maps 4 by 8 dialog units to its font's 6 by 13 pixels.
    RECT rect{0, 0, 4, 8};
    ASSERT_TRUE(MapDialogRect(dialog, &rect));
    EXPECT_EQ(rect.right, 6);
    EXPECT_EQ(rect.bottom, 13);
}

TEST_F(DialogTest, ProgramChangesSendNoNotifications)
{
    const struct {
        int id;
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    } rows[] = {{idBox, BM_SETCHECK, BST_CHECKED, 0},
                {idList, CB_SETCURSEL, 2, 0},
                {idList, CB_RESETCONTENT, 0, 0},
                {idTrack, TBM_SETPOS, TRUE, 40},
                {idTrack, TBM_SETRANGE, TRUE, MAKELPARAM(0, 10)},
                {idLabel, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("x")}};
    for (const auto& row : rows) {
        SendDlgItemMessageA(dialog, row.id, row.message, row.wParam, row.lParam);
        EXPECT_TRUE(received.empty()) << row.id << " " << row.message;
        received.clear();
    }
}

TEST_F(DialogTest, PeopleActionsNotifyAsARealDialog)
{
    const struct {
        const char* name;
        bool (*act)(HWND);
        int id;
        std::vector<CMessage> expected;
    } rows[] = {
        {"check box click",
         [](HWND c) { return platform::ClickControl(c); },
         idBox,
         {{WM_COMMAND, MAKEWPARAM(idBox, BN_CLICKED), 0}}},
        {"button click",
         [](HWND c) { return platform::ClickControl(c); },
         idButton,
         {{WM_COMMAND, MAKEWPARAM(idButton, BN_CLICKED), 0}}},
        {"combo choice",
         [](HWND c) { return platform::ChooseComboEntry(c, 2); },
         idList,
         {{WM_COMMAND, MAKEWPARAM(idList, CBN_DROPDOWN), 0},
          {WM_COMMAND, MAKEWPARAM(idList, CBN_SELCHANGE), 0},
          {WM_COMMAND, MAKEWPARAM(idList, CBN_CLOSEUP), 0},
          {WM_COMMAND, MAKEWPARAM(idList, CBN_SELENDOK), 0}}},
        {"trackbar drag",
         [](HWND c) { return platform::DragTrackbar(c, 250); },
         idTrack,
         {{WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, 100), 0},
          {WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, 100), 0},
          {WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), 0}}},
        {"typing",
         [](HWND c) { return platform::TypeText(c, "typed"); },
         idEdit,
         {{WM_COMMAND, MAKEWPARAM(idEdit, EN_UPDATE), 0}, {WM_COMMAND, MAKEWPARAM(idEdit, EN_CHANGE), 0}}},
        {"group box click", [](HWND c) { return platform::ClickControl(c); }, idFrame, {}},
    };
    for (const auto& row : rows) {
        received.clear();
        EXPECT_EQ(row.act(Item(row.id)), !row.expected.empty()) << row.name;
        ASSERT_EQ(received.size(), row.expected.size()) << row.name;
        for (size_t i = 0; i < received.size(); ++i) {
            EXPECT_EQ(received[i].message, row.expected[i].message) << row.name;
            EXPECT_EQ(received[i].wParam, row.expected[i].wParam) << row.name << " " << i;
            EXPECT_EQ(received[i].lParam, reinterpret_cast<LPARAM>(Item(row.id))) << row.name;
        }
    }
    EXPECT_EQ(SendDlgItemMessageA(dialog, idBox, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendDlgItemMessageA(dialog, idList, CB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(SendDlgItemMessageA(dialog, idTrack, TBM_GETPOS, 0, 0), 100);
}

TEST_F(DialogTest, DisabledControlsIgnorePeople)
{
    const struct {
        const char* name;
        bool (*act)(HWND);
        int id;
        bool disableDialog;  // the dialog instead of the control
    } rows[] = {
        {"click", [](HWND c) { return platform::ClickControl(c); }, idBox, false},
        {"choice", [](HWND c) { return platform::ChooseComboEntry(c, 1); }, idList, false},
        {"drag", [](HWND c) { return platform::DragTrackbar(c, 5); }, idTrack, false},
        {"typing", [](HWND c) { return platform::TypeText(c, "x"); }, idEdit, false},
        {"click in a disabled dialog", [](HWND c) { return platform::ClickControl(c); }, idButton, true},
    };
    for (const auto& row : rows) {
        HWND target = row.disableDialog ? dialog : Item(row.id);
        EXPECT_FALSE(EnableWindow(target, FALSE)) << row.name;  // was enabled
        EXPECT_FALSE(row.act(Item(row.id))) << row.name;
        EXPECT_TRUE(received.empty()) << row.name;
        EXPECT_TRUE(EnableWindow(target, TRUE)) << row.name;  // was disabled
    }
    EXPECT_EQ(SendDlgItemMessageA(dialog, idBox, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(SendDlgItemMessageA(dialog, idList, CB_GETCURSEL, 0, 0), CB_ERR);
    EXPECT_EQ(SendDlgItemMessageA(dialog, idTrack, TBM_GETPOS, 0, 0), 0);
}

TEST_F(DialogTest, TrackbarKeepsItsPositionInRange)
{
    const struct {
        int low, high, set, expected;
    } rows[] = {{0, 100, 37, 37}, {0, 100, 101, 100}, {0, 100, -5, 0}, {10, 20, 0, 10}, {-50, 50, -60, -50}};
    for (const auto& row : rows) {
        SendDlgItemMessageA(dialog, idTrack, TBM_SETRANGE, TRUE, MAKELPARAM(row.low, row.high));
        SendDlgItemMessageA(dialog, idTrack, TBM_SETPOS, TRUE, row.set);
        EXPECT_EQ(SendDlgItemMessageA(dialog, idTrack, TBM_GETPOS, 0, 0), row.expected) << row.set;
        platform::DragTrackbar(Item(idTrack), row.set);
        EXPECT_EQ(SendDlgItemMessageA(dialog, idTrack, TBM_GETPOS, 0, 0), row.expected) << row.set;
    }
}

TEST_F(DialogTest, ComboSelectionOffTheListIsCleared)
{
    const struct {
        WPARAM index;
        LRESULT answer, selection;
    } rows[] = {{1, 1, 1},
                {3, CB_ERR, CB_ERR},
                {0, 0, 0},
                {static_cast<WPARAM>(-1), CB_ERR, CB_ERR},
                {static_cast<WPARAM>(-2), CB_ERR, CB_ERR}};
    for (const auto& row : rows) {
        SendDlgItemMessageA(dialog, idList, CB_SETCURSEL, 1, 0);
        EXPECT_EQ(SendDlgItemMessageA(dialog, idList, CB_SETCURSEL, row.index, 0), row.answer);
        EXPECT_EQ(SendDlgItemMessageA(dialog, idList, CB_GETCURSEL, 0, 0), row.selection);
    }
    char text[16];
    EXPECT_EQ(SendDlgItemMessageA(dialog, idList, CB_GETLBTEXT, 2, reinterpret_cast<LPARAM>(text)), 3);
    EXPECT_STREQ(text, "two");
    EXPECT_EQ(SendDlgItemMessageA(dialog, idList, CB_GETLBTEXT, 3, reinterpret_cast<LPARAM>(text)), CB_ERR);
    EXPECT_FALSE(platform::ChooseComboEntry(Item(idList), 3));
}

TEST_F(DialogTest, TextsAreCutWholeCharactersAndReadAsNumbers)
{
    const struct {
        const char* text;
        int size;
        const char* read;
    } cuts[] = {{"abcdef", 4, "abc"}, {"a\xC3\xA9z", 3, "a"}, {"a\xC3\xA9z", 4, "a\xC3\xA9"}, {"abc", 1, ""}};
    for (const auto& row : cuts) {
        SetDlgItemTextA(dialog, idLabel, row.text);
        char buffer[16] = "untouched";
        EXPECT_EQ(GetDlgItemTextA(dialog, idLabel, buffer, row.size), std::strlen(row.read)) << row.text;
        EXPECT_STREQ(buffer, row.read);
    }
    const struct {
        const char* text;
        BOOL isSigned;
        UINT value;
        BOOL translated;
    } numbers[] = {{"1000", FALSE, 1000, TRUE},    {" 42 ", FALSE, 42, TRUE}, {"-5", TRUE, static_cast<UINT>(-5), TRUE},
                   {"-5", FALSE, 0, FALSE},        {"12a", FALSE, 0, FALSE},  {"4294967296", FALSE, 0, FALSE},
                   {"2147483648", TRUE, 0, FALSE}, {"", FALSE, 0, FALSE}};
    for (const auto& row : numbers) {
        SetDlgItemTextA(dialog, idLabel, row.text);
        BOOL translated = 2;
        EXPECT_EQ(GetDlgItemInt(dialog, idLabel, &translated, row.isSigned), row.value) << row.text;
        EXPECT_EQ(translated, row.translated) << row.text;
    }
    BOOL translated = 2;
    EXPECT_EQ(GetDlgItemInt(dialog, 999, &translated, FALSE), 0u);
    EXPECT_FALSE(translated);
}

TEST_F(DialogTest, ClassesMatchInAnyCaseAndUnknownOnesFail)
{
    const struct {
        const char* className;
        bool made;
    } rows[] = {{"BUTTON", true}, {"combobox", true}, {"Msctls_Trackbar32", true},
                {"eDiT", true},   {"ListBox", false}, {"NoSuchClass", false}};
    for (const auto& row : rows) {
        HWND made = CreateWindowExA(0, row.className, "", WS_CHILD, 0, 0, 1, 1, dialog, nullptr, nullptr, nullptr);
        EXPECT_EQ(made != nullptr, row.made) << row.className;
    }
    // A template naming a class that does not exist makes nothing.
    CTemplateWriter writer(WS_CHILD);
    writer.Control("Button", 1, 0).Control("NoSuchClass", 2, 0);
    size_t before = platform::CountWindows();
    EXPECT_EQ(
        CreateDialogIndirectParamA(module, reinterpret_cast<LPCDLGTEMPLATEA>(writer.bytes.data()), parent, nullptr, 0),
        nullptr);
    EXPECT_EQ(platform::CountWindows(), before);
}

TEST_F(DialogTest, DamagedTemplatesAndOtherModulesMakeNoDialog)
{
    for (size_t length : {size_t(0), size_t(10), size_t(40), bytes.size() / 2, bytes.size() - 2}) {
        ASSERT_TRUE(platform::RegisterResource(module, 5, 901, bytes.data(), static_cast<DWORD>(length)));
        size_t before = platform::CountWindows();
        EXPECT_EQ(CreateDialogParamA(module, MAKEINTRESOURCEA(901), parent, nullptr, 0), nullptr) << length;
        EXPECT_EQ(platform::CountWindows(), before) << length;
        platform::UnregisterResource(module, 5, 901);
    }
    // Resources belong to the module that registered them.
    HINSTANCE platformModule = platform::GetModuleOf(reinterpret_cast<const void*>(&CreateDialogParamA));
    ASSERT_NE(platformModule, module);
    for (HINSTANCE other : {platformModule, static_cast<HINSTANCE>(nullptr)})
        EXPECT_EQ(CreateDialogParamA(other, MAKEINTRESOURCEA(900), parent, nullptr, 0), nullptr);
}

struct CDestroyLog {
    static inline std::vector<HWND> order;
    static inline HANDLE propertySeen = nullptr;
};

INT_PTR CALLBACK LoggingProc(HWND window, UINT message, WPARAM, LPARAM)
{
    if (message == WM_DESTROY) {
        CDestroyLog::order.push_back(window);
        // The children are still there while the dialog hears of its end.
        CDestroyLog::propertySeen = GetDlgItem(window, idBox) ? GetPropA(window, "thisclass") : nullptr;
    }
    return FALSE;
}

TEST_F(DialogTest, DestroyingTheParentReachesTheDialogAndDropsEverything)
{
    HWND page = CreateDialogParamA(module, MAKEINTRESOURCEA(900), parent, LoggingProc, 0);
    ASSERT_NE(page, nullptr);
    HANDLE marker = reinterpret_cast<HANDLE>(0x1234);
    ASSERT_TRUE(SetPropA(page, "ThisClass", marker));
    EXPECT_EQ(GetPropA(page, "THISCLASS"), marker);
    HWND box = GetDlgItem(page, idBox);
    CDestroyLog::order.clear();

    ASSERT_TRUE(DestroyWindow(parent));
    EXPECT_EQ(CDestroyLog::order, std::vector<HWND>{page});
    EXPECT_EQ(CDestroyLog::propertySeen, marker);
    for (HWND gone : {parent, page, box, dialog}) {
        EXPECT_FALSE(IsWindow(gone));
        EXPECT_EQ(GetPropA(gone, "ThisClass"), nullptr);
        EXPECT_FALSE(DestroyWindow(gone));
    }
    // No later window takes a handle that was used.
    std::vector<HWND> used = {parent, page, box, dialog};
    parent = CreateWindowExA(0, "#32770", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    HWND again = CreateDialogParamA(module, MAKEINTRESOURCEA(900), parent, nullptr, 0);
    for (HWND old : used) {
        EXPECT_NE(parent, old);
        EXPECT_NE(again, old);
        EXPECT_NE(GetDlgItem(again, idBox), old);
    }
    EXPECT_EQ(RemovePropA(again, "ThisClass"), nullptr);
}

}  // namespace
