// The collection job on Linux: lists the playable files of the inputs, and
// decodes each with a velmora process of its own (the platform clock belongs
// to a process), as many at once as there are jobs. A child writes to a
// hidden name in the output folder that takes the file's name once it has
// succeeded; an interrupted or failed child's output goes.
#include "host/cli/collection_jobs.h"
#include "host/cli/music_files.h"
#include "host/cli/output_text.h"

#include "host/objects/archive_file_system.h"
#include "host/objects/audio_file_writer.h"
#include "host/objects/paths.h"
#include "platform/clock.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;

std::atomic<bool> stopRequested{false};

extern "C" void OnCollectionSignal(int) { stopRequested.store(true); }

// Ctrl-C, termination and a hang-up stop the run rather than the process,
// so the jobs can be stopped and their partial files removed.
class CStopGuard {
public:
    CStopGuard()
    {
        stopRequested.store(false);
        struct sigaction action {};
        action.sa_handler = OnCollectionSignal;
        sigemptyset(&action.sa_mask);
        for (size_t i = 0; i < 3; ++i) sigaction(signals[i], &action, &previous[i]);
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        sigaction(SIGPIPE, &ignore, &previousPipe);
    }
    ~CStopGuard()
    {
        for (size_t i = 0; i < 3; ++i) sigaction(signals[i], &previous[i], nullptr);
        sigaction(SIGPIPE, &previousPipe, nullptr);
    }
    CStopGuard(const CStopGuard&) = delete;
    CStopGuard& operator=(const CStopGuard&) = delete;

private:
    static constexpr int signals[3] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction previous[3]{};
    struct sigaction previousPipe {};
};

std::string Lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return text;
}

bool HasPlayableExtension(const std::string& name)
{
    const size_t slash = name.find_last_of("/|");
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
    const std::string extension = Lower(name.substr(dot + 1));
    return extension == "mid" || extension == "midi" || extension == "rmi" || extension == "xmi" || extension == "sgt";
}

// The playable files an argument stands for: a folder's files with a
// playable name (recursively), an archive's playable members, else itself.
void ListInputs(const std::string& argument, std::vector<std::string>& inputs)
{
    std::error_code failure;
    std::string local;
    std::string scheme;
    const bool plain = !HasUrlScheme(argument, &scheme) || scheme == "file";
    if (!plain || !ToLocalPath(argument, local)) {
        inputs.push_back(argument);
        return;
    }
    if (fs::is_directory(local, failure)) {
        fs::recursive_directory_iterator it(local, fs::directory_options::skip_permission_denied, failure), end;
        for (; !failure && it != end; it.increment(failure)) {
            if (it->is_regular_file(failure) && HasPlayableExtension(it->path().filename().string()))
                inputs.push_back(it->path().string());
        }
        return;
    }
    std::vector<std::string> members, heads;
    if (!HasPlayableExtension(local) && fs::is_regular_file(local, failure) &&
        ListArchiveMembers(local, &members, &heads)) {
        const std::string archive = fs::absolute(local, failure).string();
        for (size_t i = 0; i < members.size(); ++i)
            if (HasPlayableExtension(members[i]) && LooksLikeMusic(heads[i]))
                inputs.push_back("archive://" + archive + "|" + members[i]);
        return;
    }
    inputs.push_back(argument);
}

// The seconds of audio a child's summary line gives ("... 22.000 s of audio ..."), or -1.
double AudioSecondsOf(const std::string& log)
{
    const size_t at = log.rfind(" s of audio");
    if (at == std::string::npos) return -1;
    const size_t start = log.rfind(' ', at - 1);
    return std::strtod(log.c_str() + (start == std::string::npos ? 0 : start + 1), nullptr);
}

// The last line a child wrote, without its "velmora: ".
std::string LastLine(const std::string& log)
{
    std::string text = log;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    const size_t newline = text.rfind('\n');
    if (newline != std::string::npos) text = text.substr(newline + 1);
    if (text.compare(0, 9, "velmora: ") == 0) text = text.substr(9);
    return text;
}

