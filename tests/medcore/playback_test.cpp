// Playing through the exports into a private PulseAudio daemon: what is
// played is recorded from the "Speakers" monitor and compared with the
// source; pause, play, seek and volume are heard there too.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "medcore.h"
#include "mediatest.h"
#include "privatehome.h"
#include "pulsedaemon.h"
#include "waitfor.h"

namespace {

using namespace medtest;
using std::chrono::milliseconds;
using testsupport::WaitFor;

// The time-coded segments heard so far, in windows of 100 ms.
std::vector<int> HeardSegments(const CMonitorRecorder& monitor) { return Segments(monitor.Heard(), kRate, 100); }
// Whether the last segment heard is at least `k`.
bool HeardUpTo(const CMonitorRecorder& monitor, int k) {
    const std::vector<int> heard = HeardSegments(monitor);
    return !heard.empty() && heard.back() >= k;
}
// Whether the last 100 ms heard are at most `level` loud.
bool QuietNow(const CMonitorRecorder& monitor, double level) {
    const std::vector<int16_t> heard = monitor.Heard();
    return heard.size() > size_t(kRate / 10) && Rms(heard, heard.size() - kRate / 10, kRate / 10) <= level;
}

// The progress reports of one player.
class CReports {
public:
    static int Callback(int position, int state, void* user) {
        auto* me = static_cast<CReports*>(user);
        int destroy = 1;
        if (me->m_tryDestroy) destroy = WM_DestroyPlay();  // must refuse: it runs on the player's thread
        std::lock_guard<std::mutex> lock(me->m_mutex);
        if (me->m_tryDestroy) me->m_destroyResult = destroy;
        me->m_tryDestroy = false;
        me->m_reports.push_back({position, state});
        me->m_changed.notify_all();
        return state;
    }
    // Waits until a report with state 3 or 4 arrived; returns it, or 0.
    int WaitForEnd(milliseconds timeout) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait_for(lock, timeout, [this] { return EndLocked() != 0; });
        return EndLocked();
    }
    std::vector<std::pair<int, int>> Reports() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_reports;
    }
    int LastPosition() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_reports.empty() ? -1 : m_reports.back().first;
    }
    void TryDestroyOnce() { m_tryDestroy = true; }
    int DestroyResult() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_destroyResult;
    }

private:
    int EndLocked() const {
        for (const auto& r : m_reports)
            if (r.second == WM_STATE_ENDED || r.second == WM_STATE_FAILED) return r.second;
        return 0;
    }
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::pair<int, int>> m_reports;
    std::atomic<bool> m_tryDestroy{false};
    int m_destroyResult = 1;
};

class MedcorePlayback : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_daemon = new testsupport::PulseDaemon;
        s_silence = new CSilentStream;
        s_dir = new std::string(testsupport::makeTempDir("medcore-play"));
        const std::string& d = *s_dir;
        ASSERT_TRUE(WriteWav(d + "/short.wav", TimeCodedPcm(2.0, kRate, 2), kRate, 2));
        ASSERT_TRUE(WriteWav(d + "/ten.wav", TimeCodedPcm(10.0, kRate, 2), kRate, 2));
        ASSERT_TRUE(Lame(d + "/short.wav", d + "/short.mp3", "-b 192"));
    }
    static void TearDownTestSuite() {
        WM_Destroy();
        delete s_silence;
        delete s_daemon;
        testsupport::removeTree(*s_dir);
        delete s_dir;
    }
    void SetUp() override {
        ASSERT_TRUE(s_daemon->ok()) << s_daemon->error();
        ASSERT_TRUE(s_silence->ok());
        WM_Create("Tunecap");
        WM_ChangeVolume(100);
    }
    void TearDown() override {
        EXPECT_EQ(WM_OK, WM_DestroyPlay());
        if (m_handle > 0) {
            EXPECT_EQ(WM_OK, WM_DeleteFile(m_handle));
        }
    }

    static std::string Path(const char* name) { return *s_dir + "/" + name; }
    // Adds the file and creates its player (paused at 0).
    void Load(const std::string& path) {
        m_handle = WM_AddFile(path.c_str());
        ASSERT_GT(m_handle, 0) << path;
        ASSERT_EQ(WM_OK, WM_CreatePlay(m_handle, &CReports::Callback, &m_reports));
    }

    static testsupport::PulseDaemon* s_daemon;
    static CSilentStream* s_silence;
    static std::string* s_dir;
    CMonitorRecorder m_monitor{*s_dir};
    CReports m_reports;
    int m_handle = -1;
};
testsupport::PulseDaemon* MedcorePlayback::s_daemon = nullptr;
CSilentStream* MedcorePlayback::s_silence = nullptr;
std::string* MedcorePlayback::s_dir = nullptr;

