#pragma once

// Synthetic 16-bit PCM for the audio tests, and a frequency estimate.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <vector>

namespace pcmtest {

// `frames` frames of a sine at `hz`, `channels` interleaved channels, peak
// `amplitude`, starting at frame `first` (so blocks can continue a tone).
inline std::vector<int16_t> sine(double hz, int rate, int channels, size_t frames, double amplitude = 12000,
                                 size_t first = 0) {
    std::vector<int16_t> pcm(frames * channels);
    for (size_t i = 0; i < frames; ++i) {
        const auto v = static_cast<int16_t>(
            std::lround(amplitude * std::sin(2 * M_PI * hz * static_cast<double>(first + i) / rate)));
        for (int c = 0; c < channels; ++c) pcm[i * channels + c] = v;
    }
    return pcm;
}

// Frequency of channel `channel` from the rising zero crossings between the
// first and the last one, or 0 when there are fewer than two.
inline double frequency(const int16_t* pcm, size_t frames, int channels, int rate, int channel = 0) {
    long first = -1, last = -1, count = 0;
    for (size_t i = 1; i < frames; ++i) {
        if (pcm[(i - 1) * channels + channel] < 0 && pcm[i * channels + channel] >= 0) {
            if (first < 0) first = static_cast<long>(i);
            last = static_cast<long>(i);
            ++count;
        }
    }
    if (count < 2) return 0;
    return static_cast<double>(count - 1) * rate / static_cast<double>(last - first);
}

// Largest absolute sample value.
inline int peak(const int16_t* pcm, size_t samples) {
    int m = 0;
    for (size_t i = 0; i < samples; ++i) m = std::max(m, std::abs(static_cast<int>(pcm[i])));
    return m;
}

}  // namespace pcmtest
