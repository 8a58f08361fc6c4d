// WaveInRecorder and the input list against a private PulseAudio daemon.
#include "pulse/waveinrecorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "../writers/pcmtest.h"
#include "privatehome.h"
#include "pulsedaemon.h"
#include "waitfor.h"

namespace {

using namespace std::chrono_literals;
using capdev::WaveInRecorder;
using testsupport::WaitFor;

// What a sink received; filled from the delivery and caller threads.
struct Received {
    std::mutex mutex;
    std::vector<unsigned> blockSizes;  // guarded by mutex
    std::vector<int16_t> pcm;          // guarded by mutex
    std::vector<std::string> logs;     // guarded by mutex
    int lost = 0;                      // guarded by mutex
    int calls = 0;                     // guarded by mutex
    std::atomic<int> stallAtBlock{-1};  // the sink sleeps once, at this block

    static void sink(int code, unsigned bytes, const void* data, void* owner) {
        auto* me = static_cast<Received*>(owner);
        if (code == capdev::kSinkAudio && me->stallAtBlock >= 0 &&
            static_cast<int>(me->blocks()) == me->stallAtBlock) {
            me->stallAtBlock = -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(900));
        }
        std::lock_guard<std::mutex> lock(me->mutex);
        ++me->calls;
        if (code == capdev::kSinkAudio) {
            me->blockSizes.push_back(bytes);
            const auto* p = static_cast<const int16_t*>(data);
            me->pcm.insert(me->pcm.end(), p, p + bytes / 2);
        } else if (code == capdev::kSinkLog) {
            me->logs.emplace_back(static_cast<const char*>(data));
        } else if (code == capdev::kSinkInputLost) {
            ++me->lost;
        }
    }
    size_t blocks() {
        std::lock_guard<std::mutex> lock(mutex);
        return blockSizes.size();
    }
    int lostCount() {
        std::lock_guard<std::mutex> lock(mutex);
        return lost;
    }
    int callCount() {
        std::lock_guard<std::mutex> lock(mutex);
        return calls;
    }
    // A loud stretch has arrived, and 100 ms of quiet after it.
    bool toneEnded() {
        std::lock_guard<std::mutex> lock(mutex);
        size_t last = pcm.size();
        while (last > 0 && std::abs(pcm[last - 1]) < 4000) --last;
        return last > 0 && pcm.size() - last >= 2 * 4410;
    }
};

class WaveInTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_daemon.ok()) << m_daemon.error();
        const auto names = capdev::CreatePulseInputBackend()->ListInputs();
        const auto it = std::find(names.begin(), names.end(), "Monitor of Speakers");
        ASSERT_NE(it, names.end());
        m_monitor = static_cast<unsigned>(it - names.begin());
        m_dir = testsupport::makeTempDir("wavein");
    }
    void TearDown() override { testsupport::removeTree(m_dir); }
    // Plays a 1 kHz tone of `seconds` into "Speakers"; waits for the end
    // unless `background`. The null sink renders (and its monitor delivers)
    // only while something plays. The player keeps 300 ms in the server, so
    // that it does not run dry on a busy machine: a gap in what it plays
    // would look like a lost block.
    void playTone(double seconds, bool background = false, int hz = 1000) {
        const std::string tone = m_dir + "/tone" + std::to_string(seconds) + ".wav";
        ASSERT_EQ(testsupport::runCommand("sox -n -r 44100 -c 2 -b 16 '" + tone + "' synth " +
                                          std::to_string(seconds) + " sine " + std::to_string(hz) + " vol 0.5"),
                  0);
        ASSERT_EQ(m_daemon.shell("paplay --latency-msec=300 --device=speakers '" + tone + "'" + (background ? " >/dev/null 2>&1 &" : "")), 0);
    }
    std::unique_ptr<WaveInRecorder> openMonitor(int rate) {
        auto r = std::make_unique<WaveInRecorder>(rate);
        r->SetSink(&Received::sink, &m_got);
        EXPECT_EQ(r->Open(m_monitor), 0);
        return r;
    }
    int clients() {
        std::string out;
        m_daemon.pactl("list short clients", &out);
        return static_cast<int>(std::count(out.begin(), out.end(), '\n'));
    }

    testsupport::PulseDaemon m_daemon;
    std::string m_dir;
    Received m_got;
    unsigned m_monitor = 0;
};

TEST_F(WaveInTest, InputListHoldsTheSourcesInIndexOrder) {
    const auto names = capdev::CreatePulseInputBackend()->ListInputs();
    std::string out;
    ASSERT_EQ(m_daemon.pactl("list short sources", &out), 0);
    EXPECT_EQ(static_cast<long>(names.size()), std::count(out.begin(), out.end(), '\n'));
    // A second sink adds its monitor after the first one.
    ASSERT_EQ(m_daemon.pactl("load-module module-null-sink sink_name=line "
                             "sink_properties=device.description=Line"),
              0);
    const auto more = capdev::CreatePulseInputBackend()->ListInputs();
    ASSERT_EQ(more.size(), names.size() + 1);
    EXPECT_EQ(more[m_monitor], "Monitor of Speakers");
    EXPECT_EQ(more.back(), "Monitor of Line");
}

