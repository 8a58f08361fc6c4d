// Track following through the exports, with an injected input and a clock
// the test moves with the audio: announcements early and late cut at the
// true boundaries of gapless tones, silence splitting stays as it was, and
// the calls refuse what they must.

#include <gtest/gtest.h>

#include <cmath>

#include "../writers/pcmtest.h"
#include "capdev.h"
#include "enginefakes.h"
#include "follow/boundaryfinder.h"

using namespace enginetest;

namespace {

constexpr int kRate = 44100;
constexpr int64_t kBaseUs = 5000000000;  // the clock when the recording starts
constexpr int64_t kLatencyUs = 30000;     // least delay from capture to arrival

// A block arrives kLatencyUs after its last frame was captured, plus up to
// 20 ms of jitter that repeats every seven blocks.
int64_t ArrivalUs(uint64_t frames, unsigned block) {
    return kBaseUs + int64_t(frames) * 1000000 / kRate + kLatencyUs + int64_t(block % 7) * 3000;
}

// Gapless tones of these pitches, `seconds` each.
std::vector<int16_t> Tracks(const std::vector<double>& pitches, double seconds) {
    std::vector<int16_t> pcm;
    for (double hz : pitches)
        Append(pcm, Tone(seconds, kRate, hz, 9000));
    return pcm;
}

double Seconds(const MemoryFileRecord& f) { return double(f.data.size()) / 4 / kRate; }

double Pitch(const MemoryFileRecord& f, double atSeconds) {
    const auto* pcm = reinterpret_cast<const int16_t*>(f.data.data());
    const size_t first = size_t(atSeconds * kRate);
    return pcmtest::frequency(pcm + first * 2, kRate / 4, 2, kRate);
}

// 1.5 s of `before` then 1.5 s of `after` (sines of these pitches and peaks;
// a peak of 0 is silence), each starting at phase 0 as a new track does.
std::vector<int16_t> Change(double hzBefore, int peakBefore, double hzAfter, int peakAfter) {
    std::vector<int16_t> pcm = pcmtest::sine(hzBefore, kRate, 2, kRate * 3 / 2, peakBefore);
    Append(pcm, pcmtest::sine(hzAfter, kRate, 2, kRate * 3 / 2, peakAfter));
    return pcm;
}

TEST(BoundaryFinderTest, FindsChangesOfPitchLevelAndSoundWithinTwoMillisecondsWhereverTheyLie) {
    struct Case {
        double hzBefore;
        int peakBefore;
        double hzAfter;
        int peakAfter;
    };
    // Neighbouring pitches a fifth of an octave apart, a 12 dB step, sound
    // starting and stopping.
    const Case cases[] = {{227, 9000, 278, 9000}, {278, 9000, 339, 9000}, {521, 9000, 646, 9000},
                          {646, 9000, 778, 9000}, {440, 3000, 440, 12000}, {440, 9000, 0, 0},
                          {0, 0, 440, 9000}};
    capdev::CBoundaryFinder finder(kRate);
    const uint64_t truth = kRate * 3 / 2;
    for (const Case& c : cases) {
        const std::vector<int16_t> pcm = Change(c.hzBefore, c.peakBefore, c.hzAfter, c.peakAfter);
        // The change early, in the middle and late in the candidates.
        for (const int64_t shift : {-25000, -6000, 0, 9000, 25000}) {
            const uint64_t from = truth + shift - 30000;
            const capdev::BoundaryResult r = finder.Find(pcm.data(), pcm.size() / 2, from, from + 60000);
            EXPECT_TRUE(r.found) << c.hzBefore << " to " << c.hzAfter << " shift " << shift;
            EXPECT_NEAR(double(truth), double(r.frame), kRate / 500.0)
                << c.hzBefore << " to " << c.hzAfter << " shift " << shift;
        }
    }
    // One sound throughout: nothing to find.
    const std::vector<int16_t> steady = Change(440, 9000, 440, 9000);
    EXPECT_FALSE(finder.Find(steady.data(), steady.size() / 2, 40000, 90000).found);
}

class TrackFollowTest : public ::testing::Test {
protected:
    void* Handle() { return rig.recorder.get(); }

