// The preferences page through the platform's dialogs and the real engine:
// what it shows, what it stores and when, and the inert page when DirectX
// cannot be set up.
#include "host/utf8/dialog_answers.h"
#include "platform/user.h"
#include "tessarine/frame/config.h"
#include "tessarine/frame/services.h"
#include "tessarine/prefs/page_ids.h"
#include "tessarine/prefs/preferences_page.h"
#include "tests/support/test_host.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <thread>

namespace {

const std::string defaultText = "Capabilities\r\nUser mode synth\r\nMaximum Channels: 1000\r\n";
const std::string emulatedPortText =
    "Capabilities\r\nMaximum Channels: 1\r\nAudio channels: 0\r\nMaximum voices: 0\r\nFlags:\r\n"
    ", External Synthesizer.\r\n";
const char* const errorNote = "DirectX error occurred initialising the dialog box. Changes will not be saved.";

class CRecordedAnswers final : public CDialogAnswers {
public:
    int AnswerMessageBox(HWND, const char* text, const char* caption, UINT type) override
    {
        boxes.push_back(std::string(caption) + "|" + text + "|" + std::to_string(type));
        if (boxRunsOutOfMemory) throw std::bad_alloc();
        return messageBoxAnswer;
    }
    bool AnswerShellExecute(HWND, const char* verb, const char* file, const char*) override
    {
        executed.push_back(std::string(verb ? verb : "(none)") + " " + file);
        return true;
    }
    bool AnswerOpenFileName(HWND, const char* filter, const char* title, std::string& path) override
    {
        chooserTitles.push_back(title);
        if (!chosen) return false;
        path = *chosen;
        return true;
    }

    int messageBoxAnswer = IDNO;
    bool boxRunsOutOfMemory = false;
    std::optional<std::string> chosen;
    std::vector<std::string> boxes, executed, chooserTitles;
};

std::string Text(HWND page, int id)
{
    HWND control = GetDlgItem(page, id);
    int length = GetWindowTextLengthA(control);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    text.resize(static_cast<size_t>(GetWindowTextA(control, text.data(), length + 1)));
    return text;
}

LRESULT Send(HWND page, int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
{
    return SendDlgItemMessageA(page, id, message, wParam, lParam);
}

class PageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        velmora_get_interface(host.Interface(), platform::GetModuleOf(&configLog));
        defaults = host.SaveSettings();
        previousAnswers = uSetDialogAnswers(&answers);
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        parent = host.Host().GetMainWindow();
    }
    void TearDown() override
    {
        if (page && IsWindow(page)) DestroyWindow(page);
        CoUninitialize();
        uSetDialogAnswers(previousAnswers);
        host.Component()->LoadSettings(defaults.data(), static_cast<uint32_t>(defaults.size()));
    }
    HWND Open()
    {
        page = service.CreatePage(parent);
        return page;
    }
    HWND Item(int id) { return GetDlgItem(page, id); }

    CTestHost host;
    std::vector<uint8_t> defaults;
    CRecordedAnswers answers;
    CDialogAnswers* previousAnswers = nullptr;
    CPreferencesPageService service;
    HWND parent = nullptr, page = nullptr;
};

TEST_F(PageTest, ListAndInformationFollowTheOutputPort)
{
    const struct {
        int32_t port;
        LRESULT selection;
        std::string text;
    } rows[] = {{-1, 0, defaultText},
                {1, 2, emulatedPortText},
                {2, CB_ERR, ""},
                {-2, CB_ERR, ""},
                {std::numeric_limits<int32_t>::max(), CB_ERR, ""}};
    for (const auto& row : rows) {
        configOutputPort.value = row.port;
        ASSERT_NE(Open(), nullptr);
        EXPECT_EQ(Send(page, IDC_OUTPUT_PORT, CB_GETCOUNT), 3) << row.port;
        EXPECT_EQ(Send(page, IDC_OUTPUT_PORT, CB_GETCURSEL), row.selection) << row.port;
        EXPECT_EQ(Text(page, IDC_DRIVER_INFORMATION).substr(0, row.text.size()), row.text) << row.port;
        if (row.text.empty()) {
            EXPECT_EQ(Text(page, IDC_DRIVER_INFORMATION), "");
        }
        EXPECT_EQ(GetPropA(page, "ThisClass"), &service);
        DestroyWindow(page);
    }
    char entry[64];
    Open();
    Send(page, IDC_OUTPUT_PORT, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(entry));
    EXPECT_STREQ(entry, "Microsoft Synthesizer (with output)");
}

