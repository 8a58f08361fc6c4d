// The monitor's volume arithmetic and the capture path's hand-over to the
// recorder, without a sound server.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "graph/dsrender.h"
#include "graph/volumefilter.h"

namespace {

using capdev::CDSRender;
using capdev::CVolumeFilter;
using capdev::WaveFormat;

std::vector<int16_t> Scaled(std::vector<int16_t> samples, unsigned volume) {
    CVolumeFilter filter(volume);
    const WaveFormat format = capdev::Pcm16Format(44100, 2);
    EXPECT_EQ(filter.CheckInputType(&format, sizeof format), 0);
    filter.Transform(samples.data(), static_cast<unsigned>(samples.size() * 2));
    return samples;
}

TEST(VolumeFilter, ScalesClipsAndRoundsTowardsMinusInfinity) {
    const std::vector<int16_t> in{20000, -20000, 1001, -1001, 32767, -32768, 0, -1};
    EXPECT_EQ(Scaled(in, 100), in);
    EXPECT_EQ(Scaled(in, 0), std::vector<int16_t>(in.size(), 0));
    EXPECT_EQ(Scaled(in, 200),
              (std::vector<int16_t>{32767, -32768, 2002, -2002, 32767, -32768, 0, -2}));
    EXPECT_EQ(Scaled(in, 150),
              (std::vector<int16_t>{30000, -30000, 1501, -1502, 32767, -32768, 0, -2}));
    EXPECT_EQ(Scaled(in, 50),
              (std::vector<int16_t>{10000, -10000, 500, -501, 16383, -16384, 0, -1}));
    // 199 % gives factor 509: just under full doubling, still clipped.
    EXPECT_EQ(Scaled({20000, -20000, 100}, 199), (std::vector<int16_t>{32767, -32768, 198}));
    // Out of range: left as it is.
    EXPECT_EQ(Scaled(in, 201), in);
}

TEST(VolumeFilter, LeavesOtherSampleSizesAndOddBytesAlone) {
    CVolumeFilter filter(50);
    WaveFormat eight = capdev::Pcm16Format(8000, 1);
    eight.bitsPerSample = 8;
    ASSERT_EQ(filter.CheckInputType(&eight, sizeof eight), 0);
    std::vector<uint8_t> bytes{200, 100, 50};
    filter.Transform(bytes.data(), 3);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{200, 100, 50}));

    // A trailing odd byte is not half a sample to scale.
    const WaveFormat pcm16 = capdev::Pcm16Format(8000, 1);
    ASSERT_EQ(filter.CheckInputType(&pcm16, sizeof pcm16), 0);
    std::vector<uint8_t> odd{0x10, 0x27, 0x7f};  // 10000, then a stray byte
    filter.Transform(odd.data(), 3);
    int16_t first;
    std::memcpy(&first, odd.data(), 2);
    EXPECT_EQ(first, 5000);
    EXPECT_EQ(odd[2], 0x7f);

    // Silence at 0 % covers every byte, whatever the sample size.
    filter.SetVolume(0);
    filter.Transform(odd.data(), 3);
    EXPECT_EQ(odd, (std::vector<uint8_t>{0, 0, 0}));
}

TEST(VolumeFilter, RefusesShortAndNonPcmFormats) {
    CVolumeFilter filter;
    WaveFormat format = capdev::Pcm16Format(48000, 2);
    EXPECT_EQ(filter.CheckInputType(&format, 17), capdev::kTypeNotAccepted);
    format.formatTag = 3;  // floating point
    EXPECT_EQ(filter.CheckInputType(&format, sizeof format), capdev::kTypeNotAccepted);
    EXPECT_EQ(filter.CheckInputType(nullptr, 18), capdev::kTypeNotAccepted);
    format.formatTag = 1;
    EXPECT_EQ(filter.CheckInputType(&format, sizeof format), 0);
    EXPECT_EQ(filter.format().samplesPerSec, 48000u);
}

// What a recorder would see of the capture path.
struct SinkRecord {
    std::vector<std::string> events;  // "format 44100/2", "data 8", "log ..."
    void* owner = nullptr;

    static void Sink(int event, const void* data, unsigned bytes, void* owner) {
        auto* me = static_cast<SinkRecord*>(owner);
        if (event == capdev::kLineOutFormat) {
            ASSERT_EQ(bytes, 18u);
            WaveFormat f;
            std::memcpy(&f, data, sizeof f);
            me->events.push_back("format " + std::to_string(f.samplesPerSec) + "/" +
                                 std::to_string(f.channels) + "/" + std::to_string(f.bitsPerSample));
        } else if (event == capdev::kLineOutData) {
            me->events.push_back("data " + std::to_string(bytes));
        } else {
            me->events.push_back(std::string("log ") + static_cast<const char*>(data));
        }
    }
};

TEST(DSRender, AnnouncesTheFormatBeforeDataAndAgainOnResume) {
    SinkRecord first;
    CDSRender render(&SinkRecord::Sink, &first);
    const int16_t block[4] = {1, 2, 3, 4};
    render.Receive(block, sizeof block);  // no format yet: nothing to hand over

    WaveFormat bad = capdev::Pcm16Format(44100, 2);
    bad.bitsPerSample = 32;
    EXPECT_EQ(render.CheckMediaType(&bad, sizeof bad), capdev::kTypeNotAccepted);
    EXPECT_EQ(render.CheckMediaType(&bad, 10), capdev::kTypeNotAccepted);
    const WaveFormat good = capdev::Pcm16Format(44100, 2);
    ASSERT_EQ(render.CheckMediaType(&good, sizeof good), 0);
    render.Receive(block, sizeof block);
    render.Receive(nullptr, 8);

    render.Pause(true);
    render.Receive(block, sizeof block);  // discarded while paused
    render.Pause(true);
    render.Pause(false);
    render.Pause(false);  // not paused: no second announcement
    render.Receive(block, sizeof block);
    EXPECT_EQ(first.events, (std::vector<std::string>{"format 44100/2/16", "data 8",
                                                      "format 44100/2/16", "data 8"}));

    // The next recording may belong to another recorder: it gets the format
    // before its first block, and the old one gets nothing more.
    render.Pause(true);
    SinkRecord second;
    render.Resume(&SinkRecord::Sink, &second);
    render.Receive(block, 4);
    render.Log("line");
    EXPECT_EQ(second.events, (std::vector<std::string>{"format 44100/2/16", "data 4", "log line"}));
    EXPECT_EQ(first.events.size(), 4u);
    EXPECT_EQ(render.owner(), &second);
}

}  // namespace
