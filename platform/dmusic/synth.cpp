// The software synthesizer over FluidSynth: see synth.h.
#include "platform/dmusic/synth.h"

#include "midi/midi_status.h"
#include "platform/dmusic/loader_log.h"

#include <fluidsynth.h>
#include <glib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace dmusic {

namespace {

// Chosen from measurements over dense General MIDI files (bench/level/):
// the loudest of them, every program in turn with full-velocity chords and
// drums, peaks near -1 dBFS at this gain and nothing clips.
constexpr float kBaseGain = 0.27f;

// TESSARINE_GAIN, when it is a number FluidSynth takes (0 to 10), else the default.
float ChooseBaseGain()
{
    const char* configured = std::getenv("TESSARINE_GAIN");
    if (!configured || !*configured) return kBaseGain;
    char* end = nullptr;
    const double gain = std::strtod(configured, &end);
    if (end == configured || *end != '\0' || !(gain >= 0.0 && gain <= 10.0)) return kBaseGain;
    return float(gain);
}

// See the benchmark's results (bench/RESULTS.md) for why: a second voice
// thread takes a third off the wall time of a dense song, and its output was
// the one thread's, byte for byte, in every render measured on a loaded
// machine too (the collection job, running files side by side, gives each
// one thread). Loading a preset's samples when it is first selected keeps a
// ten-minute song in a third of the memory at the same speed and with the
// same sound. A machine of one core gets one: a second thread there only
// takes turns with the first.
int DefaultCores() { return std::thread::hardware_concurrency() == 1 ? 1 : 2; }
constexpr int kDefaultDynamicSamples = 1;

int EnvironmentInt(const char* name, int fallback, int least, int most)
{
    const char* text = std::getenv(name);
    if (!text || !*text) return fallback;
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (*end || value < least || value > most) return fallback;
    return int(value);
}

// While this thread loads a collection, what FluidSynth and GLib say about
// it goes here, to become the reason the load gives: DirectMusic answers a
// failed download with a result code and prints nothing.
thread_local std::string* collectionMessages = nullptr;

void NoteCollectionMessage(const char* message)
{
    if (!collectionMessages->empty()) *collectionMessages += "; ";
    *collectionMessages += message ? message : "";
}

void LogToStderr(int level, const char* message, void*)
{
    // The default loader says so before the DLS loader takes a collection over.
    if (std::strstr(message, "Not a SoundFont file")) return;
    if (collectionMessages) {
        if (level <= FLUID_ERR) NoteCollectionMessage(message);
        return;
    }
    std::fprintf(stderr, "synth: %s: %s\n", level <= FLUID_ERR ? "error" : "warning", message);
}

// libinstpatch (FluidSynth's DLS reader) reports through GLib, which would
// print its warnings and criticals on the terminal: they go with the
// collection's load, or to the platform's trace.
void LogGLibMessage(const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer)
{
    if (collectionMessages && (level & (G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING))) {
        NoteCollectionMessage(message);
        return;
    }
    LoaderTrace("%s: %s", domain ? domain : "GLib", message ? message : "");
}

void QuietFluidSynthLog()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // Missing presets and similar are normal for arbitrary MIDI files.
        const bool verbose = std::getenv("TESSARINE_SYNTH_LOG") != nullptr;
        fluid_set_log_function(FLUID_PANIC, LogToStderr, nullptr);
        fluid_set_log_function(FLUID_ERR, LogToStderr, nullptr);
        fluid_set_log_function(FLUID_WARN, verbose ? LogToStderr : nullptr, nullptr);
        fluid_set_log_function(FLUID_INFO, nullptr, nullptr);
        fluid_set_log_function(FLUID_DBG, nullptr, nullptr);
        g_log_set_default_handler(LogGLibMessage, nullptr);
    });
}

// Float to 16-bit, rounding to nearest even as lrint does, without a call per
// sample: adding 1.5 * 2^23 leaves the rounded integer in the low mantissa
// bits (exact for the clamped range).
void ConvertToSamples(const float* in, int16_t* out, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        float scaled = std::clamp(in[i] * 32768.0f, -32768.0f, 32767.0f);
        float shifted = scaled + 12582912.0f;
        int32_t bits;
        std::memcpy(&bits, &shifted, sizeof(bits));
        out[i] = int16_t(bits - 0x4B400000);
    }
}

}  // namespace

