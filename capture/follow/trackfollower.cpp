#include "follow/trackfollower.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace capdev {

CTrackFollower::CTrackFollower(uint32_t rate, int holdMs, const CArrivalClock* clock,
                               std::function<void(const std::string&)> log)
    : m_rate(rate > 0 ? rate : 44100),
      m_holdFrames(uint64_t(std::clamp(holdMs, kMinHoldMs, kMaxHoldMs)) * m_rate / 1000),
      m_clock(clock),
      m_log(std::move(log)),
      m_finder(m_rate) {
    // The hold, two of the widest windows with their context, and a second
    // to spare: enough unless marks pile up, when the buffer grows.
    m_capacity = m_holdFrames + 2 * (uint64_t(kMaxWindowMs) * m_rate / 1000) +
                 2 * m_finder.ContextFrames() + m_rate;
    m_buffer.assign(m_capacity * 2, 0);
}

void CTrackFollower::Mark(int64_t atUs, int windowMs) {
    std::lock_guard<std::mutex> lock(m_queueMutex);
    m_queue.emplace_back(atUs, std::clamp(windowMs, 0, kMaxWindowMs));
}

uint64_t CTrackFollower::FramesFor(int64_t us) const {
    return us <= 0 ? 0 : static_cast<uint64_t>(us) * m_rate / 1000000;
}

uint64_t CTrackFollower::PositionOf(int64_t atUs) const {
    int64_t origin = 0;
    if (m_clock == nullptr || !m_clock->Origin(&origin))
        return m_end;  // nothing stamped yet: the announcement is "now"
    return FramesFor(atUs - origin);
}

void CTrackFollower::TakeMarks() {
    std::vector<std::pair<int64_t, int>> taken;
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        taken.swap(m_queue);
    }
    for (const auto& [atUs, windowMs] : taken) {
        const uint64_t center = PositionOf(atUs);
        const uint64_t half = FramesFor(int64_t(windowMs) * 1000);
        const Pending p{atUs, center, center > half ? center - half : 0, center + half};
        const auto at = std::upper_bound(m_pending.begin(), m_pending.end(), p,
                                         [](const Pending& a, const Pending& b) { return a.center < b.center; });
        m_pending.insert(at, p);
    }
}

void CTrackFollower::Copy(uint64_t from, uint64_t frames, int16_t* to) const {
    while (frames > 0) {
        const uint64_t at = from % m_capacity;
        const uint64_t n = std::min(frames, m_capacity - at);
        std::memcpy(to, &m_buffer[at * 2], n * 4);
        to += n * 2;
        from += n;
        frames -= n;
    }
}

void CTrackFollower::Grow(uint64_t frames) {
    const uint64_t capacity = std::max(m_capacity * 2, frames + m_rate);
    std::vector<int16_t> grown(capacity * 2, 0);
    for (uint64_t f = m_start; f < m_end; ++f) {
        grown[(f % capacity) * 2] = m_buffer[(f % m_capacity) * 2];
        grown[(f % capacity) * 2 + 1] = m_buffer[(f % m_capacity) * 2 + 1];
    }
    m_buffer.swap(grown);
    m_capacity = capacity;
}

void CTrackFollower::Push(const uint8_t* data, uint32_t bytes) {
    const uint64_t frames = bytes / 4;
    if (frames == 0)
        return;
    if (m_end - m_start + frames > m_capacity)
        Grow(m_end - m_start + frames);
    const auto* in = reinterpret_cast<const int16_t*>(data);
    uint64_t done = 0;
    while (done < frames) {
        const uint64_t at = (m_end + done) % m_capacity;
        const uint64_t n = std::min(frames - done, m_capacity - at);
        std::memcpy(&m_buffer[at * 2], in + done * 2, n * 4);
        done += n;
    }
    m_end += frames;
    m_blockEnds.push_back(m_end);
}