TEST_F(MedcorePlayback, WavAndMp3ReachTheSpeakersAsTheyAre) {
    const std::vector<int16_t> source = FirstChannel(TimeCodedPcm(2.0, kRate, 2), 2);
    for (const char* name : {"short.wav", "short.mp3"}) {
        SCOPED_TRACE(name);
        CReports reports;
        const int h = WM_AddFile(Path(name).c_str());
        ASSERT_GT(h, 0);
        ASSERT_EQ(WM_OK, WM_CreatePlay(h, &CReports::Callback, &reports));
        ASSERT_TRUE(m_monitor.Start());
        reports.TryDestroyOnce();
        ASSERT_EQ(WM_OK, WM_Play());
        EXPECT_EQ(WM_STATE_ENDED, reports.WaitForEnd(milliseconds(8000)));
        // What the server still held plays out.
        WaitFor([&] { return HeardUpTo(m_monitor, 3) && QuietNow(m_monitor, 200); });
        const std::vector<int16_t> heard = m_monitor.Stop();
        EXPECT_EQ(WM_ERR_STATE, reports.DestroyResult());

        // The same waveform, compared sample by sample.
        EXPECT_GT(MatchInRecording(heard, source, kRate), 0.95);
        const std::vector<int> segments = Segments(heard, kRate, 100);
        ASSERT_FALSE(segments.empty());
        EXPECT_EQ(0, segments.front());
        EXPECT_EQ(3, segments.back());
        EXPECT_NEAR(20.0, double(segments.size()), 2.0);  // 2 s in windows of 100 ms
        // Progress: playing reports with rising positions, then the end, last.
        const auto r = reports.Reports();
        ASSERT_GE(r.size(), 4u);
        EXPECT_EQ(std::make_pair(10000, int(WM_STATE_ENDED)), r.back());
        for (size_t i = 1; i + 1 < r.size(); ++i) {
            EXPECT_EQ(WM_STATE_PLAYING, r[i].second);
            EXPECT_GE(r[i].first, r[i - 1].first);
        }
        // Played out, the same player starts again from the beginning.
        ASSERT_TRUE(m_monitor.Start());
        ASSERT_EQ(WM_OK, WM_Play());
        WaitFor([&] { return HeardSegments(m_monitor).size() >= 3; });
        const std::vector<int> again = Segments(m_monitor.Stop(), kRate, 100);
        ASSERT_FALSE(again.empty());
        EXPECT_EQ(0, again.front());
        EXPECT_EQ(WM_OK, WM_DestroyPlay());
        const size_t count = reports.Reports().size();
        WaitFor([&] { return reports.Reports().size() != count; }, milliseconds(300));
        EXPECT_EQ(count, reports.Reports().size());  // silent once destroyed
        EXPECT_EQ(WM_OK, WM_DeleteFile(h));
    }
}

TEST_F(MedcorePlayback, PauseStopsTheSoundAndPlayResumesWhereItStopped) {
    Load(Path("ten.wav"));
    ASSERT_TRUE(m_monitor.Start());
    ASSERT_EQ(WM_OK, WM_Play());
    ASSERT_TRUE(WaitFor([&] { return HeardUpTo(m_monitor, 2); }));
    ASSERT_EQ(WM_OK, WM_Pause());
    const std::vector<int> before = Segments(m_monitor.Stop(), kRate, 100);
    ASSERT_FALSE(before.empty());
    const int pausedAt = m_reports.LastPosition();
    EXPECT_EQ(WM_STATE_PAUSED, m_reports.Reports().back().second);

    ASSERT_TRUE(m_monitor.Start());
    ASSERT_TRUE(m_monitor.Listen(0.8));
    const std::vector<int16_t> paused = m_monitor.Stop();
    EXPECT_LT(Rms(paused, 0, paused.size()), 200.0) << "sound while paused";
    EXPECT_EQ(pausedAt, m_reports.LastPosition());  // no progress while paused

    ASSERT_TRUE(m_monitor.Start());
    ASSERT_EQ(WM_OK, WM_Play());
    WaitFor([&] { return HeardSegments(m_monitor).size() >= 3; });
    const std::vector<int> after = Segments(m_monitor.Stop(), kRate, 100);
    ASSERT_FALSE(after.empty());
    // It goes on from the last segment heard, not from where the clock
    // would be without the pause.
    EXPECT_LE(std::abs(after.front() - before.back()), 1);
    // The reported position (ten-thousandths of 10 s, so milliseconds) lies
    // in the last segment heard.
    EXPECT_NEAR(double(pausedAt), before.back() * 500 + 250, 400);
}

