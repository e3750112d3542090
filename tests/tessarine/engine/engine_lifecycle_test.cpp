// The engine's set-up, teardown and failure paths over the real platform,
// with classes in the COM class table replaced where a failure must be made:
// what a teardown leaves behind, a failing Init, EnumPort and CreatePort, and
// a listener whose thread cannot start.
#include "tests/tessarine/engine/engine_fixture.h"
#include "tessarine/capture/capture_sound_buffer.h"
#include "tests/support/forwarding_performance.h"

#include <platform/com_registry.h>
#include <malloc.h>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <climits>
#include <functional>

namespace {

// ---- Replacement classes ---------------------------------------------------

// Keeps a reference on every object its class makes, so a test can see
// whether anyone else still holds one.
struct CKeptObjects {
    static inline std::vector<IUnknown*> objects;
    static inline platform::ClassFactoryFunction previousLoader, previousPerformance, previousDirectSound;

    template <platform::ClassFactoryFunction* previous>
    static HRESULT Create(LPUNKNOWN outer, REFIID iid, void** object)
    {
        const HRESULT result = (*previous)(outer, iid, object);
        if (SUCCEEDED(result) && *object) {
            auto* unknown = static_cast<IUnknown*>(*object);
            unknown->AddRef();
            objects.push_back(unknown);
        }
        return result;
    }
};

// A loader that forwards to the real one and keeps a reference on every
// object it hands out (segments, collections).
class CKeptLoader final : public IDirectMusicLoader {
public:
    static inline std::vector<IUnknown*> objects;
    static inline platform::ClassFactoryFunction previous = nullptr;

    explicit CKeptLoader(IDirectMusicLoader* real) : real(real) {}
    static HRESULT Create(LPUNKNOWN outer, REFIID iid, void** object)
    {
        IDirectMusicLoader* real = nullptr;
        const HRESULT result = previous(outer, IID_IDirectMusicLoader, reinterpret_cast<void**>(&real));
        if (FAILED(result)) return result;
        auto* kept = new CKeptLoader(real);
        const HRESULT asked = kept->QueryInterface(iid, object);
        kept->Release();
        return asked;
    }

    STDMETHOD(QueryInterface)(REFIID iid, void** object) override
    {
        if (iid == IID_IUnknown || iid == IID_IDirectMusicLoader) {
            *object = static_cast<IDirectMusicLoader*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++references; }
    STDMETHOD_(ULONG, Release)() override
    {
        const ULONG left = --references;
        if (left == 0) {
            real->Release();
            delete this;
        }
        return left;
    }
    STDMETHOD(GetObject)(LPDMUS_OBJECTDESC desc, REFIID iid, LPVOID* object) override
    {
        const HRESULT result = real->GetObject(desc, iid, object);
        if (SUCCEEDED(result) && *object) {
            static_cast<IUnknown*>(*object)->AddRef();
            objects.push_back(static_cast<IUnknown*>(*object));
        }
        return result;
    }
    STDMETHOD(SetObject)(LPDMUS_OBJECTDESC desc) override { return real->SetObject(desc); }
    STDMETHOD(SetSearchDirectory)(REFGUID cls, WCHAR* path, BOOL clear) override
    {
        return real->SetSearchDirectory(cls, path, clear);
    }
    STDMETHOD(ScanDirectory)(REFGUID cls, WCHAR* extension, WCHAR* scanFile) override
    {
        return real->ScanDirectory(cls, extension, scanFile);
    }
    STDMETHOD(CacheObject)(IDirectMusicObject* object) override { return real->CacheObject(object); }
    STDMETHOD(ReleaseObject)(IDirectMusicObject* object) override { return real->ReleaseObject(object); }
    STDMETHOD(ClearCache)(REFGUID cls) override { return real->ClearCache(cls); }
    STDMETHOD(EnableCache)(REFGUID cls, BOOL enable) override { return real->EnableCache(cls, enable); }
    STDMETHOD(EnumObject)(REFGUID cls, DWORD index, LPDMUS_OBJECTDESC desc) override
    {
        return real->EnumObject(cls, index, desc);
    }

private:
    virtual ~CKeptLoader() = default;
    IDirectMusicLoader* real;
    ULONG references = 1;
};

// A DirectMusic object that forwards to the real one, but for the calls a
// test makes fail; it can keep a reference on every port it creates.
class CFaultyDirectMusic : public IDirectMusic {
public:
    static inline HRESULT enumPortResult = S_OK;
    static inline HRESULT createPortResult = S_OK;
    static inline bool keepPorts = false;
    static inline std::vector<IUnknown*> ports;
    static inline platform::ClassFactoryFunction previous = nullptr;