TEST_F(WaveInTest, NoServerGivesAnEmptyListAndAPositiveError) {
    m_daemon.stop();
    setenv("PULSE_SERVER", "unix:/nonexistent/native", 1);
    EXPECT_TRUE(capdev::CreatePulseInputBackend()->ListInputs().empty());
    WaveInRecorder r(44100);
    r.SetSink(&Received::sink, &m_got);
    const int err = r.Open(0);
    EXPECT_GT(err, 0);
    EXPECT_EQ(r.Start(), -1);
    std::lock_guard<std::mutex> lock(m_got.mutex);
    ASSERT_FALSE(m_got.logs.empty());
    EXPECT_EQ(m_got.logs[0], "WaveInRecorder::Open waveInOpen device 0 failed, err: " + std::to_string(err));
    unsetenv("PULSE_SERVER");
}

TEST_F(WaveInTest, AToneArrivesInExact40msBlocks) {
    auto r = openMonitor(44100);
    EXPECT_EQ(r->BlockBytes(), 7056u);
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(r->Start(), 0);
    playTone(1.2);
    ASSERT_TRUE(WaitFor([&] { return m_got.toneEnded(); }));
    EXPECT_EQ(r->Close(), 0);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    std::lock_guard<std::mutex> lock(m_got.mutex);
    ASSERT_FALSE(m_got.blockSizes.empty());
    for (unsigned n : m_got.blockSizes) ASSERT_EQ(n, 7056u);
    // 25 blocks a second while the tone plays, never more than real time.
    EXPECT_GE(m_got.blockSizes.size(), 27u);
    EXPECT_LE(static_cast<double>(m_got.blockSizes.size()), seconds * 25 + 3);
    // The tone is in there: find its loud part and measure it.
    const auto& pcm = m_got.pcm;
    size_t first = 0;
    while (first < pcm.size() && std::abs(pcm[first]) < 4000) ++first;
    ASSERT_LT(first + 2 * 44100, pcm.size() + 44100) << "no tone captured";
    const size_t frames = std::min<size_t>((pcm.size() - first) / 2, 44100);
    EXPECT_GT(pcmtest::peak(pcm.data() + first, frames * 2), 12000);
    EXPECT_NEAR(pcmtest::frequency(pcm.data() + first, frames, 2, 44100, 0), 1000.0, 5.0);
    EXPECT_NEAR(pcmtest::frequency(pcm.data() + first, frames, 2, 44100, 1), 1000.0, 5.0);
}

// A sink that stalls for longer than the server buffers (and than 16 blocks)
// loses nothing: the tone comes out whole, without a jump in phase. 997 Hz
// does not fit a whole number of periods into a block, so a lost block would
// show.
TEST_F(WaveInTest, ASlowSinkLosesNoBlock) {
    m_got.stallAtBlock = 2;
    auto r = openMonitor(44100);
    ASSERT_EQ(r->Start(), 0);
    playTone(1.5, false, 997);
    ASSERT_TRUE(WaitFor([&] { return m_got.stallAtBlock < 0; }));
    ASSERT_TRUE(WaitFor([&] { return m_got.toneEnded(); }));
    EXPECT_EQ(r->Close(), 0);

    std::lock_guard<std::mutex> lock(m_got.mutex);
    const auto& pcm = m_got.pcm;
    size_t first = 0, last = pcm.size() / 2;
    while (first < last && std::abs(pcm[first * 2]) < 4000) ++first;
    while (last > first && std::abs(pcm[(last - 1) * 2]) < 4000) --last;
    ASSERT_GT(last - first, 44100u) << "the tone did not arrive whole";
    EXPECT_NEAR(static_cast<double>(last - first), 1.5 * 44100, 44100 * 0.05);
    // Every period between rising zero crossings has the tone's length.
    long prev = -1;
    int crossings = 0;
    for (size_t i = first + 1; i + 1 < last; ++i) {
        if (pcm[(i - 1) * 2] < 0 && pcm[i * 2] >= 0) {
            if (prev >= 0) {
                ASSERT_NEAR(static_cast<double>(static_cast<long>(i) - prev), 44100.0 / 997, 1.5) << i;
            }
            prev = static_cast<long>(i);
            ++crossings;
        }
    }
    EXPECT_GT(crossings, 1400);
}

TEST_F(WaveInTest, LowRatesGiveSmallerBlocksAndCloseEndsTheCalls) {
    auto r = openMonitor(11025);
    EXPECT_EQ(r->BlockBytes(), 1764u);
    ASSERT_EQ(r->Start(), 0);
    playTone(0.6);
    ASSERT_TRUE(WaitFor([&] { return m_got.blocks() >= 12; }));
    EXPECT_EQ(r->Close(), 0);
    const int calls = m_got.callCount();
    WaitFor([&] { return m_got.callCount() != calls; }, 300ms);  // any late call
    EXPECT_EQ(m_got.callCount(), calls);
    std::lock_guard<std::mutex> lock(m_got.mutex);
    for (unsigned n : m_got.blockSizes) ASSERT_EQ(n, 1764u);
    EXPECT_EQ(m_got.lost, 0);
}

