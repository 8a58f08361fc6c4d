#include "graph/audiofiltergraph.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>

#include "common/logline.h"

namespace capdev {
namespace {

constexpr int kTimeoutMs = 5000;
constexpr pa_usec_t kMonitorFragmentUs = 20 * PA_USEC_PER_MSEC;
constexpr pa_usec_t kMonitorLatencyUs = 80 * PA_USEC_PER_MSEC;
constexpr unsigned kBlocksPerSecond = 25;  // 40 ms capture blocks

pa_buffer_attr DefaultAttr() {
    pa_buffer_attr attr;
    std::memset(&attr, 0xff, sizeof attr);  // every field: the server's choice
    return attr;
}

// Both paths read the virtual device as 16-bit PCM at its own rate and
// channel count.
pa_sample_spec DeviceSpec(const PlaybackDevice& device) {
    return pa_sample_spec{PA_SAMPLE_S16LE, device.sampleRate != 0 ? device.sampleRate : 44100u,
                          static_cast<uint8_t>(device.channels != 0 ? device.channels : 2)};
}

}  // namespace

CAudioFilterGraph::CAudioFilterGraph() {
    m_pulse.setOnLost([this] {
        if (m_render) {
            m_render->Lost();
        }
    });
}

CAudioFilterGraph::~CAudioFilterGraph() {
    if (m_pulse.loop() != nullptr) {
        PulseLock lock(m_pulse.loop());
        m_captureIn.reset();
        m_monitorIn.reset();
        m_monitorOut.reset();
    }
    // The loop thread ends here: no callback runs once it has returned.
    m_pulse.disconnect();
}

void CAudioFilterGraph::Log(const char* format, ...) {
    if (!m_render) {
        return;
    }
    va_list args;
    va_start(args, format);
    const common::LogLine line(format, args);
    va_end(args);
    m_render->Log(line.c_str());
}

int CAudioFilterGraph::Connect() {
    if (m_pulse.context() != nullptr && pa_context_get_state(m_pulse.context()) == PA_CONTEXT_READY) {
        return 0;
    }
    const int err = m_pulse.connect("Tunecap computer audio", kTimeoutMs);
    return err != 0 ? GraphServerError(err) : 0;
}

void CAudioFilterGraph::StreamState(pa_stream* s, void* self) {
    auto* me = static_cast<CAudioFilterGraph*>(self);
    const pa_stream_state_t state = pa_stream_get_state(s);
    if (state == PA_STREAM_FAILED) {
        me->Log("CAudioFilterGraph::StreamState stream failed: %s",
                pa_stream_get_device_name(s) != nullptr ? pa_stream_get_device_name(s) : "");
    }
    if (!PA_STREAM_IS_GOOD(state) && me->m_captureLive && s == me->m_captureIn.get()) {
        me->m_render->Lost();
    }
    pa_threaded_mainloop_signal(me->m_pulse.loop(), 0);
}

int CAudioFilterGraph::OpenStream(PulseStreamPtr* stream, const char* name,
                                  const pa_sample_spec& spec, bool record,
                                  const std::string& device, const pa_buffer_attr& attr,
                                  pa_stream_flags_t flags, pa_stream_request_cb_t read) {
    stream->reset(pa_stream_new(m_pulse.context(), name, &spec, nullptr));
    pa_stream* s = stream->get();
    if (s == nullptr) {
        return GraphServerError(m_pulse.lastError());
    }
    pa_stream_set_state_callback(s, &CAudioFilterGraph::StreamState, this);
    if (read != nullptr) {
        pa_stream_set_read_callback(s, read, this);
    }
    const int connected =
        record ? pa_stream_connect_record(s, device.c_str(), &attr, flags)
               : pa_stream_connect_playback(s, device.c_str(), &attr, flags, nullptr, nullptr);
    if (connected < 0) {
        const int err = m_pulse.lastError();
        stream->reset();
        return err == PA_ERR_NOENTITY ? kGraphErrFail : GraphServerError(err);
    }
    const int err = m_pulse.waitLocked(
        [s] {
            const pa_stream_state_t st = pa_stream_get_state(s);
            return st == PA_STREAM_READY || !PA_STREAM_IS_GOOD(st);
        },
        kTimeoutMs);
    if (err == 0 && pa_stream_get_state(s) == PA_STREAM_READY) {
        return 0;
    }
    const int failure = err != 0 ? err : m_pulse.lastError();
    stream->reset();
    return failure == PA_ERR_NOENTITY ? kGraphErrFail : GraphServerError(failure);
}

int CAudioFilterGraph::Prepare(const PlaybackDevice& virtualDevice, pa_sample_spec* spec) {
    if (virtualDevice.monitorSource.empty()) {
        return kGraphErrFail;
    }
    *spec = DeviceSpec(virtualDevice);
    if (!pa_sample_spec_valid(spec)) {
        return GraphServerError(PA_ERR_INVALID);
    }
    return Connect();
}

int CAudioFilterGraph::BuildGraphs(const PlaybackDevice& virtualDevice,
                                   const std::string& speakers, LineOutSink sink, void* owner) {
    if (!m_render) {
        m_render = std::make_unique<CDSRender>(sink, owner);
    }
    int result = BuildMonitorGraph(virtualDevice, speakers);
    if (result != 0) {
        Log("CAudioFilterGraph::BuildGraphs monitor err: %d", result);
        return result;
    }
    result = BuildCaptureGraph(virtualDevice, sink, owner);
    if (result != 0) {
        Log("CAudioFilterGraph::BuildGraphs capture err: %d", result);
    }
    return result;
}

int CAudioFilterGraph::BuildMonitorGraph(const PlaybackDevice& virtualDevice,
                                         const std::string& speakers) {
    pa_sample_spec spec;
    if (speakers.empty()) {
        return kGraphErrFail;
    }
    if (const int err = Prepare(virtualDevice, &spec)) {
        return err;
    }
    const WaveFormat format = Pcm16Format(spec.rate, spec.channels);
    if (m_volume.CheckInputType(&format, kWaveFormatBytes) != 0) {
        return kGraphErrFail;
    }
    m_frameBytes = format.blockAlign;

    PulseLock lock(m_pulse.loop());
    m_monitorIn.reset();
    m_monitorOut.reset();
    // Both ends stay on their devices: the playback end must never follow
    // the default to "Tavra Audio", or the sound would loop back into it.
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
    pa_buffer_attr out = DefaultAttr();
    out.tlength = static_cast<uint32_t>(pa_usec_to_bytes(kMonitorLatencyUs, &spec));
    int err = OpenStream(&m_monitorOut, "Tunecap monitor", spec, false, speakers, out, flags, nullptr);
    if (err != 0) {
        return err;
    }
    pa_buffer_attr in = DefaultAttr();
    in.fragsize = static_cast<uint32_t>(pa_usec_to_bytes(kMonitorFragmentUs, &spec));
    err = OpenStream(&m_monitorIn, "Tunecap monitor source", spec, true, virtualDevice.monitorSource,
                     in, flags, &CAudioFilterGraph::MonitorRead);
    if (err != 0) {
        m_monitorOut.reset();
        return err;
    }
    Log("CAudioFilterGraph::BuildMonitorGraph %s -> %s", virtualDevice.monitorSource.c_str(),
        speakers.c_str());
    return 0;
}

int CAudioFilterGraph::BuildCaptureGraph(const PlaybackDevice& virtualDevice, LineOutSink sink,
                                         void* owner) {
    if (!m_render) {
        m_render = std::make_unique<CDSRender>(sink, owner);
    }
    pa_sample_spec spec;
    if (const int err = Prepare(virtualDevice, &spec)) {
        return err;
    }
    const WaveFormat format = Pcm16Format(spec.rate, spec.channels);
    const size_t frames = std::max<size_t>(spec.rate / kBlocksPerSecond, 1);

    PulseLock lock(m_pulse.loop());
    m_captureLive = false;
    m_captureIn.reset();
    m_block.assign(frames * format.blockAlign, 0);
    m_blockFill = 0;
    pa_buffer_attr attr = DefaultAttr();
    attr.fragsize = static_cast<uint32_t>(m_block.size());
    // Corked until the format is announced, so that no block comes first.
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY |
                                                      PA_STREAM_DONT_MOVE);
    int err = OpenStream(&m_captureIn, "Tunecap computer audio", spec, true, virtualDevice.monitorSource,
                         attr, flags, &CAudioFilterGraph::CaptureRead);
    if (err != 0) {
        return err;
    }
    if (m_render->CheckMediaType(&format, kWaveFormatBytes) != 0) {
        m_captureIn.reset();
        return kGraphErrFail;
    }
    err = m_pulse.waitOperationLocked(pa_stream_cork(m_captureIn.get(), 0, nullptr, nullptr), kTimeoutMs);
    if (err != 0) {
        m_captureIn.reset();
        return GraphServerError(err);
    }
    m_captureLive = true;
    return 0;
}

