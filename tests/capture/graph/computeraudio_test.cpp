// Recording what the computer plays through the capdev exports, against a
// private PulseAudio daemon with "Tavra Audio" installed: the player's sound
// goes into the file and, at the monitor level, to the speakers; the real
// default playback device comes back when the engine is destroyed, or when
// the next engine is created after a killed run.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "capdev.h"
#include "engineevents.h"
#include "graphtest.h"
#include "waitfor.h"

namespace {

using namespace std::chrono_literals;
using graphtest::HasTone;
using graphtest::Peak;
using Events = graphtest::EngineEvents;
using testsupport::WaitFor;

// The first `seconds` of `pcm` from its first loud sample on: one tone,
// without the gap before the next.
std::vector<int16_t> FirstTone(const std::vector<int16_t>& pcm, uint32_t rate, double seconds) {
    size_t at = 0;
    while (at < pcm.size() && std::abs(pcm[at]) < 2000) ++at;
    at -= at % 2;
    const size_t n = std::min(pcm.size() - at, static_cast<size_t>(seconds * rate) * 2);
    return std::vector<int16_t>(pcm.begin() + static_cast<long>(at), pcm.begin() + static_cast<long>(at + n));
}

// Seconds of stereo frames at `rate` whose left value is loud.
double LoudSeconds(const std::vector<int16_t>& pcm, uint32_t rate) {
    size_t loud = 0;
    for (size_t i = 0; i + 1 < pcm.size(); i += 2) loud += std::abs(pcm[i]) > 2000 ? 1 : 0;
    // A sine spends about 83 % of its time above a sixth of its peak.
    return static_cast<double>(loud) / 0.83 / rate;
}

class ComputerAudioTest : public graphtest::GraphTest {
protected:
    void SetUp() override {
        graphtest::GraphTest::SetUp();
        m_folder = std::string(std::getenv("HOME")) + "/recordings";
        ASSERT_EQ(::system(("mkdir -p '" + m_folder + "'").c_str()), 0);
    }

    AudioDevRecordParam Param(int rate) {
        AudioDevRecordParam p{};
        p.callback = &Events::Callback;
        p.user = &m_events;
        p.outputFolder = m_folder.c_str();
        p.inputDeviceName = nullptr;  // what the computer plays
        p.fileType = 1;
        p.sampleRate = rate;
        return p;
    }