    // Feeds `pcm` in 40 ms blocks, moving the clock with it. Each mark
    // {sent, at} is given once the clock passes `sent`, announcing a change
    // at `at` (window 1500 ms), as the program would on its own thread.
    void FeedAnnouncing(const std::vector<int16_t>& pcm, std::vector<std::pair<int64_t, int64_t>> marks) {
        unsigned block = 0;
        rig.beforeDeliver = [&](uint64_t frames) {
            rig.nowUs = ArrivalUs(frames, block++);
            while (!marks.empty() && marks.front().first <= rig.nowUs) {
                EXPECT_EQ(0, AudioDevMarkTrackChange(Handle(), marks.front().second, 1500));
                marks.erase(marks.begin());
            }
        };
        rig.Feed(pcm);
        rig.beforeDeliver = nullptr;
    }

    // Where a boundary at `seconds` of the stream is heard (in the clock's
    // terms), moved by `offsetMs`: what a player's announcement says.
    static int64_t Announced(double seconds, int offsetMs) {
        return kBaseUs + int64_t(seconds * 1e6) + kLatencyUs + offsetMs * 1000;
    }

    Rig rig;
};

TEST_F(TrackFollowTest, EarlyAndLateAnnouncementsCutGaplessTonesAtTheTrueBoundariesOnce) {
    ASSERT_EQ(0, AudioDevSetTrackFollow(Handle(), 3000));
    ASSERT_EQ(0, rig.Start(3000));
    const int64_t early = Announced(4.0, -300);
    const int64_t again = Announced(4.0, -100);  // the same change announced twice
    const int64_t late = Announced(8.0, 400);
    FeedAnnouncing(Tracks({278, 339, 414}, 4.0), {{early, early}, {again, again}, {late, late}});
    ASSERT_EQ(0, rig.Stop());

    const auto files = rig.files->Main();
    ASSERT_EQ(3u, files.size());
    double boundary = 0;
    const double pitches[] = {278, 339, 414};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(files[i].closed);
        EXPECT_NEAR(pitches[i], Pitch(files[i], 1.5), 5) << "file " << i;
        boundary += Seconds(files[i]);
        // Every boundary within 10 ms of the truth (the aim is 50 ms; tones
        // this clean give a few); nothing lost at the end.
        EXPECT_NEAR(4.0 * double(i + 1), boundary, 0.01) << "boundary " << i;
    }
    EXPECT_NEAR(12.0, boundary, 1e-6);
    EXPECT_EQ(3, rig.events.Count(FileClosed));
    EXPECT_EQ(3, rig.events.Count(SilenceState, 1));
    EXPECT_EQ(3, rig.events.Count(FileBegun));
    EXPECT_EQ(0, rig.events.Count(SilenceState, 0));
    EXPECT_TRUE(rig.events.HasLog("from the announcement"));
    EXPECT_TRUE(rig.events.HasLog("mark dropped: no change since the last cut"));
}

TEST_F(TrackFollowTest, SilenceSplittingIsUnchangedAndAPauseShorterThanTheSplitTimeDoesNotCut) {
    // A pause of one second inside a song, then a gap of three: two songs.
    std::vector<int16_t> pcm = Tone(2.0, kRate, 440);
    Append(pcm, Silence(1.0, kRate));
    Append(pcm, Tone(2.0, kRate, 550));
    Append(pcm, Silence(3.0, kRate));
    Append(pcm, Tone(2.0, kRate, 660));

    const auto record = [&pcm](int holdMs) {
        Rig r;
        EXPECT_EQ(0, AudioDevSetTrackFollow(r.recorder.get(), holdMs));
        EXPECT_EQ(0, r.Start(2000, 0, 1));
        r.Feed(pcm);
        r.Stop();
        std::vector<Event> events;
        for (const Event& e : r.events.All())
            if (e.code != AudioData && e.code != LogLine)
                events.push_back(e);
        return std::make_pair(r.files->Main(), events);
    };
    const auto plain = record(0);
    const auto followed = record(3000);
    ASSERT_EQ(2u, plain.first.size());
    ASSERT_EQ(plain.first.size(), followed.first.size());
    for (size_t i = 0; i < plain.first.size(); ++i)
        EXPECT_TRUE(plain.first[i].data == followed.first[i].data) << "file " << i;
    // The pause is left out of the first song, not cut.
    EXPECT_NEAR(4.0, Seconds(followed.first[0]), 0.05);
    ASSERT_EQ(plain.second.size(), followed.second.size());
    for (size_t i = 0; i < plain.second.size(); ++i) {
        EXPECT_EQ(plain.second[i].code, followed.second[i].code) << "event " << i;
        EXPECT_EQ(plain.second[i].value, followed.second[i].value) << "event " << i;
    }
}