bool CAudioFilterGraph::IsAlive() {
    if (m_pulse.loop() == nullptr) {
        return false;
    }
    PulseLock lock(m_pulse.loop());
    const auto ready = [](const PulseStreamPtr& s) {
        return s && pa_stream_get_state(s.get()) == PA_STREAM_READY;
    };
    // The monitor counts too: with its speakers gone the user would hear
    // nothing while "Tavra Audio" is the default.
    return pa_context_get_state(m_pulse.context()) == PA_CONTEXT_READY && ready(m_captureIn) &&
           ready(m_monitorIn) && ready(m_monitorOut);
}

void CAudioFilterGraph::Pause() {
    if (m_render) {
        m_render->Pause(true);
    }
}

void CAudioFilterGraph::Resume(LineOutSink sink, void* owner) {
    if (m_render) {
        m_render->Resume(sink, owner);
    }
}

void CAudioFilterGraph::MonitorRead(pa_stream* s, size_t, void* self) {
    auto* me = static_cast<CAudioFilterGraph*>(self);
    pa_stream* out = me->m_monitorOut.get();
    while (pa_stream_readable_size(s) > 0) {
        const void* data = nullptr;
        size_t bytes = 0;
        if (pa_stream_peek(s, &data, &bytes) < 0 || bytes == 0) {
            break;
        }
        // A hole (no data) is skipped: the speakers simply get less.
        if (data != nullptr && out != nullptr && pa_stream_get_state(out) == PA_STREAM_READY) {
            // When the speakers fall behind (their clock runs slower), what
            // does not fit is dropped, so the delay cannot grow.
            const size_t writable = pa_stream_writable_size(out);
            size_t n = writable == static_cast<size_t>(-1) ? 0 : std::min(bytes, writable);
            n -= n % me->m_frameBytes;
            if (n > 0) {
                if (me->m_monitorBuffer.size() < n) {
                    me->m_monitorBuffer.resize(n);
                }
                std::memcpy(me->m_monitorBuffer.data(), data, n);
                me->m_volume.Transform(me->m_monitorBuffer.data(), static_cast<unsigned>(n));
                pa_stream_write(out, me->m_monitorBuffer.data(), n, nullptr, 0, PA_SEEK_RELATIVE);
            }
        }
        pa_stream_drop(s);
    }
}

