#include "player.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace medcore {
namespace {

using capdev::PulseLock;

constexpr int kServerTimeoutMs = 5000;
constexpr int64_t kReportEveryMs = 200;
// Enough for smooth playback; pause and seek act at once anyway (cork and
// flush), a volume change reaches the ear within this time.
constexpr pa_usec_t kBufferUs = 200 * PA_USEC_PER_MSEC;
constexpr pa_usec_t kStartUs = 40 * PA_USEC_PER_MSEC;

void Unref(pa_operation* op) {
    if (op != nullptr) {
        pa_operation_unref(op);
    }
}

}  // namespace

CPlayer::CPlayer(WM_PlayCallback callback, void* user) : m_callback(callback), m_user(user) {}

CPlayer::~CPlayer() {
    if (m_thread.joinable()) {
        {
            PulseLock lock(m_pulse.loop());
            m_quit = true;
            pa_threaded_mainloop_signal(m_pulse.loop(), 0);
        }
        m_thread.join();
    }
    if (m_pulse.loop() != nullptr) {
        PulseLock lock(m_pulse.loop());
        if (m_drain != nullptr) {
            pa_operation_cancel(m_drain);
            pa_operation_unref(m_drain);
            m_drain = nullptr;
        }
        if (m_stream) {
            pa_stream_set_write_callback(m_stream.get(), nullptr, nullptr);
            m_stream.reset();
        }
    }
    // The loop thread ends here; no stream callback runs after it.
    m_pulse.disconnect();
}

int CPlayer::Open(const std::string& path, int64_t durationMs, const std::string& clientName,
                  double gain) {
    m_durationMs = durationMs;
    m_gain.store(gain);
    if (const int err = m_decoder.Open(path)) {
        return err;
    }
    if (m_decoder.SetOutput(0, 0) != 0) {
        return WM_ERR_OPEN;
    }
    m_rate = m_decoder.outputRate();
    const int channels = m_decoder.outputChannels();
    const pa_sample_spec spec{PA_SAMPLE_S16LE, static_cast<uint32_t>(m_rate),
                              static_cast<uint8_t>(channels)};
    if (!pa_sample_spec_valid(&spec)) {
        return WM_ERR_OPEN;
    }
    m_frameBytes = pa_frame_size(&spec);
    if (m_pulse.connect(clientName.c_str(), kServerTimeoutMs) != 0) {
        return WM_ERR_DEVICE;
    }
    {
        PulseLock lock(m_pulse.loop());
        pa_proplist* props = pa_proplist_new();
        pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, "music");
        m_stream.reset(pa_stream_new_with_proplist(m_pulse.context(), "Playback", &spec, nullptr, props));
        pa_proplist_free(props);
        if (!m_stream) {
            return WM_ERR_DEVICE;
        }
        pa_stream_set_state_callback(m_stream.get(), &CPlayer::StreamState, this);
        pa_stream_set_write_callback(m_stream.get(), &CPlayer::StreamWrite, this);
        pa_buffer_attr attr;
        std::memset(&attr, 0xff, sizeof attr);  // the server's choice ...
        attr.tlength = static_cast<uint32_t>(pa_usec_to_bytes(kBufferUs, &spec));  // ... but these
        // Playing starts (at first, after a seek or a stall) as soon as a
        // little is there, not once the whole buffer is full: a server that
        // asks for less than its buffer at first would otherwise stay silent.
        attr.prebuf = static_cast<uint32_t>(pa_usec_to_bytes(kStartUs, &spec));
        const auto flags = static_cast<pa_stream_flags_t>(
            PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING |
            PA_STREAM_AUTO_TIMING_UPDATE);
        pa_stream* s = m_stream.get();
        int err = pa_stream_connect_playback(s, nullptr, &attr, flags, nullptr, nullptr);
        if (err == 0) {
            err = m_pulse.waitLocked(
                [s] {
                    const pa_stream_state_t st = pa_stream_get_state(s);
                    return st == PA_STREAM_READY || !PA_STREAM_IS_GOOD(st);
                },
                kServerTimeoutMs);
        }
        if (err != 0 || pa_stream_get_state(s) != PA_STREAM_READY) {
            pa_stream_set_write_callback(s, nullptr, nullptr);
            m_stream.reset();
            return WM_ERR_DEVICE;
        }
    }
    m_lastReport = std::chrono::steady_clock::now();
    m_thread = std::thread(&CPlayer::Run, this);
    return 0;
}

void CPlayer::StreamState(pa_stream*, void* self) {
    pa_threaded_mainloop_signal(static_cast<CPlayer*>(self)->m_pulse.loop(), 0);
}

