// Rendering speed of the platform's DirectMusic synthesizer against
// FluidSynth's own file renderer, on the same dense MIDI file and SoundFont,
// in the same run: seconds of audio rendered per second of CPU.
//
//   bench_bench_render [FILE.mid] [--speed RATE]
//
// Without a file a dense one is generated (sixteen channels of four-note
// chords changing every eighth note, plus drums, for 30 s). dmrender is
// looked for beside this program (or in $TESSARINE_BINARY_DIR/bin).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

void PutVlq(std::vector<uint8_t>& out, uint32_t value)
{
    uint8_t bytes[5];
    int n = 0;
    bytes[n++] = value & 0x7F;
    while (value >>= 7) bytes[n++] = 0x80 | (value & 0x7F);
    while (n) out.push_back(bytes[--n]);
}

std::vector<uint8_t> DenseMidi(int seconds)
{
    const uint32_t ppq = 480, eighth = ppq / 2;
    std::vector<uint8_t> track;
    uint32_t pending = 0;
    auto event = [&](std::initializer_list<uint8_t> bytes) {
        PutVlq(track, pending);
        pending = 0;
        track.insert(track.end(), bytes);
    };
    for (uint8_t channel = 0; channel < 16; ++channel)
        if (channel != 9) event({uint8_t(0xC0 | channel), uint8_t((channel * 7) % 96)});
    const int steps = seconds * 4;  // eighths at 120 bpm
    for (int step = 0; step < steps; ++step) {
        for (uint8_t channel = 0; channel < 16; ++channel) {
            if (channel == 9) {
                event({0x99, uint8_t(36 + step % 12), 100});
                continue;
            }
            uint8_t root = uint8_t(40 + (step * 5 + channel * 3) % 36);
            for (uint8_t k : {0, 4, 7, 12}) event({uint8_t(0x90 | channel), uint8_t(root + k), 80});
        }
        pending = eighth;
        for (uint8_t channel = 0; channel < 16; ++channel) {
            if (channel == 9) {
                event({0x89, uint8_t(36 + step % 12), 0});
                continue;
            }
            uint8_t root = uint8_t(40 + (step * 5 + channel * 3) % 36);
            for (uint8_t k : {0, 4, 7, 12}) event({uint8_t(0x80 | channel), uint8_t(root + k), 0});
        }
    }
    event({0xFF, 0x2F, 0x00});
    std::vector<uint8_t> file = {'M',          'T', 'h', 'd', 0,  0, 0, 6, 0, 0, 0, 1, uint8_t(ppq >> 8),
                                 uint8_t(ppq), 'M', 'T', 'r', 'k'};
    uint32_t size = uint32_t(track.size());
    for (int shift = 24; shift >= 0; shift -= 8) file.push_back(uint8_t(size >> shift));
    file.insert(file.end(), track.begin(), track.end());
    return file;
}

// Runs a program and gives its CPU seconds (user + system), or -1.
double RunMeasured(const std::vector<std::string>& arguments)
{
    pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        std::vector<char*> argv;
        for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        freopen("/dev/null", "w", stdout);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    if (wait4(child, &status, 0, &usage) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Seconds of audio in a 16-bit stereo 44100 Hz WAV file (from its data chunk).
double WavSeconds(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    for (size_t at = 12; at + 8 <= bytes.size();) {
        uint32_t size;
        std::memcpy(&size, &bytes[at + 4], 4);
        if (!std::memcmp(&bytes[at], "data", 4))
            return double(std::min<size_t>(size, bytes.size() - at - 8)) / 176400.0;
        at += 8 + size + (size & 1);
    }
    return 0;
}

std::string ToolDirectory(const char* argv0)
{
    if (const char* dir = std::getenv("TESSARINE_BINARY_DIR")) return std::string(dir) + "/bin";
    std::string self = argv0;
    size_t slash = self.rfind('/');
    return slash == std::string::npos ? "." : self.substr(0, slash);
}

}  // namespace

int main(int argc, char** argv)
{
    std::string input;
    std::string speed = "2";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--speed") == 0 && i + 1 < argc)
            speed = argv[++i];
        else
            input = argv[i];
    }
    char folder[] = "/tmp/bench-render-XXXXXX";
    if (!mkdtemp(folder)) return 1;
    const std::string dir = folder;
    if (input.empty()) {
        input = dir + "/dense.mid";
        auto bytes = DenseMidi(30);
        std::ofstream(input, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    const char* configured = std::getenv("TESSARINE_SOUNDFONT");
    const std::string soundFont = configured && *configured ? configured : "/usr/share/sounds/sf2/default-GM.sf2";
    setenv("TESSARINE_SOUNDFONT", soundFont.c_str(), 1);

    // dmrender: the whole platform (sequencer, sink, buffer); it renders
    // every frame even when it falls behind, so its CPU covers all of them.
    const std::string ours = dir + "/platform.wav";
    double ourCpu = RunMeasured({ToolDirectory(argv[0]) + "/dmrender", input, "-o", ours, "--speed", speed, "--reverb",
                                 "on", "--chorus", "on"});
    double ourAudio = WavSeconds(ours);
    // FluidSynth's fast file renderer, same file, SoundFont and default effects.
    const std::string theirs = dir + "/fluidsynth.wav";
    double fluidCpu = RunMeasured({"fluidsynth", "-ni", "-q", "-r", "44100", "-F", theirs, soundFont, input});
    double fluidAudio = WavSeconds(theirs);

    std::printf("file: %s\nsoundfont: %s\n", input.c_str(), soundFont.c_str());
    if (ourCpu > 0)
        std::printf("platform dmrender (speed %s): %.1f s audio in %.2f CPU s = %.1f audio s per CPU s\n",
                    speed.c_str(), ourAudio, ourCpu, ourAudio / ourCpu);
    else
        std::printf("platform dmrender: failed\n");
    if (fluidCpu > 0)
        std::printf("fluidsynth -ni -F:          %.1f s audio in %.2f CPU s = %.1f audio s per CPU s\n", fluidAudio,
                    fluidCpu, fluidAudio / fluidCpu);
    else
        std::printf("fluidsynth -ni -F: failed (is the fluidsynth package installed?)\n");
    std::remove(ours.c_str());
    std::remove(theirs.c_str());
    if (input == dir + "/dense.mid") std::remove(input.c_str());
    rmdir(folder);
    return ourCpu > 0 ? 0 : 1;
}
