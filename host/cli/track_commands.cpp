// The track commands: info (a file's length and tags) and decode (a file to
// an audio file), each through one decoder instance as the player uses it.
#include "host/cli/commands.h"
#include "host/cli/music_files.h"
#include "host/cli/output_text.h"
#include "host/objects/archive_file_system.h"
#include "host/objects/audio_chunk.h"
#include "host/objects/audio_file_writer.h"
#include "host/objects/file_info.h"
#include "host/objects/interrupt.h"
#include "host/objects/local_file_system.h"
#include "host/objects/paths.h"
#include "host/objects/settings_block.h"
#include "host/objects/text_receiver.h"
#include "platform/clock.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <thread>

const char* const infoHelp = "Usage: velmora info [--json] FILE...\n"
                             "\n"
                             "Opens each file for information and prints its length as length=SECONDS\n"
                             "(six decimals), then one NAME=VALUE line per field, in the order the\n"
                             "component set them. With more than one file, each starts with a line\n"
                             "'==> FILE <=='. --json prints a JSON array with one object per file.\n"
                             "\n"
                             "FILE is a local path, a file:// URL, archive://ARCHIVE|MEMBER, or an\n"
                             "archive, of which the first playable member is taken.\n"
                             "\n"
                             "Control characters in names and values are printed as \\n, \\r, \\t or \\xHH\n"
                             "(\\u0080 to \\u009f for those above ASCII), so each field stays one line;\n"
                             "bytes that are not UTF-8 are printed as U+FFFD.\n"
                             "\n"
                             "A file that cannot be opened is reported on stderr; the others still print,\n"
                             "and the status is 1.\n";

const char* const decodeHelp = "Usage: velmora decode FILE -o OUT [--format wav|flac|ogg] [--from SECONDS]\n"
                               "                      [--speed RATE|max] [--set NAME=VALUE]...\n"
                               "\n"
                               "Decodes FILE to OUT: 44100 Hz, 16-bit, 2 channels, as WAV, FLAC or Ogg\n"
                               "Vorbis (from --format, else from OUT's extension). OUT is written under a\n"
                               "hidden name and takes its own name when decoding ends.\n"
                               "\n"
                               "  --from SECONDS   start there: seeks once the track plays\n"
                               "  --speed RATE|max run the platform clock RATE (0.01 to 1000) times real\n"
                               "                   time, or max (the default): as fast as the synthesizer\n"
                               "                   renders, with the same music and length as at real time\n"
                               "  --set NAME=VALUE a setting for this run only (velmora config list names them)\n"
                               "\n"
                               "FILE is a local path, a file:// URL, archive://ARCHIVE|MEMBER, or an archive,\n"
                               "of which the first playable member is taken (and named on stderr).\n"
                               "A progress bar goes to stderr when it is a terminal, else a one-line summary.\n"
                               "OUT - writes to standard output, as FLAC or Ogg Vorbis (WAV needs to seek);\n"
                               "a symbolic link is written through, a device or FIFO written straight into.\n"
                               "Ctrl-C, termination or a hang-up stops early and keeps the audio decoded so\n"
                               "far as a valid file. An OUT that is FILE (or its archive) is refused.\n"
                               "\n"
                               "A decode keeps the synthesizer's capture in $TMPDIR (else /tmp): 176400 bytes\n"
                               "for each second of audio, 635 MB an hour. Files and archive members larger\n"
                               "than 128 MiB are refused.\n"
                               "\n"
                               "Exit status: 0 on success, 1 when the file cannot be opened, decoding fails\n"
                               "or it was interrupted (the shorter file is kept), 2 for bad usage.\n";