TEST_F(TrackFollowTest, MarksOutsideTheHeldAudioAndAtStopAreHandled) {
    // Hold of one second. The change at 6 s is announced three seconds after
    // it arrived, when its window has been written; a last mark comes 0.2 s
    // before the stop, its window reaching past the end of the audio.
    ASSERT_EQ(0, AudioDevSetTrackFollow(Handle(), 1000));
    ASSERT_EQ(0, rig.Start(0));
    const int64_t last = Announced(11.8, 0);
    FeedAnnouncing(Tracks({440, 660}, 6.0), {{Announced(9.0, 0), Announced(6.0, 0)}, {last, last}});
    ASSERT_EQ(0, rig.Stop());

    const auto files = rig.files->Main();
    ASSERT_EQ(3u, files.size());
    // Cut as near the announcement as the hold still allowed: after the
    // window (7.5 s), no later than the hold's oldest audio at 9 - 1 s.
    EXPECT_GT(Seconds(files[0]), 7.2);
    EXPECT_LE(Seconds(files[0]), 8.05);
    // The steady tone around the last mark shows no change: the cut falls
    // on the announcement, and the stop writes everything after it.
    EXPECT_NEAR(0.2, Seconds(files[2]), 0.005);
    EXPECT_NEAR(12.0, Seconds(files[0]) + Seconds(files[1]) + Seconds(files[2]), 1e-6);
    EXPECT_TRUE(rig.events.HasLog("cut at the announcement"));
}

TEST_F(TrackFollowTest, CallsRefuseWhatTheyMust) {
    EXPECT_EQ(AUDIODEV_ERR_PARAM, AudioDevSetTrackFollow(nullptr, 3000));
    EXPECT_EQ(AUDIODEV_ERR_PARAM, AudioDevMarkTrackChange(nullptr, 0, 1500));
    EXPECT_EQ(AUDIODEV_ERR_PARAM, AudioDevSetTrackFollow(Handle(), 499));
    EXPECT_EQ(AUDIODEV_ERR_PARAM, AudioDevSetTrackFollow(Handle(), 30001));
    EXPECT_EQ(AUDIODEV_ERR_NOT_FOLLOWING, AudioDevMarkTrackChange(Handle(), 0, 1500));

    // Following off: marks are refused while recording.
    ASSERT_EQ(0, rig.Start(0));
    EXPECT_EQ(AUDIODEV_ERR_NOT_FOLLOWING, AudioDevMarkTrackChange(Handle(), rig.nowUs.load(), 1500));
    EXPECT_EQ(AUDIODEV_ERR_RUNNING, AudioDevSetTrackFollow(Handle(), 3000));
    rig.Stop();

    ASSERT_EQ(0, AudioDevSetTrackFollow(Handle(), 3000));
    rig.nowUs = kBaseUs;
    ASSERT_EQ(0, rig.Start(0));
    EXPECT_EQ(AUDIODEV_ERR_PARAM, AudioDevMarkTrackChange(Handle(), kBaseUs, 5001));
    EXPECT_EQ(AUDIODEV_ERR_PARAM, AudioDevMarkTrackChange(Handle(), kBaseUs, -1));
    EXPECT_EQ(AUDIODEV_ERR_PARAM, AudioDevMarkTrackChange(Handle(), kBaseUs + 61000000, 1500));
    EXPECT_EQ(0, AudioDevMarkTrackChange(Handle(), kBaseUs, 0));
    rig.Stop();
    // Stopped: nothing follows any more, and nothing was recorded to cut.
    EXPECT_EQ(AUDIODEV_ERR_NOT_FOLLOWING, AudioDevMarkTrackChange(Handle(), kBaseUs, 1500));
    EXPECT_TRUE(rig.files->Main().empty());
    EXPECT_TRUE(rig.events.HasLog("mark dropped"));
}

}  // namespace
