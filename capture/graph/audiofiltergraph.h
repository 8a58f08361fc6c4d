#pragma once

// The two paths that read the virtual device "Tavra Audio" while computer
// audio is recorded, both on one connection to the sound server:
// - the monitor path: a record stream on the device's monitor, played on the
//   real speakers through a playback stream, each block passed through the
//   volume filter, so that the user keeps hearing what is played;
// - the capture path: a record stream on the same monitor at the device's
//   own rate and channel count, as 16-bit PCM, handed to the recorder
//   through CDSRender in blocks of 40 ms, the format announced first.

#include <pulse/pulseaudio.h>

#include <memory>
#include <string>
#include <vector>

#include "graph/dsrender.h"
#include "graph/sinkcontrol.h"
#include "graph/volumefilter.h"
#include "graph/waveformat.h"
#include "pulse/pulseconnection.h"

namespace capdev {

// Failures of the graph are negative and apart from the engine's own codes:
// a server error e (PA_ERR_*) is kGraphServerErrorBase - e.
constexpr int kGraphServerErrorBase = -1000;
inline int GraphServerError(int paError) { return kGraphServerErrorBase - paError; }
// A device the path needs (the virtual device's monitor, the speakers) is
// missing.
constexpr int kGraphErrFail = kGraphServerErrorBase - PA_ERR_NOENTITY;

// Built, paused, resumed and destroyed on the caller's thread; the streams'
// callbacks run on the connection's loop thread.
class CAudioFilterGraph {
public:
    CAudioFilterGraph();
    // Stops both paths and closes the connection. No sink call happens after
    // it returns.
    virtual ~CAudioFilterGraph();
    CAudioFilterGraph(const CAudioFilterGraph&) = delete;
    CAudioFilterGraph& operator=(const CAudioFilterGraph&) = delete;

    // Builds and starts the monitor path (`virtualDevice`'s monitor played on
    // the playback device named `speakers`, volume 100), then the capture
    // path delivering to `sink`/`owner`. A failure of the monitor path stops
    // the sequence. Returns 0, kGraphErrFail or a server error.
    virtual int BuildGraphs(const PlaybackDevice& virtualDevice, const std::string& speakers,
                            LineOutSink sink, void* owner);
    // The monitor path alone (part of BuildGraphs).
    virtual int BuildMonitorGraph(const PlaybackDevice& virtualDevice, const std::string& speakers);

    // Pause: the capture path discards what arrives; the monitor path plays
    // on. Resume to another (or the same) sink and owner: the format is
    // announced again before the next block.
    virtual void Pause();
    virtual void Resume(LineOutSink sink, void* owner);

    // True while the connection and both paths work. A graph whose device,
    // speakers or server went away is not used again.
    bool IsAlive();

    // The monitor path's gain, 0..200 (anything above 200 leaves the sound
    // unchanged, as the filter does).
    void SetVolume(unsigned volume) { m_volume.SetVolume(volume); }
    unsigned Volume() const { return m_volume.Volume(); }

    // Whom the capture path delivers to (null before BuildGraphs).
    void* owner() const { return m_render ? m_render->owner() : nullptr; }
    // The format the capture path announced.
    WaveFormat format() const { return m_render ? m_render->format() : WaveFormat(); }

private:
    int Connect();
    // The stream format for `virtualDevice`, and the connection. 0 or an error.
    int Prepare(const PlaybackDevice& virtualDevice, pa_sample_spec* spec);
    // With the loop lock held: creates and connects one stream and waits
    // until it is ready.
    int OpenStream(PulseStreamPtr* stream, const char* name, const pa_sample_spec& spec,
                   bool record, const std::string& device, const pa_buffer_attr& attr,
                   pa_stream_flags_t flags, pa_stream_request_cb_t read);
    int BuildCaptureGraph(const PlaybackDevice& virtualDevice, LineOutSink sink, void* owner);
    void Log(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // Loop-thread callbacks.
    static void StreamState(pa_stream* s, void* self);
    static void MonitorRead(pa_stream* s, size_t bytes, void* self);
    static void CaptureRead(pa_stream* s, size_t bytes, void* self);
    void TakeCaptured(const unsigned char* data, size_t bytes);

    PulseConnection m_pulse;
    // Created and freed on the caller's thread with the loop lock held; the
    // callbacks use them under the same lock.
    PulseStreamPtr m_monitorOut;
    PulseStreamPtr m_monitorIn;
    PulseStreamPtr m_captureIn;

    CVolumeFilter m_volume;
    std::unique_ptr<CDSRender> m_render;  // set before the capture stream exists

    // Loop thread only (while the streams exist).
    std::vector<unsigned char> m_monitorBuffer;
    std::vector<unsigned char> m_block;  // the capture block being filled
    size_t m_blockFill = 0;
    size_t m_frameBytes = 4;             // of the monitor path
    bool m_captureLive = false;          // guarded by the loop lock: the capture stream ran
};

}  // namespace capdev
