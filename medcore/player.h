#pragma once

// The player: one file played on the sound server's default output through a
// playback stream, with pause, seek, volume and progress reports.

#include <pulse/pulseaudio.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "medcore.h"
#include "mediadecoder.h"
#include "pulse/pulseconnection.h"

namespace medcore {

// Created, commanded and destroyed by the engine's callers (any thread, one
// call at a time); decodes and writes on a thread of its own, which also
// calls the progress callback.
class CPlayer {
public:
    CPlayer(WM_PlayCallback callback, void* user);
    // Stops the thread and closes the stream: no callback runs afterwards.
    ~CPlayer();
    CPlayer(const CPlayer&) = delete;
    CPlayer& operator=(const CPlayer&) = delete;

    // Opens `path` (length `durationMs`), connects to the sound server as
    // `clientName`, opens a corked playback stream and starts the thread,
    // paused at 0. Returns 0, WM_ERR_OPEN, WM_ERR_DEVICE or WM_ERR_RESOURCE.
    int Open(const std::string& path, int64_t durationMs, const std::string& clientName, double gain);

    void Play();
    void Pause();
    // `position` in ten-thousandths of the length, 0 to 10000.
    void Seek(int position);
    // Linear gain 0 to 1 applied to samples written from now on.
    void SetGain(double gain) { m_gain.store(gain); }

    // True on the player's own thread (inside the callback).
    bool OnOwnThread() const { return std::this_thread::get_id() == m_thread.get_id(); }

private:
    // What the thread found to do, taken under the loop lock.
    struct Work {
        bool quit = false;
        bool failed = false;          // the stream or the connection is gone
        int64_t seekMs = -1;
        bool reportPaused = false;
        bool drained = false;         // the end has been played out
        bool playing = false;
        size_t writable = 0;          // bytes the stream takes now (while playing)
    };

    void Run();
    Work Wait();
    // With the loop lock held.
    bool StreamBroken() const;
    int64_t PlayedMsLocked() const;
    void SeekStream(int64_t ms);
    void StartDrain();
    // Writes up to `writable` bytes of the decoded audio. Decodes more when
    // the piece in hand is used up. False when the audio has ended (or broke:
    // then *error is set).
    bool Feed(size_t writable, bool* error);
    void Report(int state);
    int PositionFor(int64_t ms) const;

    static void StreamState(pa_stream* s, void* self);
    static void StreamWrite(pa_stream* s, size_t bytes, void* self);
    static void Drained(pa_stream* s, int success, void* self);

    const WM_PlayCallback m_callback;
    void* const m_user;
    int64_t m_durationMs = 0;
    std::atomic<double> m_gain{1.0};

    CMediaDecoder m_decoder;  // player thread only (after Open)
    capdev::PulseConnection m_pulse;
    capdev::PulseStreamPtr m_stream;  // created in Open, freed in the destructor, both with the lock held
    size_t m_frameBytes = 4;
    int m_rate = 44100;
    std::thread m_thread;

    // Guarded by the loop lock.
    bool m_quit = false;
    bool m_wantPlay = false;      // the caller's last word: play or pause
    bool m_playing = false;       // the stream is uncorked
    bool m_pauseToReport = false;
    int64_t m_seekMs = -1;        // a seek asked for and not yet done
    bool m_atEnd = false;         // the decoder gave out the last piece
    pa_operation* m_drain = nullptr;  // running drain at the end
    bool m_drained = false;
    bool m_ended = false;         // the end (or a failure) was reported
    bool m_failed = false;        // the stream or the connection broke
    int64_t m_baseMs = 0;         // where the bytes written since the last seek start
    pa_usec_t m_baseStreamUs = 0; // the stream's clock when they start to be heard
    uint64_t m_written = 0;       // bytes written since the last seek

    // Player thread only.
    std::vector<int16_t> m_pcm;
    size_t m_pcmOffset = 0;       // samples of m_pcm already written
    std::chrono::steady_clock::time_point m_lastReport;
};

}  // namespace medcore