TEST_F(MedcorePlayback, SeekToTheMiddleLandsInTheMiddle) {
    Load(Path("ten.wav"));
    ASSERT_TRUE(m_monitor.Start());
    ASSERT_EQ(WM_OK, WM_Play());
    ASSERT_TRUE(WaitFor([&] { return HeardUpTo(m_monitor, 1); }));
    ASSERT_EQ(WM_OK, WM_SeekTo(5000));
    WaitFor([&] { return HeardUpTo(m_monitor, 11); });
    const std::vector<int> heard = Segments(m_monitor.Stop(), kRate, 100);
    // The start, then from 5.0 s on (segment 10), and nothing between.
    const auto jump = std::find(heard.begin(), heard.end(), 10);
    ASSERT_NE(heard.end(), jump);
    for (auto it = heard.begin(); it != jump; ++it) EXPECT_LE(*it, 2);
    for (auto it = jump; it != heard.end(); ++it) EXPECT_GE(*it, 10);
    EXPECT_GE(m_reports.LastPosition(), 5000);
    EXPECT_LT(m_reports.LastPosition(), 7000);

    // While paused a seek moves the position and the sound starts there.
    ASSERT_EQ(WM_OK, WM_Pause());
    ASSERT_EQ(WM_OK, WM_SeekTo(2000));
    WaitFor([&] { return m_reports.LastPosition() == 2000; });
    EXPECT_EQ(2000, m_reports.LastPosition());
    ASSERT_TRUE(m_monitor.Start());
    ASSERT_EQ(WM_OK, WM_Play());
    WaitFor([&] { return HeardSegments(m_monitor).size() >= 2; });
    const std::vector<int> resumed = Segments(m_monitor.Stop(), kRate, 100);
    ASSERT_FALSE(resumed.empty());
    EXPECT_EQ(4, resumed.front());  // 2.0 s
}

TEST_F(MedcorePlayback, VolumeFiftyLowersTheLevelAndStays) {
    const double full = Rms(FirstChannel(TimeCodedPcm(1.0, kRate, 2), 2), 0, kRate);
    Load(Path("ten.wav"));
    ASSERT_TRUE(m_monitor.Start());
    ASSERT_EQ(WM_OK, WM_Play());
    // Playing for longer than the silence before it: the second half is loud.
    WaitFor([&] {
        const size_t loudWindows = HeardSegments(m_monitor).size();
        return loudWindows >= 5 && loudWindows * 2 > m_monitor.Heard().size() / (kRate / 10) + 2;
    });
    const std::vector<int16_t> loud = m_monitor.Stop();
    ASSERT_EQ(WM_OK, WM_ChangeVolume(50));
    ASSERT_TRUE(m_monitor.Start());
    // What was buffered at full volume plays out first.
    ASSERT_TRUE(WaitFor([&] { return QuietNow(m_monitor, full / 4); }));
    ASSERT_TRUE(m_monitor.Start());
    ASSERT_TRUE(m_monitor.Listen(0.5));
    const std::vector<int16_t> quiet = m_monitor.Stop();
    ASSERT_GT(quiet.size(), size_t(kRate / 10));
    EXPECT_NEAR(full, Rms(loud, loud.size() / 2, loud.size() / 2), full * 0.05);
    // The mixers' loudness scale: 50 is an eighth of the amplitude.
    EXPECT_NEAR(full / 8, Rms(quiet, quiet.size() / 4, quiet.size() / 2), full * 0.03);

    // The next player keeps the volume.
    ASSERT_EQ(WM_OK, WM_DestroyPlay());
    ASSERT_EQ(WM_OK, WM_CreatePlay(m_handle, &CReports::Callback, &m_reports));
    ASSERT_TRUE(m_monitor.Start());
    ASSERT_EQ(WM_OK, WM_Play());
    WaitFor([&] {
        const std::vector<int16_t> h = m_monitor.Heard();
        return h.size() > size_t(kRate / 2) && Rms(h, h.size() / 2, h.size() / 4) > full / 16;
    });
    const std::vector<int16_t> next = m_monitor.Stop();
    ASSERT_GT(next.size(), size_t(kRate / 4));
    EXPECT_NEAR(full / 8, Rms(next, next.size() / 2, next.size() / 4), full * 0.03);
}