// Why a job failed: its last line, with the last line the component wrote
// before it (the reason a decode stopped), which that line does not repeat.
std::string FailureOf(const std::string& log)
{
    std::vector<std::string> lines;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line != "\r") lines.push_back(line);
    const std::string error = LastLine(log);
    for (size_t i = lines.size(); i-- > 1;)
        if (lines[i - 1].compare(0, 9, "velmora: ") != 0) return error + " (" + lines[i - 1] + ")";
    return error;
}

std::string ExecutablePath()
{
    std::vector<char> buffer(4096);
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    return length > 0 ? std::string(buffer.data(), size_t(length)) : std::string("velmora");
}

struct CJob {
    CCollectionItem item;
    std::string output, partial;
    pid_t pid = -1;
    int errorPipe = -1;
    std::string log;
    std::chrono::steady_clock::time_point started;
};

class CCollectionRun {
public:
    CCollectionRun(const CTrackOptions& track, const CCollectionOptions& options, CAudioFormat format,
                   std::string folder)
        : track(track), options(options), format(format), folder(std::move(folder))
    {}

    int Run(const std::vector<CCollectionItem>& items);

private:
    bool Start(const CCollectionItem& item, bool filesWait);
    std::vector<std::string> ChildWords(const CCollectionItem& item, const std::string& partial) const;
    int Spawn(std::vector<std::string>& words, int errorEnd, pid_t& pid, char** environment);
    void Finish(CJob& job, int waitStatus);
    void ReadLogs(int timeoutMs);
    void Record(const CCollectionItem& item, const std::string& output, double length, double seconds,
                const char* status, const std::string& error);
    void Draw(bool force);
    // The steps of Run.
    void PrepareEnvironment(size_t jobs);
    bool OpenReport();
    void StartDue(const std::vector<CCollectionItem>& items, size_t& next, size_t jobs);
    void ReapEnded();
    int Summarize();

    const CTrackOptions& track;
    const CCollectionOptions& options;
    CAudioFormat format;
    std::string folder;
    std::string executable = ExecutablePath();
    std::vector<CJob> running;
    // The environment of a job started while other files wait: this one's,
    // with one synthesizer thread unless the caller chose. The jobs keep the
    // cores busy then, and a second thread in each costs more than it gives.
    // Empty when there is one job or the caller chose.
    std::vector<std::string> oneThreadText;
    std::vector<char*> oneThreadEnvironment;
    FILE* report = nullptr;
    bool terminal = ::isatty(STDERR_FILENO) != 0;
    size_t total = 0, done = 0, converted = 0, failed = 0, skipped = 0;
    double audioSeconds = 0;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point lastDrawn{};
};

// The command line of the child that decodes item into partial.
std::vector<std::string> CCollectionRun::ChildWords(const CCollectionItem& item, const std::string& partial) const
{
    const std::string extension = AudioFormatName(format);
    std::vector<std::string> words = {executable, "decode", "-o", partial, "--format", extension};
    if (platform::ClockFollowsSinks()) {
        words.insert(words.end(), {"--speed", "max"});
    } else {
        char rate[32];
        std::snprintf(rate, sizeof(rate), "%.17g", platform::GetClockRate());
        words.insert(words.end(), {"--speed", rate});
    }
    if (!track.from.empty()) words.insert(words.end(), {"--from", track.from});
    for (const std::string& setting : track.settings) words.insert(words.end(), {"--set", setting});
    if (!track.component.empty()) words.insert(words.end(), {"--component", track.component});
    // After "--", an input that begins with "-" is still an input.
    words.insert(words.end(), {"--", item.input});
    return words;
}

