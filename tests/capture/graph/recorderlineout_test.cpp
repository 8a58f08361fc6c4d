// The recorder's computer-audio mode with a stand-in for the graph: the
// format announcement makes the ring and, where the device's format is not
// the recording's, the converter; stop pauses, destruction tears down, and a
// repaired default playback device is logged. Faster than real time.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <mutex>

#include "../writers/pcmtest.h"
#include "audiodevrecorder.h"
#include "engineevents.h"
#include "graph/lineout.h"

namespace {

using capdev::CAudioDevRecorder;
using capdev::WaveFormat;
using graphtest::ReadWav;
using graphtest::Wav;
using Events = graphtest::EngineEvents;

class ListOnly : public capdev::IInputBackend {
public:
    std::vector<capdev::InputDevice> ListDevices() override {
        std::vector<capdev::InputDevice> devices;
        for (const std::string& name : names) devices.push_back({name, name});
        return devices;
    }
    std::unique_ptr<capdev::IAudioInput> CreateInput(int) override { return nullptr; }
    std::vector<std::string> names{"Monitor of Speakers", "Monitor of Tavra Audio"};
};

// The graph as the recorder sees it; the test thread plays the server's.
class FakeLineOut : public capdev::ILineOut {
public:
    int Start(capdev::LineOutSink sink, void* owner) override {
        ++starts;
        if (startResult != 0) return startResult;
        m_sink = sink;
        m_owner = owner;
        paused = false;
        m_sink(capdev::kLineOutFormat, &format, sizeof format, m_owner);
        return 0;
    }
    void Pause(void* owner) override { paused = paused || owner == m_owner; }
    void SetVolume(unsigned v) override { volume = v; }
    bool Teardown(void* owner) override {
        tornDownBy = owner;
        return true;
    }
    int RepairAfterCrash(std::string* restored) override {
        *restored = repaired;
        return 0;
    }

    // Hands `pcm` over in blocks of 40 ms of the announced format.
    void Feed(const std::vector<int16_t>& pcm) {
        const size_t block = format.samplesPerSec / 25 * format.channels;
        for (size_t at = 0; at < pcm.size() && !paused; at += block) {
            const size_t n = std::min(block, pcm.size() - at);
            m_sink(capdev::kLineOutData, pcm.data() + at, static_cast<unsigned>(n * 2), m_owner);
        }
    }

    WaveFormat format = capdev::Pcm16Format(44100, 2);
    int startResult = 0;
    int starts = 0;
    bool paused = false;
    unsigned volume = 100;
    void* tornDownBy = nullptr;
    std::string repaired;

private:
    capdev::LineOutSink m_sink = nullptr;
    void* m_owner = nullptr;
};

class RecorderLineOutTest : public ::testing::Test {
protected:
    RecorderLineOutTest() {
        capdev::RecorderOptions options;
        options.backend = std::make_unique<ListOnly>();
        options.lineOut = &m_lineOut;
        m_recorder = std::make_unique<CAudioDevRecorder>(std::move(options));
        m_folder = std::getenv("HOME");
    }

    int Start(int rate) {
        AudioDevRecordParam p{};
        p.callback = &Events::Callback;
        p.user = &m_events;
        p.outputFolder = m_folder.c_str();
        p.fileType = 1;
        p.sampleRate = rate;
        return m_recorder->StartRecord(&p);
    }

    // Records one second of the tone in the device's format at `rate`.
    Wav RecordSecond(int rate) {
        EXPECT_EQ(Start(rate), 0);
        const int channels = m_lineOut.format.channels;
        m_lineOut.Feed(pcmtest::sine(1000, static_cast<int>(m_lineOut.format.samplesPerSec), channels,
                                     m_lineOut.format.samplesPerSec));
        EXPECT_EQ(m_recorder->StopRecord(), 0);
        EXPECT_TRUE(m_lineOut.paused);
        std::lock_guard<std::mutex> lock(m_events.mutex);
        EXPECT_EQ(m_events.closed.size(), 1u);
        return m_events.closed.empty() ? Wav() : ReadWav(m_events.closed.back());
    }