void CPlayer::StreamWrite(pa_stream*, size_t, void* self) {
    pa_threaded_mainloop_signal(static_cast<CPlayer*>(self)->m_pulse.loop(), 0);
}

void CPlayer::Drained(pa_stream*, int, void* self) {
    auto* me = static_cast<CPlayer*>(self);
    me->m_drained = true;
    pa_threaded_mainloop_signal(me->m_pulse.loop(), 0);
}

void CPlayer::Play() {
    PulseLock lock(m_pulse.loop());
    if (m_failed) {
        return;
    }
    m_wantPlay = true;
    if (m_ended) {
        m_seekMs = 0;  // played out: start again
        m_ended = false;
        m_drained = false;
    }
    if (!m_playing) {
        Unref(pa_stream_cork(m_stream.get(), 0, nullptr, nullptr));
        m_playing = true;
    }
    pa_threaded_mainloop_signal(m_pulse.loop(), 0);
}

void CPlayer::Pause() {
    PulseLock lock(m_pulse.loop());
    m_wantPlay = false;
    if (m_playing && !m_failed) {
        Unref(pa_stream_cork(m_stream.get(), 1, nullptr, nullptr));
        m_playing = false;
        m_pauseToReport = true;
        pa_threaded_mainloop_signal(m_pulse.loop(), 0);
    }
}

void CPlayer::Seek(int position) {
    const int64_t ms = m_durationMs > 0 ? m_durationMs * std::clamp(position, 0, 10000) / 10000 : 0;
    PulseLock lock(m_pulse.loop());
    if (m_failed) {
        return;
    }
    m_seekMs = ms;
    m_ended = false;
    m_drained = false;
    pa_threaded_mainloop_signal(m_pulse.loop(), 0);
}

bool CPlayer::StreamBroken() const {
    return !m_stream || pa_stream_get_state(m_stream.get()) != PA_STREAM_READY ||
           pa_context_get_state(m_pulse.context()) != PA_CONTEXT_READY;
}

int64_t CPlayer::PlayedMsLocked() const {
    // The stream's clock says what has become audible; it counts on through
    // seeks, so the part since the last one is measured from its base.
    int64_t playedMs = 0;
    pa_usec_t now = 0;
    if (m_stream && pa_stream_get_time(m_stream.get(), &now) == 0 && now > m_baseStreamUs) {
        playedMs = static_cast<int64_t>((now - m_baseStreamUs) / PA_USEC_PER_MSEC);
    }
    const auto writtenMs = static_cast<int64_t>(m_written / m_frameBytes * 1000 / static_cast<uint64_t>(m_rate));
    return m_baseMs + std::min(playedMs, writtenMs);
}

int CPlayer::PositionFor(int64_t ms) const {
    if (m_durationMs <= 0) {
        return 0;
    }
    return static_cast<int>(std::clamp<int64_t>(ms * 10000 / m_durationMs, 0, 10000));
}

void CPlayer::Report(int state) {
    int64_t ms;
    {
        PulseLock lock(m_pulse.loop());
        ms = PlayedMsLocked();
    }
    const int position = state == WM_STATE_ENDED ? 10000 : PositionFor(ms);
    m_lastReport = std::chrono::steady_clock::now();
    if (m_callback != nullptr) {
        m_callback(position, state, m_user);
    }
}

CPlayer::Work CPlayer::Wait() {
    Work w;
    PulseLock lock(m_pulse.loop());
    const auto since = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - m_lastReport)
                           .count();
    const int timeoutMs =
        m_playing && !m_ended ? static_cast<int>(std::clamp<int64_t>(kReportEveryMs - since, 5, kReportEveryMs))
                              : 1000;
    const auto writable = [this] {
        const size_t n = pa_stream_writable_size(m_stream.get());
        return n == static_cast<size_t>(-1) ? size_t{0} : n;
    };
    const int err = m_pulse.waitLocked(
        [&] {
            return m_quit || m_seekMs >= 0 || m_pauseToReport ||
                   (!m_ended && (StreamBroken() || m_drained ||
                                 (m_playing && !m_atEnd && writable() >= m_frameBytes)));
        },
        timeoutMs);
    w.quit = m_quit;
    if (!m_ended && ((err != 0 && err != PA_ERR_TIMEOUT) || StreamBroken())) {
        w.failed = true;
        m_ended = true;
        m_failed = true;
        return w;
    }
    w.seekMs = m_seekMs;
    m_seekMs = -1;
    w.reportPaused = m_pauseToReport;
    m_pauseToReport = false;
    // A seek outdates an end that was reached meanwhile.
    if (w.seekMs < 0 && m_drained && !m_ended) {
        w.drained = true;
        m_ended = true;
        Unref(m_drain);
        m_drain = nullptr;
    }
    w.playing = m_playing && !m_ended;
    if (w.playing && !m_atEnd && w.seekMs < 0) {
        w.writable = writable();
    }
    return w;
}