// Starts the child with no input or output and stderr into errorEnd, with
// the default signal actions, whatever this run catches or ignores; 0 or
// the error number.
int CCollectionRun::Spawn(std::vector<std::string>& words, int errorEnd, pid_t& pid, char** environment)
{
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, errorEnd, STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&defaults, signal);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    const int spawned = posix_spawn(&pid, executable.c_str(), &actions, &attributes, argv.data(), environment);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return spawned;
}

bool CCollectionRun::Start(const CCollectionItem& item, bool filesWait)
{
    CJob job;
    job.item = item;
    const std::string extension = AudioFormatName(format);
    job.output = (fs::path(folder) / (item.name + "." + extension)).string();
    job.partial =
        (fs::path(folder) / ("." + item.name + "." + extension + ".part-" + std::to_string(getpid()))).string();
    std::vector<std::string> words = ChildWords(item, job.partial);
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) return false;
    // The last file, started when none waits, keeps the synthesizer's threads
    // and so has the cores that the other jobs free as they end.
    const bool oneThread = filesWait && !oneThreadEnvironment.empty();
    const int spawned = Spawn(words, pipeEnds[1], job.pid, oneThread ? oneThreadEnvironment.data() : environ);
    close(pipeEnds[1]);
    if (spawned != 0) {
        close(pipeEnds[0]);
        Record(item, "", -1, 0, "failed", std::string("cannot start velmora: ") + std::strerror(spawned));
        ++failed;
        ++done;
        return false;
    }
    fcntl(pipeEnds[0], F_SETFL, O_NONBLOCK);
    job.errorPipe = pipeEnds[0];
    job.started = std::chrono::steady_clock::now();
    running.push_back(std::move(job));
    return true;
}

void CCollectionRun::ReadLogs(int timeoutMs)
{
    std::vector<pollfd> polls;
    for (const CJob& job : running)
        if (job.errorPipe >= 0) polls.push_back({job.errorPipe, POLLIN, 0});
    if (polls.empty()) {
        usleep(useconds_t(timeoutMs) * 1000);
        return;
    }
    if (poll(polls.data(), polls.size(), timeoutMs) <= 0) return;
    for (CJob& job : running) {
        if (job.errorPipe < 0) continue;
        char buffer[4096];
        for (;;) {
            const ssize_t got = read(job.errorPipe, buffer, sizeof(buffer));
            if (got > 0) {
                job.log.append(buffer, size_t(got));
                // Only the end matters: the summary or the reason.
                if (job.log.size() > 65536) job.log.erase(0, job.log.size() - 16384);
                continue;
            }
            if (got == 0) {
                close(job.errorPipe);
                job.errorPipe = -1;
            }
            break;
        }
    }
}

void CCollectionRun::Finish(CJob& job, int waitStatus)
{
    if (job.errorPipe >= 0) {
        // What the child wrote last is still in the pipe.
        char buffer[4096];
        ssize_t got;
        while ((got = read(job.errorPipe, buffer, sizeof(buffer))) > 0) job.log.append(buffer, size_t(got));
        close(job.errorPipe);
        job.errorPipe = -1;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - job.started).count();
    std::error_code failure;
    // A job that finished before it was stopped keeps its file.
    const bool succeeded =
        WIFEXITED(waitStatus) && WEXITSTATUS(waitStatus) == 0 && fs::is_regular_file(job.partial, failure);
    if (succeeded) {
        fs::rename(job.partial, job.output, failure);
        if (!failure) {
            const double length = AudioSecondsOf(job.log);
            audioSeconds += std::max(0.0, length);
            ++converted;
            ++done;
            Record(job.item, job.output, length, seconds, "converted", "");
            return;
        }
    }
    fs::remove(job.partial, failure);
    std::string error = succeeded ? "cannot give the output its name" : FailureOf(job.log);
    // The child names the input itself; the line names it once.
    if (error.compare(0, job.item.input.size() + 2, job.item.input + ": ") == 0)
        error = error.substr(job.item.input.size() + 2);
    // Nor the hidden file it wrote to, which is gone now.
    const std::string untouched = "; " + job.partial + " left as it was";
    if (const size_t at = error.find(untouched); at != std::string::npos) error.erase(at, untouched.size());
    if (WIFSIGNALED(waitStatus)) error = "stopped by signal " + std::to_string(WTERMSIG(waitStatus));
    if (error.empty()) error = "velmora failed";
    ++done;
    if (stopRequested.load()) {
        Record(job.item, "", -1, seconds, "interrupted", "interrupted");
    } else {
        ++failed;
        Record(job.item, "", -1, seconds, "failed", error);
    }
}