bool CTrackFollower::DecideFirst(bool flush) {
    if (m_pending.empty())
        return false;
    const Pending p = m_pending.front();
    const uint64_t context = m_finder.ContextFrames();
    if (!flush && m_end < p.high + context)
        return false;
    m_pending.pop_front();

    char line[256];
    const auto ms = [this](uint64_t frames) { return double(frames) * 1000.0 / m_rate; };
    // Where the next song may begin: after the audio handed on, and a short
    // song's length after the previous cut (no less than the context, so
    // that the previous change is not compared again).
    const uint64_t afterCut = m_cut ? m_lastCut + std::max(FramesFor(kMinSongMs * 1000), context) : 0;
    const uint64_t floor = std::max(m_start, afterCut);
    uint64_t cut;
    if (p.low >= m_end || floor >= m_end) {
        std::snprintf(line, sizeof line,
                      "CTrackFollower::Decide mark dropped: no audio after %.0f ms", ms(floor));
        m_log(line);
        return true;
    }
    if (p.high < floor) {
        if (floor != m_start) {
            std::snprintf(line, sizeof line,
                          "CTrackFollower::Decide mark dropped: window ends before the last cut at %.0f ms",
                          ms(m_lastCut));
            m_log(line);
            return true;
        }
        cut = m_start;  // everything of the window is written: as near as can be
        std::snprintf(line, sizeof line,
                      "CTrackFollower::Decide mark too late, cut at %.0f ms, %.0f ms after the announcement",
                      ms(cut), ms(cut - std::min(cut, p.center)));
    } else {
        const uint64_t from = std::max(p.low, floor);
        const uint64_t to = std::min(p.high, m_end - 1);
        const uint64_t first = std::max(m_start, from > context ? from - context : 0);
        const uint64_t last = std::min(m_end, to + context + 1);
        m_stretch.resize((last - first) * 2);
        Copy(first, last - first, m_stretch.data());
        const BoundaryResult found = m_finder.Find(m_stretch.data(), last - first, from - first, to - first);
        if (found.found) {
            cut = first + found.frame;
            std::snprintf(line, sizeof line,
                          "CTrackFollower::Decide cut at %.0f ms, %+.0f ms from the announcement, change %.1f dB",
                          ms(cut), ms(cut) - ms(p.center), found.changeDb);
        } else if (m_cut && afterCut > m_start && p.center < afterCut) {
            // Announced at or just after the previous cut, and nothing new
            // since: the same change announced again.
            std::snprintf(line, sizeof line,
                          "CTrackFollower::Decide mark dropped: no change since the last cut at %.0f ms",
                          ms(m_lastCut));
            m_log(line);
            return true;
        } else {
            cut = std::clamp(p.center, from, to);
            std::snprintf(line, sizeof line,
                          "CTrackFollower::Decide no change found (%.1f dB), cut at the announcement %.0f ms",
                          found.changeDb, ms(cut));
        }
    }
    m_log(line);
    m_cuts.push_back(cut);
    m_cut = true;
    m_lastCut = cut;
    return true;
}

bool CTrackFollower::Next(std::vector<uint8_t>* out, bool* cutBefore, bool flush) {
    TakeMarks();
    while (DecideFirst(flush)) {
    }
    *cutBefore = false;
    if (m_start == m_end || m_blockEnds.empty())
        return false;

    uint64_t limit = flush ? m_end : (m_end > m_holdFrames ? m_end - m_holdFrames : 0);
    if (!flush) {
        // A waiting mark keeps its window and the context before it.
        const uint64_t context = m_finder.ContextFrames();
        for (const Pending& p : m_pending)
            limit = std::min(limit, p.low > context ? p.low - context : 0);
    }
    // Cuts at or before the first held frame begin a song with this piece.
    size_t atStart = 0;
    while (atStart < m_cuts.size() && m_cuts[atStart] <= m_start)
        ++atStart;
    uint64_t end = m_blockEnds.front();
    if (atStart < m_cuts.size() && m_cuts[atStart] < end)
        end = m_cuts[atStart];
    if (end > limit)
        return false;
    m_cuts.erase(m_cuts.begin(), m_cuts.begin() + static_cast<long>(atStart));
    *cutBefore = atStart > 0;
    out->resize((end - m_start) * 4);
    Copy(m_start, end - m_start, reinterpret_cast<int16_t*>(out->data()));
    m_start = end;
    if (end == m_blockEnds.front())
        m_blockEnds.pop_front();
    return true;
}

}  // namespace capdev
