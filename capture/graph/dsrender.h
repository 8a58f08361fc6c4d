#pragma once

// The capture path's end: hands the captured PCM of the virtual device to
// its owner (the recorder), announcing the format first.

#include <mutex>

#include "graph/waveformat.h"

namespace capdev {

// Threads: the sound server's loop thread calls Receive; the caller's thread
// builds the path (CheckMediaType), pauses, resumes and rebinds. Every call
// into the sink happens under the receive lock, so a format announcement is
// never overtaken by a block.
class CDSRender {
public:
    CDSRender(LineOutSink sink, void* owner);
    CDSRender(const CDSRender&) = delete;
    CDSRender& operator=(const CDSRender&) = delete;

    // Accepts a 16-bit PCM format record of at least 18 bytes: keeps it and
    // announces it to the sink (event 0, 18 bytes). Returns 0, or
    // kTypeNotAccepted for anything else (shorter, another tag, other sample
    // sizes: the recorder handles 16-bit samples only).
    int CheckMediaType(const void* format, unsigned bytes);

    // One block from the server: handed to the sink (event 1) unless paused
    // or no format was accepted yet.
    void Receive(const void* data, unsigned bytes);

    // Pause: blocks keep arriving and are discarded. Resume: when delivery
    // was paused, announces the kept format again before any further block.
    void Pause(bool pause);
    // Resumes delivery to another sink and owner (the recorder that starts
    // the next recording), announcing the format to it.
    void Resume(LineOutSink sink, void* owner);

    // The capture stream or the server went away: tells the sink once
    // (event 100) unless delivery is paused. Loop thread.
    void Lost();

    // Hands a log line (at most 1023 characters) to the sink (event 5).
    void Log(const char* text);

    bool paused() const;
    WaveFormat format() const;
    // The owner blocks and announcements go to (to tell who may tear down).
    void* owner() const;

private:
    void Announce();  // with m_receiveLock held

    mutable std::mutex m_receiveLock;
    // All guarded by m_receiveLock:
    LineOutSink m_sink;
    void* m_owner;
    bool m_paused = false;
    bool m_hasFormat = false;
    bool m_lost = false;  // reported to the sink
    WaveFormat m_format;
};

}  // namespace capdev
