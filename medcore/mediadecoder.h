#pragma once

// Reads the audio of one media file through FFmpeg: its length, and its
// samples as interleaved 16-bit PCM at a chosen rate and channel count.

#include <cstdint>
#include <string>
#include <vector>

#include "ffmpegptr.h"

namespace medcore {

// Used by one thread at a time; each player, conversion and measurement has
// its own decoder.
class CMediaDecoder {
public:
    CMediaDecoder();
    ~CMediaDecoder();
    CMediaDecoder(const CMediaDecoder&) = delete;
    CMediaDecoder& operator=(const CMediaDecoder&) = delete;

    // Opens `path` (UTF-8), picks its main audio stream and opens a decoder
    // for it. Returns 0, WM_ERR_OPEN or WM_ERR_RESOURCE.
    int Open(const std::string& path);

    // The length in milliseconds: from the container or the MP3 information
    // frame, and where those only give an estimate from the bit rate (an MP3
    // without information frame, raw AAC) from the timestamps of every
    // packet, read without decoding. Leaves the decoder where Decode() can
    // no longer be used; call it on a decoder of its own. -1 when unknown.
    int64_t MeasureDuration();

    // The output of Decode(): `rate` Hz and `channels` (1 or 2); 0 keeps the
    // input's (with more than two channels mixed down to stereo). Call after
    // Open() and before the first Decode(). 0 or WM_ERR_ARGUMENT.
    int SetOutput(int rate, int channels);
    int outputRate() const { return m_outRate; }
    int outputChannels() const { return m_outLayout.channels(); }

    // Replaces *pcm with the next piece of interleaved samples. Returns the
    // frames in it (> 0), 0 at the end of the audio, or WM_ERR_DECODE when
    // the file can no longer be read or nothing in it decodes.
    int Decode(std::vector<int16_t>* pcm);

    // Moves to `ms` from the start; the next Decode() starts there. 0 or
    // WM_ERR_DECODE (the position is then unchanged or at the start).
    int Seek(int64_t ms);

private:
    // Reads the next packet of the audio stream into m_packet: 0, AVERROR_EOF
    // or another negative FFmpeg error.
    int ReadPacket();
    // Converts m_frame into *pcm (appending), dropping what lies before a
    // seek target. Returns 0 or WM_ERR_RESOURCE.
    int Convert(std::vector<int16_t>* pcm);
    int ConfigureResampler(const AVFrame& frame);
    int Flush(std::vector<int16_t>* pcm);

    FormatPtr m_format;
    CodecPtr m_codec;
    ResamplerPtr m_resampler;
    PacketPtr m_packet;
    FramePtr m_frame;
    int m_stream = -1;
    AVRational m_timeBase{1, 1};
    int64_t m_startPts = 0;           // first timestamp of the stream, in m_timeBase
    int64_t m_endPts = AV_NOPTS_VALUE;  // the latest packet end read so far
    ChannelLayout m_outLayout;
    int m_outRate = 0;
    // What the resampler was configured for.
    int m_inRate = 0;
    int m_inFormat = -1;
    ChannelLayout m_frameLayout;  // as the frames give it
    ChannelLayout m_inLayout;     // the same with a known order, for the resampler
    int64_t m_skipUntil = -1;  // output frame index a seek aims at; earlier frames are dropped
    int64_t m_outPosition = 0; // output frame index of the next frame handed out
    bool m_draining = false;   // the demuxer is at its end; the decoder gives out the rest
    bool m_finished = false;
    int m_badPackets = 0;      // packets in a row that did not decode
};

}  // namespace medcore
