#pragma once

// The PCM format record the capture path announces to the recorder before
// its first block: the 18-byte wave format header (tag, channels, rate,
// bytes per second, frame size, bits, extra size), little-endian as stored.

#include <cstdint>

namespace capdev {

constexpr uint16_t kWaveFormatPcm = 1;
constexpr unsigned kWaveFormatBytes = 18;

#pragma pack(push, 1)
struct WaveFormat {
    uint16_t formatTag = kWaveFormatPcm;
    uint16_t channels = 0;
    uint32_t samplesPerSec = 0;
    uint32_t avgBytesPerSec = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    uint16_t cbSize = 0;
};
#pragma pack(pop)
static_assert(sizeof(WaveFormat) == kWaveFormatBytes, "the wave format header is 18 bytes");

// 16-bit PCM with `channels` channels at `rate` Hz.
inline WaveFormat Pcm16Format(uint32_t rate, uint16_t channels) {
    WaveFormat f;
    f.channels = channels;
    f.samplesPerSec = rate;
    f.bitsPerSample = 16;
    f.blockAlign = static_cast<uint16_t>(channels * 2u);
    f.avgBytesPerSec = rate * f.blockAlign;
    return f;
}

// Reads a format record of `bytes` bytes into *format. False when it is
// shorter than 18 bytes or not PCM (tag 1).
bool ReadPcmFormat(const void* data, unsigned bytes, WaveFormat* format);

// What the capture path hands to its owner. Events: 0 the format (data is a
// WaveFormat, bytes 18), 1 a block of PCM in that format, 5 a log line (a
// NUL-terminated text of at most 1023 characters, bytes 1), 100 the virtual
// device or the server went away (data null; no block follows). Called on
// the sound server's loop thread, and on the caller's thread when delivery
// resumes; the data is valid only during the call.
enum LineOutEvent : int { kLineOutFormat = 0, kLineOutData = 1, kLineOutLog = 5, kLineOutLost = 100 };
using LineOutSink = void (*)(int event, const void* data, unsigned bytes, void* owner);

}  // namespace capdev
