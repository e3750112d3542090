// The entry point, the component interface, the module globals, and every
// static object whose construction builds the two lists. They are all
// defined in this one unit because only within a unit is the order of
// construction fixed: the ten variables, then the decoder, page and version
// information registrations, so each list runs in the reverse order.
#include "tessarine/frame/config.h"
#include "tessarine/frame/globals.h"
#include "tessarine/frame/little_endian.h"
#include "tessarine/frame/pcm_format.h"
#include "tessarine/frame/services.h"
#include "tessarine/frame/text_copy.h"

#include "sdk/tessarine/settings.h"

#include <cstring>
#include <iterator>
#include <memory>
#include <string_view>
#include <vector>

// ---- Module globals (zero at load) -------------------------------------------

namespace {

HINSTANCE moduleInstance = nullptr;
CHostInterface* hostInterface = nullptr;
std::unique_ptr<char[]> firstLibraryName;
std::unique_ptr<char[]> componentFileName;
uint8_t servicesFlag = 0;

}  // namespace

HINSTANCE GetModuleInstance() { return moduleInstance; }
CHostInterface* GetHostInterface() { return hostInterface; }
const char* GetComponentFileName() { return componentFileName ? componentFileName.get() : ""; }

// ---- The static objects, in construction order -------------------------------

namespace {

using tessarine::CSettingKind;

// A variable's name, checked when the component builds: tessarine
// publishes a setting of that name and of the variable's kind. It walks the
// table itself rather than through FindSettingDescription: GCC's null-pointer
// sanitizer does not take the test of the pointer that returns in a constant
// expression.
consteval const char* Published(std::string_view name, CSettingKind kind)
{
    for (const tessarine::CSettingDescription& description : tessarine::settingDescriptions)
        if (name == description.name && description.kind == kind) return description.name;
    throw "a setting tessarine does not publish";
}

static_assert(std::size(tessarine::settingDescriptions) == 10, "every variable is published, and no other");

}  // namespace

CConfigInt configLog(Published("MIDILog", CSettingKind::Integer), 1);
CConfigInt configOutputBuffer(Published("MIDIOutputBuffer", CSettingKind::Integer), int32_t(pcmBytesPerSecond));
CConfigInt configPadBefore(Published("MIDIPadBefore", CSettingKind::Integer), 100);
CConfigInt configOutputPort(Published("MIDIOutputPort", CSettingKind::Integer), -1);
CConfigInt configReverb(Published("MIDIReverb", CSettingKind::Integer), 0);
CConfigInt configChorus(Published("MIDIChorus", CSettingKind::Integer), 0);
CConfigInt configMasterVolume(Published("MIDIMasterVolume", CSettingKind::Integer), 0);
CConfigFloat configMasterTempo(Published("MIDIMasterTempo", CSettingKind::Float), 0.0f);
CConfigInt configUseCustomDls(Published("MIDIUseCustomDLS", CSettingKind::Integer), 0);
CConfigText configCustomDls(Published("MIDICustomDLS", CSettingKind::Text), nullptr);

namespace {

CDecoderRegistration decoderRegistration;
CSingleServiceRegistration<CPreferencesPageService> pageRegistration(CLSID_PreferencesPageService);
CSingleServiceRegistration<CVersionInfoService> versionRegistration(CLSID_VersionInfoService);

CComponentInterface componentInterface;

// Collects one variable's value bytes.
class CScratchSink final : public CRawDataSink {
public:
    void Append(const void* data, uint32_t size) override
    {
        const auto* bytes = static_cast<const uint8_t*>(data);
        buffer.insert(buffer.end(), bytes, bytes + size);
    }

    std::vector<uint8_t> buffer;
};

void WriteLittleEndian32(CSettingsWriter* writer, uint32_t value)
{
    const auto bytes = StoreLittleEndian32(value);
    writer->Write(bytes.data(), uint32_t(bytes.size()));
}

// An empty text stores nothing.
std::unique_ptr<char[]> CopyLibraryName(const char* text)
{
    if (!text || !*text) return nullptr;
    return std::unique_ptr<char[]>(CopyText(text));
}

}  // namespace

CComponentInterface* GetComponentInterface() { return &componentInterface; }

TESSARINE_EXPORT CComponentInterface* velmora_get_interface(CHostInterface* host, HINSTANCE instance)
{
    hostInterface = host;
    moduleInstance = instance;
    return &componentInterface;
}

// ---- CComponentInterface -----------------------------------------------------

int32_t CComponentInterface::GetInterfaceVersion() { return 35; }

CServiceRegistration* CComponentInterface::GetFirstRegistration() { return GetFirstServiceRegistration(); }

void CComponentInterface::SaveSettings(CSettingsWriter* writer)
{
    if (!writer) return;
    CScratchSink scratch;
    for (CConfigVariable* variable = GetFirstConfigVariable(); variable; variable = variable->GetNext()) {
        scratch.buffer.clear();
        if (!variable->GetRawData(&scratch)) continue;
        const char* name = variable->GetName();
        const auto nameLength = uint32_t(std::strlen(name));
        WriteLittleEndian32(writer, nameLength);
        writer->Write(name, nameLength);
        WriteLittleEndian32(writer, uint32_t(scratch.buffer.size()));
        if (!scratch.buffer.empty()) writer->Write(scratch.buffer.data(), uint32_t(scratch.buffer.size()));
    }
}

void CComponentInterface::LoadSettings(const void* data, uint32_t size)
{
    if (!data || size <= 4) return;
    const auto* cursor = static_cast<const uint8_t*>(data);
    uint32_t remaining = size;
    for (;;) {
        if (remaining < 4) return;
        const uint32_t nameLength = LoadLittleEndian32(cursor);
        cursor += 4;
        remaining -= 4;
        if (remaining < nameLength) return;
        const char* recordName = reinterpret_cast<const char*>(cursor);
        // The record's name ends at its first NUL, if it has one.
        const void* nul = nameLength ? std::memchr(recordName, 0, nameLength) : nullptr;
        const size_t recordNameLength = nul ? size_t(static_cast<const char*>(nul) - recordName) : nameLength;
        cursor += nameLength;
        remaining -= nameLength;

        if (remaining < 4) return;
        const uint32_t dataLength = LoadLittleEndian32(cursor);
        cursor += 4;
        remaining -= 4;
        if (dataLength > remaining) return;

        for (CConfigVariable* variable = GetFirstConfigVariable(); variable; variable = variable->GetNext()) {
            const char* name = variable->GetName();
            if (std::strlen(name) == recordNameLength && std::memcmp(name, recordName, recordNameLength) == 0) {
                variable->SetRawData(cursor, dataLength);
                break;
            }
        }
        cursor += dataLength;
        remaining -= dataLength;
        if (remaining <= 4) return;
    }
}

void CComponentInterface::NoOperation() {}

void CComponentInterface::SetLibraryNames(const char* first, const char* fileName)
{
    firstLibraryName = CopyLibraryName(first);
    componentFileName = CopyLibraryName(fileName);
}

void CComponentInterface::SetServicesFlag(uint8_t flag) { servicesFlag = flag; }
