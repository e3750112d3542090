// dmrender: plays a MIDI, RMID, segment or XMI file through the platform's
// DirectMusic alone and writes what the synthesizer rendered as a WAV file,
// read back from the DirectSound buffer behind its play cursor.
//
//   dmrender FILE -o OUT.wav [--speed RATE] [--dls PATH] [--reverb on|off]
//            [--chorus on|off] [--port N]
#include <dmerror.h>
#include <dmusicc.h>
#include <dmusici.h>
#include <dsound.h>
#include <objbase.h>
#include <platform/clock.h>
#include <sndfile.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr DWORD kRingBytes = 176400;
constexpr REFERENCE_TIME kSecond = 10000000;

struct Options {
    std::string input, output, dls;
    double speed = 1.0;
    bool reverb = true, chorus = false;
    DWORD port = 0;
};

int Usage(const char* message)
{
    if (message) std::fprintf(stderr, "dmrender: %s\n", message);
    std::fprintf(stderr,
                 "usage: dmrender FILE -o OUT.wav [--speed RATE] [--dls PATH] [--reverb on|off] [--chorus on|off] "
                 "[--port N]\n");
    return 2;
}

bool ParseSwitch(const char* text, bool* value)
{
    if (std::strcmp(text, "on") == 0) *value = true;
    else if (std::strcmp(text, "off") == 0) *value = false;
    else return false;
    return true;
}

void ToWide(const std::string& text, WCHAR* target, size_t capacity)
{
    // Paths are passed byte for byte; the loader reads them as UTF-16 units.
    size_t i = 0;
    for (; i < text.size() && i + 1 < capacity; ++i) target[i] = WCHAR(static_cast<unsigned char>(text[i]));
    target[i] = 0;
}

bool LooksLikeMidi(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    char head[12] = {};
    file.read(head, sizeof(head));
    return std::memcmp(head, "MThd", 4) == 0 || (std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "RMID", 4) == 0);
}

const char* Describe(HRESULT hr)
{
    switch (hr) {
    case DMUS_E_LOADER_FAILEDOPEN: return "the file cannot be opened";
    case DMUS_E_UNSUPPORTED_STREAM: return "the file is not in a format DirectMusic reads";
    case DMUS_E_INVALIDFILE: return "the file is damaged";
    case E_INVALIDARG: return "the path is not valid";
    default: return "the loader refused it";
    }
}

// Collects the buffer's bytes behind the play cursor, in order.
class CReadBack {
public:
    explicit CReadBack(IDirectSoundBuffer* target) : buffer(target) {}
    void Poll()
    {
        DWORD play = 0, write = 0;
        if (FAILED(buffer->GetCurrentPosition(&play, &write))) return;
        play = play / 4 * 4 % kRingBytes;
        DWORD count = (play + kRingBytes - last) % kRingBytes;
        if (count == 0) return;
        void* first = nullptr;
        void* second = nullptr;
        DWORD firstBytes = 0, secondBytes = 0;
        if (FAILED(buffer->Lock(last, count, &first, &firstBytes, &second, &secondBytes, 0))) return;
        auto append = [&](void* at, DWORD bytes) {
            auto* samples = static_cast<int16_t*>(at);
            stream.insert(stream.end(), samples, samples + bytes / 2);
        };
        if (first) append(first, firstBytes);
        if (second) append(second, secondBytes);
        buffer->Unlock(first, firstBytes, second, secondBytes);
        last = play;
    }
    std::vector<int16_t> stream;

private:
    IDirectSoundBuffer* buffer;
    DWORD last = 0;
};

template <typename T>
void SafeRelease(T*& object)
{
    if (object) object->Release();
    object = nullptr;
}

