// WAV files on Windows through winmm's RIFF calls (mmioCreateChunk and
// mmioAscend write the chunks and their sizes), under a hidden name until
// finished. FLAC and Ogg Vorbis come from libsndfile, which only the Linux
// build has.
#include "host/objects/audio_file_writer.h"
#include "host/utf8/win/wide.h"

#include <mmsystem.h>
#include <objbase.h>

#include <cstdio>
#include <filesystem>

// The writer's open file, behind the header's opaque pointer: the mmio file
// over a handle opened with the wide-character calls, and its two open chunks.
struct sf_private_tag {
    HANDLE handle = INVALID_HANDLE_VALUE;
    HMMIO mmio = nullptr;
    MMCKINFO riff{};
    MMCKINFO data{};
};

namespace {

// target's folder\.velmora-RANDOM, so a rename needs no copy: short (a
// target of 255 characters still fits) and not to be guessed, so nobody can
// have put a link there beforehand; CREATE_NEW never opens what is there.
std::string HiddenName(const std::string& target)
{
    size_t slash = target.find_last_of("\\/");
    std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    GUID random{};
    CoCreateGuid(&random);
    char name[32];
    std::snprintf(name, sizeof name, ".velmora-%08lx%04x", static_cast<unsigned long>(random.Data1),
                  static_cast<unsigned>(random.Data2));
    return folder + name;
}

// Closes the mmio file (its buffer written out) and then the handle under it.
bool CloseFile(sf_private_tag* file)
{
    bool closed = file->mmio && mmioClose(file->mmio, MMIO_FHOPEN) == 0;
    if (!CloseHandle(file->handle)) closed = false;
    delete file;
    return closed;
}

}  // namespace

CAudioFileWriter::~CAudioFileWriter() { Discard(); }

bool CAudioFileWriter::Open(const std::string& path, CAudioFormat format, std::string& error)
{
    Discard();
    if (format != CAudioFormat::Wav) {
        error = std::string("the Windows host writes only WAV, not ") + AudioFormatName(format) +
                " (FLAC and Ogg Vorbis are written by the Linux host)";
        return false;
    }
    target = path;
    auto* opened = new sf_private_tag;
    opened->handle = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 16 && opened->handle == INVALID_HANDLE_VALUE; ++attempt) {
        partial = HiddenName(path);
        opened->handle = CreateFileW(Widen(partial).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (opened->handle == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (opened->handle == INVALID_HANDLE_VALUE) {
        error = "cannot write " + path + ": " + SystemErrorText(GetLastError());
        delete opened;
        partial.clear();
        return false;
    }
    // No file name: mmio takes the open handle from adwInfo[0].
    MMIOINFO info{};
    info.fccIOProc = FOURCC_DOS;
    info.adwInfo[0] = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(opened->handle));
    opened->mmio = mmioOpenW(nullptr, &info, MMIO_READWRITE | MMIO_ALLOCBUF);

    PCMWAVEFORMAT pcm{};
    pcm.wf.wFormatTag = WAVE_FORMAT_PCM;
    pcm.wf.nChannels = 2;
    pcm.wf.nSamplesPerSec = 44100;
    pcm.wf.nBlockAlign = 4;
    pcm.wf.nAvgBytesPerSec = 44100 * 4;
    pcm.wBitsPerSample = 16;
    MMCKINFO formatChunk{};
    formatChunk.ckid = mmioFOURCC('f', 'm', 't', ' ');
    formatChunk.cksize = sizeof pcm;
    opened->riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    opened->data.ckid = mmioFOURCC('d', 'a', 't', 'a');
    const bool started = opened->mmio && mmioCreateChunk(opened->mmio, &opened->riff, MMIO_CREATERIFF) == 0 &&
                         mmioCreateChunk(opened->mmio, &formatChunk, 0) == 0 &&
                         mmioWrite(opened->mmio, reinterpret_cast<const char*>(&pcm), sizeof pcm) == sizeof pcm &&
                         mmioAscend(opened->mmio, &formatChunk, 0) == 0 &&
                         mmioCreateChunk(opened->mmio, &opened->data, 0) == 0;
    file = opened;
    if (!started) {
        error = "cannot write " + path + ": the WAV header could not be written";
        Discard();
        return false;
    }
    frames = 0;
    return true;
}

bool CAudioFileWriter::Write(const void* data, uint32_t bytes, std::string& error)
{
    if (!file) {
        error = "no file is open";
        return false;
    }
    const uint32_t whole = bytes / 4 * 4;
    if (whole == 0) return true;
    if (mmioWrite(file->mmio, static_cast<const char*>(data), static_cast<LONG>(whole)) != static_cast<LONG>(whole)) {
        error = "cannot write " + target + ": " + SystemErrorText(GetLastError());
        return false;
    }
    frames += whole / 4;
    return true;
}

bool CAudioFileWriter::Finish(std::string& error)
{
    if (!file) {
        error = "no file is open";
        return false;
    }
    // Ascending out of each chunk writes its size into its header.
    bool finished = mmioAscend(file->mmio, &file->data, 0) == 0 && mmioAscend(file->mmio, &file->riff, 0) == 0;
    if (!CloseFile(file)) finished = false;
    file = nullptr;
    const std::wstring widePartial = Widen(partial), wideTarget = Widen(target);
    if (!finished) {
        error = "cannot finish " + target + ": the WAV chunks could not be closed";
        DeleteFileW(widePartial.c_str());
        partial.clear();
        return false;
    }
    if (!MoveFileExW(widePartial.c_str(), wideTarget.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        error = "cannot write " + target + ": " + SystemErrorText(GetLastError());
        DeleteFileW(widePartial.c_str());
        partial.clear();
        return false;
    }
    // The hidden attribute goes with the file; the finished file is not hidden.
    SetFileAttributesW(wideTarget.c_str(), FILE_ATTRIBUTE_NORMAL);
    partial.clear();
    return true;
}

void CAudioFileWriter::Discard()
{
    if (file) {
        CloseFile(file);
        file = nullptr;
    }
    if (!partial.empty()) {
        DeleteFileW(Widen(partial).c_str());
        partial.clear();
    }
}
