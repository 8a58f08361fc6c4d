// The live spectrum: the byte ring between the engine thread and the
// analysis, the transform's output layout, the analysis passes that move the
// bars, and the bars as painted, checked pixel by pixel.
#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <random>
#include <thread>
#include <vector>

#include "recording/fftrealwrapper.h"
#include "recording/myaudiobuffer.h"
#include "recording/spectrumfeed.h"
#include "recording/wavethread.h"
#include "recording/wavfile_widget.h"
#include "uiapp.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kFrames = CWaveThread::kFrames;

// Interleaved 16-bit stereo: a sine on each channel that completes exactly
// `bin` periods per 2048 frames (0 amplitude gives silence). start is the
// index of the first frame, so that consecutive blocks join smoothly.
QByteArray Stereo(int frames, int leftBin, double leftAmp, int rightBin, double rightAmp,
                  int start = 0) {
    QByteArray bytes(frames * 4, '\0');
    for (int i = 0; i < frames; ++i) {
        const double t = 2.0 * kPi * double(start + i) / kFrames;
        const auto left = int16_t(std::lround(leftAmp * 32767.0 * std::sin(leftBin * t)));
        const auto right = int16_t(std::lround(rightAmp * 32767.0 * std::sin(rightBin * t)));
        std::memcpy(bytes.data() + i * 4, &left, 2);
        std::memcpy(bytes.data() + i * 4 + 2, &right, 2);
    }
    return bytes;
}

QByteArray Silence(int frames) {
    return QByteArray(frames * 4, '\0');
}

std::string ReadText(CMyAudioBuffer& buffer, int m) {
    std::string out(std::size_t(m), '?');
    EXPECT_EQ(buffer.Read(m, out.data()), 0);
    return out;
}

// ---------------------------------------------------------------- buffer

TEST(AudioBufferTest, PushTakesWhatFitsAndRefusesWhenFull) {
    CMyAudioBuffer buffer(10);
    EXPECT_EQ(buffer.Push(6, "abcdef"), 6);
    EXPECT_EQ(buffer.Push(6, "ghijkl"), 4);
    EXPECT_EQ(buffer.Count(), 10);
    EXPECT_EQ(buffer.Push(1, "m"), -1);
    EXPECT_EQ(buffer.Push(-1, "m"), -1);
    EXPECT_EQ(ReadText(buffer, 10), "abcdefghij");
    EXPECT_EQ(buffer.Count(), 0);
}

TEST(AudioBufferTest, ReadGivesTheNewestBytesCompletedWithOlderOnes) {
    CMyAudioBuffer buffer(16);
    char out[32] = {};
    EXPECT_EQ(buffer.Read(4, out), -1) << "nothing held";
    buffer.Push(8, "ABCDEFGH");
    EXPECT_EQ(buffer.Read(17, out), 1) << "more than the capacity";
    // Without a step a read drops what it returned and everything older.
    EXPECT_EQ(ReadText(buffer, 4), "EFGH");
    EXPECT_EQ(buffer.Count(), 0);
    // Two new bytes: the window starts with the two already shown.
    buffer.Push(2, "IJ");
    EXPECT_EQ(ReadText(buffer, 4), "GHIJ");
}

TEST(AudioBufferTest, ALateWriterSeesTheLastWindowRepeatedForAWhile) {
    CMyAudioBuffer buffer(16);
    buffer.Push(6, "abcdef");
    EXPECT_EQ(ReadText(buffer, 4), "cdef");
    for (int i = 0; i < CMyAudioBuffer::kMaxRepeats; ++i)
        EXPECT_EQ(ReadText(buffer, 4), "cdef") << "repeat " << i;
    char out[4];
    EXPECT_EQ(buffer.Read(4, out), -1) << "the writer stopped";
    // New audio starts the allowance again; Clear() ends it at once.
    buffer.Push(2, "gh");
    EXPECT_EQ(ReadText(buffer, 4), "efgh");
    EXPECT_EQ(ReadText(buffer, 4), "efgh");
    buffer.Clear();
    EXPECT_EQ(buffer.Read(4, out), -1);
}

