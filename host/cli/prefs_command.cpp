// The prefs commands: show, set and render the component's preferences page
// under the host's main window, on a window thread of its own.
#include "host/cli/commands.h"
#include "host/cli/page_window.h"
#include "host/objects/velmora_host.h"
#include "host/utf8/dialog_answers.h"
#include "platform/user.h"

#include <commctrl.h>

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>

namespace {

// From the command line a message box prints its text and answers no, an
// address is printed rather than opened, and the chooser answers the path
// given with --dls (or is cancelled).
class CCommandLineAnswers final : public CDialogAnswers {
public:
    int AnswerMessageBox(HWND, const char* text, const char* caption, UINT type) override
    {
        std::fprintf(stderr, "velmora: message box \"%s\": %s\n", caption, text);
        return (type & 0xF) == MB_YESNO ? IDNO : IDCANCEL;
    }
    bool AnswerShellExecute(HWND, const char*, const char* file, const char*) override
    {
        std::fprintf(stderr, "velmora: not opening %s\n", file);
        return false;
    }
    bool AnswerOpenFileName(HWND, const char*, const char*, std::string& path) override
    {
        if (!chosenPath) return false;
        path = *chosenPath;
        return true;
    }

    std::optional<std::string> chosenPath;
};

// Installs the answers for the life of one command.
class CInstalledAnswers {
public:
    explicit CInstalledAnswers(CDialogAnswers* answers) : previous(uSetDialogAnswers(answers)) {}
    ~CInstalledAnswers() { uSetDialogAnswers(previous); }

private:
    CDialogAnswers* previous;
};

struct CPageRequest {
    std::optional<int> port;  // -1 for the default
    std::optional<bool> reverb, chorus, log, useDls;
    std::optional<int> volume, tempo;
    std::optional<std::string> dls;
};

bool ParseSwitch(const std::string& value, bool& on)
{
    if (value == "on") return on = true, true;
    if (value == "off") return on = false, true;
    return false;
}

bool ParseNumber(const std::string& value, int low, int high, int& number)
{
    auto [end, status] = std::from_chars(value.data(), value.data() + value.size(), number);
    return status == std::errc() && end == value.data() + value.size() && number >= low && number <= high;
}

// Takes one --name value pair into request; false with error set.
bool ParseSetting(const std::string& name, const std::string& value, CPageRequest& request, std::string& error)
{
    bool on = false;
    int number = 0;
    if (name == "--port") {
        if (value == "default")
            request.port = -1;
        else if (ParseNumber(value, 0, 0x7FFFFFFE, number))
            request.port = number;
        else
            return error = "--port needs a port number or 'default', not '" + value + "'", false;
    } else if (name == "--reverb" || name == "--chorus" || name == "--log" || name == "--use-dls") {
        if (!ParseSwitch(value, on)) return error = name + " needs on or off, not '" + value + "'", false;
        (name == "--reverb"   ? request.reverb
         : name == "--chorus" ? request.chorus
         : name == "--log"    ? request.log
                              : request.useDls) = on;
    } else if (name == "--volume" || name == "--tempo") {
        if (!ParseNumber(value, 0, 100, number))
            return error = name + " needs a whole number from 0 to 100, not '" + value + "'", false;
        (name == "--volume" ? request.volume : request.tempo) = number;
    } else if (name == "--dls") {
        if (value.empty()) return error = "--dls needs a path", false;
        // A chooser answers an absolute path.
        std::error_code failure;
        request.dls = std::filesystem::absolute(value, failure).lexically_normal().string();
    } else {
        return error = "unknown setting " + name, false;
    }
    return true;
}

bool ParseRequest(const std::vector<std::string>& arguments, CPageRequest& request, std::string& error)
{
    for (size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i], value;
        size_t equals = name.find('=');
        if (equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            error = name + " needs a value";
            return false;
        }
        if (!ParseSetting(name, value, request, error)) return false;
    }
    return true;
}

// Makes the page under the host's main window; null when the component's
// page cannot be made.
HWND MakePage(CCommandContext& context)
{
    CServiceRegistration* registration = context.library.FindRegistration(CLSID_PreferencesPageService);
    CHostService* service = registration ? registration->CreateInstance() : nullptr;
    if (!service) return nullptr;
    HWND page = static_cast<CPreferencesPageInterface*>(service)->CreatePage(context.host->GetMainWindow());
    service->Release();
    return page;
}

int NoPage()
{
    std::fprintf(stderr, "velmora: the component's preferences page could not be made\n");
    return exitFailure;
}

int Refused(const char* what)
{
    std::fprintf(stderr, "velmora: %s\n", what);
    return exitUsage;
}

// The page's controls, found by what a person reads on the page.
HWND PortList(HWND page) { return FindControlBeside(page, "ComboBox", "Output Port"); }
HWND CheckBox(HWND page, const char* caption) { return FindControl(page, "Button", caption); }
HWND VolumeTrackbar(HWND page) { return FindControlBeside(page, TRACKBAR_CLASSA, "Master Volume"); }
HWND TempoTrackbar(HWND page) { return FindControlBeside(page, TRACKBAR_CLASSA, "Master Tempo"); }
HWND BrowseButton(HWND page) { return FindControl(page, "Button", "..."); }
HWND DlsPathEdit(HWND page) { return FindControlBeside(page, "Edit", "..."); }

