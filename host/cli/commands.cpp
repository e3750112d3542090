// The commands: about and config.
#include "host/cli/commands.h"

#include "host/cli/collection_command.h"
#include "host/objects/settings_block.h"
#include "host/objects/text_receiver.h"

#include <cstdio>
#include <cstring>

namespace {

const char* const aboutHelp = "Usage: velmora about\n"
                              "\n"
                              "Walks the component's service registrations and prints, for the version\n"
                              "information, its display name, version, about text and file name; for the\n"
                              "preferences page, its page name and parent page name; for other services,\n"
                              "their class.\n";

const char* const configHelp = "Usage: velmora config list\n"
                               "       velmora config get NAME\n"
                               "       velmora config set NAME VALUE\n"
                               "       velmora config reset\n"
                               "\n"
                               "Shows and changes the component's settings. Changes are saved in the\n"
                               "settings file when the host exits. 'velmora config COMMAND --help' tells more.\n";

const char* const configListHelp = "Usage: velmora config list\n"
                                   "\n"
                                   "Prints every setting as NAME=VALUE, one a line, in the component's order.\n"
                                   "Whole numbers and numbers with a fraction are printed in decimal, texts as\n"
                                   "they are.\n";

const char* const configGetHelp = "Usage: velmora config get NAME\n"
                                  "\n"
                                  "Prints the value of one setting. An unknown name is an error (status 2).\n";

const char* const configSetHelp = "Usage: velmora config set NAME VALUE\n"
                                  "\n"
                                  "Changes one setting; it is saved when the host exits. VALUE must suit the\n"
                                  "setting: a whole number (MIDILog, MIDIOutputBuffer, MIDIPadBefore,\n"
                                  "MIDIOutputPort, MIDIReverb, MIDIChorus, MIDIMasterVolume, MIDIUseCustomDLS),\n"
                                  "a number (MIDIMasterTempo) or a text (MIDICustomDLS; \"\" empties it).\n"
                                  "An unknown name or an unsuitable value is an error (status 2) and nothing is\n"
                                  "saved.\n";

const char* const configResetHelp = "Usage: velmora config reset\n"
                                    "\n"
                                    "Sets every setting back to the component's default; saved when the host exits.\n";

const char* const prefsHelp = "Usage: velmora prefs show\n"
                              "       velmora prefs set [--port N|default] [--reverb on|off] [--chorus on|off]\n"
                              "                         [--log on|off] [--volume 0..100] [--tempo 0..100]\n"
                              "                         [--use-dls on|off] [--dls PATH]\n"
                              "       velmora prefs render OUT.png\n"
                              "\n"
                              "Drives the component's preferences page under the host's window.\n"
                              "show prints each control of the page in order with its state. set does\n"
                              "what a person would on the page, in the order above, and closes it, so the\n"
                              "page stores the values; they are saved when the host exits. --port N picks\n"
                              "port N of the list (default: the synthesizer with output); a box is clicked\n"
                              "only when its state differs; --dls clicks \"...\" and answers the chooser\n"
                              "with PATH, made absolute (the custom DLS must be on). render draws the page\n"
                              "into a PNG.\n"
                              "\n"
                              "A port off the list or a disabled control is an error (status 2); a page\n"
                              "that could not set up DirectX, or a --dls PATH that names no file or that\n"
                              "the page does not take, stores nothing (status 1).\n";

const CCommand commands[] = {
    {"about", aboutHelp, 0, 0, RunAbout},
    {"config", configHelp, 0, 0, nullptr},
    {"config list", configListHelp, 0, 0, RunConfigList},
    {"config get", configGetHelp, 1, 1, RunConfigGet},
    {"config set", configSetHelp, 2, 2, RunConfigSet},
    {"config reset", configResetHelp, 0, 0, RunConfigReset},
    {"info", infoHelp, 1, 1000000, RunInfo},
    {"decode", decodeHelp, 1, 1000000, RunDecodeCommand},
    {"prefs", prefsHelp, 0, 0, nullptr},
    {"prefs show", prefsHelp, 0, 0, RunPrefsShow},
    {"prefs set", prefsHelp, 1, 32, RunPrefsSet},
    {"prefs render", prefsHelp, 1, 1, RunPrefsRender},
};

const CCommand* FindByName(const std::string& name)
{
    for (const CCommand& command : commands)
        if (name == command.name) return &command;
    return nullptr;
}

std::string FormatGuid(const GUID& guid)
{
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
                  guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

bool Same(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

const char* OrEmpty(const char* text) { return text ? text : ""; }

std::vector<CSettingsRecord> CurrentRecords(CCommandContext& context)
{
    return GetSettingsRecords(context.library.Component());
}

int UnknownSetting(const std::string& name)
{
    std::fprintf(stderr, "velmora: %s\n", UnknownSettingMessage(name).c_str());
    return exitUsage;
}

}  // namespace

const CCommand* FindCommand(const std::vector<std::string>& words, size_t& argumentStart)
{
    argumentStart = 0;
    const CCommand* first = FindByName(words[0]);
    if (!first) return nullptr;
    argumentStart = 1;
    if (first->run || words.size() == 1) return first;
    const CCommand* sub = FindByName(words[0] + " " + words[1]);
    if (sub) argumentStart = 2;
    return sub;
}

int RunAbout(CCommandContext& context)
{
    CComponentInterface* component = context.library.Component();
    int steps = 0;
    for (CServiceRegistration* entry = component->GetFirstRegistration(); entry && steps < 10000;
         entry = entry->next, ++steps) {
        if (Same(entry->classId, CLSID_VersionInfoService)) {
            CHostService* service = entry->CreateInstance();
            if (!service) continue;
            auto* info = static_cast<CVersionInfoInterface*>(service);
            CHostTextReceiver displayName, version, aboutText, fileName;
            info->GetDisplayName(&displayName);
            info->GetVersion(&version);
            info->GetAboutText(&aboutText);
            info->GetFileName(&fileName);
            std::printf("Version information\n  Display name: %s\n  Version: %s\n  About: %s\n  File name: %s\n",
                        displayName.GetText(), version.GetText(), aboutText.GetText(), fileName.GetText());
            service->Release();
        } else if (Same(entry->classId, CLSID_PreferencesPageService)) {
            CHostService* service = entry->CreateInstance();
            if (!service) continue;
            auto* page = static_cast<CPreferencesPageInterface*>(service);
            std::printf("Preferences page\n  Page name: %s\n  Parent page: %s\n", OrEmpty(page->GetPageName()),
                        OrEmpty(page->GetParentPageName()));
            service->Release();
        } else if (Same(entry->classId, CLSID_MidiDecoderService)) {
            // Listed only: a decoder instance is made per track.
            std::printf("Decoder\n  Class: %s\n", FormatGuid(entry->classId).c_str());
        } else {
            std::printf("Service\n  Class: %s\n", FormatGuid(entry->classId).c_str());
        }
    }
    return exitSuccess;
}

int RunConfigList(CCommandContext& context)
{
    for (const CSettingsRecord& record : CurrentRecords(context))
        std::printf("%s=%s\n", record.name.c_str(),
                    FormatSettingValue(GetSettingKind(record.name, record.data), record.data).c_str());
    return exitSuccess;
}

int RunConfigGet(CCommandContext& context)
{
    const std::string& name = context.arguments[0];
    std::vector<CSettingsRecord> records = CurrentRecords(context);
    const CSettingsRecord* record = FindSettingsRecord(records, name);
    if (!record) return UnknownSetting(name);
    std::printf("%s\n", FormatSettingValue(GetSettingKind(record->name, record->data), record->data).c_str());
    return exitSuccess;
}

int RunConfigSet(CCommandContext& context)
{
    const std::string& name = context.arguments[0];
    const std::string& text = context.arguments[1];
    CSettingsRecord change;
    if (!ChangeSetting(context.library.Component(), name, text, change)) return exitUsage;

    // The component has the last word on what it stores.
    const std::vector<CSettingsRecord> after = CurrentRecords(context);
    const CSettingsRecord* stored = FindSettingsRecord(after, name);
    if (!stored || stored->data != change.data) {
        std::fprintf(stderr, "velmora: the component did not take %s=%s\n", name.c_str(), text.c_str());
        return exitFailure;
    }
    context.settingsChanged = true;
    return exitSuccess;
}

int RunConfigReset(CCommandContext& context)
{
    const std::vector<uint8_t>& defaults = context.settings.Defaults();
    context.library.Component()->LoadSettings(defaults.data(), static_cast<uint32_t>(defaults.size()));
    context.settingsChanged = true;
    return exitSuccess;
}