void CAudioFilterGraph::CaptureRead(pa_stream* s, size_t, void* self) {
    auto* me = static_cast<CAudioFilterGraph*>(self);
    while (pa_stream_readable_size(s) > 0) {
        const void* data = nullptr;
        size_t bytes = 0;
        if (pa_stream_peek(s, &data, &bytes) < 0 || bytes == 0) {
            break;
        }
        // A hole is kept as silence, so that time in the file stays true.
        me->TakeCaptured(static_cast<const unsigned char*>(data), bytes);
        pa_stream_drop(s);
    }
}

// Cuts the server's fragments into blocks of exactly 40 ms.
void CAudioFilterGraph::TakeCaptured(const unsigned char* data, size_t bytes) {
    while (bytes > 0 && !m_block.empty()) {
        const size_t n = std::min(bytes, m_block.size() - m_blockFill);
        if (data != nullptr) {
            std::memcpy(m_block.data() + m_blockFill, data, n);
            data += n;
        } else {
            std::memset(m_block.data() + m_blockFill, 0, n);
        }
        m_blockFill += n;
        bytes -= n;
        if (m_blockFill == m_block.size()) {
            m_render->Receive(m_block.data(), static_cast<unsigned>(m_block.size()));
            m_blockFill = 0;
        }
    }
}

}  // namespace capdev