void CCollectionRun::Record(const CCollectionItem& item, const std::string& output, double length, double seconds,
                            const char* status, const std::string& error)
{
    if (report) {
        char numbers[96];
        std::string lengthText = "null";
        if (length >= 0) {
            std::snprintf(numbers, sizeof(numbers), "%.3f", length);
            lengthText = numbers;
        }
        std::snprintf(numbers, sizeof(numbers), "%.3f", seconds);
        std::fprintf(
            report,
            "{\"input\": %s, \"output\": %s, \"length\": %s, \"seconds\": %s, \"status\": \"%s\", \"error\": %s}\n",
            JsonString(item.input).c_str(), output.empty() ? "null" : JsonString(output).c_str(), lengthText.c_str(),
            numbers, status, error.empty() ? "null" : JsonString(error).c_str());
        std::fflush(report);
    }
    if (terminal) std::fputs("\r\033[K", stderr);
    if (!error.empty() && std::strcmp(status, "interrupted") != 0)
        std::fprintf(stderr, "velmora: %s: %s\n", item.input.c_str(), error.c_str());
    else if (!terminal && std::strcmp(status, "converted") == 0)
        std::fprintf(stderr, "velmora: %s -> %s: %.3f s of audio in %.1f s\n", item.input.c_str(), output.c_str(),
                     length, seconds);
    else if (!terminal && std::strcmp(status, "skipped") == 0)
        std::fprintf(stderr, "velmora: %s: skipped, %s exists\n", item.input.c_str(), output.c_str());
    Draw(true);
}

void CCollectionRun::Draw(bool force)
{
    if (!terminal) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - lastDrawn < std::chrono::milliseconds(200)) return;
    lastDrawn = now;
    const double real = std::chrono::duration<double>(now - started).count();
    const int width = 24;
    const int filled = total ? int(double(done) / double(total) * width) : width;
    std::fprintf(stderr, "\r\033[K[%s%s] %zu/%zu files, %.1f s of audio, %.1fx real time, %zu running",
                 std::string(size_t(filled), '#').c_str(), std::string(size_t(width - filled), '.').c_str(), done,
                 total, audioSeconds, real > 0 ? audioSeconds / real : 0.0, running.size());
    std::fflush(stderr);
}

void CCollectionRun::PrepareEnvironment(size_t jobs)
{
    if (jobs < 2 || std::getenv("TESSARINE_SYNTH_CORES")) return;
    for (char** variable = environ; *variable; ++variable) oneThreadText.push_back(*variable);
    oneThreadText.push_back("TESSARINE_SYNTH_CORES=1");
    for (std::string& variable : oneThreadText) oneThreadEnvironment.push_back(variable.data());
    oneThreadEnvironment.push_back(nullptr);
}

bool CCollectionRun::OpenReport()
{
    if (options.report.empty()) return true;
    report = std::fopen(options.report.c_str(), "w");
    if (report) return true;
    std::fprintf(stderr, "velmora: cannot write the report %s: %s\n", options.report.c_str(), std::strerror(errno));
    return false;
}

// Starts items until every job slot is busy; items whose output exists are
// skipped when asked.
void CCollectionRun::StartDue(const std::vector<CCollectionItem>& items, size_t& next, size_t jobs)
{
    while (!stopRequested.load() && next < items.size() && running.size() < jobs) {
        const CCollectionItem& item = items[next++];
        const std::string output = (fs::path(folder) / (item.name + "." + AudioFormatName(format))).string();
        std::error_code failure;
        if (options.skipExisting && fs::exists(output, failure)) {
            ++skipped;
            ++done;
            Record(item, output, -1, 0, "skipped", "");
            continue;
        }
        Start(item, next < items.size());
    }
}

