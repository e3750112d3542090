// The component's ten configuration variables, persisted by the host as one
// block of records (name length, name, data length, data).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

static_assert(sizeof(std::atomic<int32_t>) == 4 && std::atomic<int32_t>::is_always_lock_free);
static_assert(sizeof(std::atomic<float>) == 4 && std::atomic<float>::is_always_lock_free);

// Receives the bytes of a variable's value (position 0 appends).
class CRawDataSink {
public:
    virtual void Append(const void* data, uint32_t size) = 0;

protected:
    ~CRawDataSink() = default;
};

class CConfigVariable {
public:
    virtual bool GetRawData(CRawDataSink* sink) = 0;               // 0
    virtual void SetRawData(const void* data, uint32_t size) = 0;  // 1

    const char* GetName() const { return name ? name : ""; }
    CConfigVariable* GetNext() const { return next; }

protected:
    explicit CConfigVariable(const char* name);
    ~CConfigVariable();

private:
    char* name;
    CConfigVariable* next;
};

class CConfigInt : public CConfigVariable {
public:
    CConfigInt(const char* name, int32_t defaultValue);
    bool GetRawData(CRawDataSink* sink) override;
    void SetRawData(const void* data, uint32_t size) override;

    // Read by the decoder and the synthesizer's threads while the page
    // writes it: one word, loaded and stored whole.
    std::atomic<int32_t> value;
};

class CConfigFloat : public CConfigVariable {
public:
    CConfigFloat(const char* name, float defaultValue);
    bool GetRawData(CRawDataSink* sink) override;
    void SetRawData(const void* data, uint32_t size) override;

    std::atomic<float> value;
};

class CConfigText : public CConfigVariable {
public:
    CConfigText(const char* name, const char* defaultValue);
    ~CConfigText();
    bool GetRawData(CRawDataSink* sink) override;
    void SetRawData(const void* data, uint32_t size) override;
    // Replaces the text (null or "" empties it).
    void SetText(const char* text);
    // A copy of the text, taken under the same lock as a replacement, so a
    // reader on another thread never sees a freed text. The only way to read
    // it: a pointer into the text would not outlive the next replacement.
    std::string CopyText() const;

private:
    char* value;  // owned; null for the empty text

    // Held only to copy or replace a text; a spin lock needs no set-up
    // before static construction and no thread library.
    class CTextLock {
    public:
        explicit CTextLock(std::atomic_flag& flag);
        ~CTextLock();

    private:
        std::atomic_flag& flag;
    };
    mutable std::atomic_flag busy = ATOMIC_FLAG_INIT;
};

// The largest block: ten seconds of audio. A block is one allocation per
// decoder and the capture's wake-up threshold; a longer one only delays the
// audio and costs memory (a saved 2147483647 would cost 2 GB a decode).
inline constexpr int32_t largestBlockSize = 1764000;

// "MIDIOutputBuffer" as the block size the decoder reads and the capture
// store waits for: below 4 counts as one second of audio, above
// largestBlockSize as largestBlockSize; otherwise it is rounded down to
// whole frames.
uint32_t GetBlockSize(int32_t setting);

// A "MIDIMasterTempo" factor DirectMusic takes (0.01 to 100); 0, the
// setting's "unset", is not one.
bool IsUsableMasterTempo(float tempo);

// Head of the variable list ("MIDICustomDLS" first, "MIDILog" last).
CConfigVariable* GetFirstConfigVariable();

extern CConfigInt configLog;            // "MIDILog"
extern CConfigInt configOutputBuffer;   // "MIDIOutputBuffer"
extern CConfigInt configPadBefore;      // "MIDIPadBefore"
extern CConfigInt configOutputPort;     // "MIDIOutputPort"
extern CConfigInt configReverb;         // "MIDIReverb"
extern CConfigInt configChorus;         // "MIDIChorus"
extern CConfigInt configMasterVolume;   // "MIDIMasterVolume"
extern CConfigFloat configMasterTempo;  // "MIDIMasterTempo"
extern CConfigInt configUseCustomDls;   // "MIDIUseCustomDLS"
extern CConfigText configCustomDls;     // "MIDICustomDLS"
