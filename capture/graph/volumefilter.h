#pragma once

// The monitor path's gain: the level at which the captured computer audio is
// played on the real speakers, 0..200 % (100 = unchanged).

#include <atomic>

#include "graph/waveformat.h"

namespace capdev {

// Result of a refused format.
constexpr int kTypeNotAccepted = -1;

// The volume is written by the caller's thread and read once per block by the
// sound server's loop thread (atomic). The accepted format is set before the
// first block and not changed while blocks flow.
class CVolumeFilter {
public:
    explicit CVolumeFilter(unsigned volume = 100) : m_volume(volume) {}

    // Accepts a PCM format record of at least 18 bytes and keeps it; refuses
    // anything else with kTypeNotAccepted. Returns 0 on acceptance.
    int CheckInputType(const void* format, unsigned bytes);
    const WaveFormat& format() const { return m_format; }

    void SetVolume(unsigned volume) { m_volume.store(volume); }
    unsigned Volume() const { return m_volume.load(); }

    // Applies the volume in place to one block in the accepted format:
    // 0 zeroes every byte; 100, anything above 200 and samples that are not
    // 16-bit are left alone; otherwise each 16-bit value v becomes
    // (v * (volume * 256 / 100)) >> 8, clamped to -32768..32767.
    void Transform(void* data, unsigned bytes) const;

    // The arithmetic of Transform on 16-bit samples, for one volume.
    static void Apply(void* data, unsigned bytes, unsigned volume, unsigned bitsPerSample);

private:
    std::atomic<unsigned> m_volume;
    WaveFormat m_format = Pcm16Format(44100, 2);
};

}  // namespace capdev
