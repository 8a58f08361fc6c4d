#pragma once

// The hold between the encoder's converter and its splitter and writers while
// tracks are followed. Every block is kept back for a while before it goes
// on, so that a track change announced after its audio arrived can still be
// cut where the audio changed, not where the announcement came.
//
// An announcement (a mark) names a time and a window around it. Once the
// audio up to the end of the window (and a little context) has arrived, the
// boundary finder picks the point of strongest change inside the window and
// the hold hands its audio on split at that point, the part after it marked
// as the start of a new song. While a mark waits, the audio of its window is
// not handed on, however long the hold is.
//
// What a mark whose window cannot be searched gets:
// - the window lies wholly before the audio still held (a very late
//   announcement): the cut goes to the oldest held audio, the nearest point
//   that can still be cut;
// - the window lies partly before it: only the held part is searched;
// - no change stands out in the window (one sound throughout, or silence):
//   the cut goes to the announced time itself;
// - at a flush (the recording stops) the window is searched as far as audio
//   arrived; a window that begins after the last audio is dropped, since
//   nothing of the new track was recorded;
// - a window that reaches back over the previous cut is searched only after
//   it (at least kMinSongMs later); when nothing stands out there and the
//   announced time lies before that, the mark is the previous change
//   announced again and is dropped, so one change is never cut twice.

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "follow/arrivalclock.h"
#include "follow/boundaryfinder.h"

namespace capdev {

// Threads: Mark from any thread; everything else from the encoder thread.
class CTrackFollower {
public:
    // Largest window either side of an announcement, and the hold's bounds.
    static constexpr int kMaxWindowMs = 5000;
    static constexpr int kMinHoldMs = 500;
    static constexpr int kMaxHoldMs = 30000;
    // A cut never comes closer than this after the previous one.
    static constexpr int kMinSongMs = 500;

    // `rate`: frames per second of the 16-bit stereo audio pushed; `holdMs`:
    // how long audio is kept back at least; `clock` ties positions to time
    // (position 0 is the first frame pushed) and must outlive the follower;
    // `log` receives a line per decision (any thread may be given it; here
    // the encoder thread).
    CTrackFollower(uint32_t rate, int holdMs, const CArrivalClock* clock,
                   std::function<void(const std::string&)> log);

    // Queues an announcement: the track changed at `atUs` (the clock's
    // microseconds), to be searched within `windowMs` either side (0: cut at
    // that time). Any thread.
    void Mark(int64_t atUs, int windowMs);

    // Appends one block of `bytes` bytes of 16-bit stereo frames.
    void Push(const uint8_t* data, uint32_t bytes);

    // Copies the next piece due for the writers into *out and sets *cutBefore
    // when a new song begins with it. Pieces are the pushed blocks, in order,
    // split only where a cut falls. Returns false when nothing is due yet.
    // With `flush` everything held is due: waiting marks are decided with
    // the audio there is.
    bool Next(std::vector<uint8_t>* out, bool* cutBefore, bool flush);

    // Frames held now.
    uint64_t HeldFrames() const { return m_end - m_start; }

private:
    struct Pending {
        int64_t atUs;
        uint64_t center;  // the announced time as a frame position
        uint64_t low;     // the window, in frame positions
        uint64_t high;
    };

    void TakeMarks();
    // Decides the first waiting mark when its window (and context) has
    // arrived, or at a flush. True when one was decided.
    bool DecideFirst(bool flush);
    uint64_t FramesFor(int64_t us) const;
    uint64_t PositionOf(int64_t atUs) const;
    void Copy(uint64_t from, uint64_t frames, int16_t* to) const;
    void Grow(uint64_t frames);

    const uint32_t m_rate;
    const uint64_t m_holdFrames;
    const CArrivalClock* const m_clock;
    const std::function<void(const std::string&)> m_log;
    CBoundaryFinder m_finder;

    std::mutex m_queueMutex;
    std::vector<std::pair<int64_t, int>> m_queue;  // guarded by m_queueMutex

    // Encoder thread only.
    std::vector<int16_t> m_buffer;  // frame f at (f % capacity) * 2
    uint64_t m_capacity;            // frames
    uint64_t m_start = 0;           // first frame held
    uint64_t m_end = 0;             // one past the last frame held
    std::deque<uint64_t> m_blockEnds;  // where each held block ends
    std::deque<Pending> m_pending;     // by center
    std::deque<uint64_t> m_cuts;       // decided, not yet handed on; ascending
    bool m_cut = false;                // a cut was decided before
    uint64_t m_lastCut = 0;
    std::vector<int16_t> m_stretch;    // the searched audio, copied out
};

}  // namespace capdev