void CCollectionRun::ReapEnded()
{
    for (size_t i = 0; i < running.size();) {
        int waitStatus = 0;
        const pid_t ended = waitpid(running[i].pid, &waitStatus, WNOHANG);
        if (ended == running[i].pid) {
            Finish(running[i], waitStatus);
            running.erase(running.begin() + std::ptrdiff_t(i));
        } else {
            ++i;
        }
    }
}

int CCollectionRun::Summarize()
{
    if (terminal) std::fputs("\r\033[K", stderr);
    if (report) std::fclose(report);
    const double real = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const bool stopped = stopRequested.load();
    std::fprintf(
        stderr,
        "velmora: %s%zu of %zu files converted, %zu skipped, %zu failed; %.1f s of audio in %.1f s (%.1fx real time)\n",
        stopped ? "interrupted: " : "", converted, total, skipped, failed, audioSeconds, real,
        real > 0 ? audioSeconds / real : 0.0);
    return failed > 0 || stopped ? exitFailure : exitSuccess;
}

int CCollectionRun::Run(const std::vector<CCollectionItem>& items)
{
    total = items.size();
    long cores = sysconf(_SC_NPROCESSORS_ONLN);
    const size_t jobs = size_t(options.jobs > 0 ? options.jobs : (cores > 0 ? cores : 1));
    PrepareEnvironment(jobs);
    if (!OpenReport()) return exitFailure;
    CStopGuard guard;
    size_t next = 0;
    bool signalled = false;
    while (next < items.size() || !running.empty()) {
        if (stopRequested.load() && !signalled) {
            // Every job stops; what they wrote goes once they have.
            for (const CJob& job : running) kill(job.pid, SIGTERM);
            signalled = true;
        }
        StartDue(items, next, jobs);
        ReadLogs(100);
        ReapEnded();
        Draw(false);
        if (stopRequested.load() && next < items.size() && running.empty()) break;
    }
    return Summarize();
}

}  // namespace

int RunCollection(CCommandContext& context, const CCollectionOptions& options)
{
    static const CTrackOptions noOptions;
    const CTrackOptions& track = context.trackOptions ? *context.trackOptions : noOptions;
    if (track.output.empty() || track.output == "-") {
        std::fprintf(stderr, "velmora: a collection needs -o DIR/, a folder for its files\n");
        return exitUsage;
    }
    CAudioFormat format = track.format.empty() ? CAudioFormat::Wav : ParseAudioFormat(track.format);
    if (format == CAudioFormat::Unknown) {
        std::fprintf(stderr, "velmora: unknown format '%s' (wav, flac or ogg)\n", track.format.c_str());
        return exitUsage;
    }
    std::error_code failure;
    if (!fs::is_directory(track.output, failure)) {
        if (fs::exists(track.output, failure)) {
            std::fprintf(stderr, "velmora: %s is not a folder: a collection needs -o DIR/\n", track.output.c_str());
            return exitUsage;
        }
        fs::create_directories(track.output, failure);
        if (failure) {
            std::fprintf(stderr, "velmora: cannot make the folder %s: %s\n", track.output.c_str(),
                         failure.message().c_str());
            return exitFailure;
        }
    }
    std::vector<std::string> inputs;
    for (const std::string& file : options.files) ListInputs(file, inputs);
    if (inputs.empty()) {
        std::fprintf(stderr, "velmora: no playable file in the collection\n");
        return exitFailure;
    }
    const std::vector<CCollectionItem> items =
        TakeShard(NameCollection(inputs), options.shardIndex, options.shardCount);
    CCollectionRun run(track, options, format, track.output);
    return run.Run(items);
}
