// The software synthesizer behind the synth port: FluidSynth with the GM
// SoundFont, DLS collections on top, and MIDI events applied at the sample
// positions they were stamped with.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

struct _fluid_hashtable_t;
typedef struct _fluid_hashtable_t fluid_settings_t;
struct _fluid_synth_t;
typedef struct _fluid_synth_t fluid_synth_t;

namespace dmusic {

// The synthesizer renders in blocks of this many frames and applies events at
// their starts: an event lands on the block boundary nearest its frame.
inline constexpr int64_t kSynthBlockFrames = 64;

struct CSynthOptions {
    uint32_t sampleRate = 44100;
    uint32_t channelGroups = 1;
    uint32_t voices = 256;
    bool reverb = true;
    bool chorus = true;
};

class CSynthesizer {
public:
    // Frames are 1/sampleRate s; the synth counts them from its creation.
    explicit CSynthesizer(const CSynthOptions& options);
    ~CSynthesizer();
    CSynthesizer(const CSynthesizer&) = delete;
    CSynthesizer& operator=(const CSynthesizer&) = delete;

    // TESSARINE_SOUNDFONT when set, else the system's GM SoundFont.
    static std::string DefaultSoundFontPath();
    // Whether the GM SoundFont loaded (without it only DLS instruments sound).
    bool HasGeneralMidi() const { return generalMidiId >= 0; }
    const std::string& LoadError() const { return loadError; }

    uint32_t SampleRate() const { return options.sampleRate; }

    // A channel message (status | data1 << 8 | data2 << 16) for channel group
    // `group` (1-based) at an absolute frame. An event for a frame already
    // rendered sounds at once.
    void QueueMessage(int64_t frame, uint32_t group, uint32_t message);
    // A system-exclusive message, F0 ... F7.
    void QueueSysex(int64_t frame, uint32_t group, const uint8_t* data, size_t size);
    // Releases every sounding note in every group at that frame; with
    // dropLater, whatever is queued after it goes too, so nothing started
    // later can hang.
    // From that frame on the channel (low nibble) of the group plays drums
    // or a melodic instrument.
    void QueueChannelType(int64_t frame, uint32_t group, uint32_t channel, bool drums);
    void QueueAllNotesOff(int64_t frame, bool dropLater = true);
    // Drops every queued event not yet applied.
    void ClearQueue();
    size_t QueuedEvents() const;

    // Renders interleaved 16-bit stereo and advances RenderedFrames.
    void Render(int16_t* interleaved, uint32_t frames);
    int64_t RenderedFrames() const;

    // Volume in hundredths of a decibel relative to the synth's normal level.
    void SetVolume(int32_t hundredthsDb);
    int ActiveVoices() const;

    // Loads a DLS collection (or a SoundFont) from its bytes; its instruments
    // take precedence over the GM set for their bank and program. Returns an
    // id for Unload, or -1 with the reason in *error.
    int LoadCollection(const uint8_t* data, size_t size, std::string* error);
    bool UnloadCollection(int id);

private:
    struct Event {
        uint32_t group;
        uint32_t message;            // channel message, or 0 for sysex/all-off
        std::vector<uint8_t> sysex;  // without F0/F7
        bool allNotesOff;
        int channelType = -1;  // CHANNEL_TYPE_* to set on the message's channel, or -1
    };

    void Apply(const Event& event);
    void RenderRaw(float* interleaved, uint32_t frames);
    void RenderFloatLocked(float* interleaved, uint32_t frames);
    int ChannelOf(uint32_t group, uint32_t channel) const;

    CSynthOptions options;
    fluid_settings_t* settings = nullptr;
    fluid_synth_t* synth = nullptr;
    int generalMidiId = -1;
    std::string loadError;
    float baseGain;

    mutable std::mutex synthLock;  // the FluidSynth object and the frame count
    mutable std::mutex queueLock;  // the event queue
    std::multimap<int64_t, Event> queue;
    // Written under synthLock, read without it (the sink and the sequencer
    // ask it while a piece renders).
    std::atomic<int64_t> renderedFrames{0};
    bool voiced = false;                         // a note was played; under synthLock
    std::vector<float> scratch;                  // Render's floats, under synthLock
    std::vector<std::pair<int64_t, Event>> due;  // a piece's events, under synthLock
};

}  // namespace dmusic