TEST_F(MedcorePlayback, AFileDeletedWhilePlayingEndsCleanly) {
    // Removed: what is open plays out to its end, as any open file on Linux.
    const std::string removed = Path("removed.wav");
    ASSERT_TRUE(WriteWav(removed, TimeCodedPcm(1.5, kRate, 2), kRate, 2));
    Load(removed);
    ASSERT_EQ(WM_OK, WM_Play());
    ASSERT_TRUE(WaitFor([&] { return m_reports.LastPosition() > 0; }));
    ASSERT_EQ(0, unlink(removed.c_str()));
    EXPECT_EQ(WM_STATE_ENDED, m_reports.WaitForEnd(milliseconds(6000)));
    EXPECT_EQ(WM_OK, WM_DestroyPlay());
    EXPECT_EQ(WM_OK, WM_DeleteFile(m_handle));
    m_handle = -1;
    EXPECT_LT(WM_AddFile(removed.c_str()), 0);

    // Cut short in place: the player ends early, once, and says so last.
    const std::string cut = Path("cut.wav");
    ASSERT_TRUE(WriteWav(cut, TimeCodedPcm(10.0, kRate, 2), kRate, 2));
    CReports reports;
    m_handle = WM_AddFile(cut.c_str());
    ASSERT_GT(m_handle, 0);
    ASSERT_EQ(WM_OK, WM_CreatePlay(m_handle, &CReports::Callback, &reports));
    ASSERT_EQ(WM_OK, WM_Play());
    ASSERT_TRUE(WaitFor([&] { return reports.LastPosition() > 0; }));
    ASSERT_EQ(0, truncate(cut.c_str(), 44));
    const auto cutAt = std::chrono::steady_clock::now();
    const int end = reports.WaitForEnd(milliseconds(6000));
    EXPECT_TRUE(end == WM_STATE_ENDED || end == WM_STATE_FAILED) << end;
    EXPECT_LT(std::chrono::steady_clock::now() - cutAt, milliseconds(3000));
    const size_t count = reports.Reports().size();
    WaitFor([&] { return reports.Reports().size() != count; }, milliseconds(300));  // nothing after the end
    const auto r = reports.Reports();
    ASSERT_FALSE(r.empty());
    EXPECT_EQ(end, r.back().second);
    EXPECT_EQ(1, std::count_if(r.begin(), r.end(), [](const std::pair<int, int>& p) {
                  return p.second == WM_STATE_ENDED || p.second == WM_STATE_FAILED;
              }));
    EXPECT_EQ(WM_OK, WM_Play());  // harmless after the end
    EXPECT_EQ(WM_OK, WM_SeekTo(100));
    EXPECT_EQ(WM_OK, WM_DestroyPlay());  // before `reports` goes
}

TEST_F(MedcorePlayback, ASoundServerThatGoesAwayEndsPlaybackAsFailed) {
    // A server of its own (PULSE_SERVER points at it until it stops).
    testsupport::PulseDaemon doomed;
    ASSERT_TRUE(doomed.ok()) << doomed.error();
    Load(Path("ten.wav"));
    ASSERT_EQ(WM_OK, WM_Play());
    ASSERT_TRUE(WaitFor([&] { return m_reports.LastPosition() > 0; }));
    doomed.stop();
    EXPECT_EQ(WM_STATE_FAILED, m_reports.WaitForEnd(milliseconds(5000)));
    EXPECT_EQ(WM_OK, WM_Play());  // nothing to resume, no harm
    EXPECT_EQ(WM_OK, WM_DestroyPlay());
    // The next player uses the server that is there.
    ASSERT_EQ(WM_OK, WM_CreatePlay(m_handle, &CReports::Callback, &m_reports));
}

}  // namespace
