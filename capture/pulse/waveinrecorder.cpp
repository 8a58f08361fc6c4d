#include "pulse/waveinrecorder.h"

#include <cstdarg>
#include <cstring>
#include <sys/resource.h>
#include <unistd.h>

#include "common/logline.h"

namespace capdev {
namespace {

constexpr int kTimeoutMs = 5000;
// Blocks made ready at open: 640 ms of slack before the queue has to grow.
constexpr size_t kPreparedBlocks = 16;

}  // namespace

WaveInRecorder::WaveInRecorder(int sampleRate)
    : m_rate(sampleRate), m_blockBytes(static_cast<unsigned>(sampleRate) * 4u / 25u) {}

WaveInRecorder::~WaveInRecorder() {
    if (m_opened) Close();
    m_sink = nullptr;
}

void WaveInRecorder::SetSink(AudioSink sink, void* owner) {
    m_sink = sink;
    m_owner = owner;
}

void WaveInRecorder::log(const char* format, ...) {
    if (!m_sink) return;
    va_list args;
    va_start(args, format);
    const common::LogLine line(format, args);
    va_end(args);
    m_sink(kSinkLog, 1, line.c_str(), m_owner);
}

int WaveInRecorder::Open(const InputDevice& device) { return openSource(&device.id, 0); }

int WaveInRecorder::Open(unsigned device) { return openSource(nullptr, device); }

int WaveInRecorder::openSource(const std::string* source, unsigned number) {
    if (m_opened) {
        log("WaveInRecorder::Open Device Already Opened. Please Stop Recorder before attempting to Open");
        return -1;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.clear();
        m_spare.assign(kPreparedBlocks, std::vector<unsigned char>(m_blockBytes));
        m_partial.assign(m_blockBytes, 0);
        m_partialFill = 0;
        m_lost = m_lostReported = m_quit = false;
    }
    m_opened = true;

    const std::string label = source ? *source : std::to_string(number);
    auto fail = [this, &label](int err) {
        log("WaveInRecorder::Open waveInOpen device %s failed, err: %d", label.c_str(), err);
        Close();
        return err;
    };
    m_pulse.setOnLost([this] { inputLost(); });
    int err = m_pulse.connect("Tunecap recorder", kTimeoutMs);
    if (err != 0) return fail(err);
    std::string sourceName;
    if (source) {
        if (source->empty()) return fail(PA_ERR_NOENTITY);
        sourceName = *source;
    } else {
        std::vector<PulseSource> sources;
        err = m_pulse.listSources(&sources, kTimeoutMs);
        if (err != 0) return fail(err);
        if (number >= sources.size()) return fail(PA_ERR_NOENTITY);
        sourceName = sources[number].name;
    }

    const pa_sample_spec spec{PA_SAMPLE_S16LE, static_cast<uint32_t>(m_rate), 2};
    if (m_rate <= 0 || !pa_sample_spec_valid(&spec)) return fail(PA_ERR_INVALID);
    err = openStream(sourceName, spec);
    if (err != 0) return fail(err);
    return 0;
}

// Creates the record stream, paused, and waits until the server has it ready.
int WaveInRecorder::openStream(const std::string& source, const pa_sample_spec& spec) {
    PulseLock lock(m_pulse.loop());
    m_stream.reset(pa_stream_new(m_pulse.context(), "Tunecap recording", &spec, nullptr));
    if (!m_stream) return m_pulse.lastError();
    pa_stream_set_state_callback(m_stream.get(), &WaveInRecorder::streamState, this);
    pa_stream_set_read_callback(m_stream.get(), &WaveInRecorder::streamRead, this);
    // Fragments of one block keep the latency at about 40 ms. Paused until
    // Start; never moved to another source when this one goes away.
    pa_buffer_attr attr;
    memset(&attr, 0xff, sizeof attr);
    attr.fragsize = m_blockBytes;
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY |
                                                      PA_STREAM_DONT_MOVE);
    if (pa_stream_connect_record(m_stream.get(), source.c_str(), &attr, flags) < 0) return m_pulse.lastError();
    const int err = m_pulse.waitLocked(
        [this] {
            const pa_stream_state_t s = pa_stream_get_state(m_stream.get());
            return s == PA_STREAM_READY || !PA_STREAM_IS_GOOD(s);
        },
        kTimeoutMs);
    if (err != 0) return err;
    return pa_stream_get_state(m_stream.get()) == PA_STREAM_READY ? 0 : m_pulse.lastError();
}

int WaveInRecorder::Start() {
    if (!m_opened) {
        log("WaveInRecorder::Start Device not Opened. Please open device before attempting to Start");
        return -1;
    }
    if (m_started) return 0;
    m_started = true;
    m_delivery = std::thread(&WaveInRecorder::deliveryLoop, this);
    PulseLock lock(m_pulse.loop());
    return m_pulse.waitOperationLocked(pa_stream_cork(m_stream.get(), 0, nullptr, nullptr), kTimeoutMs);
}

