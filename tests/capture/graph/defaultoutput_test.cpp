// The playback-device control and the switch to "Tavra Audio" and back,
// against a private PulseAudio daemon whose "speakers" sink stands in for the
// real speakers.

#include <gtest/gtest.h>
#include <pulse/error.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "graph/defaultoutput.h"
#include "graph/sinkcontrol.h"
#include "graphtest.h"
#include "privatehome.h"
#include "pulsedaemon.h"

namespace {

using capdev::CDefaultOutputState;
using capdev::CDefaultOutputSwitch;
using capdev::RememberedOutput;

const char kLoadTavra[] =
    "load-module module-null-sink sink_name=tavra_audio "
    "\"sink_properties='device.description=\\\"Tavra Audio\\\"'\"";

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

class DefaultOutputTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_pulse.ok()) << m_pulse.error();
        m_statePath = CDefaultOutputState::DefaultPath();
        ASSERT_EQ(m_statePath.rfind(std::getenv("HOME"), 0), 0u) << m_statePath;
        m_control = capdev::CreatePulseSinkControl();
    }
    void TearDown() override { CDefaultOutputState().Clear(); }

    std::string ServerDefault() {
        std::string out;
        EXPECT_EQ(m_pulse.pactl("get-default-sink", &out), 0);
        while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) {
            out.pop_back();
        }
        return out;
    }
    bool Muted(const std::string& sink) {
        std::string out;
        EXPECT_EQ(m_pulse.pactl("get-sink-mute " + sink, &out), 0);
        return out.find("yes") != std::string::npos;
    }
    void LoadTavra() { ASSERT_EQ(m_pulse.pactl(kLoadTavra), 0); }

    testsupport::PulseDaemon m_pulse;
    std::unique_ptr<capdev::ISinkControl> m_control;
    std::string m_statePath;
};

TEST_F(DefaultOutputTest, SinkControlReadsListsSwitchesAndUnmutes) {
    LoadTavra();
    std::string name;
    ASSERT_EQ(m_control->DefaultSink(&name), 0);
    EXPECT_EQ(name, "speakers");

    std::vector<capdev::PlaybackDevice> sinks;
    ASSERT_EQ(m_control->ListSinks(&sinks), 0);
    ASSERT_EQ(sinks.size(), 2u);
    EXPECT_EQ(sinks[0].name, "speakers");
    EXPECT_EQ(sinks[0].description, "Speakers");
    EXPECT_EQ(sinks[1].name, "tavra_audio");
    EXPECT_EQ(sinks[1].description, "Tavra Audio");
    EXPECT_LT(sinks[0].index, sinks[1].index);

    ASSERT_EQ(m_control->SetDefaultSink("tavra_audio"), 0);
    EXPECT_EQ(ServerDefault(), "tavra_audio");
    ASSERT_EQ(m_pulse.pactl("set-sink-mute tavra_audio 1"), 0);
    ASSERT_EQ(m_control->SetSinkMute("tavra_audio", false), 0);
    EXPECT_FALSE(Muted("tavra_audio"));

    EXPECT_NE(m_control->SetDefaultSink("no_such_sink"), 0);
    EXPECT_NE(m_control->SetSinkMute("no_such_sink", false), 0);
    EXPECT_EQ(ServerDefault(), "tavra_audio");
}

TEST_F(DefaultOutputTest, SwitchRemembersTheSpeakersAndRestoresThem) {
    LoadTavra();
    ASSERT_EQ(m_pulse.pactl("set-sink-mute tavra_audio 1"), 0);
    CDefaultOutputSwitch sw(m_control.get(), CDefaultOutputState());
    ASSERT_EQ(sw.SwitchToVirtual(), 0);
    EXPECT_EQ(ServerDefault(), "tavra_audio");
    EXPECT_FALSE(Muted("tavra_audio"));
    EXPECT_EQ(sw.remembered().name, "speakers");
    EXPECT_EQ(sw.remembered().description, "Speakers");
    RememberedOutput saved;
    ASSERT_TRUE(CDefaultOutputState().Load(&saved));
    EXPECT_EQ(saved.name, "speakers");

    ASSERT_EQ(sw.Restore(), 0);
    EXPECT_EQ(ServerDefault(), "speakers");
    EXPECT_FALSE(Exists(m_statePath));
}

TEST_F(DefaultOutputTest, VirtualDefaultAtStartIsNotTakenForTheSpeakers) {
    LoadTavra();
    ASSERT_EQ(m_pulse.pactl("load-module module-null-sink sink_name=headphones "
                            "sink_properties=device.description=Headphones"),
              0);
    ASSERT_EQ(m_pulse.pactl("set-default-sink tavra_audio"), 0);
    CDefaultOutputSwitch sw(m_control.get(), CDefaultOutputState());
    RememberedOutput real;
    ASSERT_EQ(sw.ReadRealDefault(&real), 0);
    EXPECT_EQ(real.name, "speakers");  // the first other device in index order

    ASSERT_EQ(m_pulse.pactl("set-default-sink headphones"), 0);
    ASSERT_EQ(sw.ReadRealDefault(&real), 0);
    EXPECT_EQ(real.name, "headphones");
}

