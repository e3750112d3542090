// Helpers for the synthesizer and performance tests: a tiny DLS level 1
// writer (one looping sine wave, so a test can tell its timbre from the GM
// set's) and measurements of rendered 16-bit stereo audio.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace synth_test {

class CRiffWriter {
public:
    void Fourcc(const char* code) { bytes.insert(bytes.end(), code, code + 4); }
    void U16(uint16_t value)
    {
        for (int i = 0; i < 2; ++i) bytes.push_back(uint8_t(value >> (8 * i)));
    }
    void U32(uint32_t value)
    {
        for (int i = 0; i < 4; ++i) bytes.push_back(uint8_t(value >> (8 * i)));
    }
    // Opens a chunk (or a RIFF/LIST with its form type); returns where its size goes.
    size_t Open(const char* id, const char* form = nullptr)
    {
        Fourcc(id);
        size_t at = bytes.size();
        U32(0);
        if (form) Fourcc(form);
        return at;
    }
    void Close(size_t at)
    {
        uint32_t size = uint32_t(bytes.size() - at - 4);
        std::memcpy(&bytes[at], &size, 4);
        if (size & 1) bytes.push_back(0);
    }
    std::vector<uint8_t> bytes;
};

// One instrument at (bank, program) whose only region covers every key with a
// seamlessly looping sine tuned so that note 69 (A4) sounds 440 Hz.
inline std::vector<uint8_t> BuildSineDls(uint32_t bank, uint32_t program, bool drums)
{
    // 100 samples a cycle at 44000 Hz is exactly 440 Hz at the unity note.
    const uint32_t rate = 44000;
    const uint32_t frames = 100 * 40;
    std::vector<int16_t> wave(frames);
    for (uint32_t i = 0; i < frames; ++i) wave[i] = int16_t(std::lround(12000.0 * std::sin(2.0 * M_PI * i / 100.0)));
    const int16_t fineTune = 0;

    CRiffWriter w;
    size_t riff = w.Open("RIFF", "DLS ");
    size_t colh = w.Open("colh");
    w.U32(1);
    w.Close(colh);
    size_t lins = w.Open("LIST", "lins");
    size_t ins = w.Open("LIST", "ins ");
    size_t insh = w.Open("insh");
    w.U32(1);
    w.U32((bank & 0x7F) | ((bank >> 7) << 8) | (drums ? 0x80000000u : 0));
    w.U32(program);
    w.Close(insh);
    size_t lrgn = w.Open("LIST", "lrgn");
    size_t rgn = w.Open("LIST", "rgn ");
    size_t rgnh = w.Open("rgnh");
    w.U16(0);
    w.U16(127);
    w.U16(0);
    w.U16(127);
    w.U16(0);
    w.U16(0);
    w.Close(rgnh);
    size_t wsmp = w.Open("wsmp");
    w.U32(20);
    w.U16(69);
    w.U16(uint16_t(fineTune));
    w.U32(0);
    w.U32(0);
    w.U32(1);
    w.U32(16);
    w.U32(0);
    w.U32(0);
    w.U32(frames);
    w.Close(wsmp);
    size_t wlnk = w.Open("wlnk");
    w.U16(0);
    w.U16(0);
    w.U32(1);
    w.U32(0);
    w.Close(wlnk);
    w.Close(rgn);
    w.Close(lrgn);
    w.Close(ins);
    w.Close(lins);
    size_t ptbl = w.Open("ptbl");
    w.U32(8);
    w.U32(1);
    w.U32(0);
    w.Close(ptbl);
    size_t wvpl = w.Open("LIST", "wvpl");
    size_t wave0 = w.Open("LIST", "wave");
    size_t fmt = w.Open("fmt ");
    w.U16(1);
    w.U16(1);
    w.U32(rate);
    w.U32(rate * 2);
    w.U16(2);
    w.U16(16);
    w.Close(fmt);
    size_t ws = w.Open("wsmp");
    w.U32(20);
    w.U16(69);
    w.U16(uint16_t(fineTune));
    w.U32(0);
    w.U32(0);
    w.U32(1);
    w.U32(16);
    w.U32(0);
    w.U32(0);
    w.U32(frames);
    w.Close(ws);
    size_t data = w.Open("data");
    for (int16_t s : wave) w.U16(uint16_t(s));
    w.Close(data);
    w.Close(wave0);
    w.Close(wvpl);
    w.Close(riff);
    return w.bytes;
}

// Power of one frequency in the left channel of frames [begin, end) (Goertzel).
inline double TonePower(const std::vector<int16_t>& stereo, size_t begin, size_t end, double hz, double rate = 44100)
{
    const double k = 2.0 * std::cos(2.0 * M_PI * hz / rate);
    double s1 = 0, s2 = 0;
    for (size_t i = begin; i < end && 2 * i < stereo.size(); ++i) {
        double s0 = stereo[2 * i] + k * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    double n = double(end - begin);
    return (s1 * s1 + s2 * s2 - k * s1 * s2) / (n * n);
}

// Mean square of both channels over frames [begin, end).
inline double MeanSquare(const std::vector<int16_t>& stereo, size_t begin, size_t end)
{
    double sum = 0;
    size_t count = 0;
    for (size_t i = 2 * begin; i < 2 * end && i < stereo.size(); ++i, ++count) sum += double(stereo[i]) * stereo[i];
    return count ? sum / double(count) : 0.0;
}

// Mean frequency of the left channel over frames [begin, end) from its rising
// zero crossings.
inline double ZeroCrossingFrequency(const std::vector<int16_t>& stereo, size_t begin, size_t end, double rate = 44100)
{
    double first = -1, last = -1;
    int crossings = 0;
    for (size_t i = begin; i + 1 < end && 2 * i + 2 < stereo.size(); ++i) {
        if (stereo[2 * i] < 0 && stereo[2 * i + 2] >= 0) {
            double at = double(i) + double(-stereo[2 * i]) / double(stereo[2 * i + 2] - stereo[2 * i]);
            if (first < 0) first = at;
            last = at;
            ++crossings;
        }
    }
    return crossings > 1 ? (crossings - 1) / ((last - first) / rate) : 0.0;
}

inline int PeakAbs(const std::vector<int16_t>& stereo)
{
    int peak = 0;
    for (int16_t s : stereo) peak = std::max(peak, std::abs(int(s)));
    return peak;
}

// The first frame at or after `from` where the 440 Hz tone (A4) starts: the
// first 5 ms window whose 440 Hz power passes a fraction of the strongest
// window's, refined to the first frame above a tenth of that window's peak.
// Returns -1 when there is no such tone.
inline long FindToneOnset(const std::vector<int16_t>& stereo, size_t from, double hz = 440.0)
{
    const size_t window = 220, frames = stereo.size() / 2;
    double strongest = 0;
    for (size_t at = from; at + window <= frames; at += window / 2)
        strongest = std::max(strongest, TonePower(stereo, at, at + window, hz));
    if (strongest <= 1.0) return -1;
    for (size_t at = from; at + window <= frames; at += window / 4) {
        if (TonePower(stereo, at, at + window, hz) < strongest * 0.05) continue;
        int peak = 0;
        for (size_t i = at; i < at + window; ++i) peak = std::max(peak, std::abs(int(stereo[2 * i])));
        size_t start = at >= window ? at - window : 0;
        for (size_t i = std::max(start, from); i < at + window; ++i)
            if (std::abs(int(stereo[2 * i])) * 10 >= peak) return long(i);
        return long(at);
    }
    return -1;
}

}  // namespace synth_test
