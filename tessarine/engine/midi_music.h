// CMidiMusic: the component's engine. One object drives one DirectMusic
// performance: its loader, its output port (the software synthesizer linked to
// the capture DirectSound object, or an enumerated port), one segment, and the
// notification listener that tells it when the music starts and stops.
#pragma once

#include "tessarine/frame/com_reference.h"
#include "sdk/velmora/host_contract.h"
#include "tessarine/frame/owned_handle.h"
#include "tessarine/frame/sdk.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CCaptureDirectSound;
class CCaptureReader;
class CCaptureSoundBuffer;
class CCaptureStore;
class CNotificationListener;

class CMidiMusic {
public:
    // Raises _com_error when a COM object cannot be created. COM must already
    // be initialised on the calling thread; the engine never does it.
    CMidiMusic(HWND mainWindow, bool useDefaultPort);
    CMidiMusic(const CMidiMusic&) = delete;
    CMidiMusic& operator=(const CMidiMusic&) = delete;
    virtual ~CMidiMusic();

    // ---- Set-up and output port ------------------------------------------
    // portIndex is "MIDIOutputPort" as 32 bits (-1 arrives as 0xFFFFFFFF).
    HRESULT FindOutputPort(DWORD portIndex, DMUS_PORTCAPS* caps);
    bool CreateOutputPort(HWND mainWindow, DMUS_PORTCAPS* caps, bool useDefaultPort);

    // ---- Loading and playback --------------------------------------------
    bool LoadMidiFromFile(bool isMidiFile, const char* path);
    // A Standard MIDI file in memory (what an XMI file converts to), loaded
    // as a MIDI file; the engine keeps the bytes while the segment lives.
    bool LoadMidiFromMemory(std::vector<uint8_t> bytes);
    // path of a DLS file, or null for the default instruments. A collection
    // that cannot be used is named on the console (severity 2) with the
    // reason, and the default instruments are downloaded instead; the
    // result is then false.
    bool LoadCollection(const char* path);
    // volume: "MIDIMasterVolume" as a percentage; tempo: "MIDIMasterTempo"
    // as a factor. Returns the result of the last call made (S_OK for none).
    HRESULT SetMasterTempoVolume(int32_t volume, float tempo);
    bool Play();
    bool IsPlaying();
    // Seconds of playing time, through the segment's tempo map and the
    // master tempo last set; 0 on failure.
    double GetLength();
    double GetPlayPosition();
    // While playing, the capture starts afresh and the music again from
    // seconds; otherwise only the start point moves. wasPlaying receives the
    // one reading of the playing flag the seek went by.
    bool SeekToTime(double seconds, bool* wasPlaying = nullptr);
    // True while the segment last played has music still to sound.
    bool IsMusicSounding();
    HRESULT Stop();

    // ---- Captured audio ---------------------------------------------------
    // Waits for the capture to hold a block beyond offset and hands out a
    // read of it from there on, with a reference for the caller. Nothing
    // stays locked: each of the read's Reads takes the store's lock for
    // itself. A new BeginCaptureRead ends a read left open.
    bool BeginCaptureRead(int64_t offset, CHostFile** file);
    // Ends the read. Raises std::runtime_error when the store could not put
    // its file back for the writer after a Read; no lock is held then.
    void EndCaptureRead();
    // True once the capture store takes no more audio; false without one.
    bool IsCaptureEnded();
    // Whether audio comes through a capture store (the default port); a
    // failed read then is a failed decode, not a cue for silence.
    bool HasCaptureStore() const { return GetCaptureBuffer() != nullptr; }
    // The capture buffer made last, or null.
    CCaptureSoundBuffer* GetCaptureBuffer() const;
    // The bytes the capture may hold since the last Play (0 without one);
    // for tests and diagnostics.
    int64_t GetCaptureLimit() const;
    // Why the last BeginCaptureRead failed, in words for the user.
    const std::string& GetCaptureFailure() const { return captureFailure; }
    // Seconds of sound the capture holds ahead of the music since the last
    // Play, or -1 when the capture could not choose its start.
    double GetCaptureLeadIn() const { return captureLeadIn; }
    // Seconds from the last Play to the moment the music starts, or -1 when
    // it did not start.
    double GetMusicLeadIn() const { return musicLeadIn; }