TEST_F(DefaultOutputTest, WithoutTheVirtualDeviceNothingChanges) {
    CDefaultOutputSwitch sw(m_control.get(), CDefaultOutputState());
    EXPECT_EQ(sw.SwitchToVirtual(), -1);
    EXPECT_EQ(ServerDefault(), "speakers");
    EXPECT_FALSE(Exists(m_statePath));
}

// The real control, except that unmuting fails (the server refuses it or
// stops answering in the middle of the switch).
class UnmuteFails : public capdev::ISinkControl {
public:
    explicit UnmuteFails(capdev::ISinkControl* real) : m_real(real) {}
    int DefaultSink(std::string* name) override { return m_real->DefaultSink(name); }
    int ListSinks(std::vector<capdev::PlaybackDevice>* sinks) override { return m_real->ListSinks(sinks); }
    int SetDefaultSink(const std::string& name) override { return m_real->SetDefaultSink(name); }
    int SetSinkMute(const std::string&, bool) override { return PA_ERR_TIMEOUT; }

private:
    capdev::ISinkControl* m_real;
};

TEST_F(DefaultOutputTest, FailedUnmuteLeavesTheSpeakersTheDefault) {
    LoadTavra();
    UnmuteFails control(m_control.get());
    CDefaultOutputSwitch sw(&control, CDefaultOutputState());
    EXPECT_EQ(sw.SwitchToVirtual(), -PA_ERR_TIMEOUT);
    EXPECT_EQ(ServerDefault(), "speakers");
    EXPECT_FALSE(Exists(m_statePath));
}

TEST_F(DefaultOutputTest, NextRunRepairsWhatACrashedRunLeft) {
    LoadTavra();
    {
        CDefaultOutputSwitch crashed(m_control.get(), CDefaultOutputState());
        ASSERT_EQ(crashed.SwitchToVirtual(), 0);
    }  // no Restore: the run ended without switching back
    ASSERT_EQ(ServerDefault(), "tavra_audio");
    ASSERT_TRUE(Exists(m_statePath));

    auto fresh = capdev::CreatePulseSinkControl();
    CDefaultOutputSwitch next(fresh.get(), CDefaultOutputState());
    ASSERT_EQ(next.RepairAfterCrash(), 0);
    EXPECT_EQ(ServerDefault(), "speakers");
    EXPECT_FALSE(Exists(m_statePath));
}

TEST_F(DefaultOutputTest, RepairLeavesADefaultTheUserChose) {
    LoadTavra();
    ASSERT_EQ(m_pulse.pactl("load-module module-null-sink sink_name=headphones "
                            "sink_properties=device.description=Headphones"),
              0);
    CDefaultOutputSwitch crashed(m_control.get(), CDefaultOutputState());
    ASSERT_EQ(crashed.SwitchToVirtual(), 0);
    ASSERT_EQ(m_pulse.pactl("set-default-sink headphones"), 0);

    CDefaultOutputSwitch next(m_control.get(), CDefaultOutputState());
    EXPECT_EQ(next.RepairAfterCrash(), 0);
    EXPECT_EQ(ServerDefault(), "headphones");
    EXPECT_FALSE(Exists(m_statePath));

    // A state file without a device name is no instruction.
    std::ofstream(m_statePath) << "garbage\n";
    EXPECT_EQ(next.RepairAfterCrash(), 0);
    EXPECT_EQ(ServerDefault(), "headphones");
}

TEST_F(DefaultOutputTest, RepairFallsBackToTheFirstOtherDeviceWhenTheRememberedOneIsGone) {
    LoadTavra();
    ASSERT_EQ(m_pulse.pactl("load-module module-null-sink sink_name=usb_a "
                            "sink_properties=device.description=USB"),
              0);
    ASSERT_EQ(m_pulse.pactl("set-default-sink usb_a"), 0);
    {
        CDefaultOutputSwitch crashed(m_control.get(), CDefaultOutputState());
        ASSERT_EQ(crashed.SwitchToVirtual(), 0);
    }
    ASSERT_EQ(graphtest::UnloadSink(m_pulse, "usb_a"), 0);
    ASSERT_EQ(m_pulse.pactl("set-default-sink tavra_audio"), 0);

    CDefaultOutputSwitch next(m_control.get(), CDefaultOutputState());
    RememberedOutput restored;
    ASSERT_EQ(next.RepairAfterCrash(&restored), 0);
    EXPECT_EQ(restored.name, "speakers");
    EXPECT_EQ(ServerDefault(), "speakers");
    EXPECT_FALSE(Exists(m_statePath));
    // Nothing left to do: a second repair changes nothing and names nothing.
    RememberedOutput none;
    EXPECT_EQ(next.RepairAfterCrash(&none), 0);
    EXPECT_EQ(none.name, "");
}

