// The process's computer-audio graph against a private PulseAudio daemon:
// "Tavra Audio" becomes the default while it runs, a player's sound reaches
// both the capture path and the speakers (through the volume filter), and
// the real default comes back at teardown.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "audioinput.h"
#include "graph/audiofiltergraph.h"
#include "graph/defaultoutput.h"
#include "graph/lineout.h"
#include "graphtest.h"
#include "waitfor.h"

namespace {

using namespace std::chrono_literals;
using graphtest::HasTone;
using graphtest::Peak;
using testsupport::WaitFor;

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// What the recorder would receive from the capture path.
struct Captured {
    std::mutex mutex;
    std::vector<std::string> order;  // "format", "data" (collapsed), guarded by mutex
    capdev::WaveFormat format;       // guarded by mutex
    std::vector<int16_t> pcm;        // guarded by mutex
    std::vector<std::string> logs;   // guarded by mutex

    static void Sink(int event, const void* data, unsigned bytes, void* owner) {
        auto* me = static_cast<Captured*>(owner);
        std::lock_guard<std::mutex> lock(me->mutex);
        if (event == capdev::kLineOutFormat) {
            std::memcpy(&me->format, data, sizeof me->format);
            me->order.push_back("format");
        } else if (event == capdev::kLineOutData) {
            if (me->order.empty() || me->order.back() != "data") me->order.push_back("data");
            const auto* p = static_cast<const int16_t*>(data);
            me->pcm.insert(me->pcm.end(), p, p + bytes / 2);
        } else if (event == capdev::kLineOutLog) {
            me->logs.emplace_back(static_cast<const char*>(data));
        }
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(mutex);
        order.clear();
        pcm.clear();
    }
    std::vector<int16_t> Pcm() {
        std::lock_guard<std::mutex> lock(mutex);
        return pcm;
    }
    std::vector<std::string> Order() {
        std::lock_guard<std::mutex> lock(mutex);
        return order;
    }
    int LogsContaining(const std::string& text) {
        std::lock_guard<std::mutex> lock(mutex);
        int n = 0;
        for (const auto& l : logs) n += l.find(text) != std::string::npos ? 1 : 0;
        return n;
    }
};

class LineOutTest : public graphtest::GraphTest {
protected:
    void TearDown() override {
        capdev::LineOutTeardown(nullptr);
        graphtest::GraphTest::TearDown();
    }
};

TEST_F(LineOutTest, PlayerIsCapturedAndHeardAtTheMonitorLevelAndTheDefaultComesBack) {
    InstallTavra();
    const auto inputs = capdev::CreatePulseInputBackend()->ListInputs();
    EXPECT_NE(std::find(inputs.begin(), inputs.end(), "Monitor of Tavra Audio"), inputs.end());

    graphtest::SourceTap speakers;
    ASSERT_EQ(speakers.Start("speakers.monitor"), 0);
    Captured rec;
    capdev::CAudioFilterGraph* graph = nullptr;
    ASSERT_EQ(capdev::LineOutStartRecord(&Captured::Sink, &rec, &graph), 0);
    ASSERT_NE(graph, nullptr);
    EXPECT_EQ(ServerDefault(), "tavra_audio");
    EXPECT_TRUE(Exists(capdev::CDefaultOutputState::DefaultPath()));
    EXPECT_EQ(rec.format.formatTag, 1);
    EXPECT_EQ(rec.format.bitsPerSample, 16);
    const int rate = static_cast<int>(rec.format.samplesPerSec);
    ASSERT_EQ(rec.format.channels, 2);  // the null sink's own layout

    speakers.Take();
    PlayTone(1.0);
    WaitFor([&] { return HasTone(rec.Pcm(), rate) && graphtest::PlayedOut(speakers.Peek(), 44100); });
    EXPECT_EQ(rec.Order(), (std::vector<std::string>{"format", "data"}));
    EXPECT_TRUE(HasTone(rec.Pcm(), rate));
    EXPECT_TRUE(HasTone(speakers.Take(), 44100));

    // 200 %: the tone (peak 12000) reaches the speakers near double.
    capdev::LineOutSetVolume(200);
    PlayTone(0.5);
    WaitFor([&] { return graphtest::PlayedOut(speakers.Peek(), 44100); });
    EXPECT_GT(Peak(speakers.Take()), 20000);

    EXPECT_TRUE(capdev::LineOutTeardown(&rec));
    EXPECT_FALSE(capdev::LineOutRunning());
    EXPECT_EQ(ServerDefault(), "speakers");
    EXPECT_FALSE(Exists(capdev::CDefaultOutputState::DefaultPath()));
}

TEST_F(LineOutTest, SecondRecordingReusesTheGraphAndHearsTheFormatFirst) {
    InstallTavra();
    Captured first, rec;
    capdev::CAudioFilterGraph* graph = nullptr;
    ASSERT_EQ(capdev::LineOutStartRecord(&Captured::Sink, &first, &graph), 0);
    capdev::LineOutPause(&rec);  // not whom it delivers to: no effect
    first.Clear();
    PlayTone(0.3);
    WaitFor([&] { return Peak(first.Pcm()) > 4000; });
    EXPECT_EQ(first.Order(), (std::vector<std::string>{"data"}));
    capdev::LineOutPause(&first);
    first.Clear();
    PlayTone(0.5);
    // Paused: nothing handed over, while the tone played nor after.
    EXPECT_FALSE(WaitFor([&] { return !first.Order().empty(); }, 200ms));

    // Another recorder of the process takes over: a teardown by the first
    // must not pull the graph from under it.
    Captured second;
    capdev::CAudioFilterGraph* again = nullptr;
    ASSERT_EQ(capdev::LineOutStartRecord(&Captured::Sink, &second, &again), 0);
    EXPECT_EQ(again, graph);
    PlayTone(0.5);
    WaitFor([&] { return Peak(second.Pcm()) > 4000; });
    EXPECT_EQ(second.Order(), (std::vector<std::string>{"format", "data"}));
    EXPECT_TRUE(first.Order().empty());
    EXPECT_EQ(first.LogsContaining("BuildMonitorGraph") + second.LogsContaining("BuildMonitorGraph"), 1);
    EXPECT_FALSE(capdev::LineOutTeardown(&first));
    EXPECT_TRUE(capdev::LineOutRunning());
    EXPECT_TRUE(capdev::LineOutTeardown(&second));
    EXPECT_EQ(ServerDefault(), "speakers");
}

TEST_F(LineOutTest, VirtualDefaultAtStartIsReplacedByTheFirstOtherDevice) {
    InstallTavra();
    ASSERT_EQ(m_pulse.pactl("load-module module-null-sink sink_name=headphones "
                            "sink_properties=device.description=Headphones"),
              0);
    ASSERT_EQ(m_pulse.pactl("set-default-sink tavra_audio"), 0);
    graphtest::SourceTap speakers;
    ASSERT_EQ(speakers.Start("speakers.monitor"), 0);
    Captured rec;
    capdev::CAudioFilterGraph* graph = nullptr;
    ASSERT_EQ(capdev::LineOutStartRecord(&Captured::Sink, &rec, &graph), 0);
    PlayTone(0.5);
    WaitFor([&] { return graphtest::PlayedOut(speakers.Peek(), 44100); });
    EXPECT_TRUE(HasTone(speakers.Take(), 44100));
    EXPECT_TRUE(capdev::LineOutTeardown(nullptr));
    EXPECT_EQ(ServerDefault(), "speakers");
}

TEST_F(LineOutTest, RecordingAfterTheSpeakersWereUnpluggedIsHeardOnTheOtherDevice) {
    InstallTavra();
    ASSERT_EQ(m_pulse.pactl("load-module module-null-sink sink_name=headphones "
                            "sink_properties=device.description=Headphones"),
              0);
    ASSERT_EQ(m_pulse.pactl("set-default-sink headphones"), 0);
    Captured first;
    capdev::CAudioFilterGraph* graph = nullptr;
    ASSERT_EQ(capdev::LineOutStartRecord(&Captured::Sink, &first, &graph), 0);
    capdev::LineOutPause(&first);
    // The headphones go while "Tavra Audio" is the default: the monitor
    // that played on them has nowhere to play.
    ASSERT_EQ(graphtest::UnloadSink(m_pulse, "headphones"), 0);
    ASSERT_TRUE(WaitFor([&] { return !graph->IsAlive(); }));

    graphtest::SourceTap speakers;
    ASSERT_EQ(speakers.Start("speakers.monitor"), 0);
    Captured second;
    ASSERT_EQ(capdev::LineOutStartRecord(&Captured::Sink, &second, &graph), 0);
    EXPECT_EQ(second.LogsContaining("graph lost, rebuilding"), 1);
    speakers.Take();
    PlayTone(0.5);
    const int rate = static_cast<int>(second.format.samplesPerSec);
    WaitFor([&] { return HasTone(second.Pcm(), rate) && graphtest::PlayedOut(speakers.Peek(), 44100); });
    EXPECT_TRUE(HasTone(second.Pcm(), rate));
    EXPECT_TRUE(HasTone(speakers.Take(), 44100));
    EXPECT_TRUE(capdev::LineOutTeardown(&second));
    EXPECT_EQ(ServerDefault(), "speakers");
}

TEST_F(LineOutTest, FailsCleanlyWithoutTheVirtualDevice) {
    Captured rec;
    capdev::CAudioFilterGraph* graph = reinterpret_cast<capdev::CAudioFilterGraph*>(&rec);
    EXPECT_EQ(capdev::LineOutStartRecord(&Captured::Sink, &rec, &graph), -1);
    EXPECT_EQ(graph, nullptr);
    EXPECT_FALSE(capdev::LineOutRunning());
    EXPECT_EQ(ServerDefault(), "speakers");
    EXPECT_FALSE(Exists(capdev::CDefaultOutputState::DefaultPath()));
}

TEST_F(LineOutTest, ServerErrorsAreKeptApartFromTheEngineCodes) {
    // The server goes between the input list and the switch: its error must
    // not read as "a recording runs" (-6) or any other engine code.
    const std::string server = std::getenv("PULSE_SERVER");
    const std::string dead = std::string("unix:") + std::getenv("HOME") + "/no-server/native";
    ::setenv("PULSE_SERVER", dead.c_str(), 1);
    Captured rec;
    capdev::CAudioFilterGraph* graph = nullptr;
    const int result = capdev::LineOutStartRecord(&Captured::Sink, &rec, &graph);
    ::setenv("PULSE_SERVER", server.c_str(), 1);
    EXPECT_EQ(result, capdev::GraphServerError(PA_ERR_CONNECTIONREFUSED));
    EXPECT_EQ(graph, nullptr);
    EXPECT_FALSE(capdev::LineOutRunning());
}

}  // namespace
