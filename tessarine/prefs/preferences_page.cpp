// The preferences page's dialog procedure: fills the page from the settings
// when it opens, stores check boxes and the port choice at once, and the
// trackbars, the custom DLS and the buffer length when it closes.
#include "tessarine/prefs/preferences_page.h"

#include "sdk/velmora/velmora_utf8.h"
#include "tessarine/engine/midi_music.h"
#include "tessarine/frame/config.h"
#include "tessarine/frame/globals.h"
#include "tessarine/frame/host_access.h"
#include "tessarine/frame/log.h"
#include "tessarine/frame/pcm_format.h"
#include "tessarine/frame/services.h"
#include "tessarine/prefs/page_ids.h"

#include <cmath>
#include <cstring>
#include <commctrl.h>
#include <memory>
#include <vector>

const char* const directXDownloadAddress = "https://www.microsoft.com/en-us/download/details.aspx?id=35";

namespace {

const char* const propertyName = "ThisClass";

const char* const defaultPortName = "Microsoft Synthesizer (with output)";

const char* const defaultSynthesizerText =
    "Capabilities\r\nUser mode synth\r\nMaximum Channels: 1000\r\nAudio channels: 2\r\nMaximum voices: 1000\r\n"
    "Flags:\r\nSoftware Synth, Multiple audiopaths, Supports DLS1, Supports DLS2, Supports wave streaming, Reverb, "
    "Outputs to Velmora, Supports Velmora DSPs (Compression, Chorus, Equalizer, Tempo change), suppports pause, "
    "suppports visualisation, supports Replaygain, supports conversion to wav, supports conversion to "
    "MP3/AAC/OGG/FLAC, high quality resampling, compatible with Velmora's playback system.";

const char* const initialisationErrorText =
    "DirectX error occurred initialising the dialog box. Changes will not be saved.";

const char* const failureCaption = "DirectX Initialisation failure";

const char* const failureText =
    "Could not initialise DirectX. This could either indicate you have not installed DirectX 8.0a, or your "
    "DirectX drivers (or hardware) are outdated. Try updating DirectX to the latest version. Would you like to go "
    "to the DirectX website now?";

const char* const chooserFilter = "Downloadable Sounds Collections (*.dls)|*.dls|All Files (*.*)|*.*";
const char* const chooserTitle = "Choose a custom DLS file...";

// An enumeration that never ends is cut off here.
constexpr DWORD maximumPorts = 4096;

struct CFlagText {
    DWORD bit;
    bool whenSet;  // false: the text shows when the bit is clear
    bool effect;   // tested against dwEffectFlags
    const char* text;
};

const CFlagText flagTexts[] = {
    {DMUS_PC_SOFTWARESYNTH, true, false, ", Software Synth"},
    {DMUS_PC_AUDIOPATH, true, false, ", Suppports audiopaths"},
    {DMUS_PC_DIRECTSOUND, true, false, ", Outputs to DirectSound"},
    {DMUS_PC_DLS, true, false, ", Supports DLS1"},
    {DMUS_PC_DLS2, true, false, ", Supports DLS2"},
    {DMUS_PC_MEMORYSIZEFIXED, true, false, ", Fixed DLS size"},
    {DMUS_PC_EXTERNAL, true, false, ", External Synthesizer"},
    {DMUS_PC_GMINHARDWARE, true, false, ", Accelerates GM instruments"},
    {DMUS_PC_GSINHARDWARE, true, false, ", Accelerates GS sounds"},
    {DMUS_PC_XGINHARDWARE, true, false, ", Accelerates XG extensions"},
    {DMUS_PC_SHAREABLE, false, false, ", Exclusive mode only"},
    {DMUS_PC_WAVE, true, false, ", Supports wave streaming"},
    {DMUS_EFFECT_REVERB, true, true, ", Reverb"},
    {DMUS_EFFECT_CHORUS, true, true, ", Chorus"},
    {DMUS_EFFECT_DELAY, true, true, ", Delay"},
};

LRESULT SendItem(HWND window, UINT id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
{
    return uSendDlgItemMessage(window, id, message, wParam, lParam);
}

bool IsChecked(HWND window, UINT id) { return SendItem(window, id, BM_GETCHECK) == BST_CHECKED; }

void SetCheck(HWND window, UINT id, bool checked)
{
    SendItem(window, id, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED);
}

void EnableItem(HWND window, UINT id, bool enable)
{
    if (HWND control = GetDlgItem(window, static_cast<int>(id))) EnableWindow(control, enable ? TRUE : FALSE);
}

// The whole text of a control, however the control counts its length.
bool ReadItemText(HWND window, UINT id, std::string& text)
{
    return ReadWholeText(
        SendItem(window, id, WM_GETTEXTLENGTH),
        [&](char* buffer, UINT size) { return uGetDlgItemText(window, id, buffer, size); }, text);
}

void ShowFailure(HWND window)
{
    if (uMessageBox(window, failureText, failureCaption, MB_YESNO) == IDYES)
        uShellExecute(window, nullptr, directXDownloadAddress, nullptr, nullptr, SW_SHOWDEFAULT);
}

int InitialisePage(CPreferencesPageService* page, HWND window)
{
    page->pageWindow = window;
    std::unique_ptr<CMidiMusic> engine;
    try {
        engine = std::make_unique<CMidiMusic>(window, false);

        SendItem(window, IDC_OUTPUT_PORT, CB_RESETCONTENT);
        uSendDlgItemMessageText(window, IDC_OUTPUT_PORT, CB_ADDSTRING, 0, defaultPortName);
        const int32_t port = configOutputPort.value;
        if (port == -1) uSetDlgItemText(window, IDC_DRIVER_INFORMATION, defaultSynthesizerText);

        for (DWORD index = 0; index < maximumPorts; ++index) {
            DMUS_PORTCAPS caps{};
            caps.dwSize = sizeof caps;
            HRESULT result = engine->FindOutputPort(index, &caps);
            // The enumeration's end leaves the zeroed structure untouched.
            if (FAILED(result) || caps.dwFlags == 0) break;
            // Every port is listed, so entry n + 1 stays port n.
            uSendDlgItemMessageText(window, IDC_OUTPUT_PORT, CB_ADDSTRING, 0, PortDescription(caps, index).c_str());
            if (port >= 0 && static_cast<DWORD>(port) == index)
                uSetDlgItemText(window, IDC_DRIVER_INFORMATION, BuildCapabilitiesText(caps).c_str());
        }
    } catch (...) {
        // Any failure of the engine's set-up counts as DirectX's.
        LogCaughtException("Setting up the preferences page");
        engine.reset();
        ShowFailure(window);
        return 0;
    }

    // Entry n + 1 is port n; anything below -1 (or the sum past the int
    // range) selects nothing.
    const int64_t entry = static_cast<int64_t>(configOutputPort.value) + 1;
    SendItem(window, IDC_OUTPUT_PORT, CB_SETCURSEL, entry >= 0 ? static_cast<WPARAM>(entry) : static_cast<WPARAM>(-1));

    SetCheck(window, IDC_REVERB, configReverb.value == 1);
    SetCheck(window, IDC_CHORUS, configChorus.value == 1);
    SetCheck(window, IDC_DEBUG_LOG, configLog.value == 1);
    const bool useCustomDls = configUseCustomDls.value == 1;
    SetCheck(window, IDC_USE_CUSTOM_DLS, useCustomDls);
    EnableItem(window, IDC_CUSTOM_DLS_PATH, useCustomDls);
    EnableItem(window, IDC_CUSTOM_DLS_BROWSE, useCustomDls);
    uSetDlgItemText(window, IDC_CUSTOM_DLS_PATH, configCustomDls.CopyText().c_str());

    for (UINT id : {IDC_MASTER_VOLUME, IDC_MASTER_TEMPO}) {
        SendItem(window, id, TBM_SETRANGE, TRUE, MAKELPARAM(0, 100));
        SendItem(window, id, TBM_SETTICFREQ, 10);
    }
    SendItem(window, IDC_MASTER_VOLUME, TBM_SETPOS, TRUE, configMasterVolume.value);
    SendItem(window, IDC_MASTER_TEMPO, TBM_SETPOS, TRUE, TempoPosition(configMasterTempo.value));

    // The buffer length in milliseconds, for a control the page may carry.
    const int64_t milliseconds = static_cast<int64_t>(configOutputBuffer.value) * 5 / 882;
    SetDlgItemInt(window, IDC_BUFFER_LENGTH, static_cast<UINT>(static_cast<int32_t>(milliseconds)), TRUE);

    engine.reset();
    return 1;
}

void OnPortSelected(HWND window)
{
    const LRESULT selection = SendItem(window, IDC_OUTPUT_PORT, CB_GETCURSEL);
    if (selection < 0) return;  // nothing chosen: CB_ERR is no port
    const int32_t port = static_cast<int32_t>(selection - 1);
    configOutputPort.value = port;
    if (port == -1) {
        uSetDlgItemText(window, IDC_DRIVER_INFORMATION, defaultSynthesizerText);
        return;
    }
    try {
        CMidiMusic engine(window, false);
        DMUS_PORTCAPS caps{};
        caps.dwSize = sizeof caps;
        HRESULT result = engine.FindOutputPort(static_cast<DWORD>(port), &caps);
        // S_FALSE is the end of the enumeration: no such port to describe.
        if (result == S_OK || (SUCCEEDED(result) && caps.dwFlags != 0))
            uSetDlgItemText(window, IDC_DRIVER_INFORMATION, BuildCapabilitiesText(caps).c_str());
    } catch (...) {
        // The text stays as it was.
        LogCaughtException("Describing the chosen port");
    }
}

void OnBrowse(HWND window)
{
    std::vector<char> path(VELMORA_UTF8_MAX_PATH, '\0');
    if (uGetOpenFileName(window, chooserFilter, 0, nullptr, chooserTitle, nullptr, path.data(),
                         static_cast<UINT>(path.size()), FALSE) != 1)
        return;
    // Only a path that ended within the buffer is taken.
    if (!std::memchr(path.data(), 0, path.size())) return;
    configCustomDls.SetText(path.data());
    uSetDlgItemText(window, IDC_CUSTOM_DLS_PATH, path.data());
}

void OnCommand(HWND window, WORD id, WORD code)
{
    switch (id) {
    case IDC_OUTPUT_PORT:
        if (code == CBN_SELCHANGE) OnPortSelected(window);
        break;
    case IDC_REVERB: configReverb.value = IsChecked(window, IDC_REVERB) ? 1 : 0; break;
    case IDC_CHORUS: configChorus.value = IsChecked(window, IDC_CHORUS) ? 1 : 0; break;
    case IDC_DEBUG_LOG: configLog.value = IsChecked(window, IDC_DEBUG_LOG) ? 1 : 0; break;
    case IDC_USE_CUSTOM_DLS: {
        const bool use = IsChecked(window, IDC_USE_CUSTOM_DLS);
        EnableItem(window, IDC_CUSTOM_DLS_PATH, use);
        EnableItem(window, IDC_CUSTOM_DLS_BROWSE, use);
        configUseCustomDls.value = use ? 1 : 0;
        break;
    }
    case IDC_CUSTOM_DLS_BROWSE: OnBrowse(window); break;
    }
}

INT_PTR ApplyPage(HWND window)
{
    configMasterVolume.value = static_cast<int32_t>(SendItem(window, IDC_MASTER_VOLUME, TBM_GETPOS));
    configMasterTempo.value = static_cast<float>(SendItem(window, IDC_MASTER_TEMPO, TBM_GETPOS));
    configUseCustomDls.value = IsChecked(window, IDC_USE_CUSTOM_DLS) ? 1 : 0;
    std::string path;
    if (ReadItemText(window, IDC_CUSTOM_DLS_PATH, path)) configCustomDls.SetText(path.c_str());
    configOutputBuffer.value = OutputBufferFromMilliseconds(GetDlgItemInt(window, IDC_BUFFER_LENGTH, nullptr, FALSE));
    return 1;
}

}  // namespace

HWND CreatePreferencesPage(HWND parent, CPreferencesPageService* page)
{
    HINSTANCE module = GetModuleInstance();
    if (!module) return nullptr;
    return uCreateDialog(module, IDD_PREFERENCES_PAGE, parent, PageDialogProc, reinterpret_cast<LPARAM>(page));
}

INT_PTR CALLBACK PageDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Nothing may leave a dialog procedure: a failure in a step ends that
    // step and leaves the page as it was.
    try {
        if (message == WM_INITDIALOG) {
            auto* page = reinterpret_cast<CPreferencesPageService*>(lParam);
            // A failure anywhere in the set-up leaves the page inert with
            // its note, as a DirectX failure does.
            bool ready = false;
            try {
                ready = page && InitialisePage(page, window) == 1;
            } catch (...) {
                LogCaughtException("Initialising the preferences page");
            }
            if (ready)
                SetPropA(window, propertyName, reinterpret_cast<HANDLE>(page));
            else
                uSetDlgItemText(window, IDC_NOTE, initialisationErrorText);
            return TRUE;
        }
        auto* page = reinterpret_cast<CPreferencesPageService*>(GetPropA(window, propertyName));
        if (!page) return FALSE;
        page->pageWindow = window;
        switch (message) {
        case WM_DESTROY: {
            RemovePropA(window, propertyName);
            INT_PTR result = ApplyPage(window);
            // The window is going: the page no longer has one.
            page->pageWindow = nullptr;
            return result;
        }
        case WM_COMMAND: OnCommand(window, LOWORD(wParam), HIWORD(wParam)); return FALSE;
        }
    } catch (...) {
        LogCaughtException("The preferences page");
    }
    return FALSE;
}