TEST_F(DefaultOutputTest, RestoreFallsBackToTheFirstOtherDeviceWhenTheRememberedOneIsGone) {
    LoadTavra();
    ASSERT_EQ(m_pulse.pactl("load-module module-null-sink sink_name=usb_a "
                            "sink_properties=device.description=USB"),
              0);
    ASSERT_EQ(m_pulse.pactl("set-default-sink usb_a"), 0);
    CDefaultOutputSwitch sw(m_control.get(), CDefaultOutputState());
    ASSERT_EQ(sw.SwitchToVirtual(), 0);
    ASSERT_EQ(graphtest::UnloadSink(m_pulse, "usb_a"), 0);

    // Unplugged while recording: at the end some real device must play.
    EXPECT_EQ(sw.Restore(), 0);
    EXPECT_EQ(ServerDefault(), "speakers");
    EXPECT_FALSE(Exists(m_statePath));
}

TEST_F(DefaultOutputTest, RestoreFindsAReloadedDeviceByItsDescription) {
    LoadTavra();
    CDefaultOutputSwitch sw(m_control.get(), CDefaultOutputState());
    ASSERT_EQ(m_pulse.pactl("load-module module-null-sink sink_name=usb_a "
                            "sink_properties=device.description=USB"),
              0);
    ASSERT_EQ(m_pulse.pactl("set-default-sink usb_a"), 0);
    ASSERT_EQ(sw.SwitchToVirtual(), 0);
    // The device comes back under another name, as after re-plugging.
    ASSERT_EQ(graphtest::UnloadSink(m_pulse, "usb_a"), 0);
    ASSERT_EQ(m_pulse.pactl("load-module module-null-sink sink_name=usb_b "
                            "sink_properties=device.description=USB"),
              0);
    ASSERT_EQ(sw.Restore(), 0);
    EXPECT_EQ(ServerDefault(), "usb_b");
}

TEST(DefaultOutputNoServer, FailsWithoutTouchingTheStateFile) {
    const char* saved = std::getenv("PULSE_SERVER");
    const std::string previous = saved != nullptr ? saved : "";
    const std::string dead = std::string("unix:") + std::getenv("HOME") + "/no-server/native";
    ::setenv("PULSE_SERVER", dead.c_str(), 1);
    auto control = capdev::CreatePulseSinkControl();
    std::string name;
    const int readResult = control->DefaultSink(&name);
    CDefaultOutputSwitch sw(control.get(), CDefaultOutputState());
    const int switchResult = sw.SwitchToVirtual();
    if (saved != nullptr) {
        ::setenv("PULSE_SERVER", previous.c_str(), 1);
    } else {
        ::unsetenv("PULSE_SERVER");
    }
    EXPECT_GT(readResult, 0);
    EXPECT_LT(switchResult, 0);
    EXPECT_FALSE(Exists(CDefaultOutputState::DefaultPath()));
}

}  // namespace

namespace {

// The device part and the moved streams share one file: saving, clearing
// and a switch and restore of the default keep the other part as it was,
// and the file goes only when both are empty.
TEST_F(DefaultOutputTest, TheStateFileKeepsTheDeviceAndTheMovedStreamsApart) {
    LoadTavra();
    const CDefaultOutputState state;
    capdev::MovedStream vlc;
    vlc.index = 42;
    vlc.origin = "speakers";
    vlc.name = "VLC media player";
    vlc.binary = "vlc";
    vlc.id = "org.videolan.VLC";
    vlc.role = "video";
    capdev::MovedStream broken = vlc;
    broken.name = "two\tfields";
    ASSERT_TRUE(state.SaveStreams({vlc, broken}));

    CDefaultOutputSwitch sw(m_control.get(), state);
    ASSERT_EQ(sw.SwitchToVirtual(), 0);
    RememberedOutput saved;
    ASSERT_TRUE(state.Load(&saved));
    EXPECT_EQ(saved.name, "speakers");
    std::vector<capdev::MovedStream> streams = state.LoadStreams();
    ASSERT_EQ(streams.size(), 1u);  // the one with a tab in a text is left out
    EXPECT_EQ(streams[0].index, 42u);
    EXPECT_EQ(streams[0].origin, "speakers");
    EXPECT_EQ(streams[0].name, "VLC media player");
    EXPECT_EQ(streams[0].binary, "vlc");
    EXPECT_EQ(streams[0].id, "org.videolan.VLC");
    EXPECT_EQ(streams[0].role, "video");

    ASSERT_EQ(sw.Restore(), 0);
    EXPECT_FALSE(state.Load(&saved));
    EXPECT_EQ(state.LoadStreams().size(), 1u);
    ASSERT_TRUE(state.SaveStreams({}));
    EXPECT_FALSE(Exists(m_statePath));
}

}  // namespace
