#pragma once

// One owner per FFmpeg handle, so that every exit path frees what it made.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
}

#include <memory>

namespace medcore {

struct FormatCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecFreer {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct ResamplerFreer {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
struct PacketFreer {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameFreer {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};

using FormatPtr = std::unique_ptr<AVFormatContext, FormatCloser>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFreer>;
using ResamplerPtr = std::unique_ptr<SwrContext, ResamplerFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;

// Owns the content of an AVChannelLayout (custom layouts allocate a map).
class ChannelLayout {
public:
    ChannelLayout() = default;
    ~ChannelLayout() { av_channel_layout_uninit(&m_layout); }
    ChannelLayout(const ChannelLayout&) = delete;
    ChannelLayout& operator=(const ChannelLayout&) = delete;

    // A copy of `other`; a layout without a known order becomes the default
    // one for its channel count. False when out of memory.
    bool CopyFrom(const AVChannelLayout& other) {
        av_channel_layout_uninit(&m_layout);
        if (other.order == AV_CHANNEL_ORDER_UNSPEC || other.nb_channels <= 0) {
            av_channel_layout_default(&m_layout, other.nb_channels > 0 ? other.nb_channels : 2);
            return true;
        }
        return av_channel_layout_copy(&m_layout, &other) == 0;
    }
    // An exact copy, unknown order included (to compare later frames with).
    bool CopyExactly(const AVChannelLayout& other) {
        av_channel_layout_uninit(&m_layout);
        return av_channel_layout_copy(&m_layout, &other) == 0;
    }
    void SetDefault(int channels) {
        av_channel_layout_uninit(&m_layout);
        av_channel_layout_default(&m_layout, channels);
    }
    const AVChannelLayout* get() const { return &m_layout; }
    // For the FFmpeg calls that take a non-const pointer without writing.
    AVChannelLayout* get() { return &m_layout; }
    int channels() const { return m_layout.nb_channels; }

private:
    AVChannelLayout m_layout{};
};

}  // namespace medcore