std::string CSynthesizer::DefaultSoundFontPath()
{
    const char* configured = std::getenv("TESSARINE_SOUNDFONT");
    if (configured && *configured) return configured;
    return "/usr/share/sounds/sf2/default-GM.sf2";
}

CSynthesizer::CSynthesizer(const CSynthOptions& requested) : options(requested), baseGain(ChooseBaseGain())
{
    QuietFluidSynthLog();
    options.channelGroups = std::clamp<uint32_t>(options.channelGroups, 1, 1000);
    options.voices = std::clamp<uint32_t>(options.voices, 1, 1000);
    options.sampleRate = std::clamp<uint32_t>(options.sampleRate, 8000, 96000);

    settings = new_fluid_settings();
    fluid_settings_setnum(settings, "synth.sample-rate", double(options.sampleRate));
    fluid_settings_setint(settings, "synth.midi-channels", int(options.channelGroups * 16));
    fluid_settings_setint(settings, "synth.polyphony", int(options.voices));
    fluid_settings_setint(settings, "synth.reverb.active", options.reverb ? 1 : 0);
    fluid_settings_setint(settings, "synth.chorus.active", options.chorus ? 1 : 0);
    fluid_settings_setnum(settings, "synth.gain", double(baseGain));
    // The synth is driven from one rendering thread under our own lock.
    fluid_settings_setint(settings, "synth.threadsafe-api", 0);
    // Threads for the voices, and samples loaded when a preset first plays
    // rather than all at once: TESSARINE_SYNTH_CORES, TESSARINE_SYNTH_DYNAMIC_SAMPLES.
    fluid_settings_setint(settings, "synth.cpu-cores", EnvironmentInt("TESSARINE_SYNTH_CORES", DefaultCores(), 1, 64));
    fluid_settings_setint(settings, "synth.dynamic-sample-loading",
                          EnvironmentInt("TESSARINE_SYNTH_DYNAMIC_SAMPLES", kDefaultDynamicSamples, 0, 1));
    synth = new_fluid_synth(settings);
    if (!synth) {
        loadError = "FluidSynth could not create a synthesizer";
        return;
    }
    // Channel 10 of every group plays drums, as in General MIDI.
    for (uint32_t channel = 0; channel < options.channelGroups * 16; ++channel)
        fluid_synth_set_channel_type(synth, int(channel), channel % 16 == 9 ? CHANNEL_TYPE_DRUM : CHANNEL_TYPE_MELODIC);

    std::string path = DefaultSoundFontPath();
    generalMidiId = fluid_synth_sfload(synth, path.c_str(), 1);
    if (generalMidiId < 0) {
        loadError = "cannot load the SoundFont " + path;
        std::fprintf(stderr, "synth: %s; only downloaded instruments will sound\n", loadError.c_str());
    }
    scratch.resize(2 * 4096);
    due.reserve(256);
}

CSynthesizer::~CSynthesizer()
{
    if (synth) delete_fluid_synth(synth);
    if (settings) delete_fluid_settings(settings);
}

int CSynthesizer::ChannelOf(uint32_t group, uint32_t channel) const
{
    if (group < 1 || group > options.channelGroups) return -1;
    return int((group - 1) * 16 + (channel & 15));
}

void CSynthesizer::QueueMessage(int64_t frame, uint32_t group, uint32_t message)
{
    std::lock_guard<std::mutex> guard(queueLock);
    queue.emplace(frame, Event{group, message, {}, false});
}

void CSynthesizer::QueueSysex(int64_t frame, uint32_t group, const uint8_t* data, size_t size)
{
    if (!data || size == 0) return;
    // FluidSynth takes the message without its framing bytes.
    size_t begin = data[0] == midi::kSysex ? 1 : 0;
    size_t end = size;
    if (end > begin && data[end - 1] == midi::kEndOfSysex) --end;
    if (end <= begin) return;
    std::lock_guard<std::mutex> guard(queueLock);
    queue.emplace(frame, Event{group, 0, std::vector<uint8_t>(data + begin, data + end), false});
}