TEST_F(WaveInTest, StartBeforeOpenAndDoubleOpenFail) {
    WaveInRecorder r(44100);
    r.SetSink(&Received::sink, &m_got);
    EXPECT_EQ(r.Start(), -1);
    ASSERT_EQ(r.Open(m_monitor), 0);
    EXPECT_EQ(r.Open(m_monitor), -1);
    EXPECT_EQ(r.Close(), 0);
    EXPECT_EQ(r.Close(), 0);
    std::lock_guard<std::mutex> lock(m_got.mutex);
    EXPECT_EQ(m_got.logs, std::vector<std::string>(
                              {"WaveInRecorder::Start Device not Opened. Please open device before attempting to Start",
                               "WaveInRecorder::Open Device Already Opened. Please Stop Recorder before attempting to "
                               "Open"}));
}

TEST_F(WaveInTest, ABadDeviceNumberFailsAndLeavesNothingOpen) {
    const int before = clients();
    WaveInRecorder r(44100);
    r.SetSink(&Received::sink, &m_got);
    EXPECT_EQ(r.Open(99), PA_ERR_NOENTITY);
    EXPECT_EQ(clients(), before);
    EXPECT_EQ(r.Start(), -1);
    {
        std::lock_guard<std::mutex> lock(m_got.mutex);
        ASSERT_GE(m_got.logs.size(), 1u);
        EXPECT_EQ(m_got.logs[0],
                  "WaveInRecorder::Open waveInOpen device 99 failed, err: " + std::to_string(PA_ERR_NOENTITY));
    }
    // The same object opens a real device afterwards.
    EXPECT_EQ(r.Open(m_monitor), 0);
    EXPECT_EQ(clients(), before + 1);
    EXPECT_EQ(r.Close(), 0);
}

// An input chosen from the list is the one opened even when another input
// went away in between and the chosen one moved up the list.
TEST_F(WaveInTest, TheListedInputIsOpenedEvenAfterTheListChanged) {
    std::string gadget;
    ASSERT_EQ(m_daemon.pactl("load-module module-null-sink sink_name=gadget "
                             "sink_properties=device.description=Gadget",
                             &gadget),
              0);
    ASSERT_EQ(m_daemon.pactl("load-module module-null-source source_name=mic "
                             "description=Microphone"),
              0);
    const auto devices = capdev::CreatePulseInputBackend()->ListDevices();
    const auto mic = std::find_if(devices.begin(), devices.end(),
                                  [](const capdev::InputDevice& d) { return d.name == "Microphone"; });
    ASSERT_NE(mic, devices.end());
    EXPECT_EQ(mic->id, "mic");
    const auto number = static_cast<unsigned>(mic - devices.begin());
    ASSERT_EQ(m_daemon.pactl("unload-module " + gadget.substr(0, gadget.find('\n'))), 0);

    // By its old number the list now holds nothing (or something else).
    WaveInRecorder byNumber(44100);
    EXPECT_NE(byNumber.Open(number), 0);
    WaveInRecorder r(44100);
    r.SetSink(&Received::sink, &m_got);
    ASSERT_EQ(r.Open(*mic), 0);
    EXPECT_EQ(m_daemon.recordingSource(), "mic");
    EXPECT_EQ(r.Close(), 0);

    // A source that is gone fails with the server's error; nothing stays open.
    const int before = clients();
    EXPECT_EQ(r.Open(capdev::InputDevice{"Gone", "no_such_source"}), PA_ERR_NOENTITY);
    EXPECT_EQ(clients(), before);
    EXPECT_EQ(r.Start(), -1);
}

TEST_F(WaveInTest, RemovingTheSourceReportsTheLossOnce) {
    auto r = openMonitor(44100);
    ASSERT_EQ(r->Start(), 0);
    playTone(10, true);
    ASSERT_TRUE(WaitFor([&] { return m_got.blocks() >= 5; }));
    ASSERT_EQ(m_daemon.pactl("unload-module module-null-sink"), 0);
    ASSERT_TRUE(WaitFor([&] { return m_got.lostCount() > 0; }));
    WaitFor([&] { return m_got.lostCount() > 1; }, 200ms);  // a second report
    EXPECT_EQ(m_got.lostCount(), 1);
    EXPECT_EQ(r->Close(), 0);
}

TEST_F(WaveInTest, ADyingServerReportsTheLossOnce) {
    auto r = openMonitor(44100);
    ASSERT_EQ(r->Start(), 0);
    playTone(10, true);
    ASSERT_TRUE(WaitFor([&] { return m_got.blocks() >= 5; }));
    m_daemon.stop();
    ASSERT_TRUE(WaitFor([&] { return m_got.lostCount() > 0; }));
    WaitFor([&] { return m_got.lostCount() > 1; }, 200ms);  // a second report
    EXPECT_EQ(m_got.lostCount(), 1);
    r.reset();  // destruction closes
}

}  // namespace