TEST_F(PageTest, ControlsStartFromTheSettings)
{
    const struct {
        int32_t reverb, chorus, log, useDls;
        const char* dls;
        int32_t volume;
        float tempo;
        int tempoPosition;
    } rows[] = {{1, 0, 1, 1, "/sounds/a.dls", 37, 12.9f, 12},
                {0, 1, 0, 0, "", 0, std::nanf(""), 0},
                {2, -1, 0, 2, "/b.dls", 150, 1e9f, 100}};
    for (const auto& row : rows) {
        configReverb.value = row.reverb, configChorus.value = row.chorus, configLog.value = row.log;
        configUseCustomDls.value = row.useDls, configCustomDls.SetText(row.dls);
        configMasterVolume.value = row.volume, configMasterTempo.value = row.tempo;
        ASSERT_NE(Open(), nullptr);
        EXPECT_EQ(Send(page, IDC_REVERB, BM_GETCHECK), row.reverb == 1 ? BST_CHECKED : BST_UNCHECKED);
        EXPECT_EQ(Send(page, IDC_CHORUS, BM_GETCHECK), row.chorus == 1 ? BST_CHECKED : BST_UNCHECKED);
        EXPECT_EQ(Send(page, IDC_DEBUG_LOG, BM_GETCHECK), row.log == 1 ? BST_CHECKED : BST_UNCHECKED);
        EXPECT_EQ(Send(page, IDC_USE_CUSTOM_DLS, BM_GETCHECK), row.useDls == 1 ? BST_CHECKED : BST_UNCHECKED);
        for (int id : {IDC_CUSTOM_DLS_PATH, IDC_CUSTOM_DLS_BROWSE})
            EXPECT_EQ(IsWindowEnabled(Item(id)) != 0, row.useDls == 1) << id;
        EXPECT_EQ(Text(page, IDC_CUSTOM_DLS_PATH), row.dls);
        EXPECT_EQ(Send(page, IDC_MASTER_VOLUME, TBM_GETPOS), std::min(row.volume, 100));
        EXPECT_EQ(Send(page, IDC_MASTER_TEMPO, TBM_GETPOS), row.tempoPosition);
        EXPECT_EQ(Send(page, IDC_MASTER_TEMPO, TBM_GETRANGEMAX), 100);
        DestroyWindow(page);
    }
}