std::string BuildCapabilitiesText(const DMUS_PORTCAPS& caps)
{
    std::string text = "Capabilities";
    if (caps.dwType & DMUS_PORT_USER_MODE_SYNTH) text += "\r\nUser mode driver";
    if (caps.dwType & DMUS_PORT_KERNEL_MODE) text += "\r\nKernel mode driver";
    const bool unsupported = caps.dwMaxVoices == 0xFFFFFFFF;
    auto number = [&](DWORD value) { return unsupported ? std::string("unsupported") : std::to_string(value); };
    text += "\r\nMaximum Channels: " + number(caps.dwMaxChannelGroups);
    text += "\r\nAudio channels: " + number(caps.dwMaxAudioChannels);
    text += "\r\nMaximum voices: " + number(caps.dwMaxVoices);
    text += "\r\nFlags:\r\n";
    for (const CFlagText& flag : flagTexts) {
        const DWORD bits = flag.effect ? caps.dwEffectFlags : caps.dwFlags;
        if (((bits & flag.bit) != 0) == flag.whenSet) text += flag.text;
    }
    text += ".\r\n";
    return text;
}

std::string PortDescription(const DMUS_PORTCAPS& caps, DWORD index)
{
    // A description may fill all its units without a NUL.
    char buffer[DMUS_MAX_DESCRIPTION * 3 + 1];
    ConvertUtf16ToUtf8(caps.wszDescription, DMUS_MAX_DESCRIPTION, buffer);
    if (buffer[0] != '\0') return buffer;
    return "Port " + std::to_string(index);
}

