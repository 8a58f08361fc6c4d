#pragma once

// Shared by the computer-audio tests: a private PulseAudio daemon with
// "Tavra Audio" installed, a player, and a recording of "Monitor of
// Speakers" to hear what reached the speakers.

#include <gtest/gtest.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "pulse/waveinrecorder.h"
#include "pulsedaemon.h"

namespace graphtest {

constexpr double kToneHz = 1000.0;

// Writes a stereo 16-bit WAV file holding a sine of `hz`.
void WriteToneWav(const std::string& path, int rate, double seconds, double amplitude = 12000,
                  double hz = kToneHz);

// Records a source of the daemon (by its server name) into memory.
class SourceTap {
public:
    explicit SourceTap(int rate = 44100) : m_rate(rate), m_input(rate) {}
    ~SourceTap() { m_input.Close(); }
    // 0 or the server's error.
    int Start(const std::string& sourceName);
    // The samples so far (interleaved stereo), and forgets them.
    std::vector<int16_t> Take();
    // The samples so far, kept.
    std::vector<int16_t> Peek();
    size_t Size();
    // Waits until `seconds` more have arrived: time as the server counts it.
    bool Listen(double seconds);

private:
    static void Sink(int code, unsigned bytes, const void* data, void* owner);

    int m_rate;
    capdev::WaveInRecorder m_input;
    std::mutex m_mutex;
    std::vector<int16_t> m_pcm;  // guarded by m_mutex
};

class GraphTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Installs "Tavra Audio" with the program's installer.
    void InstallTavra();
    std::string ServerDefault();
    // Plays the tone file to the default device; waits until it has played.
    void PlayTone(double seconds = 1.0);

    testsupport::PulseDaemon m_pulse;
    std::string m_tonePath;
};

// Starts the crash child (a process recording computer audio through the
// exports into `folder`, only `application` when it is not empty), waits for
// its first line, kills it with SIGKILL and returns that line ("recording\n"
// when it recorded).
std::string RunAndKillCrashChild(const std::string& folder, const std::string& application = "");

// Unloads the module that made the daemon's sink `sinkName`; pactl's exit
// status.
int UnloadSink(const testsupport::PulseDaemon& pulse, const std::string& sinkName);

// Checks that `pcm` (interleaved stereo at `rate`) holds the test tone.
::testing::AssertionResult HasTone(const std::vector<int16_t>& pcm, int rate);
// Largest absolute sample value.
int Peak(const std::vector<int16_t>& pcm);
// Whether `pcm` (interleaved stereo at `rate`) ends in 100 ms of quiet after
// something loud: a tone that has played to its end.
bool PlayedOut(const std::vector<int16_t>& pcm, int rate);

}  // namespace graphtest