void CSynthesizer::QueueAllNotesOff(int64_t frame, bool dropLater)
{
    std::lock_guard<std::mutex> guard(queueLock);
    if (dropLater) queue.erase(queue.upper_bound(frame), queue.end());
    queue.emplace(frame, Event{0, 0, {}, true});
}

void CSynthesizer::QueueChannelType(int64_t frame, uint32_t group, uint32_t channel, bool drums)
{
    std::lock_guard<std::mutex> guard(queueLock);
    queue.emplace(frame, Event{group, channel & 0x0F, {}, false, drums ? CHANNEL_TYPE_DRUM : CHANNEL_TYPE_MELODIC});
}

void CSynthesizer::ClearQueue()
{
    std::lock_guard<std::mutex> guard(queueLock);
    queue.clear();
}

size_t CSynthesizer::QueuedEvents() const
{
    std::lock_guard<std::mutex> guard(queueLock);
    return queue.size();
}

int64_t CSynthesizer::RenderedFrames() const { return renderedFrames.load(std::memory_order_acquire); }

void CSynthesizer::Apply(const Event& event)
{
    if (!synth) return;
    if (event.allNotesOff) {
        for (uint32_t channel = 0; channel < options.channelGroups * 16; ++channel) {
            fluid_synth_all_notes_off(synth, int(channel));
            fluid_synth_cc(synth, int(channel), midi::kSustain, 0);  // a held pedal would keep them
        }
        return;
    }
    if (event.channelType >= 0) {
        const int channel = ChannelOf(event.group, event.message & 0x0F);
        if (channel >= 0) fluid_synth_set_channel_type(synth, channel, event.channelType);
        return;
    }
    if (!event.sysex.empty()) {
        fluid_synth_sysex(synth, reinterpret_cast<const char*>(event.sysex.data()), int(event.sysex.size()), nullptr,
                          nullptr, nullptr, 0);
        return;
    }
    const uint32_t status = event.message & 0xFF;
    const int data1 = int((event.message >> 8) & 0x7F);
    const int data2 = int((event.message >> 16) & 0x7F);
    const int channel = ChannelOf(event.group, status & 0x0F);
    if (channel < 0 || status < 0x80) return;
    switch (midi::KindOf(uint8_t(status))) {
    case midi::kNoteOff: fluid_synth_noteoff(synth, channel, data1); break;
    case midi::kNoteOn:
        if (data2 == 0) {
            fluid_synth_noteoff(synth, channel, data1);
        } else {
            voiced = true;
            fluid_synth_noteon(synth, channel, data1, data2);
        }
        break;
    case midi::kKeyPressure: fluid_synth_key_pressure(synth, channel, data1, data2); break;
    case midi::kControlChange: fluid_synth_cc(synth, channel, data1, data2); break;
    case midi::kProgramChange: fluid_synth_program_change(synth, channel, data1); break;
    case midi::kChannelPressure: fluid_synth_channel_pressure(synth, channel, data1); break;
    case midi::kPitchBend: fluid_synth_pitch_bend(synth, channel, data1 | (data2 << 7)); break;
    default: break;  // system messages other than sysex mean nothing to a synth
    }
}

void CSynthesizer::RenderRaw(float* interleaved, uint32_t frames)
{
    // Until the first note FluidSynth would give silence; its reverb and
    // chorus would run on all the same, and how far they got would depend on
    // how long the player took to start its music. They start with the first
    // note instead, so a song sounds the same however late it began. The
    // first note lands on a block boundary, so FluidSynth's blocks keep to
    // the frame count's.
    if (synth && voiced)
        fluid_synth_write_float(synth, int(frames), interleaved, 0, 2, interleaved, 1, 2);
    else
        std::fill(interleaved, interleaved + 2 * size_t(frames), 0.0f);
    renderedFrames.store(renderedFrames.load(std::memory_order_relaxed) + frames, std::memory_order_release);
}

