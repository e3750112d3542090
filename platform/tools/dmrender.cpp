// dmrender: plays a MIDI, RMID or segment file through the platform's
// DirectMusic alone and writes what the synthesizer rendered as a WAV file,
// taken from the sink's writes into the DirectSound buffer as they happen and
// streamed to the file.
//
//   dmrender FILE -o OUT.wav [--speed RATE|max] [--dls PATH] [--reverb on|off]
//            [--chorus on|off] [--port N]
//
// By default the clock follows the synthesizer (max): the file renders as
// fast as the synthesizer can, with the same output as at real time.
#include <dmerror.h>
#include <dmusicc.h>
#include <dmusici.h>
#include <dsound.h>
#include <objbase.h>
#include <platform/clock.h>
#include <platform/unicode.h>
#include <sndfile.h>

#include "platform/com/unknown_impl.h"

#include <optional>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/dmusic/port.h"
#include "platform/tools/stream_writer.h"

namespace {

using dmrender::CStreamWriter;

constexpr DWORD kRingBytes = 176400;
constexpr REFERENCE_TIME kSecond = 10000000;

struct COptions {
    std::string input, output, dls;
    std::string speed = "max";
    bool reverb = true, chorus = false;
    DWORD port = 0;
};

int Usage(const char* message)
{
    if (message) std::fprintf(stderr, "dmrender: %s\n", message);
    std::fprintf(stderr,
                 "usage: dmrender FILE -o OUT.wav [--speed RATE|max] [--dls PATH] [--reverb on|off] [--chorus on|off] "
                 "[--port N]\n");
    return 2;
}

bool ParseSwitch(const char* text, bool* value)
{
    if (std::strcmp(text, "on") == 0)
        *value = true;
    else if (std::strcmp(text, "off") == 0)
        *value = false;
    else
        return false;
    return true;
}

// UTF-8 to UTF-16 for the loader's file names; false for text that is not
// UTF-8 or does not fit, so a wrong name is never tried.
bool ToWide(const std::string& text, WCHAR* target, size_t capacity)
{
    std::u16string wide;
    if (!platform::Utf8ToUtf16(text, wide) || wide.size() >= capacity) return false;
    std::copy(wide.begin(), wide.end(), target);
    target[wide.size()] = 0;
    return true;
}

bool LooksLikeMidi(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    char head[12] = {};
    file.read(head, sizeof(head));
    return std::memcmp(head, "MThd", 4) == 0 ||
           (std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "RMID", 4) == 0);
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

// The buffer the port renders into: the real DirectSound buffer, with what
// the sink unlocks passed to the writer in the order it was written, as the
// component's capture does. Ring wraps and a cursor that overtook the sink
// lose nothing.
class CRecordingBuffer final : public platform::CUnknownImpl<IDirectSoundBuffer> {
public:
    CRecordingBuffer(IDirectSoundBuffer* target, CStreamWriter* sink) : real(target), writer(sink) { real->AddRef(); }