bool SetBox(HWND box, bool on)
{
    if (!box) return false;
    bool checked = SendMessageA(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
    return checked == on || platform::ClickControl(box);
}

int ChoosePort(HWND page, int port)
{
    HWND list = PortList(page);
    int entries = list ? static_cast<int>(SendMessageA(list, CB_GETCOUNT, 0, 0)) : 0;
    int entry = port + 1;
    if (entry >= entries) {
        std::fprintf(stderr, "velmora: port %d is not on the page's list (%d ports)\n", port, std::max(entries - 1, 0));
        return exitUsage;
    }
    if (!platform::ChooseComboEntry(list, entry)) return Refused("the port list is disabled");
    return exitSuccess;
}

std::string TextOfEdit(HWND edit)
{
    std::string shown(static_cast<size_t>(std::max(GetWindowTextLengthA(edit), 0)) + 1, '\0');
    shown.resize(static_cast<size_t>(std::max(GetWindowTextA(edit, shown.data(), int(shown.size())), 0)));
    return shown;
}

// Clicks "..." and answers the chooser with path.
int ChooseDls(HWND page, const std::string& path, CCommandLineAnswers& answers)
{
    HWND browse = BrowseButton(page);
    // A chooser only answers a file that exists; a refused answer fails the command.
    struct stat status;
    const bool found = stat(path.c_str(), &status) == 0;
    if (browse && IsWindowEnabled(browse) && (!found || !S_ISREG(status.st_mode))) {
        std::fprintf(stderr, "velmora: --dls: the chooser cannot answer %s: %s; nothing stored\n", path.c_str(),
                     found ? "not a file" : std::strerror(errno));
        return exitFailure;
    }
    answers.chosenPath = path;
    if (!platform::ClickControl(browse))
        return Refused("the \"...\" button is disabled: turn the custom DLS on with --use-dls on");
    if (TextOfEdit(DlsPathEdit(page)) != path) {
        std::fprintf(stderr, "velmora: --dls: the page did not take %s from the chooser; nothing stored\n",
                     path.c_str());
        return exitFailure;
    }
    return exitSuccess;
}

// The boxes and trackbars of the request, in the order of the options' help.
int SetBoxesAndTrackbars(HWND page, const CPageRequest& request)
{
    if (request.reverb && !SetBox(CheckBox(page, "Reverb"), *request.reverb))
        return Refused("the Reverb box is disabled");
    if (request.chorus && !SetBox(CheckBox(page, "Chorus"), *request.chorus))
        return Refused("the Chorus box is disabled");
    if (request.log && !SetBox(CheckBox(page, "Debug Log"), *request.log))
        return Refused("the Debug Log box is disabled");
    if (request.volume && !platform::DragTrackbar(VolumeTrackbar(page), *request.volume))
        return Refused("the volume trackbar is disabled");
    if (request.tempo && !platform::DragTrackbar(TempoTrackbar(page), *request.tempo))
        return Refused("the tempo trackbar is disabled");
    if (request.useDls && !SetBox(CheckBox(page, "Use Custom DLS:"), *request.useDls))
        return Refused("the Use Custom DLS box is disabled");
    return exitSuccess;
}

// Performs the request's actions on the live page, in the order of the
// options' help; exit 2 for an action the page refuses.
int PerformActions(HWND page, const CPageRequest& request, CCommandLineAnswers& answers)
{
    if (!IsPageLive(page)) {
        std::fprintf(stderr, "velmora: the page could not set up DirectX: nothing stored\n");
        return exitFailure;
    }
    int status = request.port ? ChoosePort(page, *request.port) : exitSuccess;
    if (status == exitSuccess) status = SetBoxesAndTrackbars(page, request);
    if (status == exitSuccess && request.dls) status = ChooseDls(page, *request.dls, answers);
    return status;
}

// What becomes of the settings the page stored when it closed.
enum class CPageSettings { Undone, KeptOnSuccess };

// Runs work on a page made on the window thread and destroys the page after
// (closing the page is what stores its values). The settings go back to
// what they were unless kept, and are kept only when work succeeded.
int WithPage(CCommandContext& context, CPageSettings settings,
             const std::function<int(HWND, CCommandLineAnswers&)>& work)
{
    const std::vector<uint8_t> before = GetSettingsBlock(context.library.Component());
    CCommandLineAnswers answers;
    CInstalledAnswers installed(&answers);
    const int status = RunOnWindowThread([&] {
        HWND page = MakePage(context);
        if (!page) return NoPage();
        const int result = work(page, answers);
        DestroyWindow(page);
        return result;
    });
    if (settings == CPageSettings::KeptOnSuccess && status == exitSuccess)
        context.settingsChanged = true;
    else
        context.library.Component()->LoadSettings(before.data(), static_cast<uint32_t>(before.size()));
    return status;
}

}  // namespace

int RunPrefsShow(CCommandContext& context)
{
    return WithPage(context, CPageSettings::Undone, [](HWND page, CCommandLineAnswers&) {
        std::fputs(DescribePage(page).c_str(), stdout);
        return exitSuccess;
    });
}

int RunPrefsSet(CCommandContext& context)
{
    CPageRequest request;
    std::string error;
    if (!ParseRequest(context.arguments, request, error)) return Refused(error.c_str());
    return WithPage(context, CPageSettings::KeptOnSuccess,
                    [&](HWND page, CCommandLineAnswers& answers) { return PerformActions(page, request, answers); });
}

int RunPrefsRender(CCommandContext& context)
{
    const std::string path = context.arguments[0];
    return WithPage(context, CPageSettings::Undone, [&](HWND page, CCommandLineAnswers&) {
        std::string error;
        if (!RenderPage(page, path, error)) {
            std::fprintf(stderr, "velmora: %s\n", error.c_str());
            return exitFailure;
        }
        return exitSuccess;
    });
}