void CSynthesizer::RenderFloatLocked(float* interleaved, uint32_t frames)
{
    const int64_t end = renderedFrames.load(std::memory_order_relaxed) + frames;
    // An event takes effect at the block boundary nearest its frame, so it
    // lands within half a block of where it belongs; FluidSynth starts what
    // it is given at the next boundary at or after the frames rendered so far.
    auto boundary = [](int64_t frame) {
        return (frame + kSynthBlockFrames / 2) / kSynthBlockFrames * kSynthBlockFrames;
    };
    // The events due in this piece leave the queue at once, under one lock:
    // the sequencer places nothing inside a piece under way.
    due.clear();
    {
        std::lock_guard<std::mutex> queueGuard(queueLock);
        auto it = queue.begin();
        for (; it != queue.end() && boundary(it->first) < end; ++it)
            due.emplace_back(boundary(it->first), std::move(it->second));
        queue.erase(queue.begin(), it);
    }
    float* out = interleaved;
    size_t next = 0;
    int64_t rendered = renderedFrames.load(std::memory_order_relaxed);
    while (rendered < end) {
        while (next < due.size() && due[next].first <= rendered) Apply(due[next++].second);
        const int64_t until = next < due.size() ? due[next].first : end;
        const uint32_t count = uint32_t(until - rendered);
        RenderRaw(out, count);
        out += 2 * size_t(count);
        rendered += count;
    }
    // Events at the very end of the piece take effect before the next one.
    while (next < due.size()) Apply(due[next++].second);
}

void CSynthesizer::Render(int16_t* interleaved, uint32_t frames)
{
    std::lock_guard<std::mutex> guard(synthLock);
    // Rendered in parts that fit the scratch buffer, which is only ever used
    // under the synth lock.
    while (frames > 0) {
        const uint32_t part = std::min<uint32_t>(frames, uint32_t(scratch.size() / 2));
        RenderFloatLocked(scratch.data(), part);
        ConvertToSamples(scratch.data(), interleaved, 2 * size_t(part));
        interleaved += 2 * size_t(part);
        frames -= part;
    }
}

void CSynthesizer::SetVolume(int32_t hundredthsDb)
{
    std::lock_guard<std::mutex> guard(synthLock);
    // FluidSynth's gain tops out at 10.
    double gain = std::min(10.0, double(baseGain) * std::pow(10.0, hundredthsDb / 2000.0));
    if (synth) fluid_synth_set_gain(synth, float(gain));
}

int CSynthesizer::ActiveVoices() const
{
    std::lock_guard<std::mutex> guard(synthLock);
    return synth ? fluid_synth_get_active_voice_count(synth) : 0;
}

int CSynthesizer::LoadCollection(const uint8_t* data, size_t size, std::string* error)
{
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return -1;
    };
    if (!synth) return fail("no synthesizer");
    if (!data || size < 12) return fail("the collection is too short");
    // The DLS loader reads by file name only: hand it a private temporary
    // copy and remove it once loaded (the samples are in memory by then).
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/tessarine-dls-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0) return fail("cannot create a temporary file for the collection");
    size_t written = 0;
    while (written < size) {
        ssize_t n = write(fd, data + written, size - written);
        if (n <= 0) break;
        written += size_t(n);
    }
    close(fd);
    int id = -1;
    std::string messages;
    if (written == size) {
        std::lock_guard<std::mutex> guard(synthLock);
        collectionMessages = &messages;
        id = fluid_synth_sfload(synth, name.data(), 1);
        collectionMessages = nullptr;
    }
    unlink(name.data());
    if (written != size) return fail("cannot write the collection to a temporary file");
    if (!messages.empty()) LoaderTrace("collection: %s", messages.c_str());
    if (id < 0) return fail("FluidSynth cannot read the collection" + (messages.empty() ? "" : ": " + messages));
    return id;
}

bool CSynthesizer::UnloadCollection(int id)
{
    if (!synth || id < 0 || id == generalMidiId) return false;
    std::lock_guard<std::mutex> guard(synthLock);
    return fluid_synth_sfunload(synth, id, 1) == FLUID_OK;
}

}  // namespace dmusic