    // Other interfaces (the notify one) are the real buffer's.
    STDMETHOD(QueryInterface)(REFIID iid, void** object) override
    {
        const HRESULT hr = CUnknownImpl::QueryInterface(iid, object);
        return hr == E_NOINTERFACE ? real->QueryInterface(iid, object) : hr;
    }
    STDMETHOD(GetCaps)(LPDSBCAPS caps) override { return real->GetCaps(caps); }
    STDMETHOD(GetCurrentPosition)(LPDWORD play, LPDWORD write) override
    {
        return real->GetCurrentPosition(play, write);
    }
    STDMETHOD(GetFormat)(LPWAVEFORMATEX format, DWORD size, LPDWORD written) override
    {
        return real->GetFormat(format, size, written);
    }
    STDMETHOD(GetVolume)(LPLONG volume) override { return real->GetVolume(volume); }
    STDMETHOD(GetPan)(LPLONG pan) override { return real->GetPan(pan); }
    STDMETHOD(GetFrequency)(LPDWORD frequency) override { return real->GetFrequency(frequency); }
    STDMETHOD(GetStatus)(LPDWORD status) override { return real->GetStatus(status); }
    STDMETHOD(Initialize)(LPDIRECTSOUND device, LPCDSBUFFERDESC desc) override
    {
        return real->Initialize(device, desc);
    }
    STDMETHOD(Lock)(DWORD offset, DWORD bytes, LPVOID* first, LPDWORD firstBytes, LPVOID* second, LPDWORD secondBytes,
                    DWORD flags) override
    {
        return real->Lock(offset, bytes, first, firstBytes, second, secondBytes, flags);
    }
    STDMETHOD(Play)(DWORD reserved, DWORD priority, DWORD flags) override
    {
        return real->Play(reserved, priority, flags);
    }
    STDMETHOD(SetCurrentPosition)(DWORD position) override { return real->SetCurrentPosition(position); }
    STDMETHOD(SetFormat)(LPCWAVEFORMATEX format) override { return real->SetFormat(format); }
    STDMETHOD(SetVolume)(LONG volume) override { return real->SetVolume(volume); }
    STDMETHOD(SetPan)(LONG pan) override { return real->SetPan(pan); }
    STDMETHOD(SetFrequency)(DWORD frequency) override { return real->SetFrequency(frequency); }
    STDMETHOD(Stop)() override { return real->Stop(); }
    STDMETHOD(Unlock)(LPVOID first, DWORD firstBytes, LPVOID second, DWORD secondBytes) override
    {
        // The bytes given here are the ones the writer filled.
        if (first) writer->Append(static_cast<const int16_t*>(first), firstBytes / 4);
        if (second) writer->Append(static_cast<const int16_t*>(second), secondBytes / 4);
        return real->Unlock(first, firstBytes, second, secondBytes);
    }
    STDMETHOD(Restore)() override { return real->Restore(); }

protected:
    void* Find(REFIID iid) override
    {
        return iid == IID_IDirectSoundBuffer ? static_cast<IDirectSoundBuffer*>(this) : nullptr;
    }

private:
    ~CRecordingBuffer() override { real->Release(); }
    IDirectSoundBuffer* real;
    CStreamWriter* writer;
};

template <typename T> void SafeRelease(T*& object)
{
    if (object) object->Release();
    object = nullptr;
}

// One render: the objects it uses, each step from loading the file to the
// last frame written, and the letting go of everything at the end.
class CRenderSession {
public:
    explicit CRenderSession(const COptions& given) : options(given) {}

    // The performance, the loader and the DirectSound device.
    bool CreateObjects()
    {
        HRESULT hr = CoCreateInstance(CLSID_DirectMusicPerformance, nullptr, CLSCTX_ALL, IID_IDirectMusicPerformance,
                                      reinterpret_cast<void**>(&performance));
        if (FAILED(hr)) return Fail("creating the performance", hr);
        hr = CoCreateInstance(CLSID_DirectMusicLoader, nullptr, CLSCTX_ALL, IID_IDirectMusicLoader,
                              reinterpret_cast<void**>(&loader));
        if (FAILED(hr)) return Fail("creating the loader", hr);
        hr = CoCreateInstance(CLSID_DirectSound, nullptr, CLSCTX_ALL, IID_IDirectSound,
                              reinterpret_cast<void**>(&directSound));
        if (FAILED(hr)) return Fail("creating the DirectSound device", hr);
        directSound->Initialize(nullptr);
        directSound->SetCooperativeLevel(nullptr, DSSCL_PRIORITY);
        return true;
    }

    // The output file first: a file that cannot be written wastes no render.
    bool OpenOutput()
    {
        SF_INFO info{};
        info.samplerate = 44100;
        info.channels = 2;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        out = sf_open(options.output.c_str(), SFM_WRITE, &info);
        if (!out) {
            std::fprintf(stderr, "dmrender: cannot write %s: %s\n", options.output.c_str(), sf_strerror(nullptr));
            SafeRelease(directSound);
            SafeRelease(loader);
            SafeRelease(performance);
            return false;
        }
        writer.emplace(out);
        return true;
    }

    // Every step in turn, then the letting go; the exit status.
    int Run()
    {
        const bool done = LoadSegment() && OpenPort() && LoadCollection() && Play() && Record();
        Close();
        if (!done) std::remove(options.output.c_str());
        return done ? 0 : 1;
    }

private:
    bool Fail(const char* what, HRESULT hr)
    {
        std::fprintf(stderr, "dmrender: %s failed (0x%08X)\n", what, unsigned(hr));
        return false;
    }

