#include "mediadecoder.h"

#include <algorithm>

#include "common/regularfile.h"
#include "medcore.h"

namespace medcore {
namespace {

// Packets in a row that may fail to decode before the file counts as broken
// (a damaged stretch of an MP3 is skipped, a file of noise is not played).
constexpr int kMaxBadPackets = 200;

}  // namespace

CMediaDecoder::CMediaDecoder() = default;
CMediaDecoder::~CMediaDecoder() = default;

int CMediaDecoder::Open(const std::string& path) {
    // A local regular file only: a FIFO would hold avformat_open_input
    // forever, and FFmpeg's other protocols (http:, concat:, ...) name no
    // file of the library.
    const common::UniqueFd file = common::OpenRegularFile(path.c_str());
    if (!file.valid()) {
        return WM_ERR_OPEN;
    }
    // FFmpeg reopens the very file checked above through its descriptor,
    // whatever the name may point at by now, and opens nothing but files.
    const std::string url = "file:/proc/self/fd/" + std::to_string(file.get());
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    AVFormatContext* raw = nullptr;
    const int opened = avformat_open_input(&raw, url.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (opened < 0) {
        return WM_ERR_OPEN;  // FFmpeg freed the context
    }
    m_format.reset(raw);
    if (avformat_find_stream_info(raw, nullptr) < 0) {
        return WM_ERR_OPEN;
    }
    const AVCodec* codec = nullptr;
    m_stream = av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (m_stream < 0 || codec == nullptr) {
        return WM_ERR_OPEN;
    }
    for (unsigned i = 0; i < raw->nb_streams; ++i) {
        if (static_cast<int>(i) != m_stream) {
            raw->streams[i]->discard = AVDISCARD_ALL;  // cover art, video
        }
    }
    const AVStream* stream = raw->streams[m_stream];
    m_codec.reset(avcodec_alloc_context3(codec));
    m_packet.reset(av_packet_alloc());
    m_frame.reset(av_frame_alloc());
    if (!m_codec || !m_packet || !m_frame) {
        return WM_ERR_RESOURCE;
    }
    if (avcodec_parameters_to_context(m_codec.get(), stream->codecpar) < 0) {
        return WM_ERR_RESOURCE;
    }
    m_codec->pkt_timebase = stream->time_base;
    if (avcodec_open2(m_codec.get(), codec, nullptr) < 0) {
        return WM_ERR_OPEN;
    }
    if (m_codec->sample_rate <= 0 || m_codec->ch_layout.nb_channels <= 0) {
        return WM_ERR_OPEN;
    }
    m_timeBase = stream->time_base;
    m_startPts = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
    return 0;
}

int CMediaDecoder::SetOutput(int rate, int channels) {
    if (!m_codec || rate < 0 || channels < 0 || channels > 2) {
        return WM_ERR_ARGUMENT;
    }
    m_outRate = rate != 0 ? rate : m_codec->sample_rate;
    const int sourceChannels = m_codec->ch_layout.nb_channels;
    m_outLayout.SetDefault(channels != 0 ? channels : std::min(sourceChannels, 2));
    m_resampler.reset();
    m_inFormat = -1;
    return 0;
}

int64_t CMediaDecoder::MeasureDuration() {
    if (!m_format) {
        return -1;
    }
    const AVFormatContext* format = m_format.get();
    if (format->duration_estimation_method != AVFMT_DURATION_FROM_BITRATE &&
        format->duration != AV_NOPTS_VALUE && format->duration > 0) {
        return av_rescale(format->duration, 1000, AV_TIME_BASE);
    }
    // Only a guess from the bit rate: walk the packets (no decoding).
    while (ReadPacket() == 0) {
        av_packet_unref(m_packet.get());
    }
    if (m_endPts != AV_NOPTS_VALUE && m_endPts > m_startPts) {
        return av_rescale_q(m_endPts - m_startPts, m_timeBase, AVRational{1, 1000});
    }
    return format->duration != AV_NOPTS_VALUE ? av_rescale(format->duration, 1000, AV_TIME_BASE) : -1;
}

int CMediaDecoder::ReadPacket() {
    for (;;) {
        const int r = av_read_frame(m_format.get(), m_packet.get());
        if (r < 0) {
            return r;
        }
        if (m_packet->stream_index == m_stream) {
            if (m_packet->pts != AV_NOPTS_VALUE) {
                const int64_t end = m_packet->pts + std::max<int64_t>(m_packet->duration, 0);
                if (m_endPts == AV_NOPTS_VALUE || end > m_endPts) {
                    m_endPts = end;
                }
            }
            return 0;
        }
        av_packet_unref(m_packet.get());
    }
}

int CMediaDecoder::ConfigureResampler(const AVFrame& frame) {
    if (m_outRate == 0) {
        SetOutput(0, 0);
    }
    if (m_resampler && frame.sample_rate == m_inRate && frame.format == m_inFormat &&
        av_channel_layout_compare(&frame.ch_layout, m_frameLayout.get()) == 0) {
        return 0;
    }
    if (frame.sample_rate <= 0 || frame.ch_layout.nb_channels <= 0) {
        return WM_ERR_DECODE;
    }
    if (!m_frameLayout.CopyExactly(frame.ch_layout) || !m_inLayout.CopyFrom(frame.ch_layout)) {
        return WM_ERR_RESOURCE;
    }
    SwrContext* raw = nullptr;
    if (swr_alloc_set_opts2(&raw, m_outLayout.get(), AV_SAMPLE_FMT_S16, m_outRate, m_inLayout.get(),
                            static_cast<AVSampleFormat>(frame.format), frame.sample_rate, 0,
                            nullptr) < 0) {
        return WM_ERR_RESOURCE;
    }
    m_resampler.reset(raw);
    if (swr_init(raw) < 0) {
        m_resampler.reset();
        return WM_ERR_DECODE;
    }
    m_inRate = frame.sample_rate;
    m_inFormat = frame.format;
    return 0;
}

int CMediaDecoder::Convert(std::vector<int16_t>* pcm) {
    if (const int err = ConfigureResampler(*m_frame)) {
        return err;
    }
    const int channels = m_outLayout.channels();
    if (m_skipUntil >= 0 && m_outPosition < 0) {
        // The first frame after a seek tells where the demuxer landed.
        const int64_t ts = m_frame->best_effort_timestamp;
        m_outPosition = ts != AV_NOPTS_VALUE
                            ? av_rescale_q(ts - m_startPts, m_timeBase, AVRational{1, m_outRate})
                            : m_skipUntil;
    }
    const int room = swr_get_out_samples(m_resampler.get(), m_frame->nb_samples);
    if (room < 0) {
        return WM_ERR_DECODE;
    }
    const size_t old = pcm->size();
    pcm->resize(old + static_cast<size_t>(room) * static_cast<size_t>(channels));
    auto* out = reinterpret_cast<uint8_t*>(pcm->data() + old);
    const int made = swr_convert(m_resampler.get(), &out, room,
                                 const_cast<const uint8_t**>(m_frame->extended_data),
                                 m_frame->nb_samples);
    if (made < 0) {
        pcm->resize(old);
        return WM_ERR_DECODE;
    }
    pcm->resize(old + static_cast<size_t>(made) * static_cast<size_t>(channels));
    int64_t kept = made;
    if (m_skipUntil >= 0) {
        const int64_t drop = std::clamp<int64_t>(m_skipUntil - m_outPosition, 0, made);
        pcm->erase(pcm->begin() + static_cast<std::ptrdiff_t>(old),
                   pcm->begin() + static_cast<std::ptrdiff_t>(old + static_cast<size_t>(drop * channels)));
        m_outPosition += drop;
        kept -= drop;
        if (m_outPosition >= m_skipUntil) {
            m_skipUntil = -1;
        }
    }
    m_outPosition += kept;
    return 0;
}

int CMediaDecoder::Flush(std::vector<int16_t>* pcm) {
    if (!m_resampler) {
        return 0;
    }
    const int channels = m_outLayout.channels();
    const int64_t room = swr_get_delay(m_resampler.get(), m_outRate) + 16;
    const size_t old = pcm->size();
    pcm->resize(old + static_cast<size_t>(room) * static_cast<size_t>(channels));
    auto* out = reinterpret_cast<uint8_t*>(pcm->data() + old);
    const int made = swr_convert(m_resampler.get(), &out, static_cast<int>(room), nullptr, 0);
    pcm->resize(old + static_cast<size_t>(std::max(made, 0)) * static_cast<size_t>(channels));
    return 0;
}

int CMediaDecoder::Decode(std::vector<int16_t>* pcm) {
    pcm->clear();
    if (!m_codec || m_finished) {
        return 0;
    }
    const auto frames = [&] {
        return static_cast<int>(pcm->size() / static_cast<size_t>(std::max(m_outLayout.channels(), 1)));
    };
    for (;;) {
        int r = avcodec_receive_frame(m_codec.get(), m_frame.get());
        if (r == 0) {
            m_badPackets = 0;
            const int err = Convert(pcm);
            av_frame_unref(m_frame.get());
            if (err != 0) {
                return err;
            }
            if (!pcm->empty()) {
                return frames();
            }
            continue;
        }
        if (r == AVERROR_EOF) {
            Flush(pcm);
            m_finished = true;
            return frames();
        }
        if (r != AVERROR(EAGAIN) || m_draining) {
            return WM_ERR_DECODE;
        }
        r = ReadPacket();
        if (r == AVERROR_EOF) {
            m_draining = true;
            avcodec_send_packet(m_codec.get(), nullptr);
            continue;
        }
        if (r < 0) {
            return WM_ERR_DECODE;
        }
        r = avcodec_send_packet(m_codec.get(), m_packet.get());
        av_packet_unref(m_packet.get());
        if (r < 0 && r != AVERROR(EAGAIN) && ++m_badPackets > kMaxBadPackets) {
            return WM_ERR_DECODE;
        }
    }
}

int CMediaDecoder::Seek(int64_t ms) {
    if (!m_codec) {
        return WM_ERR_DECODE;
    }
    ms = std::max<int64_t>(ms, 0);
    const int64_t ts = m_startPts + av_rescale_q(ms, AVRational{1, 1000}, m_timeBase);
    int r = avformat_seek_file(m_format.get(), m_stream, INT64_MIN, ts, ts, 0);
    if (r < 0) {
        r = av_seek_frame(m_format.get(), m_stream, ts, AVSEEK_FLAG_BACKWARD);
    }
    if (r < 0) {
        return WM_ERR_DECODE;
    }
    avcodec_flush_buffers(m_codec.get());
    if (m_resampler) {
        swr_close(m_resampler.get());  // drops what it still held
        if (swr_init(m_resampler.get()) < 0) {
            m_resampler.reset();
        }
    }
    if (m_outRate == 0) {
        SetOutput(0, 0);
    }
    m_skipUntil = av_rescale(ms, m_outRate, 1000);
    m_outPosition = -1;  // set by the first frame
    m_draining = false;
    m_finished = false;
    m_badPackets = 0;
    return 0;
}

}  // namespace medcore
