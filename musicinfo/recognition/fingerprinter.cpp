#include "recognition/fingerprinter.h"

#include <chromaprint.h>

#include <algorithm>
#include <cstring>

#include "avbridge.h"

namespace aws {
namespace {

// The reference tool's resampling filter: 16 taps per phase, 2^8 phases,
// interpolated, cut off at 0.8 of the lower Nyquist frequency.
constexpr int kFilterLength = 16;
constexpr int kLog2Phases = 8;
constexpr int kLinear = 1;
constexpr double kCutoff = 0.8;

// Frames converted per call into the resampler.
constexpr std::size_t kChunkFrames = 16384;

std::int16_t SampleToInt16(const unsigned char* p, int bytes) {
    switch (bytes) {
        case 1: return static_cast<std::int16_t>((static_cast<int>(p[0]) - 128) * 256);
        case 2: return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
        // Wider samples keep their two most significant bytes.
        case 3: return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[1] | (p[2] << 8)));
        default: return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[2] | (p[3] << 8)));
    }
}

}  // namespace

void Fingerprinter::ContextDeleter::operator()(ChromaprintContextPrivate* context) const noexcept {
    chromaprint_free(context);
}

void Fingerprinter::ResamplerDeleter::operator()(AvbridgeResampler* resampler) const noexcept {
    avbridge_resample_close(resampler);
}

Fingerprinter::Fingerprinter() = default;
Fingerprinter::~Fingerprinter() = default;

void Fingerprinter::Reset() {
    m_context.reset();
    m_resampler.reset();
    m_started = false;
    m_framesTaken = 0;
    m_framesWanted = 0;
    m_partial.clear();
    m_encoded.clear();
}

bool Fingerprinter::Begin(int sampleRate, int bitsPerSample, int channels) {
    Reset();
    if (sampleRate < 1 || sampleRate > 768000 || channels < 1 || channels > 8) return false;
    if (bitsPerSample != 8 && bitsPerSample != 16 && bitsPerSample != 24 && bitsPerSample != 32)
        return false;
    m_context.reset(chromaprint_new(CHROMAPRINT_ALGORITHM_DEFAULT));
    if (!m_context) return false;
    const int rate = chromaprint_get_sample_rate(m_context.get());
    const int outChannels = chromaprint_get_num_channels(m_context.get());
    if (sampleRate != rate || channels != outChannels) {
        m_resampler.reset(avbridge_resample_open(outChannels, channels, rate, sampleRate, AVBRIDGE_FMT_S16,
                                                 AVBRIDGE_FMT_S16, kFilterLength, kLog2Phases, kLinear,
                                                 kCutoff));
        if (!m_resampler) {
            Reset();
            return false;
        }
    }
    if (chromaprint_start(m_context.get(), m_resampler ? rate : sampleRate,
                          m_resampler ? outChannels : channels) != 1) {
        Reset();
        return false;
    }
    m_rate = sampleRate;
    m_channels = channels;
    m_bytesPerSample = bitsPerSample / 8;
    m_framesWanted = static_cast<std::uint64_t>(sampleRate) * kMaxSeconds;
    m_started = true;
    return true;
}

double Fingerprinter::SecondsTaken() const {
    return m_rate > 0 ? static_cast<double>(m_framesTaken) / m_rate : 0.0;
}

bool Fingerprinter::Feed(const void* data, std::size_t bytes, bool* complete) {
    if (complete != nullptr) *complete = m_framesTaken >= m_framesWanted;
    if (!m_started) return false;
    const std::size_t frameBytes = static_cast<std::size_t>(m_bytesPerSample) * m_channels;
    const auto* in = static_cast<const unsigned char*>(data);
    while (bytes > 0 && m_framesTaken < m_framesWanted) {
        // Whole frames of this call, after completing a frame left over from the last one.
        const unsigned char* frames = in;
        std::size_t count = 0;
        if (!m_partial.empty()) {
            const std::size_t need = std::min(frameBytes - m_partial.size(), bytes);
            m_partial.insert(m_partial.end(), in, in + need);
            in += need;
            bytes -= need;
            if (m_partial.size() < frameBytes) break;
            frames = m_partial.data();
            count = 1;
        } else {
            count = std::min<std::uint64_t>(bytes / frameBytes, kChunkFrames);
            if (count == 0) {
                m_partial.assign(in, in + bytes);
                break;
            }
            in += count * frameBytes;
            bytes -= count * frameBytes;
        }
        count = static_cast<std::size_t>(std::min<std::uint64_t>(count, m_framesWanted - m_framesTaken));
        m_converted.resize(count * m_channels);
        if (m_bytesPerSample == 2) {
            std::memcpy(m_converted.data(), frames, count * frameBytes);
        } else {
            for (std::size_t i = 0; i < count * m_channels; ++i)
                m_converted[i] = SampleToInt16(frames + i * m_bytesPerSample, m_bytesPerSample);
        }
        const bool fromPartial = frames == m_partial.data();
        if (!FeedFrames(m_converted.data(), count)) {
            Reset();
            return false;
        }
        if (fromPartial) m_partial.clear();
    }
    if (complete != nullptr) *complete = m_framesTaken >= m_framesWanted;
    return true;
}

bool Fingerprinter::FeedFrames(const std::int16_t* frames, std::size_t count) {
    m_framesTaken += count;
    if (!m_resampler) {
        return chromaprint_feed(m_context.get(), frames, static_cast<int>(count * m_channels)) == 1;
    }
    const int outRate = chromaprint_get_sample_rate(m_context.get());
    const int outChannels = chromaprint_get_num_channels(m_context.get());
    // What avbridge asks of the output buffer, in bytes, as shorts.
    const std::size_t outBytes =
        2 * (count * static_cast<std::size_t>(outRate) / static_cast<std::size_t>(m_rate) * outChannels) + 1024;
    m_resampled.resize(outBytes / 2 + 1);
    const int made = avbridge_resample(m_resampler.get(), m_resampled.data(), frames, static_cast<int>(count));
    if (made < 0) return false;
    return made == 0 || chromaprint_feed(m_context.get(), m_resampled.data(), made * outChannels) == 1;
}

bool Fingerprinter::End() {
    if (!m_started) return false;
    m_started = false;
    if (m_framesTaken == 0 || chromaprint_finish(m_context.get()) != 1) return false;
    char* text = nullptr;
    if (chromaprint_get_fingerprint(m_context.get(), &text) != 1 || text == nullptr) return false;
    m_encoded = text;
    chromaprint_dealloc(text);
    return !m_encoded.empty();
}

}  // namespace aws