    // The file first: a file the loader refuses needs no synthesizer.
    bool LoadSegment()
    {
        DMUS_OBJECTDESC desc{};
        desc.dwSize = sizeof(desc);
        desc.dwValidData = DMUS_OBJ_CLASS | DMUS_OBJ_FILENAME | DMUS_OBJ_FULLPATH;
        desc.guidClass = CLSID_DirectMusicSegment;
        if (!ToWide(options.input, desc.wszFileName, DMUS_MAX_FILENAME)) {
            std::fprintf(stderr, "dmrender: cannot load %s: the name is not UTF-8 or too long\n",
                         options.input.c_str());
            return false;
        }
        const HRESULT hr = loader->GetObject(&desc, IID_IDirectMusicSegment, reinterpret_cast<void**>(&segment));
        if (FAILED(hr) || !segment) {
            std::fprintf(stderr, "dmrender: cannot load %s: %s (0x%08X)\n", options.input.c_str(), Describe(hr),
                         unsigned(hr));
            return false;
        }
        if (LooksLikeMidi(options.input)) segment->SetParam(GUID_StandardMIDIFile, 0xFFFFFFFF, 0, 0, nullptr);
        return true;
    }

    // The performance on the chosen port, which renders into the recording buffer.
    bool OpenPort()
    {
        HRESULT hr = performance->Init(&music, directSound, nullptr);
        if (FAILED(hr)) return Fail("Performance Init", hr);
        DMUS_PORTCAPS caps{};
        caps.dwSize = sizeof(caps);
        hr = music->EnumPort(options.port, &caps);
        if (hr != S_OK) {
            std::fprintf(stderr, "dmrender: there is no port %u\n", unsigned(options.port));
            return false;
        }
        DMUS_PORTPARAMS8 params{};
        params.dwSize = sizeof(params);
        params.dwValidParams = DMUS_PORTPARAMS_SAMPLERATE | DMUS_PORTPARAMS_EFFECTS;
        params.dwSampleRate = 44100;
        params.dwEffectFlags = (options.reverb ? DMUS_EFFECT_REVERB : 0) | (options.chorus ? DMUS_EFFECT_CHORUS : 0);
        hr = music->CreatePort(caps.guidPort, &params, &port, nullptr);
        if (FAILED(hr)) return Fail("CreatePort", hr);
        WAVEFORMATEX format{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
        DSBUFFERDESC bufferDesc{};
        bufferDesc.dwSize = sizeof(bufferDesc);
        bufferDesc.dwFlags = DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_LOCSOFTWARE;
        bufferDesc.dwBufferBytes = kRingBytes;
        bufferDesc.lpwfxFormat = &format;
        hr = directSound->CreateSoundBuffer(&bufferDesc, &buffer, nullptr);
        if (FAILED(hr)) return Fail("CreateSoundBuffer", hr);
        recorder = new CRecordingBuffer(buffer, &*writer);
        port->SetDirectSound(directSound, recorder);
        hr = port->Activate(TRUE);
        if (FAILED(hr)) return Fail("Port Activate", hr);
        // An external port does not play the buffer; its silence is recorded all the same.
        DWORD bufferStatus = 0;
        buffer->GetStatus(&bufferStatus);
        if (!(bufferStatus & DSBSTATUS_PLAYING)) buffer->Play(0, 0, DSBPLAY_LOOPING);
        // The stream's frame 0 sounds when the sink started, at activation;
        // an external port renders nothing, so silence is counted instead.
        dmusic::CDirectMusicPort* own = nullptr;
        if (SUCCEEDED(port->QueryInterface(dmusic::IID_CPlatformDirectMusicPort, reinterpret_cast<void**>(&own)))) {
            sink = own->Sink();
            own->Release();
        }
        bufferStart = sink ? sink->TimeAtFrame(0) : platform::ClockNow100ns();
        performance->AddPort(port);
        for (DWORD block = 0; block < 16; ++block)
            if (FAILED(performance->AssignPChannelBlock(block, port, 1))) break;
        return true;
    }

    // The DLS collection asked for, then the instruments' download.
    bool LoadCollection()
    {
        if (!options.dls.empty()) {
            DMUS_OBJECTDESC dlsDesc{};
            dlsDesc.dwSize = sizeof(dlsDesc);
            dlsDesc.dwValidData = DMUS_OBJ_CLASS | DMUS_OBJ_FILENAME | DMUS_OBJ_FULLPATH;
            dlsDesc.guidClass = CLSID_DirectMusicCollection;
            if (!ToWide(options.dls, dlsDesc.wszFileName, DMUS_MAX_FILENAME)) {
                std::fprintf(stderr, "dmrender: cannot load the collection %s: the name is not UTF-8 or too long\n",
                             options.dls.c_str());
                return false;
            }
            const HRESULT hr =
                loader->GetObject(&dlsDesc, IID_IDirectMusicCollection, reinterpret_cast<void**>(&collection));
            if (FAILED(hr)) {
                std::fprintf(stderr, "dmrender: cannot load the collection %s: %s (0x%08X)\n", options.dls.c_str(),
                             Describe(hr), unsigned(hr));
                return false;
            }
            segment->SetParam(GUID_ConnectToDLSCollection, 0xFFFFFFFF, 0, 0, collection);
        }
        const HRESULT hr = segment->SetParam(GUID_Download, 0xFFFFFFFF, 0, 0, performance);
        if (FAILED(hr)) std::fprintf(stderr, "dmrender: downloading the instruments failed (0x%08X)\n", unsigned(hr));
        return true;
    }

    // Plays the segment with the performance's notifications on; the writer
    // keeps what follows the start.
    bool Play()
    {
        event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        performance->SetNotificationHandle(event, 0);
        performance->AddNotificationType(GUID_NOTIFICATION_PERFORMANCE);
        const HRESULT hr = performance->PlaySegment(segment, 0, 0, &state);
        if (FAILED(hr)) return Fail("PlaySegment", hr);
        MUSIC_TIME startMusic = 0;
        state->GetStartTime(&startMusic);
        performance->MusicToReferenceTime(startMusic, &started);
        writer->SetFirst(FrameOf(started));
        return true;
    }

    int64_t FrameOf(REFERENCE_TIME at) const
    {
        return int64_t(std::max<REFERENCE_TIME>(0, (at - bufferStart) * 44100 / kSecond));
    }

    // From the start of the music to a second after its end.
    bool Record()
    {
        REFERENCE_TIME stopped = 0, quietSince = 0;
        for (;;) {
            const REFERENCE_TIME now = platform::ClockNow100ns();
            const bool quiet =
                !stopped && now > started + kSecond && performance->IsPlaying(segment, nullptr) == S_FALSE;
            // Taken after the look at the clock: a stop announced by then
            // decides the end, however long this thread was held up.
            TakeNotifications(stopped);
            // Should the stop never be announced, the segment's end serves.
            if (!stopped && quiet) {
                if (!quietSince) quietSince = now;
                if (now > quietSince + 2 * kSecond) stopped = quietSince;
            }
            if (stopped) {
                writer->SetLast(FrameOf(stopped + kSecond));
                // Done once the sink has written that far (an external
                // port writes nothing: its second of silence is counted).
                if (sink ? writer->Received() >= FrameOf(stopped + kSecond) : now >= stopped + kSecond) break;
            }
            WaitForSingleObject(event, 20);
        }
        if (!sink) {
            // The external port sounds nowhere: its span is silence.
            std::vector<int16_t> silence(2 * 4410);
            for (int64_t left = FrameOf(stopped + kSecond); left > 0; left -= 4410)
                writer->Append(silence.data(), size_t(std::min<int64_t>(left, 4410)));
        }
        if (writer->Finish() < 0) {
            std::fprintf(stderr, "dmrender: writing %s failed\n", options.output.c_str());
            return false;
        }
        return true;
    }

    // The music's start (should it move) and its stop, from the notifications.
    void TakeNotifications(REFERENCE_TIME& stopped)
    {
        DMUS_NOTIFICATION_PMSG* message = nullptr;
        while (performance->GetNotificationPMsg(&message) == S_OK) {
            if (message->dwNotificationOption == DMUS_NOTIFICATION_MUSICSTARTED && message->rtTime != started) {
                started = message->rtTime;
                writer->SetFirst(FrameOf(started));
            }
            if (message->dwNotificationOption == DMUS_NOTIFICATION_MUSICSTOPPED) stopped = message->rtTime;
            performance->FreePMsg(reinterpret_cast<DMUS_PMSG*>(message));
        }
    }

    void Close()
    {
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
        if (recorder) recorder->Release();
        sf_close(out);
    }

    const COptions& options;
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
    SNDFILE* out = nullptr;
    std::optional<CStreamWriter> writer;
    CRecordingBuffer* recorder = nullptr;
    dmusic::CSynthSink* sink = nullptr;  // the port's, none for an external port
    REFERENCE_TIME bufferStart = 0;      // when the stream's frame 0 sounds
    REFERENCE_TIME started = 0;          // when the music starts
};

int Render(const COptions& options)
{
    if (!platform::SetClockSpeed(options.speed.c_str())) return Usage("--speed needs a rate above 0 or max");
    CRenderSession session(options);
    if (!session.CreateObjects() || !session.OpenOutput()) return 1;
    return session.Run();
}

}  // namespace

int main(int argc, char** argv)
{
    COptions options;
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
            double rate = v ? std::strtod(v, &end) : 0;
            if (!v || (std::strcmp(v, "max") != 0 && (*end || !(rate > 0 && rate <= 1000))))
                return Usage("--speed needs a rate above 0 or max");
            options.speed = v;
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
