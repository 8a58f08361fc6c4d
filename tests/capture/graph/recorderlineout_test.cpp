// The recorder's computer-audio mode with a stand-in for the graph: the
// format announcement makes the ring and, where the device's format is not
// the recording's, the converter; stop pauses, destruction tears down, and a
// repaired default playback device is logged. Faster than real time.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>
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
    int StartApplication(capdev::LineOutSink sink, void* owner, const std::string& app) override {
        application = app;
        return Start(sink, owner);
    }
    int RepairStreams(std::string* report) override {
        *report = streamsRepaired;
        return 0;
    }

    // Hands `pcm` over in blocks of 40 ms of the announced format; before
    // each, tells `beforeBlock` (when set) the frames handed over with it.
    void Feed(const std::vector<int16_t>& pcm) {
        const size_t block = format.samplesPerSec / 25 * format.channels;
        for (size_t at = 0; at < pcm.size() && !paused; at += block) {
            const size_t n = std::min(block, pcm.size() - at);
            if (beforeBlock) beforeBlock((at + n) / format.channels);
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
    std::string streamsRepaired;
    std::string application;  // the one StartApplication was asked for
    std::function<void(size_t frames)> beforeBlock;

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
        options.clock = [this] { return m_nowUs.load(); };
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
    std::atomic<int64_t> m_nowUs{0};
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

TEST_F(RecorderLineOutTest, TrackChangesAreCutWhereTheConvertedAudioChanges) {
    // The device runs at 44100 Hz, the recording at 48000: the hold, the
    // clock and the cut work on converted audio.
    ASSERT_EQ(m_recorder->SetTrackFollow(2000), 0);
    ASSERT_EQ(Start(48000), 0);
    m_lineOut.beforeBlock = [this](size_t frames) {
        m_nowUs = int64_t(frames) * 1000000 / 44100 + 20000;  // 20 ms on the way
        // The player announces its second track 250 ms late.
        if (frames >= 44100 * 9 / 4 && frames < 44100 * 9 / 4 + 1764) {
            EXPECT_EQ(m_recorder->MarkTrackChange(2250000 + 20000, 1500), 0);
        }
    };
    std::vector<int16_t> pcm = pcmtest::sine(300, 44100, 2, 2 * 44100);
    const std::vector<int16_t> next = pcmtest::sine(370, 44100, 2, 2 * 44100);
    pcm.insert(pcm.end(), next.begin(), next.end());
    m_lineOut.Feed(pcm);
    ASSERT_EQ(m_recorder->StopRecord(), 0);

    std::vector<std::string> closed;
    {
        std::lock_guard<std::mutex> lock(m_events.mutex);
        closed = m_events.closed;
    }
    ASSERT_EQ(closed.size(), 2u);
    const Wav first = ReadWav(closed[0]);
    const Wav second = ReadWav(closed[1]);
    EXPECT_NEAR(double(first.pcm.size()) / 2 / 48000, 2.0, 0.005);
    EXPECT_NEAR(double(first.pcm.size() + second.pcm.size()) / 2 / 48000, 4.0, 0.005);
    EXPECT_NEAR(pcmtest::frequency(second.pcm.data() + 4800 * 2, 48000, 2, 48000), 370.0, 3.0);
}

TEST_F(RecorderLineOutTest, TheChosenApplicationGoesToTheGraphAndItsRepairIsLogged) {
    m_lineOut.streamsRepaired = "streams moved back: 2";
    m_recorder->RepairDefaultOutput();
    ASSERT_EQ(m_recorder->SetApplication("vlc"), 0);
    ASSERT_EQ(Start(44100), 0);
    EXPECT_EQ(m_lineOut.application, "vlc");
    EXPECT_EQ(m_recorder->SetApplication(nullptr), AUDIODEV_ERR_RUNNING);
    EXPECT_TRUE(m_events.HasLog("CAudioDevRecorder::AudioDevCreate streams moved back: 2"));
    m_recorder->StopRecord();

    // All applications again: the graph is asked for everything.
    m_lineOut.application.clear();
    ASSERT_EQ(m_recorder->SetApplication(nullptr), 0);
    const int starts = m_lineOut.starts;
    ASSERT_EQ(Start(44100), 0);
    EXPECT_EQ(m_lineOut.starts, starts + 1);
    EXPECT_TRUE(m_lineOut.application.empty());
    m_recorder->StopRecord();
}

}  // namespace