namespace {

extern "C" void OnInterrupt(int) { interruptRequested.store(true); }

// A file larger than this is refused before the component reads it. The
// largest MIDI, RMID, XMI or segment files in circulation ("black MIDI"
// pieces of millions of notes) run to tens of megabytes, an ordinary song to
// kilobytes; past this the copy and the parse would take minutes and
// gigabytes for nothing a person plays.
constexpr int64_t maxTrackFileSize = maxArchiveMemberSize;

std::string TooLarge(int64_t size)
{
    char text[160];
    std::snprintf(text, sizeof text, "the file is %.1f MiB; no MIDI, RMID, XMI or segment file is larger than %lld MiB",
                  double(size) / 1048576.0, static_cast<long long>(maxTrackFileSize >> 20));
    return text;
}

// Ctrl-C, termination and a hang-up end the host's loops rather than the
// process, so the output stays valid and every temporary file goes. With
// pipeIsError, a closed pipe is a write error, not the end of the process.
class CInterruptGuard {
public:
    explicit CInterruptGuard(bool pipeIsError) : pipeIsError(pipeIsError)
    {
        interruptRequested.store(false);
        watcher = std::thread([this] { Watch(); });
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &previousInt);
        sigaction(SIGTERM, &action, &previousTerm);
        sigaction(SIGHUP, &action, &previousHangUp);
        if (!pipeIsError) return;
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        sigaction(SIGPIPE, &ignore, &previousPipe);
    }
    ~CInterruptGuard()
    {
        watching.store(false);
        watcher.join();
        sigaction(SIGINT, &previousInt, nullptr);
        sigaction(SIGTERM, &previousTerm, nullptr);
        sigaction(SIGHUP, &previousHangUp, nullptr);
        if (pipeIsError) sigaction(SIGPIPE, &previousPipe, nullptr);
    }
    CInterruptGuard(const CInterruptGuard&) = delete;
    CInterruptGuard& operator=(const CInterruptGuard&) = delete;

private:
    // The component waits on the platform clock, which a slow --speed
    // stretches (the wait for the music to start, 50 s of it, takes over an
    // hour at 0.01): once asked to stop, the clock runs as fast as it can,
    // so every wait ends at once and the host's loop sees the request.
    void Watch()
    {
        while (watching.load()) {
            if (interruptRequested.load()) {
                platform::SetClockSpeed("max");
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    bool pipeIsError;
    std::atomic<bool> watching{true};
    std::thread watcher;
    struct sigaction previousInt {};
    struct sigaction previousTerm {};
    struct sigaction previousHangUp {};
    struct sigaction previousPipe {};
};

// One decoder instance, released when it goes.
class CDecoderHandle {
public:
    explicit CDecoderHandle(CComponentLibrary& library)
    {
        CServiceRegistration* registration = library.FindRegistration(CLSID_MidiDecoderService);
        if (registration) decoder = static_cast<CDecoderServiceInterface*>(registration->CreateInstance());
    }
    ~CDecoderHandle()
    {
        if (decoder) decoder->Release();
    }
    CDecoderHandle(const CDecoderHandle&) = delete;
    CDecoderHandle& operator=(const CDecoderHandle&) = delete;
    CDecoderServiceInterface* operator->() const { return decoder; }
    explicit operator bool() const { return decoder != nullptr; }

private:
    CDecoderServiceInterface* decoder = nullptr;
};

// A host file, closed when it goes.
class CFileHandle {
public:
    CFileHandle() = default;
    ~CFileHandle() { Reset(); }
    CFileHandle(const CFileHandle&) = delete;
    CFileHandle& operator=(const CFileHandle&) = delete;
    void Reset(CHostFile* other = nullptr)
    {
        if (file) file->Close();
        file = other;
    }
    CHostFile* Get() const { return file; }

private:
    CHostFile* file = nullptr;
};

// A track opened through a decoder: the file, its information and the path
// the host knows it by.
struct COpenTrack {
    CFileHandle file;
    CFileInfo info;
    std::string path;
};

std::string MemberExtension(const std::string& path)
{
    size_t start = path.find_last_of("/\\|");
    std::string name = start == std::string::npos ? path : path.substr(start + 1);
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

// Why a path cannot be looked at, empty when it can: missing (in the words
// given), a loop of symbolic links, a folder that may not be searched.
std::string MissingReason(const std::string& path, const char* missing)
{
    struct stat status;
    if (stat(path.c_str(), &status) == 0) return std::string();
    if (errno == ENOENT || errno == ENOTDIR) return missing;
    if (errno == ELOOP) return "a loop of symbolic links";
    return std::strerror(errno);
}

// Why a member of a readable archive did not open.
std::string ArchiveMemberReason()
{
    const std::string reason = GetLastArchiveError();
    return reason.empty() ? "no such member in the archive, or it cannot be read" : reason;
}

// Opens path through the host's file systems for reading; the canonical
// path comes back in canonical, the reason for a failure in reason.
CHostFile* OpenThroughFileSystems(CVelmoraHost& host, const std::string& path, std::string& canonical,
                                  std::string& reason)
{
    for (int32_t index = 0;; ++index) {
        auto* fileSystem = static_cast<CHostFileSystem*>(host.EnumerateService(&CLSID_HostFileSystem, index));
        if (!fileSystem) break;
        CHostTextReceiver receiver;
        if (!fileSystem->ClaimsPath(path.c_str()) || !fileSystem->GetCanonicalPath(path.c_str(), &receiver)) {
            fileSystem->Release();
            continue;
        }
        canonical = receiver.Text();
        CHostFile* file = fileSystem->CreateFileObject(canonical.c_str());
        fileSystem->Release();
        if (file && file->Open(canonical.c_str(), HOST_OPEN_READ)) return file;
        if (file) file->Close();
        std::string archive, member, local;
        struct stat status;
        if (interruptRequested.load())
            reason = "interrupted";
        else if (SplitArchivePath(canonical, archive, member))
            reason = !MissingReason(archive, "no such archive").empty() ? MissingReason(archive, "no such archive")
                     : stat(archive.c_str(), &status) != 0 || !S_ISREG(status.st_mode)
                         ? "the archive is not a regular file"
                         : ArchiveMemberReason();
        else if (ToLocalPath(canonical, local) && !MissingReason(local, "no such file").empty())
            reason = MissingReason(local, "no such file");
        else if (stat(local.c_str(), &status) == 0 && S_ISDIR(status.st_mode))
            reason = "not a regular file (a folder)";
        else if (stat(local.c_str(), &status) == 0 && !S_ISREG(status.st_mode))
            reason = "not a regular file (a device, FIFO or socket)";
        else
            reason = "it cannot be read";
        return nullptr;
    }
    reason = "no file system takes this path";
    return nullptr;
}

// Opens one path (not an archive to pick from) with the decoder.
bool OpenOne(CCommandContext& context, CDecoderServiceInterface* decoder, const std::string& path, uint32_t flags,
             COpenTrack& track, std::string& reason)
{
    std::string canonical;
    CHostFile* file = OpenThroughFileSystems(*context.host, path, canonical, reason);
    if (!file) return false;
    track.file.Reset(file);
    track.path = canonical;
    track.info.SetPath(canonical);
    if (!decoder->MatchesExtension(nullptr, MemberExtension(canonical).c_str())) {
        reason = "not a MIDI, RMID, XMI or segment file";
        return false;
    }
    const int64_t size = file->GetSize();
    if (size == 0) {
        reason = "the file is empty";
        return false;
    }
    if (size > maxTrackFileSize) {
        reason = TooLarge(size);
        return false;
    }
    if (!decoder->OpenTrack(file, &track.info, flags)) {
        reason = "the component could not play it (--verbose shows why)";
        return false;
    }
    return true;
}

// Opens path; an archive gives its first member that opens. member gets
// that member's name (empty for a plain file).
bool OpenTrack(CCommandContext& context, CDecoderServiceInterface* decoder, const std::string& path, uint32_t flags,
               COpenTrack& track, std::string& member, std::string& reason)
{
    member.clear();
    std::string local, scheme;
    struct stat status;
    const bool plainLocal = !HasUrlScheme(path, &scheme) || scheme == "file";
    if (plainLocal && ToLocalPath(path, local) && stat(local.c_str(), &status) == 0 && S_ISREG(status.st_mode)) {
        // What no track can be is told before anything reads it.
        if (status.st_size == 0) {
            reason = "the file is empty";
            return false;
        }
        // An archive may hold any number of songs: its members are measured.
        const bool music = decoder->MatchesExtension(nullptr, MemberExtension(local).c_str());
        if (music && status.st_size > maxTrackFileSize) {
            reason = TooLarge(status.st_size);
            return false;
        }
        if (!music) {
            const CArchiveListing listing = ReadArchiveListing(local);
            if (!listing.isArchive) {
                reason = "not a MIDI, RMID, XMI or segment file, nor an archive";
                return false;
            }
            // The candidates are chosen by name and first bytes before any is
            // opened, each name once: the archive is read in one pass.
            bool anyCandidate = false, anyEncrypted = false;
            std::set<std::string> tried;
            for (const CArchiveMember& entry : listing.members) {
                if (interruptRequested.load()) {
                    reason = "interrupted";
                    return false;
                }
                if (!decoder->MatchesExtension(nullptr, MemberExtension(entry.name).c_str())) continue;
                if (entry.encrypted) {
                    anyEncrypted = true;
                    continue;
                }
                if (!LooksLikeMusic(entry.head) || !tried.insert(entry.name).second) continue;
                anyCandidate = true;
                std::string memberReason;
                if (OpenOne(context, decoder, "archive://" + local + "|" + entry.name, flags, track, memberReason)) {
                    member = entry.name;
                    return true;
                }
                if (interruptRequested.load()) {
                    reason = "interrupted";
                    return false;
                }
            }
            reason = anyCandidate   ? "no member of the archive could be played"
                     : anyEncrypted ? "the archive's MIDI members are encrypted (a password is needed, which velmora "
                                      "cannot take)"
                     : !listing.error.empty() ? listing.error
                                              : "the archive holds no MIDI file";
            return false;
        }
    }
    return OpenOne(context, decoder, path, flags, track, reason);
}

void CannotOpen(const std::string& path, const std::string& reason)
{
    std::fprintf(stderr, "velmora: %s: cannot open%s%s\n", PrintableText(path).c_str(), reason.empty() ? "" : ": ",
                 reason.c_str());
}

bool ParseSeconds(const std::string& text, double& seconds)
{
    const char* last = text.data() + text.size();
    auto [end, status] = std::from_chars(text.data(), last, seconds);
    return status == std::errc() && end == last && std::isfinite(seconds) && seconds >= 0;
}

// Applies --set overrides; false (with the message printed) for a bad one.
bool ApplyOverrides(CCommandContext& context, const std::vector<std::string>& overrides)
{
    for (const std::string& item : overrides) {
        const size_t equals = item.find('=');
        if (equals == std::string::npos || equals == 0) {
            std::fprintf(stderr, "velmora: --set needs NAME=VALUE, not '%s'\n", item.c_str());
            return false;
        }
        CSettingsRecord change;
        if (!ChangeSetting(context.library.Component(), item.substr(0, equals), item.substr(equals + 1), change))
            return false;
    }
    return true;
}

// Puts the settings back as they were before the overrides, so none is saved.
class CSettingsRestorer {
public:
    explicit CSettingsRestorer(CComponentInterface* component)
        : component(component), block(GetSettingsBlock(component))
    {}
    ~CSettingsRestorer() { component->LoadSettings(block.data(), static_cast<uint32_t>(block.size())); }
    CSettingsRestorer(const CSettingsRestorer&) = delete;
    CSettingsRestorer& operator=(const CSettingsRestorer&) = delete;

private:
    CComponentInterface* component;
    std::vector<uint8_t> block;
};

// True when writing output would replace the input (or the archive it is
// in), by whatever links or path forms either is reached.
bool OutputIsInput(const std::string& input, const std::string& output)
{
    if (output == "-") return false;
    std::string archive, member;
    return IsSameLocalFile(SplitArchivePath(input, archive, member) ? archive : input, output);
}

std::string FormatClock(double seconds)
{
    if (!(seconds >= 0)) seconds = 0;
    const long whole = long(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld.%01ld", whole / 60, whole % 60, long((seconds - double(whole)) * 10));
    return text;
}

void DrawProgress(double position, double length, double rate)
{
    constexpr int width = 30;
    const double fraction = length > 0 ? std::min(1.0, position / length) : 0.0;
    const int filled = int(fraction * width);
    std::fprintf(stderr, "\r[%s%s] %s / %s  %.1fx ", std::string(size_t(filled), '#').c_str(),
                 std::string(size_t(width - filled), '.').c_str(), FormatClock(position).c_str(),
                 FormatClock(length).c_str(), rate);
    std::fflush(stderr);
}

// A decode's options once checked.
struct CDecodeRequest {
    std::string path;
    std::string output;
    CAudioFormat format = CAudioFormat::Unknown;
    double from = 0;
};

// The output format, from --format or else the output's extension; false
// with the usage error shown.
bool ChooseFormat(const CTrackOptions& options, CAudioFormat& format)
{
    format = options.format.empty() ? AudioFormatOfPath(options.output) : ParseAudioFormat(options.format);
    if (format == CAudioFormat::Unknown) {
        if (options.format.empty())
            std::fprintf(stderr, "velmora: cannot tell the format from '%s': give --format wav, flac or ogg\n",
                         options.output.c_str());
        else
            std::fprintf(stderr, "velmora: unknown format '%s' (wav, flac or ogg)\n", options.format.c_str());
        return false;
    }
    if (options.output == "-" && format == CAudioFormat::Wav) {
        std::fprintf(stderr, "velmora: WAV cannot stream to standard output: give --format flac or ogg\n");
        return false;
    }
    return true;
}

// Checks decode's options before anything is opened; false with the usage
// error shown.
bool CheckDecodeOptions(const CTrackOptions& options, const std::string& path, CDecodeRequest& request)
{
    request.path = path;
    request.output = options.output;
    if (options.output.empty()) {
        std::fprintf(stderr, "velmora: decode needs -o OUT\n");
        return false;
    }
    if (!ChooseFormat(options, request.format)) return false;
    if (!options.from.empty() && !ParseSeconds(options.from, request.from)) {
        std::fprintf(stderr, "velmora: --from needs seconds of 0 or more, not '%s'\n", options.from.c_str());
        return false;
    }
    if (OutputIsInput(path, options.output)) {
        std::fprintf(stderr, "velmora: %s is the file to decode (%s): give another output\n", options.output.c_str(),
                     path.c_str());
        return false;
    }
    return true;
}

// Opens the track for decoding and moves to --from; length gets what is
// left to decode. False with the reason shown.
bool OpenForDecode(CCommandContext& context, CDecoderServiceInterface* decoder, const CDecodeRequest& request,
                   COpenTrack& track, double& length)
{
    std::string member, reason;
    if (!OpenTrack(context, decoder, request.path, OPEN_TRACK_DECODE | OPEN_TRACK_INFO, track, member, reason)) {
        CannotOpen(request.path, reason);
        return false;
    }
    if (!member.empty())
        std::fprintf(stderr, "velmora: %s: playing %s\n", PrintableText(request.path).c_str(),
                     PrintableText(member).c_str());
    length = track.info.GetLength();
    if (request.from <= 0) return true;
    if (request.from >= length) {
        std::fprintf(stderr, "velmora: %s: --from %g is past the end (the track lasts %.3f s)\n", request.path.c_str(),
                     request.from, length);
        return false;
    }
    if (!decoder->SeekTrack(request.from)) {
        std::fprintf(stderr, "velmora: %s: cannot start at %g s\n", request.path.c_str(), request.from);
        return false;
    }
    length -= request.from;
    return true;
}

// The progress bar on a terminal's stderr, redrawn at most five times a second.
class CDecodeProgress {
public:
    CDecodeProgress(std::chrono::steady_clock::time_point started, double length)
        : started(started), length(length), terminal(::isatty(STDERR_FILENO))
    {}

    void Update(uint64_t frames)
    {
        if (!terminal) return;
        const auto now = std::chrono::steady_clock::now();
        if (now - lastDrawn <= std::chrono::milliseconds(200)) return;
        const double real = std::chrono::duration<double>(now - started).count();
        const double position = double(frames) / 44100.0;
        DrawProgress(position, length, real > 0 ? position / real : 0);
        lastDrawn = now;
    }
    void End()
    {
        if (terminal) std::fputs("\n", stderr);
    }

private:
    std::chrono::steady_clock::time_point started;
    std::chrono::steady_clock::time_point lastDrawn{};
    double length;
    bool terminal;
};

// How a decode ended.
struct CDecodeOutcome {
    int status = exitSuccess;
    std::string error;
    uint64_t frames = 0;
    bool interrupted = false;
};

// Writes one chunk's audio; false with error set.
bool WriteChunk(CAudioChunk& chunk, CAudioFileWriter& writer, std::vector<int16_t>& pcm, std::string& error)
{
    if (chunk.GetSampleCount() == 0) return true;
    if (chunk.GetSampleRate() != 44100 || chunk.GetChannels() != 2) {
        error = "the component handed out audio that is not 44100 Hz stereo";
        return false;
    }
    SamplesToPcm(chunk.GetBuffer(), size_t(chunk.GetSampleCount()) * 2, pcm);
    return writer.Write(pcm.data(), uint32_t(pcm.size() * 2), error);
}

// Decodes chunk after chunk into the writer until the track ends, fails or
// the host is interrupted.
void DecodeChunks(CDecoderServiceInterface* decoder, CAudioFileWriter& writer, CDecodeProgress& progress,
                  CDecodeOutcome& outcome)
{
    CAudioChunk chunk;
    std::vector<int16_t> pcm;
    for (;;) {
        if (interruptRequested.load()) {
            outcome.interrupted = true;
            return;
        }
        const int32_t result = decoder->DecodeChunk(&chunk);
        if (result < 0) {
            outcome.error = "decoding failed";
            outcome.status = exitFailure;
            return;
        }
        if (result == 0) return;
        if (!WriteChunk(chunk, writer, pcm, outcome.error)) {
            outcome.status = exitFailure;
            return;
        }
        progress.Update(writer.FramesWritten());
    }
}

// Opens, decodes and writes the track through one decoder instance, which
// goes (and with it any temporary copy) before this returns. False when it
// could not start, with the reason shown.
bool DecodeTrack(CCommandContext& context, const CDecodeRequest& request, std::chrono::steady_clock::time_point started,
                 CDecodeOutcome& outcome)
{
    CDecoderHandle decoder(context.library);
    if (!decoder) {
        std::fprintf(stderr, "velmora: the component offers no decoder\n");
        return false;
    }
    COpenTrack track;
    double length = 0;
    if (!OpenForDecode(context, decoder.operator->(), request, track, length)) return false;
    CAudioFileWriter writer;
    if (!writer.Open(request.output, request.format, outcome.error)) {
        std::fprintf(stderr, "velmora: %s\n", outcome.error.c_str());
        return false;
    }
    CDecodeProgress progress(started, length);
    DecodeChunks(decoder.operator->(), writer, progress, outcome);
    outcome.frames = writer.FramesWritten();
    if (outcome.status == exitSuccess && !writer.Finish(outcome.error)) outcome.status = exitFailure;
    progress.End();
    return true;
}

// The line that ends a decode: the failure, or what was written how fast.
int ReportDecode(const CDecodeRequest& request, const CDecodeOutcome& outcome,
                 std::chrono::steady_clock::time_point started)
{
    if (outcome.status != exitSuccess) {
        std::fprintf(stderr, "velmora: %s: %s; %s left as it was\n", request.path.c_str(), outcome.error.c_str(),
                     request.output.c_str());
        return outcome.status;
    }
    const double seconds = double(outcome.frames) / 44100.0;
    const double real = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::fprintf(stderr, "velmora: %s%s -> %s: %.3f s of audio (%s) in %.1f s, %.1fx real time\n",
                 outcome.interrupted ? "interrupted: " : "", request.path.c_str(), request.output.c_str(), seconds,
                 AudioFormatName(request.format), real, real > 0 ? seconds / real : 0.0);
    return outcome.interrupted ? exitFailure : exitSuccess;
}

}  // namespace

int RunInfo(CCommandContext& context)
{
    const bool json = context.trackOptions && context.trackOptions->json;
    const bool several = context.arguments.size() > 1;
    int status = exitSuccess;
    bool firstPrinted = true;
    // A reader that closed the pipe ends info as it always did.
    CInterruptGuard interruptGuard(false);
    if (json) std::printf("[");
    for (const std::string& path : context.arguments) {
        if (interruptRequested.load()) {
            std::fprintf(stderr, "velmora: interrupted\n");
            status = exitFailure;
            break;
        }
        CDecoderHandle decoder(context.library);
        if (!decoder) {
            std::fprintf(stderr, "velmora: the component offers no decoder\n");
            return exitFailure;
        }
        COpenTrack track;
        std::string member, reason;
        if (!OpenTrack(context, decoder.operator->(), path, OPEN_TRACK_INFO, track, member, reason)) {
            CannotOpen(path, reason);
            status = exitFailure;
            continue;
        }
        if (!member.empty())
            std::fprintf(stderr, "velmora: %s: member %s\n", PrintableText(path).c_str(),
                         PrintableText(member).c_str());
        const auto& fields = track.info.Fields();
        if (json) {
            std::printf("%s\n  {\"file\": %s, \"path\": %s, \"length\": %.6f, \"fields\": [", firstPrinted ? "" : ",",
                        JsonString(path).c_str(), JsonString(track.path).c_str(), track.info.GetLength());
            for (size_t i = 0; i < fields.size(); ++i)
                std::printf("%s\n    {\"name\": %s, \"value\": %s}", i ? "," : "", JsonString(fields[i].first).c_str(),
                            JsonString(fields[i].second).c_str());
            std::printf("%s]}", fields.empty() ? "" : "\n  ");
        } else {
            if (several) std::printf("%s==> %s <==\n", firstPrinted ? "" : "\n", PrintableText(path).c_str());
            std::printf("length=%.6f\n", track.info.GetLength());
            for (const auto& [name, value] : fields)
                std::printf("%s=%s\n", PrintableText(name).c_str(), PrintableText(value).c_str());
        }
        firstPrinted = false;
    }
    if (json) std::printf("%s]\n", firstPrinted ? "" : "\n");
    std::fflush(stdout);
    return status;
}

int RunDecode(CCommandContext& context)
{
    static const CTrackOptions noOptions;
    const CTrackOptions& options = context.trackOptions ? *context.trackOptions : noOptions;
    CDecodeRequest request;
    if (!CheckDecodeOptions(options, context.arguments[0], request)) return exitUsage;

    CSettingsRestorer restorer(context.library.Component());
    if (!ApplyOverrides(context, options.settings)) return exitUsage;

    CInterruptGuard interruptGuard(true);
    const auto started = std::chrono::steady_clock::now();
    CDecodeOutcome outcome;
    if (!DecodeTrack(context, request, started, outcome)) return exitFailure;
    return ReportDecode(request, outcome, started);
}