TEST_F(PageTest, BoxesAndPortChoiceStoreAtOnce)
{
    configLog.value = 1;
    configUseCustomDls.value = 1;
    ASSERT_NE(Open(), nullptr);
    const struct {
        const char* name;
        bool (*act)(HWND page);
        CConfigInt* variable;
        int32_t expected;
    } rows[] = {
        {"reverb", [](HWND p) { return platform::ClickControl(GetDlgItem(p, IDC_REVERB)); }, &configReverb, 1},
        {"chorus", [](HWND p) { return platform::ClickControl(GetDlgItem(p, IDC_CHORUS)); }, &configChorus, 1},
        {"log", [](HWND p) { return platform::ClickControl(GetDlgItem(p, IDC_DEBUG_LOG)); }, &configLog, 0},
        {"untick DLS", [](HWND p) { return platform::ClickControl(GetDlgItem(p, IDC_USE_CUSTOM_DLS)); },
         &configUseCustomDls, 0},
        {"second port", [](HWND p) { return platform::ChooseComboEntry(GetDlgItem(p, IDC_OUTPUT_PORT), 2); },
         &configOutputPort, 1},
        // A change that leaves nothing selected is no port (never -2).
        {"no selection",
         [](HWND p) {
             SendDlgItemMessageA(p, IDC_OUTPUT_PORT, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
             SendMessageA(p, WM_COMMAND, MAKEWPARAM(IDC_OUTPUT_PORT, CBN_SELCHANGE),
                          reinterpret_cast<LPARAM>(GetDlgItem(p, IDC_OUTPUT_PORT)));
             return true;
         },
         &configOutputPort, 1},
        {"default port", [](HWND p) { return platform::ChooseComboEntry(GetDlgItem(p, IDC_OUTPUT_PORT), 0); },
         &configOutputPort, -1},
    };
    for (const auto& row : rows) {
        ASSERT_TRUE(row.act(page)) << row.name;
        EXPECT_EQ(row.variable->value, row.expected) << row.name;
        if (row.variable == &configOutputPort) {
            EXPECT_EQ(Text(page, IDC_DRIVER_INFORMATION).substr(0, 30),
                      (row.expected == 1 ? emulatedPortText : defaultText).substr(0, 30));
        }
    }
    EXPECT_FALSE(IsWindowEnabled(Item(IDC_CUSTOM_DLS_PATH)));
    EXPECT_FALSE(IsWindowEnabled(Item(IDC_CUSTOM_DLS_BROWSE)));
}

TEST_F(PageTest, ClosingStoresTrackbarsPathAndBufferLength)
{
    configOutputBuffer.value = 999;
    configMasterTempo.value = 55;
    ASSERT_NE(Open(), nullptr);
    platform::DragTrackbar(Item(IDC_MASTER_VOLUME), 37);
    platform::DragTrackbar(Item(IDC_MASTER_TEMPO), 12);
    platform::ClickControl(Item(IDC_USE_CUSTOM_DLS));
    const std::string longPath = "/" + std::string(6000, 'd') + ".dls";
    platform::TypeText(Item(IDC_CUSTOM_DLS_PATH), longPath.c_str());
    // Nothing but the box is stored before the page closes.
    EXPECT_EQ(configMasterVolume.value, 0);
    EXPECT_EQ(configMasterTempo.value, 55.0f);
    EXPECT_EQ(configCustomDls.CopyText(), "");
    DestroyWindow(parent);
    EXPECT_EQ(configMasterVolume.value, 37);
    EXPECT_EQ(configMasterTempo.value, 12.0f);
    EXPECT_EQ(configUseCustomDls.value, 1);
    EXPECT_EQ(configCustomDls.CopyText(), longPath);
    EXPECT_EQ(configOutputBuffer.value, 176400);
    EXPECT_EQ(service.pageWindow, nullptr);
}

TEST_F(PageTest, ChooserAnswersOnlyAWholePath)
{
    const struct {
        std::optional<std::string> answer;
        std::string stored;
    } rows[] = {{std::nullopt, "/old.dls"},
                {"/new/choice.dls", "/new/choice.dls"},
                {"/" + std::string(VELMORA_UTF8_MAX_PATH, 'x'), "/old.dls"}};
    configUseCustomDls.value = 1;
    for (const auto& row : rows) {
        configCustomDls.SetText("/old.dls");
        answers.chosen = row.answer;
        ASSERT_NE(Open(), nullptr);
        ASSERT_TRUE(platform::ClickControl(Item(IDC_CUSTOM_DLS_BROWSE)));
        EXPECT_EQ(configCustomDls.CopyText(), row.stored);
        EXPECT_EQ(Text(page, IDC_CUSTOM_DLS_PATH), row.stored);
        DestroyWindow(page);
    }
    EXPECT_EQ(answers.chooserTitles, std::vector<std::string>(3, "Choose a custom DLS file..."));
}

TEST_F(PageTest, PageWithoutDirectXIsInertAndOffersTheDownload)
{
    // The last row fails outside the engine's set-up, in the failure's box.
    const struct {
        int answer;
        bool boxFails;
        size_t opened;
        const char* logged;
    } rows[] = {{IDNO, false, 0, "Setting up the preferences page failed: a DirectX call returned CO_E_NOTINITIALIZED"},
                {IDYES, false, 1, "Setting up the preferences page failed: "},
                {IDYES, true, 0, "Initialising the preferences page failed: std::bad_alloc"}};
    configLog.value = 1;
    for (const auto& row : rows) {
        answers = CRecordedAnswers();
        answers.messageBoxAnswer = row.answer;
        answers.boxRunsOutOfMemory = row.boxFails;
        host.ClearConsoleLines();
        std::vector<uint8_t> before = host.SaveSettings();
        // A thread that never entered a COM apartment cannot make the engine.
        std::thread windowThread([&] {
            ASSERT_NE(Open(), nullptr);
            EXPECT_EQ(GetPropA(page, "ThisClass"), nullptr);
            EXPECT_EQ(Text(page, IDC_NOTE), errorNote);
            platform::ClickControl(Item(IDC_REVERB));
            platform::DragTrackbar(Item(IDC_MASTER_VOLUME), 80);
            DestroyWindow(page);
        });
        windowThread.join();
        EXPECT_EQ(host.SaveSettings(), before);
        ASSERT_EQ(answers.boxes.size(), 1u);
        EXPECT_EQ(answers.boxes[0].substr(0, 51), "DirectX Initialisation failure|Could not initialise");
        EXPECT_EQ(answers.boxes[0].substr(answers.boxes[0].size() - 2), "|4");
        EXPECT_EQ(host.CountConsoleLines(row.logged), 1u) << row.logged;
        ASSERT_EQ(answers.executed.size(), row.opened);
        if (row.opened) {
            EXPECT_EQ(answers.executed[0], std::string("(none) ") + directXDownloadAddress);
        }
    }
}

TEST_F(PageTest, NoDialogWithoutTheModulesResource)
{
    for (HINSTANCE module :
         {static_cast<HINSTANCE>(nullptr), platform::GetModuleOf(reinterpret_cast<const void*>(&CreateDialogParamA))}) {
        velmora_get_interface(host.Interface(), module);
        size_t before = platform::CountWindows();
        EXPECT_EQ(Open(), nullptr);
        EXPECT_EQ(platform::CountWindows(), before);
    }
}

TEST(PageTextTest, CapabilitiesText)
{
    const DWORD allFlags = 0xFFF;
    const struct {
        DWORD type, flags, effects, voices;
        std::string expected;
    } rows[] = {
        {3, allFlags & ~DMUS_PC_SHAREABLE, 7, 32,
         "Capabilities\r\nUser mode driver\r\nKernel mode driver\r\nMaximum Channels: 2\r\nAudio channels: 4\r\n"
         "Maximum voices: 32\r\nFlags:\r\n, Software Synth, Suppports audiopaths, Outputs to DirectSound, "
         "Supports DLS1, Supports DLS2, Fixed DLS size, External Synthesizer, Accelerates GM instruments, "
         "Accelerates GS sounds, Accelerates XG extensions, Exclusive mode only, Supports wave streaming, Reverb, "
         "Chorus, Delay.\r\n"},
        {0, 0, 0, 0,
         "Capabilities\r\nMaximum Channels: 2\r\nAudio channels: 4\r\nMaximum voices: 0\r\nFlags:\r\n"
         ", Exclusive mode only.\r\n"},
        {1, DMUS_PC_SHAREABLE, 0, 0xFFFFFFFF,
         "Capabilities\r\nUser mode driver\r\nMaximum Channels: unsupported\r\nAudio channels: unsupported\r\n"
         "Maximum voices: unsupported\r\nFlags:\r\n.\r\n"},
    };
    for (const auto& row : rows) {
        DMUS_PORTCAPS caps{};
        caps.dwType = row.type, caps.dwFlags = row.flags, caps.dwEffectFlags = row.effects;
        caps.dwMaxVoices = row.voices, caps.dwMaxChannelGroups = 2, caps.dwMaxAudioChannels = 4;
        EXPECT_EQ(BuildCapabilitiesText(caps), row.expected);
    }
}

TEST(PageTextTest, PortDescriptions)
{
    const struct {
        std::u16string description;
        DWORD index;
        std::string expected;
    } rows[] = {{u"Synth", 0, "Synth"},
                {u"", 3, "Port 3"},
                {u"\u00E9\U0001F3B9", 1, "\xC3\xA9\xF0\x9F\x8E\xB9"},
                {std::u16string(DMUS_MAX_DESCRIPTION, u'w'), 0, std::string(DMUS_MAX_DESCRIPTION, 'w')}};
    for (const auto& row : rows) {
        // The structure after the description is filled, so a missing NUL shows.
        struct {
            DMUS_PORTCAPS caps;
            WCHAR after[8];
        } filled;
        std::memset(&filled, 'A', sizeof filled);
        std::memcpy(filled.caps.wszDescription, row.description.data(),
                    std::min<size_t>(row.description.size() + 1, DMUS_MAX_DESCRIPTION) * sizeof(WCHAR));
        EXPECT_EQ(PortDescription(filled.caps, row.index), row.expected) << row.expected;
    }
}

TEST(PageTextTest, NumbersComeBackInRange)
{
    const struct {
        UINT milliseconds;
        int32_t bytes;
    } buffers[] = {{0, 176400},      {1000, 176400},      {1005, 177282},      {10000, 1764000},
                   {10001, 1764000}, {12173943, 1764000}, {12173944, 1764000}, {0xFFFFFFFF, 1764000}};
    for (const auto& row : buffers) EXPECT_EQ(OutputBufferFromMilliseconds(row.milliseconds), row.bytes);
    const struct {
        float tempo;
        int position;
    } tempos[] = {{12.9f, 12},
                  {-0.5f, 0},
                  {100.5f, 100},
                  {std::nanf(""), 0},
                  {std::numeric_limits<float>::infinity(), 100},
                  {-std::numeric_limits<float>::infinity(), 0}};
    for (const auto& row : tempos) EXPECT_EQ(TempoPosition(row.tempo), row.position) << row.tempo;
}

// A length in UTF-16 units is fewer than the text's UTF-8 bytes: the text
// is still read whole.
TEST(PageTextTest, WholeTextWhateverTheLengthCounts)
{
    const struct {
        const char* name;
        std::string text;
        LRESULT reported;
        bool read;
    } rows[] = {{"bytes", "/sounds/gm.dls", 14, true},
                {"accented units", "/\xC3\xA9t\xC3\xA9/d\xC3\xA9j\xC3\xA0.dls", 13, true},
                {"CJK units", "/\xE6\x9B\xB2\xE6\x9B\xB2\xE6\x9B\xB2.dls", 8, true},
                {"surrogate pairs", "/\xF0\x9F\x8E\xB9\xF0\x9F\x8E\xB9.dls", 9, true},
                {"shorter than reported", "/a.dls", 40, true},
                {"long", "/" + std::string(70000, 'e') + "\xC3\xA9.dls", 70006, true},
                {"no length", "/a.dls", -1, false}};
    for (const auto& row : rows) {
        // As GetDlgItemText: at most size - 1 bytes and a NUL.
        auto copy = [&](char* buffer, UINT size) {
            const UINT count = std::min<UINT>(size - 1, static_cast<UINT>(row.text.size()));
            std::memcpy(buffer, row.text.data(), count);
            buffer[count] = '\0';
            return count;
        };
        std::string text = "stale";
        EXPECT_EQ(ReadWholeText(row.reported, copy, text), row.read) << row.name;
        EXPECT_EQ(text, row.read ? row.text : "stale") << row.name;
    }
}

TEST(PageTextTest, CustomDlsCopiesNeverSeeAFreedText)
{
    CConfigText text("MIDITestText", "");
    const std::string a(300, 'a'), b(500, 'b');
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 20000; ++i) text.SetText(i % 2 ? a.c_str() : b.c_str());
        done = true;
    });
    size_t bad = 0;
    while (!done) {
        std::string copy = text.CopyText();
        bad += copy != a && copy != b && !copy.empty();
    }
    writer.join();
    EXPECT_EQ(bad, 0u);
}

}  // namespace
