#pragma once

// Records one input of the sound server (a PulseAudio source) as 16-bit
// stereo PCM and hands it out in blocks of 40 ms on a delivery thread.

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audioinput.h"
#include "pulse/pulseconnection.h"

namespace capdev {

// Threads: the caller's (Open, Start, Close, destruction), the connection's
// loop thread (stream callbacks, which cut the server's fragments into
// blocks and queue them) and the delivery thread (hands queued blocks to the
// sink). Open/Start/Close must not overlap.
class WaveInRecorder final : public IAudioInput {
public:
    explicit WaveInRecorder(int sampleRate);
    ~WaveInRecorder() override;
    WaveInRecorder(const WaveInRecorder&) = delete;
    WaveInRecorder& operator=(const WaveInRecorder&) = delete;

    void SetSink(AudioSink sink, void* owner) override;
    // Connects to the server and opens a (paused) record stream on the
    // source named device.id. Returns 0, -1 when already open, or the
    // server's error (PA_ERR_NOENTITY for a source that is gone); a failed
    // open leaves nothing open.
    int Open(const InputDevice& device) override;
    // The same for source number `device` in the server's index order
    // (PA_ERR_NOENTITY for a number that does not exist).
    int Open(unsigned device);
    // Starts the flow of blocks. Returns 0, -1 when not open, or the
    // server's error.
    int Start() override;
    // Stops the stream and the delivery thread and frees everything. Blocks
    // still queued are dropped. No sink call happens after it returns.
    // Never call it from the sink (it waits for the delivery thread).
    int Close() override;
    unsigned BlockBytes() const override { return m_blockBytes; }

private:
    void log(const char* format, ...) __attribute__((format(printf, 2, 3)));
    int stop();
    // Open with either a source name or a number (when `source` is null).
    int openSource(const std::string* source, unsigned number);
    int openStream(const std::string& source, const pa_sample_spec& spec);
    void deliveryLoop();
    // Loop-thread callbacks.
    static void streamState(pa_stream* s, void* self);
    static void streamRead(pa_stream* s, size_t bytes, void* self);
    void takeFragment(const unsigned char* data, size_t bytes);
    void inputLost();
    std::vector<unsigned char> freshBlock();

    const int m_rate;
    const unsigned m_blockBytes;  // rate x 4 / 25

    AudioSink m_sink = nullptr;   // set before Open; read by the delivery thread
    void* m_owner = nullptr;

    PulseConnection m_pulse;
    PulseStreamPtr m_stream;      // created and freed on the caller's thread, with the lock
    bool m_opened = false;        // caller's thread only
    std::atomic<bool> m_started{false};
    std::thread m_delivery;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    // All guarded by m_mutex:
    std::deque<std::vector<unsigned char>> m_queue;  // full blocks, oldest first
    std::vector<std::vector<unsigned char>> m_spare;  // emptied blocks for reuse
    std::vector<unsigned char> m_partial;            // the block being filled
    size_t m_partialFill = 0;
    bool m_lost = false;        // the input went away; reported once
    bool m_lostReported = false;
    bool m_quit = false;        // the delivery thread should end
};

}  // namespace capdev