void CPlayer::SeekStream(int64_t ms) {
    {
        PulseLock lock(m_pulse.loop());
        if (m_drain != nullptr) {
            pa_operation_cancel(m_drain);
            pa_operation_unref(m_drain);
            m_drain = nullptr;
        }
        m_drained = false;
        m_atEnd = false;
        // What was buffered goes; the next byte written plays at the read
        // index, which is where the stream's clock will be when it is heard.
        m_pulse.waitOperationLocked(pa_stream_flush(m_stream.get(), nullptr, nullptr), kServerTimeoutMs);
        m_pulse.waitOperationLocked(pa_stream_update_timing_info(m_stream.get(), nullptr, nullptr),
                                    kServerTimeoutMs);
        const pa_timing_info* timing = pa_stream_get_timing_info(m_stream.get());
        pa_usec_t now = 0;
        if (timing != nullptr && !timing->write_index_corrupt && timing->write_index >= 0) {
            m_baseStreamUs = pa_bytes_to_usec(static_cast<uint64_t>(timing->write_index),
                                              pa_stream_get_sample_spec(m_stream.get()));
        } else if (pa_stream_get_time(m_stream.get(), &now) == 0) {
            m_baseStreamUs = now;
        }
        m_baseMs = ms;
        m_written = 0;
    }
    if (m_decoder.Seek(ms) != 0) {
        // The demuxer could not seek: start over from the beginning instead.
        if (m_decoder.Seek(0) == 0) {
            PulseLock lock(m_pulse.loop());
            m_baseMs = 0;
        }
    }
    m_pcm.clear();
    m_pcmOffset = 0;
}

void CPlayer::StartDrain() {
    PulseLock lock(m_pulse.loop());
    m_atEnd = true;
    if (m_drain == nullptr && !m_drained) {
        m_drain = pa_stream_drain(m_stream.get(), &CPlayer::Drained, this);
        if (m_drain == nullptr) {
            m_drained = true;  // nothing to wait for
        }
    }
}

bool CPlayer::Feed(size_t writable, bool* error) {
    const size_t channels = m_frameBytes / sizeof(int16_t);
    while (writable >= m_frameBytes) {
        if (m_pcmOffset >= m_pcm.size()) {
            const int frames = m_decoder.Decode(&m_pcm);
            m_pcmOffset = 0;
            if (frames <= 0) {
                *error = frames < 0;
                m_pcm.clear();
                return false;
            }
        }
        size_t samples = std::min(writable / sizeof(int16_t), m_pcm.size() - m_pcmOffset);
        samples -= samples % channels;
        int16_t* data = m_pcm.data() + m_pcmOffset;
        const double gain = m_gain.load();
        if (gain < 1.0) {
            for (size_t i = 0; i < samples; ++i) {
                data[i] = static_cast<int16_t>(std::lround(data[i] * gain));
            }
        }
        const size_t bytes = samples * sizeof(int16_t);
        {
            PulseLock lock(m_pulse.loop());
            if (m_seekMs >= 0 || m_quit || StreamBroken()) {
                return true;  // what was decoded is stale now, or nobody listens
            }
            if (pa_stream_write(m_stream.get(), data, bytes, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
                return true;  // the stream broke; the next wait sees it
            }
            m_written += bytes;
        }
        m_pcmOffset += samples;
        writable -= bytes;
    }
    return true;
}

void CPlayer::Run() {
    for (;;) {
        const Work w = Wait();
        if (w.quit) {
            return;
        }
        if (w.failed) {
            Report(WM_STATE_FAILED);
            continue;
        }
        if (w.seekMs >= 0) {
            SeekStream(w.seekMs);
            Report(w.playing ? WM_STATE_PLAYING : WM_STATE_PAUSED);
            continue;
        }
        if (w.drained) {
            Report(WM_STATE_ENDED);
            continue;
        }
        if (w.writable > 0) {
            bool error = false;
            if (!Feed(w.writable, &error)) {
                if (error) {
                    {
                        PulseLock lock(m_pulse.loop());
                        m_ended = true;
                        m_failed = true;
                    }
                    Report(WM_STATE_FAILED);
                    continue;
                }
                StartDrain();
            }
        }
        if (w.reportPaused) {
            Report(WM_STATE_PAUSED);
        } else if (w.playing && std::chrono::steady_clock::now() - m_lastReport >=
                                    std::chrono::milliseconds(kReportEveryMs)) {
            Report(WM_STATE_PLAYING);
        }
    }
}

}  // namespace medcore