TEST(AudioBufferTest, StepDropsFromTheFrontAndWrapsAroundTheEnd) {
    CMyAudioBuffer buffer(8);
    buffer.SetStep(3);
    buffer.SetStep(0);
    buffer.SetStep(-4);
    EXPECT_EQ(buffer.Step(), 3) << "steps of 0 or less are ignored";
    buffer.Push(6, "012345");
    EXPECT_EQ(ReadText(buffer, 4), "2345");
    EXPECT_EQ(buffer.Count(), 1) << "4 newest kept, step 3 dropped";
    // Written across the end of the ring: positions 6, 7, 0, 1.
    EXPECT_EQ(buffer.Push(4, "abcd"), 4);
    EXPECT_EQ(buffer.Count(), 5);
    EXPECT_EQ(ReadText(buffer, 4), "abcd");
    EXPECT_EQ(buffer.Count(), 1);
    buffer.Push(1, "e");
    EXPECT_EQ(ReadText(buffer, 4), "bcde") << "two held, two older ones before them";
    buffer.Clear();
    EXPECT_EQ(buffer.Count(), 0);
    char out[4];
    EXPECT_EQ(buffer.Read(4, out), -1);
}

// ---------------------------------------------------------------- transform

TEST(FFTRealWrapperTest, OutputLayoutMatchesADirectTransform) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    std::vector<float> in(FFTRealWrapper::kLength);
    for (float& v : in) v = value(random);
    std::vector<float> out(FFTRealWrapper::kLength, 0.0f);
    FFTRealWrapper fft;
    fft.calculateFFT(out.data(), in.data());

    const int n = FFTRealWrapper::kLength;
    const int half = n / 2;
    for (int bin : {0, 1, 2, 100, 511, 1023, 1024}) {
        double re = 0.0;
        double im = 0.0;
        for (int i = 0; i < n; ++i) {
            const double angle = 2.0 * kPi * double(bin) * double(i) / n;
            re += in[std::size_t(i)] * std::cos(angle);
            im += in[std::size_t(i)] * std::sin(angle);
        }
        EXPECT_NEAR(out[std::size_t(bin)], re, 0.01) << "real part of bin " << bin;
        if (bin > 0 && bin < half) {
            EXPECT_NEAR(out[std::size_t(half + bin)], im, 0.01) << "imaginary part of bin " << bin;
            EXPECT_NEAR(FFTRealWrapper::Magnitude(out.data(), bin), std::hypot(re, im), 0.01);
        }
    }
}

// ---------------------------------------------------------------- analysis

class SpectrumTest : public testing::Test {
protected:
    void SetUp() override {
        uitest::App();
        m_feed = std::make_unique<CSpectrumFeed>();
        m_widget = std::make_unique<wavfile_widget>(m_feed.get());
        // Passes run when the test says so.
        m_feed->Timer()->stop();
        m_widget->resize(410, 60);
        m_feed->Activate();
        m_feed->SetStep(8820);
    }

    // Hands block to the feed as the engine does and runs one pass, on the
    // analysis thread.
    void Pass(const QByteArray& block) {
        if (!block.isEmpty()) {
            EXPECT_EQ(m_feed->PushAudio(block), block.size());
        }
        m_feed->ProgramWaveData();
        ASSERT_TRUE(m_feed->Thread()->wait(5000));
    }

