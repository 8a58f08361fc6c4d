#pragma once

// Test media for the media engine: time-coded tones whose frequency tells
// where in the file a stretch of audio comes from, the tools that encode
// them, and a recorder of the private sound server's "Speakers" monitor.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace medtest {

constexpr int kRate = 44100;
constexpr double kSegmentSeconds = 0.5;

// Segment k of a time-coded file (from k * 0.5 s) is a sine of this
// frequency at half scale.
inline double SegmentHz(int k) { return 300.0 + 100.0 * k; }

// Interleaved 16-bit samples of a time-coded tone, the same on every channel.
std::vector<int16_t> TimeCodedPcm(double seconds, int rate, int channels);
// Writes 16-bit PCM as a WAV file. False on failure.
bool WriteWav(const std::string& path, const std::vector<int16_t>& pcm, int rate, int channels);

// Runs a shell command; true when it exits with 0.
bool Run(const std::string& command);
// Encodes a WAV file to MP3 with lame and `options` (e.g. "-b 128").
bool Lame(const std::string& wav, const std::string& mp3, const std::string& options);
// The container length ffprobe reports, in seconds (-1 on failure).
double FfprobeSeconds(const std::string& path);

// The segment index whose frequency the mono samples [begin, begin + n)
// carry, from their zero crossings; -1 when they are near silence.
int SegmentOf(const std::vector<int16_t>& mono, size_t begin, size_t n, int rate);
// SegmentOf for consecutive windows of `windowMs`, loud windows only.
std::vector<int> Segments(const std::vector<int16_t>& mono, int rate, int windowMs);
double Rms(const std::vector<int16_t>& mono, size_t begin, size_t n);
// The left channel of interleaved samples.
std::vector<int16_t> FirstChannel(const std::vector<int16_t>& pcm, int channels);
// How well a recording of a time-coded tone holds `source` (mono, `rate`):
// the two are lined up where the change from the first to the second
// segment lies, then compared from 0.1 s to the end of the source. 1.0 is
// the same waveform throughout; missing audio at the end lowers it in
// proportion.
double MatchInRecording(const std::vector<int16_t>& recorded, const std::vector<int16_t>& source,
                        int rate);

// Records the "Speakers" monitor of the daemon PULSE_SERVER names, as mono
// 16-bit samples at kRate, through parec in a child process.
class CMonitorRecorder {
public:
    explicit CMonitorRecorder(const std::string& folder);
    ~CMonitorRecorder();
    CMonitorRecorder(const CMonitorRecorder&) = delete;
    CMonitorRecorder& operator=(const CMonitorRecorder&) = delete;

    // Starts recording (into a fresh file) and waits until samples arrive,
    // which needs a running sink (see CSilentStream).
    bool Start();
    // Stops parec by its process id and returns what it recorded.
    std::vector<int16_t> Stop();
    // What it recorded so far, while it goes on.
    std::vector<int16_t> Heard() const;
    // Waits until `seconds` more were recorded: time as the server counts it.
    bool Listen(double seconds) const;

private:
    std::string m_path;
    pid_t m_pid = -1;
    int m_round = 0;
};

// Plays silence into the default sink for its life (pacat of /dev/zero in a
// child process), so that the sink and its monitor run all the time: a
// monitor of an idle null sink delivers nothing, and misses the first part
// of what wakes it up.
class CSilentStream {
public:
    CSilentStream();
    ~CSilentStream();
    CSilentStream(const CSilentStream&) = delete;
    CSilentStream& operator=(const CSilentStream&) = delete;
    bool ok() const { return m_pid > 0; }

private:
    pid_t m_pid = -1;
};

}  // namespace medtest
