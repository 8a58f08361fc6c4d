// The audio fingerprint of a recording: Chromaprint's, from interleaved
// integer PCM fed in blocks of any size. The audio is first mixed down to
// mono and resampled to Chromaprint's own rate by avbridge, with the filter
// that the reference command-line tool uses, so that the fingerprint is the
// one the identification service knows for the same audio. Only the first
// kMaxSeconds are taken: the service matches by that much.
//
// Threads: one object is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct ChromaprintContextPrivate;
struct AvbridgeResampler;

namespace aws {

class Fingerprinter {
public:
    static constexpr int kMaxSeconds = 120;

    Fingerprinter();
    ~Fingerprinter();
    Fingerprinter(const Fingerprinter&) = delete;
    Fingerprinter& operator=(const Fingerprinter&) = delete;

    // Starts a fingerprint of audio with this format: 8 (unsigned), 16, 24
    // or 32 (signed) bits, 1 to 8 channels, 1 Hz to 768 kHz. false for any
    // other format or when Chromaprint cannot start; the object is then idle.
    bool Begin(int sampleRate, int bitsPerSample, int channels);

    // Feeds bytes of interleaved little-endian samples; a frame may be split
    // across calls. Returns false on a failure (the fingerprint is then
    // lost). *complete becomes true once kMaxSeconds have been taken; later
    // bytes are ignored.
    bool Feed(const void* data, std::size_t bytes, bool* complete);

    // Ends the fingerprint: true with Encoded() holding Chromaprint's
    // compressed base64 text, false when no audio (or too little for one
    // fingerprint item) was fed or Chromaprint failed.
    bool End();

    bool Started() const { return m_started; }
    const std::string& Encoded() const { return m_encoded; }
    // Seconds of audio taken so far.
    double SecondsTaken() const;

private:
    struct ContextDeleter {
        void operator()(ChromaprintContextPrivate* context) const noexcept;
    };
    struct ResamplerDeleter {
        void operator()(AvbridgeResampler* resampler) const noexcept;
    };

    bool FeedFrames(const std::int16_t* frames, std::size_t count);
    void Reset();

    std::unique_ptr<ChromaprintContextPrivate, ContextDeleter> m_context;
    std::unique_ptr<AvbridgeResampler, ResamplerDeleter> m_resampler;  // none when no conversion is needed
    bool m_started = false;
    int m_rate = 0;
    int m_channels = 0;
    int m_bytesPerSample = 0;
    std::uint64_t m_framesTaken = 0;
    std::uint64_t m_framesWanted = 0;
    std::vector<unsigned char> m_partial;  // bytes of an incomplete frame
    std::vector<std::int16_t> m_converted;
    std::vector<short> m_resampled;
    std::string m_encoded;
};

}  // namespace aws