    // Colour of row `row` of bar `bar` as painted now (one paint).
    QRgb Row(const QImage& image, int bar, int row) const {
        const int pitch = (image.width() - 10) / 40;
        const int x = 5 + 10 * (bar / 20) + bar * pitch;
        return image.pixel(x, image.height() / 2 + 18 - 2 * row) & 0xFFFFFF;
    }
    QImage Grab() { return m_widget->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    static constexpr QRgb kLit = 0x766f35;
    static constexpr QRgb kEmpty = 0xd1cd94;
    std::unique_ptr<CSpectrumFeed> m_feed;
    std::unique_ptr<wavfile_widget> m_widget;
};

TEST_F(SpectrumTest, FullScaleSineDrivesItsBandToTheTopOneSegmentPerPass) {
    // Left: bin 100, band 4 (bar 4). Right: bin 300, band 12 (bar 39 - 12).
    const QByteArray tone = Stereo(kFrames, 100, 1.0, 300, 1.0);
    QSignalSpy drawn(m_feed->Thread(), &CWaveThread::SendDraw);
    Pass(tone);
    EXPECT_EQ(drawn.count(), 1);
    auto levels = m_feed->Levels();
    EXPECT_EQ(levels[4], 1);
    EXPECT_EQ(levels[27], 1);
    for (int i = 2; i < 18; ++i) Pass(tone);
    levels = m_feed->Levels();
    EXPECT_EQ(levels[4], 17);
    Pass(tone);
    Pass(tone);
    levels = m_feed->Levels();
    for (int bar = 0; bar < 40; ++bar) {
        const int expected = (bar == 4 || bar == 27) ? 18 : 0;
        EXPECT_EQ(levels[std::size_t(bar)], expected) << "bar " << bar;
    }

    // Silence: every bar sinks one segment per pass.
    for (int expected = 17; expected >= 0; --expected) {
        Pass(Silence(kFrames));
        levels = m_feed->Levels();
        ASSERT_EQ(levels[4], expected);
        ASSERT_EQ(levels[27], expected);
    }
    EXPECT_EQ(drawn.count(), 37);
}

TEST_F(SpectrumTest, ShortOrLateBlocksKeepTheBarsAndAClearedBufferDropsThem) {
    const QByteArray tone = Stereo(kFrames, 60, 1.0, 60, 1.0);
    for (int i = 0; i < 5; ++i) Pass(tone);
    EXPECT_EQ(m_feed->Levels()[2], 5);
    // Half a window: the rest comes from audio already shown.
    Pass(Stereo(kFrames / 2, 60, 1.0, 60, 1.0));
    EXPECT_EQ(m_feed->Levels()[2], 6);
    EXPECT_EQ(m_feed->Levels()[37], 6);
    // A block that is late: the pass looks at the last window again.
    Pass(QByteArray());
    EXPECT_EQ(m_feed->Levels()[2], 7);
    // The engine reported a silent block: nothing buffered, every bar drops
    // at once.
    m_feed->Clear();
    Pass(QByteArray());
    for (int level : m_feed->Levels()) EXPECT_EQ(level, 0);
    // A feed that stopped: after a few repeats the bars drop as well.
    Pass(tone);
    for (int i = 0; i < CMyAudioBuffer::kMaxRepeats; ++i) Pass(QByteArray());
    EXPECT_EQ(m_feed->Levels()[2], 1 + CMyAudioBuffer::kMaxRepeats);
    Pass(QByteArray());
    EXPECT_EQ(m_feed->Levels()[2], 0);
}

TEST_F(SpectrumTest, InactiveMonitorTakesNoAudioAndDeactivateClearsTheBars) {
    const QByteArray tone = Stereo(kFrames, 100, 1.0, 100, 1.0);
    Pass(tone);
    Pass(tone);
    EXPECT_EQ(m_feed->Levels()[4], 2);
    m_feed->Deactivate();
    EXPECT_FALSE(m_feed->IsActive());
    for (int level : m_feed->Levels()) EXPECT_EQ(level, 0);
    EXPECT_EQ(m_feed->PushAudio(tone), 0);
    EXPECT_EQ(m_feed->Thread()->Buffer()->Count(), 0);
    m_feed->ProgramWaveData();
    EXPECT_FALSE(m_feed->Thread()->isRunning()) << "no pass while inactive";
}

TEST_F(SpectrumTest, EngineThreadFeedingWhileTheTimerRunsRaisesTheBand) {
    m_feed->Timer()->start();
    std::atomic<bool> stop{false};
    // 40 ms blocks of 44100 Hz audio, as the engine delivers them.
    std::thread engine([this, &stop] {
        int frame = 0;
        while (!stop.load()) {
            m_feed->PushAudio(Stereo(1764, 200, 1.0, 0, 0.0, frame));
            frame += 1764;
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
        }
    });
    const bool top = QTest::qWaitFor([this] { return m_feed->Levels()[8] == 18; }, 8000);
    stop = true;
    engine.join();
    m_feed->Timer()->stop();
    m_feed->Thread()->wait();
    EXPECT_TRUE(top) << "bar 8 reached " << m_feed->Levels()[8];
    EXPECT_EQ(m_feed->Levels()[31], 0) << "the right channel was silent";
}

// ---------------------------------------------------------------- painting

TEST_F(SpectrumTest, BarsOfA410PixelWidgetStandWhereTheyShould) {
    m_feed->Deactivate();
    const QImage image = Grab();
    ASSERT_EQ(image.width(), 410);
    const int y = image.height() / 2 + 18;
    // Pitch 10: bars 9 pixels wide, the halves 10 pixels apart.
    const struct {
        int bar;
        int x;
    } starts[] = {{0, 5}, {1, 15}, {19, 195}, {20, 215}, {39, 405}};
    for (const auto& s : starts) {
        EXPECT_EQ(image.pixel(s.x, y) & 0xFFFFFF, kEmpty) << "bar " << s.bar;
        EXPECT_NE(image.pixel(s.x - 1, y) & 0xFFFFFF, kEmpty) << "left of bar " << s.bar;
        // Bar 39 runs past the right edge of a 410-pixel widget.
        if (s.x + 9 < image.width()) {
            EXPECT_EQ(image.pixel(s.x + 8, y) & 0xFFFFFF, kEmpty) << "last pixel of bar " << s.bar;
            EXPECT_NE(image.pixel(s.x + 9, y) & 0xFFFFFF, kEmpty) << "right of bar " << s.bar;
        }
    }
    EXPECT_NE(image.pixel(210, y) & 0xFFFFFF, kEmpty) << "gap between the halves";
    // 18 one-pixel rows, two pixels apart.
    for (int row = 0; row < 18; ++row) {
        EXPECT_EQ(image.pixel(5, y - 2 * row) & 0xFFFFFF, kEmpty) << "row " << row;
        EXPECT_NE(image.pixel(5, y - 2 * row - 1) & 0xFFFFFF, kEmpty) << "between rows " << row;
    }
    EXPECT_NE(image.pixel(5, y - 36) & 0xFFFFFF, kEmpty) << "no 19th row";
}

TEST_F(SpectrumTest, PeakMarkerStaysForTenDrawingsThenDrops) {
    // About 1/133 of full scale in bin 100: |X| 7.7, band target 5.
    const QByteArray quiet = Stereo(kFrames, 100, 0.0075, 0, 0.0);
    for (int level = 1; level <= 5; ++level) {
        Pass(quiet);
        ASSERT_EQ(m_feed->Levels()[4], level);
        const QImage image = Grab();
        for (int row = 0; row < 18; ++row)
            EXPECT_EQ(Row(image, 4, row), row <= level ? kLit : kEmpty)
                << "level " << level << " row " << row;
    }
    // The level sinks to 0 while the marker stays on row 5: drawings 2 to 6.
    for (int level = 4; level >= 0; --level) {
        Pass(Silence(kFrames));
        ASSERT_EQ(m_feed->Levels()[4], level);
        const QImage image = Grab();
        EXPECT_EQ(Row(image, 4, 5), kLit) << "marker at level " << level;
        for (int row = 0; row < level; ++row) EXPECT_EQ(Row(image, 4, row), kLit);
        for (int row = level; row < 18; ++row) {
            if (row != 5) {
                EXPECT_EQ(Row(image, 4, row), kEmpty) << "level " << level << " row " << row;
            }
        }
    }
    // Drawings 7 to 10.
    for (int drawing = 7; drawing <= 10; ++drawing)
        EXPECT_EQ(Row(Grab(), 4, 5), kLit) << "drawing " << drawing;
    // Dropped: the marker now rests on the bottom row.
    const QImage dropped = Grab();
    EXPECT_EQ(Row(dropped, 4, 5), kEmpty);
    EXPECT_EQ(Row(dropped, 4, 0), kLit);

    // Without the monitor no marker is drawn at all.
    m_feed->Deactivate();
    const QImage inactive = Grab();
    for (int row = 0; row < 18; ++row) EXPECT_EQ(Row(inactive, 4, row), kEmpty);
}

TEST_F(SpectrumTest, OuterBarsNeverStandAboveTheirNeighbours) {
    // Band 0 only, on both channels: bars 0 and 39 rise, bars 1 and 38 not.
    const QByteArray low = Stereo(kFrames, 10, 1.0, 10, 1.0);
    for (int i = 0; i < 3; ++i) Pass(low);
    EXPECT_EQ(m_feed->Levels()[0], 3);
    EXPECT_EQ(m_feed->Levels()[39], 3);
    const QImage image = Grab();
    for (int row = 0; row < 18; ++row) {
        EXPECT_NE(Row(image, 0, row), kLit) << "bar 0 row " << row;
        EXPECT_NE(Row(image, 39, row), kLit) << "bar 39 row " << row;
    }
}

}  // namespace
