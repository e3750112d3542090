// velmora.exe's entry: the arguments as UTF-16 from the command line, handed
// to the host's main as UTF-8; the console set up as a command-line player
// needs it; the host's dialog answers kept for velmora_utf8.dll.
#include "host/utf8/dialog_answers.h"
#include "host/utf8/win/wide.h"

#include <commctrl.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

// main.cpp's main, built under this name for Windows (see host/CMakeLists.txt).
int VelmoraHostMain(int argc, char** argv);

namespace {

std::atomic<CDialogAnswers*> installedAnswers{nullptr};

// What no person can answer on a command line: a message box answers no,
// nothing is opened, the chooser is cancelled, as in the Linux host when no
// command installed answers of its own.
class CUnattendedAnswers final : public CDialogAnswers {
public:
    int AnswerMessageBox(HWND, const char*, const char*, UINT type) override
    {
        switch (type & 0xF) {
        case MB_YESNO:
        case MB_YESNOCANCEL: return IDNO;
        case MB_OK: return IDOK;
        default: return IDCANCEL;
        }
    }
    bool AnswerShellExecute(HWND, const char*, const char*, const char*) override { return false; }
    bool AnswerOpenFileName(HWND, const char*, const char*, std::string&) override { return false; }
};

CUnattendedAnswers unattended;

// Words the Windows host does not offer; they fail before the component loads.
const char* LinuxOnly(const std::string& word)
{
    if (word == "--speed" || word.rfind("--speed=", 0) == 0)
        return "--speed is not available on Windows: the clock there is the system's own";
    return nullptr;
}

}  // namespace

VELMORA_DIALOG_ANSWERS_API CDialogAnswers* uSetDialogAnswers(CDialogAnswers* answers)
{
    return installedAnswers.exchange(answers);
}

// velmora_utf8.dll looks this up in the executable: answers while set, else
// those of an unattended run, so no message box waits for a person.
extern "C" __declspec(dllexport) CDialogAnswers* velmora_dialog_answers()
{
    CDialogAnswers* answers = installedAnswers.load();
    return answers ? answers : &unattended;
}

int wmain(int, wchar_t**)
{
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) {
        std::fprintf(stderr, "velmora: cannot read the command line\n");
        return 1;
    }
    std::vector<std::string> words;
    for (int i = 0; i < count; ++i) words.push_back(Narrow(wide[i], std::wcslen(wide[i])));
    LocalFree(wide);

    // The output is UTF-8 with plain line ends, byte for byte the Linux host's.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    SetConsoleOutputCP(CP_UTF8);
    // Each line leaves at once, so what was printed survives a component
    // that takes the process down.
    std::setvbuf(stdout, nullptr, _IONBF, 0);

    for (size_t i = 1; i < words.size() && words[i] != "--"; ++i) {
        if (const char* refusal = LinuxOnly(words[i])) {
            std::fprintf(stderr, "velmora: %s\nTry 'velmora --help'.\n", refusal);
            return 2;
        }
    }

    // The player's controls, before any page of a component is shown.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    const int status = VelmoraHostMain(static_cast<int>(words.size()), argv.data());
    std::fflush(stdout);
    std::fflush(stderr);
    return status;
}