    FakeLineOut m_lineOut;
    Events m_events;
    std::string m_folder;
    std::unique_ptr<CAudioDevRecorder> m_recorder;
};

TEST_F(RecorderLineOutTest, DeviceAtAnotherRateIsConverted) {
    const Wav wav = RecordSecond(48000);
    EXPECT_TRUE(m_events.HasLog("CAudioDevRecorder::CopyInputFormat SampleRate:44100 BitsPerSample:16 Channels:2"));
    EXPECT_EQ(wav.rate, 48000u);
    EXPECT_EQ(wav.channels, 2);
    EXPECT_NEAR(static_cast<double>(wav.pcm.size()) / 2, 48000.0, 48000 * 0.02);
    EXPECT_NEAR(pcmtest::frequency(wav.pcm.data(), wav.pcm.size() / 2, 2, 48000), 1000.0, 5.0);
}

TEST_F(RecorderLineOutTest, DeviceAtTheRecordingRateIsWrittenAsItCame) {
    m_lineOut.format = capdev::Pcm16Format(48000, 2);
    const Wav wav = RecordSecond(48000);
    EXPECT_EQ(wav.pcm, pcmtest::sine(1000, 48000, 2, 48000));
}

TEST_F(RecorderLineOutTest, MonoDeviceAtTheRecordingRateBecomesStereo) {
    m_lineOut.format = capdev::Pcm16Format(44100, 1);
    const Wav wav = RecordSecond(44100);
    EXPECT_EQ(wav.channels, 2);
    // A second of frames, not half a second of mono pairs taken for stereo.
    EXPECT_NEAR(static_cast<double>(wav.pcm.size()) / 2, 44100.0, 44100 * 0.02);
    EXPECT_NEAR(pcmtest::frequency(wav.pcm.data(), wav.pcm.size() / 2, 2, 44100), 1000.0, 5.0);
    EXPECT_NEAR(pcmtest::frequency(wav.pcm.data(), wav.pcm.size() / 2, 2, 44100, 1), 1000.0, 5.0);
}

TEST_F(RecorderLineOutTest, FailuresOfTheGraphUndoTheStart) {
    m_lineOut.startResult = capdev::kGraphErrFail;
    EXPECT_EQ(Start(44100), capdev::kGraphErrFail);
    EXPECT_FALSE(m_recorder->IsRecording());
    EXPECT_TRUE(m_events.HasLog("CAudioDevRecorder::StartRecordInput LineOutStartRecord err -1005"));

    // A device that offers only 32-bit samples is refused, not misread.
    m_lineOut.startResult = 0;
    m_lineOut.format = capdev::Pcm16Format(44100, 2);
    m_lineOut.format.bitsPerSample = 32;
    EXPECT_LT(Start(44100), 0);
    EXPECT_FALSE(m_recorder->IsRecording());
    // The graph had started: it goes, and the real default output with it.
    EXPECT_EQ(m_lineOut.tornDownBy, m_recorder.get());

    // Without "Tavra Audio" among the inputs nothing is asked of the graph.
    capdev::RecorderOptions options;
    options.backend = std::make_unique<ListOnly>();
    static_cast<ListOnly*>(options.backend.get())->names = {"Monitor of Speakers"};
    options.lineOut = &m_lineOut;
    m_recorder = std::make_unique<CAudioDevRecorder>(std::move(options));
    const int starts = m_lineOut.starts;
    EXPECT_EQ(Start(44100), AUDIODEV_ERR_NO_DEVICE);
    EXPECT_EQ(m_lineOut.starts, starts);
}

TEST_F(RecorderLineOutTest, VolumeReachesTheMonitorOnlyWhileRecordingComputerAudio) {
    EXPECT_EQ(m_recorder->SetVolume(50), 0);
    EXPECT_EQ(m_lineOut.volume, 100u);
    ASSERT_EQ(Start(44100), 0);
    EXPECT_EQ(m_recorder->SetVolume(201), AUDIODEV_ERR_PARAM);
    EXPECT_EQ(m_recorder->SetVolume(0), 0);
    EXPECT_EQ(m_lineOut.volume, 0u);
    m_recorder->StopRecord();
    EXPECT_EQ(m_recorder->SetVolume(150), 0);
    EXPECT_EQ(m_lineOut.volume, 0u);
}

TEST_F(RecorderLineOutTest, DestructionTearsDownAndARepairIsLoggedAtTheFirstStart) {
    m_lineOut.repaired = "Speakers";
    m_recorder->RepairDefaultOutput();
    ASSERT_EQ(Start(44100), 0);
    EXPECT_TRUE(m_events.HasLog("CAudioDevRecorder::AudioDevCreate restored default output: Speakers"));
    CAudioDevRecorder* recorder = m_recorder.get();
    m_recorder.reset();
    EXPECT_TRUE(m_lineOut.paused);
    EXPECT_EQ(m_lineOut.tornDownBy, recorder);
}

}  // namespace
