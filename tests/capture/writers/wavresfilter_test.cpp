// CWavresFilter and the avbridge entry points it stands on.
#include "writers/wavresfilter.h"

#include <gtest/gtest.h>

#include <cstring>

#include "avbridge.h"
#include "pcmtest.h"

namespace {

using capdev::CWavresFilter;

// Feeds `seconds` of a tone in 40 ms blocks and returns all the output.
std::vector<int16_t> convert(CWavresFilter& f, double hz, int fromRate, int fromChannels, int toChannels,
                             double seconds) {
    std::vector<int16_t> all;
    const size_t blockFrames = static_cast<size_t>(fromRate) / 25;
    for (size_t b = 0; b < static_cast<size_t>(seconds * 25); ++b) {
        const auto in = pcmtest::sine(hz, fromRate, fromChannels, blockFrames, 12000, b * blockFrames);
        void* out = nullptr;
        unsigned outBytes = 0;
        EXPECT_EQ(f.process(in.data(), static_cast<unsigned>(in.size() * 2), &out, &outBytes), 0);
        EXPECT_EQ(outBytes % (2u * toChannels), 0u);
        const auto* p = static_cast<const int16_t*>(out);
        all.insert(all.end(), p, p + outBytes / 2);
    }
    return all;
}

TEST(WavresFilterTest, NeededBytesFollowTheIntegerRule) {
    CWavresFilter f(48000, 2, 44100, 2);
    ASSERT_TRUE(f.isOpen());
    EXPECT_EQ(f.neededBytes(17640), 20224u);  // 4410 frames
    CWavresFilter down(22050, 1, 44100, 2);
    EXPECT_EQ(down.neededBytes(7056), 2u * (1764u * 22050 / 44100 * 1) + 1024);
}

TEST(WavresFilterTest, ToneKeepsItsFrequencyAndLength) {
    struct Case {
        int from, fromCh, to, toCh;
    } cases[] = {{44100, 2, 48000, 2}, {48000, 2, 44100, 2}, {32000, 1, 44100, 2}};
    for (const Case& c : cases) {
        CWavresFilter f(c.to, c.toCh, c.from, c.fromCh);
        ASSERT_TRUE(f.isOpen());
        const auto out = convert(f, 1000, c.from, c.fromCh, c.toCh, 2.0);
        const size_t frames = out.size() / c.toCh;
        // All but the filter's delay comes out.
        EXPECT_NEAR(static_cast<double>(frames), 2.0 * c.to, 0.01 * c.to) << c.from << "->" << c.to;
        // Skip the start-up of the filter, then measure.
        const size_t skip = static_cast<size_t>(c.to) / 10;
        for (int ch = 0; ch < c.toCh; ++ch) {
            EXPECT_NEAR(pcmtest::frequency(out.data() + skip * c.toCh, frames - skip, c.toCh, c.to, ch), 1000.0,
                        2.0)
                << c.from << "->" << c.to << " channel " << ch;
        }
        EXPECT_GT(pcmtest::peak(out.data() + skip * c.toCh, (frames - skip) * c.toCh), 6000);
        f.releaseBuffer();
        void* p = nullptr;
        unsigned n = 0;
        const auto more = pcmtest::sine(1000, c.from, c.fromCh, 441);
        EXPECT_EQ(f.process(more.data(), static_cast<unsigned>(more.size() * 2), &p, &n), 0);
        EXPECT_NE(p, nullptr);
    }
}

TEST(WavresFilterTest, AResamplerThatDidNotOpenGivesMinusTwo) {
    CWavresFilter f(48000, 2, 0, 2);
    EXPECT_FALSE(f.isOpen());
    int16_t in[4] = {};
    void* out = nullptr;
    unsigned n = 0;
    EXPECT_EQ(f.process(in, sizeof in, &out, &n), -2);
}

TEST(AvbridgeTest, OpenRefusesWhatItCannotConvert) {
    EXPECT_EQ(avbridge_resample_open(2, 2, 48000, 44100, 2, 1, 16, 10, 0, 0.8), nullptr);  // not S16
    EXPECT_EQ(avbridge_resample_open(0, 2, 48000, 44100, 1, 1, 16, 10, 0, 0.8), nullptr);
    EXPECT_EQ(avbridge_resample_open(2, 2, 48000, -1, 1, 1, 16, 10, 0, 0.8), nullptr);
    EXPECT_EQ(avbridge_resample_open(2, 2, 48000, 44100, 1, 1, 16, 10, 0, 0.0), nullptr);
    EXPECT_EQ(avbridge_resample(nullptr, nullptr, nullptr, 1), -1);
    avbridge_resample_close(nullptr);
    avbridge_free(nullptr);
    EXPECT_EQ(avbridge_malloc(0), nullptr);
}

// The output must stay inside the size the callers allocate, also for tiny
// blocks where the filter's carried-over delay is large compared to the block.
TEST(AvbridgeTest, NeverWritesPastTheAgreedSize) {
    for (int frames : {1, 7, 64, 1764}) {
        AvbridgeResampler* r = avbridge_resample_open(2, 1, 48000, 8000, 1, 1, 16, 10, 0, 0.8);
        ASSERT_NE(r, nullptr);
        const size_t agreed = 2 * (static_cast<size_t>(frames) * 48000 / 8000 * 2) + 1024;
        std::vector<unsigned char> out(agreed + 4096, 0xA5);
        long total = 0;
        for (int i = 0; i < 50; ++i) {
            const auto in = pcmtest::sine(300, 8000, 1, static_cast<size_t>(frames), 12000,
                                          static_cast<size_t>(i * frames));
            const int n = avbridge_resample(r, reinterpret_cast<short*>(out.data()), in.data(), frames);
            ASSERT_GE(n, 0);
            EXPECT_LE(static_cast<size_t>(n) * 4, agreed);
            for (size_t k = agreed; k < out.size(); ++k) ASSERT_EQ(out[k], 0xA5) << "frames " << frames;
            total += n;
        }
        // Nothing is lost either: the output keeps pace with the input.
        EXPECT_NEAR(static_cast<double>(total), 50.0 * frames * 6, 64.0 + 0.02 * 50 * frames * 6)
            << "frames " << frames;
        avbridge_resample_close(r);
    }
}

}  // namespace