    std::string m_folder;
    Events m_events;
};

TEST_F(ComputerAudioTest, PlayerGoesIntoTheFileAndToTheSpeakersAtTheMonitorLevel) {
    InstallTavra();
    void* engine = AudioDevCreate();
    ASSERT_NE(engine, nullptr);
    const int inputs = AudioDevGetInputCount(engine);
    bool listed = false;
    for (int i = 0; i < inputs; ++i)
        listed = listed || std::string(AudioDevGetInputName(engine, static_cast<unsigned>(i))) ==
                               "Monitor of Tavra Audio";
    EXPECT_TRUE(listed);
    EXPECT_EQ(AudioDevSetDriverName(engine, "Tavra Audio"), 0);

    graphtest::SourceTap speakers;
    ASSERT_EQ(speakers.Start("speakers.monitor"), 0);
    // 48000 Hz from a device that runs at 44100 Hz: converted on the way.
    AudioDevRecordParam param = Param(48000);
    ASSERT_EQ(AudioDevStartRecord(engine, &param), 0);
    EXPECT_EQ(ServerDefault(), "tavra_audio");
    EXPECT_EQ(AudioDevSetVolume(engine, 100), 0);
    speakers.Take();
    PlayTone(1.0);
    WaitFor([&] { return graphtest::PlayedOut(speakers.Peek(), 44100); });
    EXPECT_TRUE(HasTone(speakers.Take(), 44100));

    // Volume 0 silences the speakers, not the recording.
    EXPECT_EQ(AudioDevSetVolume(engine, 201), AUDIODEV_ERR_PARAM);
    EXPECT_EQ(AudioDevSetVolume(engine, 0), 0);
    PlayTone(1.0);
    // The file gets both tones; the speakers hear nothing meanwhile.
    ASSERT_TRUE(WaitFor([&] { return LoudSeconds(m_events.Audio(), 48000) > 1.7; }));
    ASSERT_TRUE(speakers.Listen(0.2));
    EXPECT_EQ(Peak(speakers.Take()), 0);
    ASSERT_EQ(AudioDevStopRecord(engine), 0);

    EXPECT_EQ(m_events.Count("CAudioDevRecorder::CopyInputFormat SampleRate:44100 BitsPerSample:16 Channels:2"), 1);
    auto closed = m_events.Closed();
    ASSERT_EQ(closed.size(), 1u);
    graphtest::Wav wav = graphtest::ReadWav(closed[0]);
    EXPECT_EQ(wav.rate, 48000u);
    EXPECT_EQ(wav.channels, 2);
    EXPECT_TRUE(HasTone(FirstTone(wav.pcm, 48000, 0.8), 48000));
    EXPECT_GT(LoudSeconds(wav.pcm, 48000), 1.7);  // both tones, the silent one too
    EXPECT_LT(LoudSeconds(wav.pcm, 48000), 2.3);

    // The next recording reuses the graph, hears the format again and needs
    // no converter at the device's own rate.
    m_events.Clear();
    param = Param(44100);
    ASSERT_EQ(AudioDevStartRecord(engine, &param), 0);
    PlayTone(0.5);
    ASSERT_TRUE(WaitFor([&] { return LoudSeconds(m_events.Audio(), 44100) > 0.4; }));
    ASSERT_EQ(AudioDevStopRecord(engine), 0);
    EXPECT_EQ(m_events.Count("CAudioDevRecorder::CopyInputFormat SampleRate:44100"), 1);
    EXPECT_EQ(m_events.Count("BuildMonitorGraph"), 0);
    closed = m_events.Closed();
    ASSERT_EQ(closed.size(), 1u);
    wav = graphtest::ReadWav(closed[0]);
    EXPECT_EQ(wav.rate, 44100u);
    EXPECT_TRUE(HasTone(FirstTone(wav.pcm, 44100, 0.4), 44100));
    EXPECT_EQ(ServerDefault(), "tavra_audio");  // kept between recordings

    AudioDevDestroy(engine);
    EXPECT_EQ(ServerDefault(), "speakers");
}

TEST_F(ComputerAudioTest, VirtualDeviceRemovedMidRecordingIsMinus9AndTheNextStartRebuilds) {
    InstallTavra();
    void* engine = AudioDevCreate();
    ASSERT_NE(engine, nullptr);
    AudioDevRecordParam param = Param(44100);
    ASSERT_EQ(AudioDevStartRecord(engine, &param), 0);
    PlayTone(0.3);
    ASSERT_EQ(graphtest::UnloadSink(m_pulse, "tavra_audio"), 0);
    WaitFor([&] { return !m_events.Errors().empty(); });
    EXPECT_EQ(m_events.Errors(), (std::vector<std::string>{"-9 Monitor of Tavra Audio"}));
    ASSERT_EQ(AudioDevStopRecord(engine), 0);
    EXPECT_EQ(m_events.Closed().size(), 1u);  // what came before the loss is kept

    // Installed again, the next recording does not resume the dead graph.
    InstallTavra();
    m_events.Clear();
    ASSERT_EQ(AudioDevStartRecord(engine, &param), 0);
    EXPECT_EQ(m_events.Count("graph lost, rebuilding"), 1);
    EXPECT_EQ(ServerDefault(), "tavra_audio");
    PlayTone(0.5);
    ASSERT_TRUE(WaitFor([&] { return LoudSeconds(m_events.Audio(), 44100) > 0.4; }));
    ASSERT_EQ(AudioDevStopRecord(engine), 0);
    const auto closed = m_events.Closed();
    ASSERT_EQ(closed.size(), 1u);
    EXPECT_TRUE(HasTone(FirstTone(graphtest::ReadWav(closed[0]).pcm, 44100, 0.4), 44100));
    AudioDevDestroy(engine);
    EXPECT_EQ(ServerDefault(), "speakers");
}

TEST_F(ComputerAudioTest, NextEngineRepairsTheDefaultAKilledRunLeft) {
    InstallTavra();
    ASSERT_EQ(graphtest::RunAndKillCrashChild(m_folder), "recording\n");
    ASSERT_EQ(ServerDefault(), "tavra_audio");

    void* engine = AudioDevCreate();
    ASSERT_NE(engine, nullptr);
    EXPECT_EQ(ServerDefault(), "speakers");
    // The repair is logged to the first callback the engine gets.
    AudioDevRecordParam param = Param(44100);
    param.inputDeviceName = "Monitor of Speakers";
    ASSERT_EQ(AudioDevStartRecord(engine, &param), 0);
    AudioDevStopRecord(engine);
    EXPECT_EQ(m_events.Count("restored default output: Speakers"), 1);
    AudioDevDestroy(engine);
    EXPECT_EQ(ServerDefault(), "speakers");
}

}  // namespace
