// Recording one application through the capdev exports, against a private
// PulseAudio and a private PipeWire server with "Tavra Audio" installed and
// two players of different names: only the chosen one's streams go to
// "Tavra Audio" and into the file, the default output never changes, and
// after the stop, or after a killed run and a new engine, every stream plays
// where it did and the server no longer routes the application to "Tavra
// Audio".

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>
#include <sstream>

#include "capdev.h"
#include "engineevents.h"
#include "graphtest.h"
#include "pulsedaemon.h"
#include "waitfor.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
using testsupport::SoundServer;
using Events = graphtest::EngineEvents;
using testsupport::WaitFor;

constexpr int kRate = 44100;

// A client of the server playing in the background until killed.
class Player {
public:
    explicit Player(std::vector<std::string> args) {
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (::posix_spawnp(&m_pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) m_pid = -1;
    }
    ~Player() { Kill(); }
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;
    void Kill() {
        if (m_pid <= 0) return;
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
    pid_t pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
};

// Power of `hz` in the left channel (Goertzel), per sample.
double Power(const std::vector<int16_t>& pcm, double hz) {
    const double k = 2 * std::cos(2 * M_PI * hz / kRate);
    double s1 = 0, s2 = 0;
    const size_t frames = pcm.size() / 2;
    for (size_t i = 0; i < frames; ++i) {
        const double s = pcm[2 * i] + k * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    return (s1 * s1 + s2 * s2 - k * s1 * s2) / double(frames * frames);
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

class ApplicationTest : public ::testing::TestWithParam<SoundServer> {
protected:
    void SetUp() override {
        m_pulse = std::make_unique<testsupport::PulseDaemon>(GetParam());
        ASSERT_TRUE(m_pulse->ok()) << m_pulse->error();
        // Users' servers remember where an application last played; the
        // private PulseAudio server does so only with this module.
        if (GetParam() == SoundServer::PulseAudio) {
            ASSERT_EQ(m_pulse->pactl("load-module module-stream-restore"), 0);
        }
        const std::string installer = std::string(std::getenv("TUNECAP_BIN_DIR")) + "/driver/tavra-audio-install";
        std::string out;
        ASSERT_EQ(m_pulse->shell("'" + installer + "' 2>&1", &out), 0) << out;
        const std::string home = std::getenv("HOME");
        m_folder = home + "/recordings";
        ASSERT_EQ(::system(("mkdir -p '" + m_folder + "'").c_str()), 0);
        m_toneA = home + "/tone-a.wav";
        m_toneA2 = home + "/tone-a2.wav";
        m_toneB = home + "/tone-b.wav";
        graphtest::WriteToneWav(m_toneA, kRate, 30, 12000, 440);
        // Another pitch: two streams of one tone may cancel each other out.
        graphtest::WriteToneWav(m_toneA2, kRate, 30, 12000, 660);
        graphtest::WriteToneWav(m_toneB, kRate, 30, 12000, 1000);
        m_toneplayer = home + "/toneplayer";
        ASSERT_EQ(::system(("cp /usr/bin/pacat '" + m_toneplayer + "'").c_str()), 0);
        const char* state = std::getenv("XDG_STATE_HOME");
        m_statePath = (state ? std::string(state) : home + "/.local/state") + "/Tavra/Tunecap/default-output";
    }
    void TearDown() override {
        if (HasFailure()) {
            std::lock_guard<std::mutex> lock(m_events.mutex);
            for (const std::string& line : m_events.logs) std::printf("%s\n", line.c_str());
        }
        m_pulse.reset();
    }

    // ToneA plays through pacat, ToneB through a copy of it named
    // "toneplayer": two names, two binaries. Both keep 100 ms in the server,
    // as media players do.
    std::unique_ptr<Player> PlayA() { return Play("pacat", "ToneA", m_toneA); }
    // A second stream of the first application, at its own pitch.
    std::unique_ptr<Player> PlayA2() { return Play("pacat", "ToneA", m_toneA2); }
    std::unique_ptr<Player> PlayB() { return Play(m_toneplayer, "ToneB", m_toneB); }
    std::unique_ptr<Player> Play(const std::string& binary, const std::string& name, const std::string& file) {
        return std::make_unique<Player>(std::vector<std::string>{
            binary, "--playback", "--latency-msec=100", "--client-name=" + name, "--file-format=wav", file});
    }

    // The index and sink of each playback stream of application `name`.
    std::vector<std::pair<std::string, std::string>> StreamsOf(const std::string& name) {
        std::string sinks, inputs;
        m_pulse->pactl("list short sinks", &sinks);
        m_pulse->pactl("list sink-inputs", &inputs);
        std::map<std::string, std::string> byIndex;
        std::istringstream s(sinks);
        for (std::string line; std::getline(s, line);) {
            const auto tab = line.find('\t');
            const auto tab2 = line.find('\t', tab + 1);
            if (tab != std::string::npos) byIndex[line.substr(0, tab)] = line.substr(tab + 1, tab2 - tab - 1);
        }
        std::vector<std::pair<std::string, std::string>> found;
        std::string index, sink;
        std::istringstream in(inputs);
        for (std::string line; std::getline(in, line);) {
            const auto at = line.find("Sink: ");
            if (line.rfind("Sink Input #", 0) == 0) index = line.substr(12);
            if (at != std::string::npos && line.find("Sink Input") == std::string::npos) sink = line.substr(at + 6);
            if (line.find("application.name = \"" + name + "\"") != std::string::npos)
                found.emplace_back(index, byIndex[sink]);
        }
        return found;
    }
    std::vector<std::string> SinksOf(const std::string& name) {
        std::vector<std::string> sinks;
        for (const auto& stream : StreamsOf(name)) sinks.push_back(stream.second);
        return sinks;
    }
    bool AllOn(const std::string& name, size_t streams, const std::string& sink) {
        return WaitFor([&] { return SinksOf(name) == std::vector<std::string>(streams, sink); });
    }
    // Moves stream `index` of application `name` to `sink` with pactl, as a
    // user would. pipewire-pulse acknowledges a move before PipeWire has it
    // and can drop it when the client hangs up at once, as pactl does: the
    // move is asked for again until the server shows the stream there.
    bool MoveStream(const std::string& name, const std::string& index, const std::string& sink) {
        return WaitFor([&] {
            return m_pulse->pactl("move-sink-input " + index + " " + sink) == 0 &&
                   WaitFor([&] { return SinksOf(name) == std::vector<std::string>{sink}; }, 1s);
        });
    }
    std::string ServerDefault() {
        std::string out;
        m_pulse->pactl("get-default-sink", &out);
        while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
        return out;
    }
    AudioDevRecordParam Param() {
        AudioDevRecordParam p{};
        p.callback = &Events::Callback;
        p.user = &m_events;
        p.outputFolder = m_folder.c_str();
        p.fileType = 1;
        p.sampleRate = kRate;
        return p;
    }

    std::unique_ptr<testsupport::PulseDaemon> m_pulse;
    std::string m_folder, m_toneA, m_toneA2, m_toneB, m_toneplayer, m_statePath;
    Events m_events;
};

TEST_P(ApplicationTest, OnlyTheChosenApplicationIsMovedAndRecordedAndEverythingComesBack) {
    // Listening from the start: a null sink renders in periods of up to two
    // seconds until a listener asks for less.
    graphtest::SourceTap speakers;
    ASSERT_EQ(speakers.Start("speakers.monitor"), 0);
    auto a = PlayA();
    auto b = PlayB();
    ASSERT_TRUE(AllOn("ToneA", 1, "speakers"));
    ASSERT_TRUE(AllOn("ToneB", 1, "speakers"));
    ASSERT_TRUE(WaitFor([&] { return !speakers.Take().empty(); }));

    void* engine = AudioDevCreate();
    ASSERT_NE(engine, nullptr);
    const int count = AudioDevGetApplicationCount(engine);
    ASSERT_GE(count, 2);
    std::map<std::string, AudioDevApplication> apps;
    for (int i = 0; i < count; ++i) {
        AudioDevApplication app{};
        ASSERT_EQ(AudioDevGetApplication(engine, static_cast<unsigned>(i), &app), 0);
        apps[app.name] = app;
    }
    EXPECT_EQ(AudioDevGetApplication(engine, static_cast<unsigned>(count), &apps["x"]), AUDIODEV_ERR_PARAM);
    EXPECT_STREQ(apps["ToneA"].binary, "pacat");
    EXPECT_EQ(apps["ToneA"].processId, a->pid());
    EXPECT_EQ(apps["ToneA"].streams, 1);
    EXPECT_EQ(apps["ToneA"].playing, 1);
    EXPECT_STREQ(apps["ToneB"].binary, "toneplayer");

    ASSERT_EQ(AudioDevSetApplication(engine, "ToneA"), 0);
    // Another application's stream found on "Tavra Audio" would be recorded:
    // the start sends it to the speakers.
    ASSERT_TRUE(MoveStream("ToneB", StreamsOf("ToneB").at(0).first, "tavra_audio"));
    AudioDevRecordParam param = Param();
    ASSERT_EQ(AudioDevStartRecord(engine, &param), 0);
    EXPECT_EQ(AudioDevSetApplication(engine, ""), AUDIODEV_ERR_RUNNING);

    EXPECT_EQ(ServerDefault(), "speakers");
    EXPECT_EQ(SinksOf("ToneA"), std::vector<std::string>{"tavra_audio"});
    EXPECT_EQ(SinksOf("ToneB"), std::vector<std::string>{"speakers"});
    // The next stream of the application follows; the user hears both
    // players on the speakers, the recorded one through the monitor.
    auto a2 = PlayA2();
    EXPECT_TRUE(AllOn("ToneA", 2, "tavra_audio"));
    speakers.Take();
    ASSERT_TRUE(speakers.Listen(1.5));
    const std::vector<int16_t> heard = speakers.Take();
    ASSERT_GT(heard.size(), size_t(kRate));
    EXPECT_GT(Power(heard, 440), 1e5);
    EXPECT_GT(Power(heard, 660), 1e5);
    EXPECT_GT(Power(heard, 1000), 1e5);
    // One of the application's players exits while it is recorded.
    a->Kill();
    ASSERT_TRUE(AllOn("ToneA", 1, "tavra_audio"));
    EXPECT_TRUE(WaitFor([&] { return m_events.HasLog("stream gone"); }));
    ASSERT_EQ(AudioDevStopRecord(engine), 0);

    EXPECT_EQ(ServerDefault(), "speakers");
    EXPECT_TRUE(AllOn("ToneA", 1, "speakers"));
    EXPECT_EQ(SinksOf("ToneB"), std::vector<std::string>{"speakers"});
    EXPECT_FALSE(Exists(m_statePath));
    const auto closed = m_events.Closed();
    ASSERT_EQ(closed.size(), 1u);
    const graphtest::Wav wav = graphtest::ReadWav(closed[0]);
    ASSERT_GT(wav.pcm.size(), size_t(kRate));
    EXPECT_GT(Power(wav.pcm, 440), 1e5);
    EXPECT_GT(Power(wav.pcm, 660), 1e4) << "the application's second stream";
    EXPECT_LT(Power(wav.pcm, 1000), Power(wav.pcm, 440) / 1000);
    AudioDevDestroy(engine);
    EXPECT_EQ(ServerDefault(), "speakers");
}

TEST_P(ApplicationTest, AnApplicationThatExitsWhileRecordedIsNotLeftRoutedToTavraAudio) {
    auto a = PlayA();
    ASSERT_TRUE(AllOn("ToneA", 1, "speakers"));
    void* engine = AudioDevCreate();
    ASSERT_NE(engine, nullptr);
    ASSERT_EQ(AudioDevSetApplication(engine, "ToneA"), 0);
    AudioDevRecordParam param = Param();
    ASSERT_EQ(AudioDevStartRecord(engine, &param), 0);
    ASSERT_TRUE(AllOn("ToneA", 1, "tavra_audio"));
    a->Kill();
    // Its next stream while recording is recorded too (the server sends it
    // to "Tavra Audio" by itself), and ends as well.
    auto again = PlayA();
    ASSERT_TRUE(AllOn("ToneA", 1, "tavra_audio"));
    again->Kill();
    ASSERT_EQ(AudioDevStopRecord(engine), 0);
    // Nothing was left to move back, yet the server forgot the route: the
    // application's next stream plays on the speakers.
    auto later = PlayA();
    EXPECT_TRUE(AllOn("ToneA", 1, "speakers"));
    EXPECT_FALSE(Exists(m_statePath));
    AudioDevDestroy(engine);
}

TEST_P(ApplicationTest, AKilledRunsStreamsAreGivenBackByTheNextEngine) {
    auto a = PlayA();
    auto b = PlayB();
    ASSERT_TRUE(AllOn("ToneA", 1, "speakers"));
    ASSERT_EQ(graphtest::RunAndKillCrashChild(m_folder, "ToneA"), "recording\n");
    EXPECT_TRUE(AllOn("ToneA", 1, "tavra_audio"));
    EXPECT_EQ(SinksOf("ToneB"), std::vector<std::string>{"speakers"});
    EXPECT_EQ(ServerDefault(), "speakers");
    EXPECT_TRUE(Exists(m_statePath));
    // The server now sends the application's new streams there too.
    auto a2 = PlayA();
    ASSERT_TRUE(AllOn("ToneA", 2, "tavra_audio"));

    void* engine = AudioDevCreate();
    ASSERT_NE(engine, nullptr);
    EXPECT_TRUE(AllOn("ToneA", 2, "speakers"));
    EXPECT_EQ(SinksOf("ToneB"), std::vector<std::string>{"speakers"});
    EXPECT_FALSE(Exists(m_statePath));
    a->Kill();
    a2->Kill();
    auto a3 = PlayA();
    EXPECT_TRUE(AllOn("ToneA", 1, "speakers"));
    // The repair is logged to the first callback the engine gets.
    AudioDevRecordParam param = Param();
    param.inputDeviceName = "Monitor of Speakers";
    ASSERT_EQ(AudioDevStartRecord(engine, &param), 0);
    AudioDevStopRecord(engine);
    EXPECT_TRUE(m_events.HasLog("streams moved back: 2"));
    AudioDevDestroy(engine);
    EXPECT_EQ(ServerDefault(), "speakers");
}

INSTANTIATE_TEST_SUITE_P(Servers, ApplicationTest,
                         ::testing::Values(SoundServer::PulseAudio, SoundServer::PipeWire),
                         [](const ::testing::TestParamInfo<SoundServer>& server) {
                             return server.param == SoundServer::PulseAudio ? "PulseAudio" : "PipeWire";
                         });

}  // namespace