    explicit CFaultyDirectMusic(IDirectMusic* real) : real(real) {}
    static HRESULT Create(LPUNKNOWN outer, REFIID iid, void** object)
    {
        IDirectMusic* real = nullptr;
        const HRESULT result = previous(outer, IID_IDirectMusic, reinterpret_cast<void**>(&real));
        if (FAILED(result)) return result;
        auto* faulty = new CFaultyDirectMusic(real);
        const HRESULT asked = faulty->QueryInterface(iid, object);
        faulty->Release();
        return asked;
    }

    STDMETHOD(QueryInterface)(REFIID iid, void** object) override
    {
        if (iid == IID_IUnknown || iid == IID_IDirectMusic) {
            *object = static_cast<IDirectMusic*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++references; }
    STDMETHOD_(ULONG, Release)() override
    {
        const ULONG left = --references;
        if (left == 0) {
            real->Release();
            delete this;
        }
        return left;
    }
    STDMETHOD(EnumPort)(DWORD index, LPDMUS_PORTCAPS caps) override
    {
        return FAILED(enumPortResult) ? enumPortResult : real->EnumPort(index, caps);
    }
    STDMETHOD(CreateMusicBuffer)(LPDMUS_BUFFERDESC desc, LPDIRECTMUSICBUFFER* buffer, LPUNKNOWN outer) override
    {
        return real->CreateMusicBuffer(desc, buffer, outer);
    }
    STDMETHOD(CreatePort)(REFCLSID port, LPDMUS_PORTPARAMS params, LPDIRECTMUSICPORT* created, LPUNKNOWN outer) override
    {
        if (FAILED(createPortResult)) {
            *created = nullptr;
            return createPortResult;
        }
        const HRESULT result = real->CreatePort(port, params, created, outer);
        if (keepPorts && SUCCEEDED(result) && *created) {
            (*created)->AddRef();
            ports.push_back(*created);
        }
        return result;
    }
    STDMETHOD(EnumMasterClock)(DWORD index, LPDMUS_CLOCKINFO info) override
    {
        return real->EnumMasterClock(index, info);
    }
    STDMETHOD(GetMasterClock)(LPGUID guid, IReferenceClock** clock) override
    {
        return real->GetMasterClock(guid, clock);
    }
    STDMETHOD(SetMasterClock)(REFGUID guid) override { return real->SetMasterClock(guid); }
    STDMETHOD(Activate)(BOOL enable) override { return real->Activate(enable); }
    STDMETHOD(GetDefaultPort)(LPGUID port) override { return real->GetDefaultPort(port); }
    STDMETHOD(SetDirectSound)(LPDIRECTSOUND directSound, HWND window) override
    {
        return real->SetDirectSound(directSound, window);
    }

private:
    virtual ~CFaultyDirectMusic() = default;
    IDirectMusic* real;
    ULONG references = 1;
};

class CEngineLifecycleTest : public CEngineTest {};

}  // namespace

// A destroyed engine has let go of every COM object it made or was given
// (the segment, the collection and the port too), ended every thread it
// started and removed its capture file, whatever it got to do.
TEST_F(CEngineLifecycleTest, TeardownLeavesNothingBehind)
{
    struct Row {
        const char* name;
        bool useDefaultPort;
        bool openPort;
        bool play;
        size_t objects;           // the loader, the performance, DirectSound (and the performance's own)
        size_t loaded;            // the segment and the collection
        bool bufferHeld = false;  // something else still holds the capture buffer, as a port may
    };
    const Row rows[] = {
        {"enumerating only", false, false, false, 4, 0},
        {"default port, never opened", true, false, false, 3, 0},
        {"default port, played", true, true, true, 3, 2},
        {"enumerated port, played", false, true, true, 4, 2},
        {"default port, played, buffer held", true, true, true, 3, 2, true},
    };
    CScopedClockRate fast(8.0);
    const std::string song = Write("song.mid", testsupport::WriteStandardMidi(MakeModel({}, {{0, 768, 69}}, 2 * 768)));
    const std::string sine = Write("sine.dls", testsupport::WriteSineDls(0, 0));
    // The platform's own lasting threads (the clock) exist once anything has
    // played a collection.
    {
        CMidiMusic warmUp(nullptr, true);
        OpenAndPlay(warmUp, song, sine.c_str());
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CKeptObjects::objects.clear();
        CKeptLoader::objects.clear();
        CFaultyDirectMusic::ports.clear();
        platform::ScopedComClassReplacement keptLoader(CLSID_DirectMusicLoader, CKeptLoader::Create);
        CKeptLoader::previous = keptLoader.Previous();
        platform::ScopedComClassReplacement loader(CLSID_DirectMusicLoader,
                                                   CKeptObjects::Create<&CKeptObjects::previousLoader>);
        CKeptObjects::previousLoader = loader.Previous();
        platform::ScopedComClassReplacement performance(CLSID_DirectMusicPerformance,
                                                        CKeptObjects::Create<&CKeptObjects::previousPerformance>);
        CKeptObjects::previousPerformance = performance.Previous();
        platform::ScopedComClassReplacement directSound(CLSID_DirectSound,
                                                        CKeptObjects::Create<&CKeptObjects::previousDirectSound>);
        CKeptObjects::previousDirectSound = directSound.Previous();
        platform::ScopedComClassReplacement directMusic(CLSID_DirectMusic, CFaultyDirectMusic::Create);
        CFaultyDirectMusic::previous = directMusic.Previous();
        CFaultyDirectMusic::enumPortResult = S_OK;
        CFaultyDirectMusic::createPortResult = S_OK;
        CFaultyDirectMusic::keepPorts = true;

        const std::set<std::string> threadsBefore = ThreadIds();
        CComReference<CCaptureSoundBuffer> held;
        {
            CMidiMusic engine(nullptr, row.useDefaultPort);
            DMUS_PORTCAPS caps;
            const DWORD index = row.useDefaultPort ? 0xFFFFFFFF : 1;
            EXPECT_GE(engine.FindOutputPort(index, &caps), 0);
            if (row.openPort) {
                ASSERT_TRUE(engine.CreateOutputPort(nullptr, &caps, row.useDefaultPort));
                EXPECT_EQ(CountTempFiles(), row.useDefaultPort ? 1u : 0u);
            }
            if (row.play) {
                ASSERT_TRUE(engine.LoadMidiFromFile(true, song.c_str()));
                ASSERT_TRUE(engine.LoadCollection(sine.c_str()));
                ASSERT_TRUE(engine.Play());
                EXPECT_GT(ThreadIds().size(), threadsBefore.size());
            }
            if (row.bufferHeld) held = CComReference<CCaptureSoundBuffer>(engine.GetCaptureBuffer());
        }
        CFaultyDirectMusic::keepPorts = false;
        EXPECT_EQ(CountTempFiles(), 0u);
        held.Release();
        // The port holds the DirectSound object it was made with, so it goes first.
        ASSERT_EQ(CFaultyDirectMusic::ports.size(), row.openPort ? 1u : 0u);
        for (IUnknown* port : CFaultyDirectMusic::ports) EXPECT_EQ(port->Release(), 0u);
        ASSERT_EQ(CKeptLoader::objects.size(), row.loaded);
        for (IUnknown* object : CKeptLoader::objects) EXPECT_EQ(object->Release(), 0u);
        ASSERT_EQ(CKeptObjects::objects.size(), row.objects);
        for (IUnknown* object : CKeptObjects::objects) EXPECT_EQ(object->Release(), 0u);
        // No thread that was not there before, once the objects the test held
        // are gone too (one counted before may have ended meanwhile).
        EXPECT_EQ(SettledNewThreads(threadsBefore), 0u);
    }
}

// DirectMusic calls that fail: each is reported under its label, and the
// engine goes no further than it can.
TEST_F(CEngineLifecycleTest, FailingDirectMusicCallsAreReportedAndStop)
{
    struct Row {
        const char* name;
        HRESULT enumPort;
        HRESULT createPort;
        DWORD portIndex;
        bool useDefaultPort;
        HRESULT found;       // FindOutputPort's result
        bool opened;         // CreateOutputPort's result
        const char* logged;  // a line that must appear
        size_t tempFiles;    // capture files made
    };
    const Row rows[] = {
        {"EnumPort fails", E_FAIL, S_OK, 0xFFFFFFFF, true, E_FAIL, true, "Port Enumeration failed", 1},
        {"past the last port", S_OK, S_OK, 7, false, S_FALSE, true, nullptr, 0},
        {"CreatePort fails, default port", S_OK, E_OUTOFMEMORY, 0xFFFFFFFF, true, S_FALSE, false,
         "Message: DMusic->CreatePort", 0},
        {"CreatePort fails, enumerated port", S_OK, E_NOINTERFACE, 1, false, S_OK, false, "Message: DMusic->CreatePort",
         0},
    };
    CScopedClockRate fast(8.0);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        platform::ScopedComClassReplacement replacement(CLSID_DirectMusic, CFaultyDirectMusic::Create);
        CFaultyDirectMusic::previous = replacement.Previous();
        CFaultyDirectMusic::enumPortResult = row.enumPort;
        CFaultyDirectMusic::createPortResult = row.createPort;
        host.ClearConsoleLines();
        {
            CMidiMusic engine(nullptr, row.useDefaultPort);
            DMUS_PORTCAPS caps;
            EXPECT_EQ(engine.FindOutputPort(row.portIndex, &caps), row.found);
            EXPECT_EQ(caps.dwSize, sizeof(DMUS_PORTCAPS));
            EXPECT_EQ(engine.CreateOutputPort(nullptr, &caps, row.useDefaultPort), row.opened);
            EXPECT_EQ(CountTempFiles(), row.tempFiles);
        }
        if (row.logged) {
            EXPECT_EQ(host.CountConsoleLines(row.logged), 1u);
        } else {
            EXPECT_EQ(host.CountConsoleLines("Warning"), 0u);
            EXPECT_EQ(host.CountConsoleLines("Port Enumeration failed"), 0u);
        }
    }
}

// An Init that fails is only reported; every later call through the
// missing DirectMusic object raises E_POINTER.
TEST_F(CEngineLifecycleTest, FailedInitLeavesNoDirectMusic)
{
    platform::ScopedComClassReplacement replacement(CLSID_DirectMusicPerformance, CInitialisedPerformance::Create);
    CInitialisedPerformance::previous = replacement.Previous();
    host.ClearConsoleLines();
    CMidiMusic engine(nullptr, true);
    EXPECT_EQ(host.CountConsoleLines("DMUS_E_ALREADY_INITED. Message: Performance->Init"), 1u);
    DMUS_PORTCAPS caps{};
    const std::vector<std::function<void()>> calls = {
        [&] { engine.FindOutputPort(0xFFFFFFFF, &caps); },
        [&] { engine.CreateOutputPort(nullptr, &caps, true); },
    };
    for (const auto& call : calls) {
        try {
            call();
            ADD_FAILURE() << "no _com_error";
        } catch (const _com_error& error) {
            EXPECT_EQ(error.Error(), E_POINTER);
        }
    }
}

// A class that cannot be made raises its code from the constructor, except
// E_NOINTERFACE, which leaves the reference empty.
TEST_F(CEngineLifecycleTest, UncreatableClassRaisesItsCode)
{
    struct Row {
        const char* name;
        CLSID classId;
        HRESULT failure;
        HRESULT raised;  // S_OK: the constructor raises nothing
    };
    static HRESULT failure = S_OK;
    const Row rows[] = {
        {"loader", CLSID_DirectMusicLoader, E_OUTOFMEMORY, E_OUTOFMEMORY},
        {"performance", CLSID_DirectMusicPerformance, REGDB_E_CLASSNOTREG, REGDB_E_CLASSNOTREG},
        {"DirectSound", CLSID_DirectSound, E_FAIL, E_FAIL},
        {"DirectSound without the interface", CLSID_DirectSound, E_NOINTERFACE, S_OK},
        // The performance is used at once: its absence shows as E_POINTER.
        {"performance without the interface", CLSID_DirectMusicPerformance, E_NOINTERFACE, E_POINTER},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        failure = row.failure;
        platform::ScopedComClassReplacement replacement(row.classId, [](LPUNKNOWN, REFIID, void** object) {
            *object = nullptr;
            return failure;
        });
        HRESULT raised = S_OK;
        try {
            CMidiMusic engine(nullptr, true);
        } catch (const _com_error& error) {
            raised = error.Error();
        }
        EXPECT_EQ(raised, row.raised);
    }
}

// A listener whose thread cannot start is logged, and Play goes on without
// it (and so times out waiting for the start). Run in a child process whose
// address space leaves no room for another thread's stack.
TEST_F(CEngineLifecycleTest, ListenerWithoutThreadIsLogged)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    CScopedClockRate fast(500.0);
    const std::string song = Write("song.mid", testsupport::WriteStandardMidi(MakeModel({}, {{0, 768, 69}}, 2 * 768)));
    EXPECT_EXIT(
        {
            // Memory freed later must not go back to the system, or it would
            // make room for the thread after all (the synthesizer frees
            // samples as presets change).
            mallopt(M_MMAP_MAX, 0);
            mallopt(M_TRIM_THRESHOLD, INT_MAX);
            CMidiMusic engine(nullptr, false);
            DMUS_PORTCAPS caps;
            engine.FindOutputPort(1, &caps);
            if (!engine.CreateOutputPort(nullptr, &caps, false)) std::_Exit(3);
            if (!engine.LoadMidiFromFile(true, song.c_str())) std::_Exit(4);
            host.ClearConsoleLines();
            std::ifstream status("/proc/self/status");
            std::string line;
            unsigned long long virtualKb = 0;
            while (std::getline(status, line))
                if (line.rfind("VmSize:", 0) == 0) virtualKb = std::stoull(line.substr(7));
            rlimit limit{};
            limit.rlim_cur = limit.rlim_max = (virtualKb + 2048) * 1024;
            setrlimit(RLIMIT_AS, &limit);
            // Stacks of threads that have ended are kept for reuse and need no
            // new memory; threads that never end take them, and whatever room
            // is left, first.
            for (int i = 0; i < 10000; ++i) {
                pthread_t idle;
                if (pthread_create(
                        &idle, nullptr,
                        [](void*) -> void* {
                            for (;;) pause();
                        },
                        nullptr) != 0)
                    break;
                pthread_detach(idle);
            }
            const bool played = engine.Play();
            const bool logged =
                host.CountConsoleLines("Error occurred initializing playback: Error spawning notification thread") == 1;
            const bool timedOut =
                host.CountConsoleLines("A fatal timeout occurred whilst waiting for playback to commence") == 1;
            std::_Exit(!played && logged && timedOut ? 0 : 5);
        },
        ::testing::ExitedWithCode(0), "");
}
