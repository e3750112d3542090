// Writes the decoder's PCM (16-bit stereo at 44100 Hz) to a WAV, FLAC or
// Ogg Vorbis file through libsndfile. The audio goes to a hidden file next
// to the target, created exclusively under a name nobody can guess, which
// takes the target's name (and a replaced target's permissions) only when
// the writer is finished, so a failed run leaves the target as it was; a
// symbolic link keeps its place and its target takes the audio. Standard output ("-"), a
// device or a FIFO gets the audio straight.
#pragma once

#include <cstdint>
#include <string>

struct sf_private_tag;

enum class CAudioFormat { Unknown, Wav, Flac, Ogg };

// "wav", "flac", "ogg" (any case); Unknown otherwise.
CAudioFormat ParseAudioFormat(const std::string& name);
// The format named by the file name's extension (.wav, .flac, .ogg, .oga).
CAudioFormat AudioFormatOfPath(const std::string& path);
const char* AudioFormatName(CAudioFormat format);

class CAudioFileWriter {
public:
    CAudioFileWriter() = default;
    ~CAudioFileWriter();  // an unfinished file is discarded
    CAudioFileWriter(const CAudioFileWriter&) = delete;
    CAudioFileWriter& operator=(const CAudioFileWriter&) = delete;

    bool Open(const std::string& path, CAudioFormat format, std::string& error);
    // Interleaved signed 16-bit stereo frames, bytes a multiple of 4.
    bool Write(const void* data, uint32_t bytes, std::string& error);
    // Closes the file and gives it the target's name.
    bool Finish(std::string& error);
    // Closes and removes what was written.
    void Discard();

    uint64_t FramesWritten() const { return frames; }

private:
    sf_private_tag* file = nullptr;
    std::string target;
    std::string partial;
    bool direct = false;  // into standard output, a device or a FIFO
    uint64_t frames = 0;
};