int Render(const Options& options)
{
    platform::SetClockRate(options.speed);
    IDirectMusicPerformance* performance = nullptr;
    IDirectMusicLoader* loader = nullptr;
    IDirectSound* directSound = nullptr;
    IDirectMusic* music = nullptr;
    IDirectMusicPort* port = nullptr;
    IDirectSoundBuffer* buffer = nullptr;
    IDirectMusicSegment* segment = nullptr;
    IDirectMusicCollection* collection = nullptr;
    IDirectMusicSegmentState* state = nullptr;
    HANDLE event = nullptr;
    int status = 1;
    auto fail = [&](const char* what, HRESULT hr) {
        std::fprintf(stderr, "dmrender: %s failed (0x%08X)\n", what, unsigned(hr));
        return 1;
    };

    HRESULT hr = CoCreateInstance(CLSID_DirectMusicPerformance, nullptr, CLSCTX_ALL, IID_IDirectMusicPerformance,
                                  reinterpret_cast<void**>(&performance));
    if (FAILED(hr)) return fail("creating the performance", hr);
    hr = CoCreateInstance(CLSID_DirectMusicLoader, nullptr, CLSCTX_ALL, IID_IDirectMusicLoader,
                          reinterpret_cast<void**>(&loader));
    if (FAILED(hr)) return fail("creating the loader", hr);
    hr = CoCreateInstance(CLSID_DirectSound, nullptr, CLSCTX_ALL, IID_IDirectSound, reinterpret_cast<void**>(&directSound));
    if (FAILED(hr)) return fail("creating the DirectSound device", hr);
    directSound->Initialize(nullptr);
    directSound->SetCooperativeLevel(nullptr, DSSCL_PRIORITY);

    do {
        // The file first: a file the loader refuses needs no synthesizer.
        DMUS_OBJECTDESC desc{};
        desc.dwSize = sizeof(desc);
        desc.dwValidData = DMUS_OBJ_CLASS | DMUS_OBJ_FILENAME | DMUS_OBJ_FULLPATH;
        desc.guidClass = CLSID_DirectMusicSegment;
        ToWide(options.input, desc.wszFileName, DMUS_MAX_FILENAME);
        hr = loader->GetObject(&desc, IID_IDirectMusicSegment, reinterpret_cast<void**>(&segment));
        if (FAILED(hr) || !segment) {
            std::fprintf(stderr, "dmrender: cannot load %s: %s (0x%08X)\n", options.input.c_str(), Describe(hr),
                         unsigned(hr));
            break;
        }
        if (LooksLikeMidi(options.input)) segment->SetParam(GUID_StandardMIDIFile, 0xFFFFFFFF, 0, 0, nullptr);

        hr = performance->Init(&music, directSound, nullptr);
        if (FAILED(hr)) {
            status = fail("Performance Init", hr);
            break;
        }
        DMUS_PORTCAPS caps{};
        caps.dwSize = sizeof(caps);
        hr = music->EnumPort(options.port, &caps);
        if (hr != S_OK) {
            std::fprintf(stderr, "dmrender: there is no port %u\n", unsigned(options.port));
            break;
        }
        DMUS_PORTPARAMS8 params{};
        params.dwSize = sizeof(params);
        params.dwValidParams = DMUS_PORTPARAMS_SAMPLERATE | DMUS_PORTPARAMS_EFFECTS;
        params.dwSampleRate = 44100;
        params.dwEffectFlags = (options.reverb ? DMUS_EFFECT_REVERB : 0) | (options.chorus ? DMUS_EFFECT_CHORUS : 0);
        hr = music->CreatePort(caps.guidPort, &params, &port, nullptr);
        if (FAILED(hr)) {
            status = fail("CreatePort", hr);
            break;
        }
        WAVEFORMATEX format{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
        DSBUFFERDESC bufferDesc{};
        bufferDesc.dwSize = sizeof(bufferDesc);
        bufferDesc.dwFlags = DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_LOCSOFTWARE;
        bufferDesc.dwBufferBytes = kRingBytes;
        bufferDesc.lpwfxFormat = &format;
        hr = directSound->CreateSoundBuffer(&bufferDesc, &buffer, nullptr);
        if (FAILED(hr)) {
            status = fail("CreateSoundBuffer", hr);
            break;
        }
        port->SetDirectSound(directSound, buffer);
        hr = port->Activate(TRUE);
        if (FAILED(hr)) {
            status = fail("Port Activate", hr);
            break;
        }
        // An external port does not play the buffer; its silence is recorded all the same.
        DWORD bufferStatus = 0;
        buffer->GetStatus(&bufferStatus);
        if (!(bufferStatus & DSBSTATUS_PLAYING)) buffer->Play(0, 0, DSBPLAY_LOOPING);
        const REFERENCE_TIME bufferStart = platform::ClockNow100ns();
        performance->AddPort(port);
        for (DWORD block = 0; block < 16; ++block)
            if (FAILED(performance->AssignPChannelBlock(block, port, 1))) break;

        if (!options.dls.empty()) {
            DMUS_OBJECTDESC dlsDesc{};
            dlsDesc.dwSize = sizeof(dlsDesc);
            dlsDesc.dwValidData = DMUS_OBJ_CLASS | DMUS_OBJ_FILENAME | DMUS_OBJ_FULLPATH;
            dlsDesc.guidClass = CLSID_DirectMusicCollection;
            ToWide(options.dls, dlsDesc.wszFileName, DMUS_MAX_FILENAME);
            hr = loader->GetObject(&dlsDesc, IID_IDirectMusicCollection, reinterpret_cast<void**>(&collection));
            if (FAILED(hr)) {
                std::fprintf(stderr, "dmrender: cannot load the collection %s: %s (0x%08X)\n", options.dls.c_str(),
                             Describe(hr), unsigned(hr));
                break;
            }
            segment->SetParam(GUID_ConnectToDLSCollection, 0xFFFFFFFF, 0, 0, collection);
        }
        hr = segment->SetParam(GUID_Download, 0xFFFFFFFF, 0, 0, performance);
        if (FAILED(hr)) std::fprintf(stderr, "dmrender: downloading the instruments failed (0x%08X)\n", unsigned(hr));

        event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        performance->SetNotificationHandle(event, 0);
        performance->AddNotificationType(GUID_NOTIFICATION_PERFORMANCE);
        hr = performance->PlaySegment(segment, 0, 0, &state);
        if (FAILED(hr)) {
            status = fail("PlaySegment", hr);
            break;
        }
        MUSIC_TIME startMusic = 0;
        state->GetStartTime(&startMusic);
        REFERENCE_TIME started = 0, stopped = 0;
        performance->MusicToReferenceTime(startMusic, &started);

        CReadBack readBack(buffer);
        REFERENCE_TIME quietSince = 0;
        for (;;) {
            readBack.Poll();
            DMUS_NOTIFICATION_PMSG* message = nullptr;
            while (performance->GetNotificationPMsg(&message) == S_OK) {
                if (message->dwNotificationOption == DMUS_NOTIFICATION_MUSICSTARTED) started = message->rtTime;
                if (message->dwNotificationOption == DMUS_NOTIFICATION_MUSICSTOPPED) stopped = message->rtTime;
                performance->FreePMsg(reinterpret_cast<DMUS_PMSG*>(message));
            }
            REFERENCE_TIME now = platform::ClockNow100ns();
            // Should the stop never be announced, the segment's end serves.
            if (!stopped && now > started + kSecond && performance->IsPlaying(segment, nullptr) == S_FALSE) {
                if (!quietSince) quietSince = now;
                if (now > quietSince + 2 * kSecond) stopped = quietSince;
            }
            if (stopped && now >= stopped + kSecond + kSecond / 10) break;
            WaitForSingleObject(event, 20);
        }
        readBack.Poll();
        // From the start of the music to a second after its end.
        auto frameOf = [&](REFERENCE_TIME at) {
            return size_t(std::max<REFERENCE_TIME>(0, (at - bufferStart) * 44100 / kSecond));
        };
        size_t first = std::min(frameOf(started), readBack.stream.size() / 2);
        size_t last = std::min(frameOf(stopped + kSecond), readBack.stream.size() / 2);

        SF_INFO info{};
        info.samplerate = 44100;
        info.channels = 2;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* out = sf_open(options.output.c_str(), SFM_WRITE, &info);
        if (!out) {
            std::fprintf(stderr, "dmrender: cannot write %s: %s\n", options.output.c_str(), sf_strerror(nullptr));
            break;
        }
        sf_count_t frames = sf_count_t(last > first ? last - first : 0);
        sf_count_t written = sf_writef_short(out, readBack.stream.data() + 2 * first, frames);
        sf_close(out);
        if (written != frames) {
            std::fprintf(stderr, "dmrender: writing %s failed\n", options.output.c_str());
            std::remove(options.output.c_str());
            break;
        }
        status = 0;
    } while (false);

    if (performance) {
        performance->RemoveNotificationType(GUID_NULL);
        performance->Stop(nullptr, nullptr, 0, 0);
        if (port) {
            port->SetDirectSound(nullptr, nullptr);
            performance->RemovePort(port);
        }
        performance->CloseDown();
    }
    if (segment) segment->SetParam(GUID_Unload, 0xFFFFFFFF, 0, 0, performance);
    if (event) CloseHandle(event);
    SafeRelease(state);
    SafeRelease(collection);
    SafeRelease(segment);
    SafeRelease(buffer);
    SafeRelease(port);
    SafeRelease(music);
    SafeRelease(directSound);
    SafeRelease(loader);
    SafeRelease(performance);
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (arg == "-o") {
            const char* v = value();
            if (!v) return Usage("-o needs a file name");
            options.output = v;
        } else if (arg == "--speed") {
            const char* v = value();
            char* end = nullptr;
            options.speed = v ? std::strtod(v, &end) : 0;
            if (!v || *end || !(options.speed > 0 && options.speed <= 1000)) return Usage("--speed needs a rate above 0");
        } else if (arg == "--dls") {
            const char* v = value();
            if (!v) return Usage("--dls needs a path");
            options.dls = v;
        } else if (arg == "--reverb" || arg == "--chorus") {
            const char* v = value();
            if (!v || !ParseSwitch(v, arg == "--reverb" ? &options.reverb : &options.chorus))
                return Usage("--reverb and --chorus take on or off");
        } else if (arg == "--port") {
            const char* v = value();
            char* end = nullptr;
            long n = v ? std::strtol(v, &end, 10) : -1;
            if (!v || *end || n < 0) return Usage("--port needs a port number");
            options.port = DWORD(n);
        } else if (!arg.empty() && arg[0] == '-') {
            return Usage(("unknown option " + arg).c_str());
        } else if (options.input.empty()) {
            options.input = arg;
        } else {
            return Usage("only one input file");
        }
    }
    if (options.input.empty() || options.output.empty()) return Usage(nullptr);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    int status = Render(options);
    CoUninitialize();
    return status;
}
