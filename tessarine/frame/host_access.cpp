// The component's routines over the host's services. Every host object
// obtained by enumeration is released on every path.
#include "tessarine/frame/host_access.h"

#include "tessarine/frame/globals.h"

#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr uint32_t copyPieceSize = 1048576;

CHostFileSystem* EnumerateFileSystem(CHostInterface* host, int32_t index)
{
    return static_cast<CHostFileSystem*>(host->EnumerateService(&CLSID_HostFileSystem, index));
}

// The first file system's canonical form of path, or path unchanged.
std::string GetCanonicalForm(const char* path)
{
    CHostInterface* host = GetHostInterface();
    if (!host) return path;
    CHostStringBuffer receiver;
    for (int32_t index = 0;; ++index) {
        CHostFileSystem* fileSystem = EnumerateFileSystem(host, index);
        if (!fileSystem) break;
        receiver.Clear();
        const int32_t written = fileSystem->GetCanonicalPath(path, &receiver);
        fileSystem->Release();
        if (written) return receiver.GetText();
    }
    return path;
}

// The first file system that claims path, with its reference, or null.
CHostFileSystem* FindClaimingFileSystem(const char* path)
{
    CHostInterface* host = GetHostInterface();
    if (!host) return nullptr;
    for (int32_t index = 0;; ++index) {
        CHostFileSystem* fileSystem = EnumerateFileSystem(host, index);
        if (!fileSystem) return nullptr;
        if (fileSystem->ClaimsPath(path)) return fileSystem;
        fileSystem->Release();
    }
}

void AppendUtf8(char*& out, uint32_t codePoint)
{
    if (codePoint < 0x80) {
        *out++ = char(codePoint);
        return;
    }
    int continuation;
    uint8_t lead;
    if (codePoint < 0x800) {
        continuation = 1;
        lead = 0xC0;
    } else if (codePoint < 0x10000) {
        continuation = 2;
        lead = 0xE0;
    } else if (codePoint < 0x200000) {
        continuation = 3;
        lead = 0xF0;
    } else if (codePoint < 0x4000000) {
        continuation = 4;
        lead = 0xF8;
    } else {
        continuation = 5;
        lead = 0xFC;
    }
    *out++ = char(lead | (codePoint >> (6 * continuation)));
    for (int shift = 6 * (continuation - 1); shift >= 0; shift -= 6)
        *out++ = char(0x80 | ((codePoint >> shift) & 0x3F));
}

}  // namespace

void CHostStringBuffer::SetText(const char* newText, int32_t length)
{
    if (!newText) {
        text.clear();
        return;
    }
    if (length < 0) {
        text.assign(newText);
        return;
    }
    const void* nul = std::memchr(newText, 0, size_t(length));
    text.assign(newText, nul ? size_t(static_cast<const char*>(nul) - newText) : size_t(length));
}

CHostFile* OpenHostFile(const char* path, int32_t mode)
{
    if (!path) return nullptr;
    const std::string canonical = GetCanonicalForm(path);
    CHostFileSystem* fileSystem = FindClaimingFileSystem(canonical.c_str());
    if (!fileSystem) return nullptr;
    CHostFile* file = fileSystem->CreateFileObject(canonical.c_str());
    fileSystem->Release();
    if (!file) return nullptr;
    if (!file->Open(canonical.c_str(), mode)) {
        file->Close();
        return nullptr;
    }
    return file;
}

int32_t RemoveHostFile(const char* path)
{
    if (!path) return 0;
    const std::string canonical = GetCanonicalForm(path);
    CHostFileSystem* fileSystem = FindClaimingFileSystem(canonical.c_str());
    if (!fileSystem) return 0;
    const int32_t result = fileSystem->RemoveFile(canonical.c_str());
    fileSystem->Release();
    return result;
}

void ResolveNativePath(const char* path, CHostString* receiver)
{
    if (!receiver) return;
    if (!path) path = "";
    CHostFileSystem* fileSystem = FindClaimingFileSystem(path);
    const bool resolved = fileSystem && fileSystem->GetNativePath(path, receiver);
    if (fileSystem) fileSystem->Release();
    if (!resolved) receiver->SetText(path, -1);
}

int64_t CopyFileData(CHostFile* source, CHostFile* destination, int64_t count)
{
    if (!source || !destination || count <= 0) return 0;
    const uint32_t bufferSize = count < copyPieceSize ? uint32_t(count) : copyPieceSize;
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[bufferSize]);
    if (!buffer) return 0;
    int64_t written = 0;
    while (written < count) {
        const int64_t left = count - written;
        const uint32_t want = left < bufferSize ? uint32_t(left) : bufferSize;
        uint32_t got = source->Read(buffer.get(), want);
        if (got == 0) break;
        if (got > want) got = want;  // a host reading more than asked must not overrun the buffer
        // A short write is retried with the rest, so no bytes read are skipped.
        uint32_t done = 0;
        while (done < got) {
            const uint32_t moved = destination->Write(buffer.get() + done, got - done);
            if (moved == 0) break;
            done += moved < got - done ? moved : got - done;
        }
        written += done;
        if (done < got) break;
    }
    return written;
}