int WaveInRecorder::stop() {
    if (!m_started || !m_opened) return 0;
    int err = 0;
    {
        PulseLock lock(m_pulse.loop());
        if (PA_STREAM_IS_GOOD(pa_stream_get_state(m_stream.get())))
            err = m_pulse.waitOperationLocked(pa_stream_cork(m_stream.get(), 1, nullptr, nullptr), kTimeoutMs);
    }
    if (err != 0) {
        log("WaveInRecorder::Stop waveInStop failed, err: %d", err);
        return err;
    }
    m_started = false;
    return 0;
}

int WaveInRecorder::Close() {
    stop();
    m_started = false;
    if (m_delivery.joinable()) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_quit = true;
        }
        m_wake.notify_all();
        m_delivery.join();
    }
    int res = 0;
    if (m_opened && m_stream) {
        PulseLock lock(m_pulse.loop());
        pa_stream_set_state_callback(m_stream.get(), nullptr, nullptr);
        pa_stream_set_read_callback(m_stream.get(), nullptr, nullptr);
        if (PA_STREAM_IS_GOOD(pa_stream_get_state(m_stream.get())) && pa_stream_disconnect(m_stream.get()) < 0)
            res = m_pulse.lastError();
        m_stream.reset();
    }
    if (res != 0) log("WaveInRecorder::Close waveInClose failed, err: %d", res);
    // The loop thread ends here; only then are the blocks freed.
    m_pulse.disconnect();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.clear();
        m_spare.clear();
        m_partial.clear();
        m_partialFill = 0;
    }
    m_opened = false;
    return res;
}

void WaveInRecorder::streamState(pa_stream* s, void* self) {
    auto* me = static_cast<WaveInRecorder*>(self);
    const pa_stream_state_t state = pa_stream_get_state(s);
    if ((state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) && me->m_started) me->inputLost();
    pa_threaded_mainloop_signal(me->m_pulse.loop(), 0);
}

void WaveInRecorder::streamRead(pa_stream* s, size_t, void* self) {
    auto* me = static_cast<WaveInRecorder*>(self);
    while (pa_stream_readable_size(s) > 0) {
        const void* data = nullptr;
        size_t bytes = 0;
        if (pa_stream_peek(s, &data, &bytes) < 0 || bytes == 0) break;
        // A hole in the stream (data null) is kept as silence, so that time
        // in the file stays true.
        me->takeFragment(static_cast<const unsigned char*>(data), bytes);
        pa_stream_drop(s);
    }
}

std::vector<unsigned char> WaveInRecorder::freshBlock() {
    if (m_spare.empty()) return std::vector<unsigned char>(m_blockBytes);
    std::vector<unsigned char> b = std::move(m_spare.back());
    m_spare.pop_back();
    return b;
}

// Cuts the server's fragments into blocks of exactly m_blockBytes.
void WaveInRecorder::takeFragment(const unsigned char* data, size_t bytes) {
    bool queued = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        while (bytes > 0) {
            const size_t n = std::min(bytes, m_blockBytes - m_partialFill);
            if (data) {
                memcpy(m_partial.data() + m_partialFill, data, n);
                data += n;
            } else {
                memset(m_partial.data() + m_partialFill, 0, n);
            }
            m_partialFill += n;
            bytes -= n;
            if (m_partialFill == m_blockBytes) {
                m_queue.push_back(std::move(m_partial));
                m_partial = freshBlock();
                m_partialFill = 0;
                queued = true;
            }
        }
    }
    if (queued) m_wake.notify_one();
}

void WaveInRecorder::inputLost() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lost = true;
    }
    m_wake.notify_one();
}

void WaveInRecorder::deliveryLoop() {
    // Ahead of ordinary work where the system allows it (it needs the right
    // to raise priority; without it the thread keeps its priority).
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), -10);
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_quit || !m_queue.empty() || (m_lost && !m_lostReported); });
        if (m_quit) break;
        if (!m_queue.empty()) {
            std::vector<unsigned char> block = std::move(m_queue.front());
            m_queue.pop_front();
            lock.unlock();
            if (m_sink) m_sink(kSinkAudio, static_cast<unsigned>(block.size()), block.data(), m_owner);
            lock.lock();
            m_spare.push_back(std::move(block));
            continue;
        }
        // Every block that arrived before the loss has been handed out.
        m_lostReported = true;
        lock.unlock();
        if (m_sink) m_sink(kSinkInputLost, 0, nullptr, m_owner);
        lock.lock();
    }
}

}  // namespace capdev