int32_t OutputBufferFromMilliseconds(UINT milliseconds)
{
    constexpr int32_t oneSecond = int32_t(pcmBytesPerSecond);
    if (milliseconds <= 1000) return oneSecond;
    // Held to the longest block a decode takes.
    const uint64_t bytes = static_cast<uint64_t>(milliseconds) * pcmBytesPerSecond / 1000;
    return bytes > uint64_t(largestBlockSize) ? largestBlockSize : static_cast<int32_t>(bytes);
}

bool ReadWholeText(LRESULT length, const std::function<UINT(char* buffer, UINT size)>& copy, std::string& text)
{
    // A unit is at most three bytes of UTF-8. A copy is whole only when it
    // stops short of the buffer by more than a character: a cut copy fills
    // it, less at most the three bytes of a character that did not fit.
    constexpr size_t largestBuffer = size_t{1} << 28;
    constexpr size_t spare = 5;
    if (length < 0 || length >= 0x7FFFFFFF) return false;
    for (size_t size = static_cast<size_t>(length) * 3 + spare; size <= largestBuffer; size *= 2) {
        std::vector<char> buffer(size, '\0');
        const UINT copied = copy(buffer.data(), static_cast<UINT>(size));
        if (copied + spare <= size) {
            text.assign(buffer.data(), copied);
            return true;
        }
    }
    return false;
}

int TempoPosition(float tempo)
{
    if (std::isnan(tempo) || tempo < 0) return 0;
    if (tempo > 100) return 100;  // an infinite tempo too
    return static_cast<int>(tempo);
}