void ConsoleOutput(int32_t severity, const char* text)
{
    CHostInterface* host = GetHostInterface();
    if (!host) return;
    auto* console = static_cast<CHostConsole*>(host->EnumerateService(&CLSID_HostConsole, 0));
    if (!console) return;
    console->Output(severity, text ? text : "", GetComponentFileName());
    console->Release();
}

bool FillAudioChunk(CHostAudioChunk* chunk, const void* data, uint32_t bytes, uint32_t sampleRate, uint32_t channels,
                    uint32_t bitsPerSample)
{
    if (!chunk) return false;
    const uint32_t samples = bytes / 2;
    double* buffer = nullptr;
    // Only signed 16-bit data is understood; a channel count of 0 cannot give frames.
    if (bitsPerSample == 16 && channels != 0 && (data || samples == 0))
        buffer = chunk->GetCapacity() < samples ? chunk->SetCapacity(samples) : chunk->GetBuffer();
    if (!buffer) {
        chunk->SetSampleCount(0);
        chunk->SetSampleRate(0);
        chunk->SetChannels(0);
        return false;
    }
    const auto* pcm = static_cast<const uint8_t*>(data);
    constexpr double scale = 1.0 / 32768.0;
    for (uint32_t i = 0; i < samples; ++i) {
        const auto sample = int16_t(uint16_t(pcm[2 * i] | pcm[2 * i + 1] << 8));
        buffer[i] = sample * scale;
    }
    chunk->SetSampleCount(samples / channels);
    chunk->SetSampleRate(sampleRate);
    chunk->SetChannels(channels);
    return true;
}

uint32_t ConvertUtf16ToUtf8(const WCHAR* text, uint32_t maxUnits, char* output)
{
    if (!output) return 0;
    char* out = output;
    for (uint32_t i = 0; text && i < maxUnits && text[i] != 0; ++i) {
        uint32_t codePoint = uint16_t(text[i]);
        if (codePoint >= 0xD800 && codePoint <= 0xDBFF && i + 1 < maxUnits) {
            const uint32_t low = uint16_t(text[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                codePoint = (((codePoint & 0x3FF) << 10) | (low & 0x3FF)) + 0x10000;
                ++i;
            }
        }
        AppendUtf8(out, codePoint);
    }
    *out = 0;
    return uint32_t(out - output);
}

uint32_t ConvertUtf8ToUtf16(const char* text, uint32_t maxBytes, WCHAR* output)
{
    if (!output) return 0;
    const auto* in = reinterpret_cast<const uint8_t*>(text);
    WCHAR* out = output;
    uint32_t position = 0;
    while (in && position < maxBytes && in[position] != 0) {
        const uint8_t lead = in[position];
        uint32_t length;
        uint32_t codePoint;
        if (lead < 0x80) {
            length = 1;
            codePoint = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2;
            codePoint = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            codePoint = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            codePoint = lead & 0x07;
        } else if ((lead & 0xFC) == 0xF8) {
            length = 5;
            codePoint = lead & 0x03;
        } else if ((lead & 0xFE) == 0xFC) {
            length = 6;
            codePoint = lead & 0x01;
        } else {
            break;  // a continuation byte, FE or FF cannot start a sequence
        }
        if (length > maxBytes - position) break;
        bool valid = true;
        for (uint32_t k = 1; k < length; ++k) {
            const uint8_t next = in[position + k];  // a NUL fails this test too
            if ((next & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            codePoint = codePoint << 6 | (next & 0x3F);
        }
        // Overlong forms are refused at every length, not only C0 and C1 leads:
        // a longer form of "/" or NUL must not slip through a later check.
        static constexpr uint32_t smallestOfLength[7] = {0, 0, 0x80, 0x800, 0x10000, 0x200000, 0x4000000};
        if (!valid || codePoint < smallestOfLength[length] || codePoint > 0x10FFFF) break;
        if (codePoint < 0x10000) {
            *out++ = WCHAR(codePoint);
        } else {
            *out++ = WCHAR(0xD800 | ((codePoint - 0x10000) >> 10));
            *out++ = WCHAR(0xDC00 | (codePoint & 0x3FF));
        }
        position += length;
    }
    *out = 0;
    return uint32_t(out - output);
}