    // Called on the notification thread with each drained message (or null).
    void HandleNotification(DMUS_NOTIFICATION_PMSG* message);

private:
    friend class CNotificationListener;

    // From start on (music time) the segment runs at bpm.
    struct CTempoSpan {
        MUSIC_TIME start;
        double bpm;
    };
    // The segment's tempo map from 0 up to length.
    std::vector<CTempoSpan> ReadTempoMap(MUSIC_TIME length);
    // Seconds of playing from 0 to time, at the master tempo last set.
    double MusicTimeToSeconds(const std::vector<CTempoSpan>& spans, MUSIC_TIME time) const;
    // The music time reached after seconds of playing, within 0..length.
    MUSIC_TIME SecondsToMusicTime(const std::vector<CTempoSpan>& spans, double seconds, MUSIC_TIME length) const;
    // The collection steps of LoadCollection; why receives, for the user,
    // the reason a custom collection was not used.
    HRESULT LoadCustomCollection(const char* path, std::string& why);
    HRESULT LoadDefaultCollection();
    HRESULT DownloadInstruments();
    // When the segment last played starts, from its state; requested when
    // the state cannot say.
    REFERENCE_TIME SegmentStartTime(REFERENCE_TIME requested);
    // The store of the capture buffer made last, or null.
    CCaptureStore* GetCaptureStore() const;
    // The steps of Play. The fresh notification listener, replacing the last.
    void StartListener();
    // Starts the capture at the play cursor, with limit; true when it could
    // choose its start (otherwise nothing changes). now receives the
    // performance time the cursor was read at, when it could be read.
    bool StartCapture(CCaptureStore* store, int64_t limit, REFERENCE_TIME& now);
    // The play cursor and the time as one pair, with the writer's Lock count then.
    bool ReadCursorAndTime(CCaptureStore* store, DWORD* play, uint64_t* locks, REFERENCE_TIME* now);
    // Asks the segment to start at requested (reference time); false when
    // the performance refuses it.
    bool PlaySegmentAt(REFERENCE_TIME requested);
    // Waits for the music-started notification; true when it came.
    bool AwaitMusicStart();
    // Makes reads pass over the capture's bytes of a start late by `late`
    // (100-ns units), and lets the store keep that much more past limit.
    void SkipToStart(CCaptureStore* store, REFERENCE_TIME late, int64_t limit);

    LONG volatile playing = 0;
    COwnedHandle startedEvent;
    // The file a segment loaded from memory reads; DirectMusic does not copy
    // it. Declared before the COM references, so it goes after them.
    std::vector<uint8_t> segmentData;
    CComReference<IDirectSound> captureDirectSound;
    CComReference<IDirectMusic> directMusic;
    CComReference<IDirectMusicPort> outputPort;
    CComReference<IDirectMusicLoader> loader;
    CComReference<IDirectMusicPerformance> performance;
    CComReference<IDirectMusicCollection> collection;
    CComReference<IDirectMusicSegment> segment;
    CComReference<IDirectMusicSegmentState> segmentState;
    std::unique_ptr<CNotificationListener> listener;

    // The master tempo factor last sent successfully (1 otherwise).
    double masterTempoFactor = 1.0;
    // See GetCaptureLeadIn.
    double captureLeadIn = -1.0;
    // See GetMusicLeadIn.
    double musicLeadIn = -1.0;
    DWORD playTick = 0;  // when the segment was last asked to play, for the log
    // Bytes at the capture's start that reads pass over (a late start's).
    int64_t captureSkip = 0;
    // The read BeginCaptureRead handed out, until EndCaptureRead.
    CComReference<CCaptureReader> captureRead;
    // See GetCaptureFailure.
    std::string captureFailure;
    // The reference time the music-started notification gave, 0 before it
    // came: the moment the segment starts, exact where the state's music
    // time is rounded to a tick.
    std::atomic<REFERENCE_TIME> musicStartedAt{0};
};
