#pragma once

// Finds, inside a stretch of recorded audio, the point where one track gives
// way to the next: the point at which the sound before and the sound after
// differ most in spectrum and level.
//
// The stretch is cut into overlapping frames (about 46 ms, a new one every
// 11.6 ms at 44100 Hz) whose spectra are summed into 48 bands on a
// logarithmic frequency scale, in dB, within 60 dB of the stretch's loudest.
// For each candidate point, the mean band levels of the frames that end
// before it (about 0.37 s of them) are compared with those of the frames that
// start after it; the candidate with the largest mean difference wins. Its
// neighbourhood (a frame length either side) is then searched for the point
// where the frame ending there still matches what came before and the frame
// starting there already matches what comes after, to a fraction of a
// millisecond on a clean change.

#include <complex>
#include <cstdint>
#include <vector>

namespace capdev {

struct BoundaryResult {
    // False when no candidate shows a change of at least kMinChangeDb and
    // twice the median change over the candidates: the stretch holds one
    // sound throughout (or silence), and `frame` is then meaningless.
    bool found = false;
    // Offset of the change, in frames from the stretch's start.
    uint64_t frame = 0;
    // Mean difference of the band levels either side of `frame`, in dB.
    double changeDb = 0;
};

// Owns its buffers; not thread-safe (one encoder thread uses it).
class CBoundaryFinder {
public:
    // Mean band difference below which a stretch counts as one sound.
    static constexpr double kMinChangeDb = 1.0;

    // `rate`: frames per second of the audio it will be given.
    explicit CBoundaryFinder(uint32_t rate);

    // Frames the search wants on each side of its candidates: the frames
    // before the first candidate and after the last that it compares.
    uint64_t ContextFrames() const;

    // Searches `pcm` (interleaved 16-bit stereo, `frames` frames) for the
    // strongest change at a candidate in [from, to] (frame offsets into the
    // stretch, from <= to < frames). Candidates too near either end of the
    // stretch to be compared are skipped; with none left the result is not
    // found.
    BoundaryResult Find(const int16_t* pcm, uint64_t frames, uint64_t from, uint64_t to);

private:
    // The band levels of the frame starting at `first` into `out`.
    void BandLevels(const int16_t* pcm, uint64_t first, float* out);
    void Transform();  // in place on m_fft
    // The exact point near `coarse`, the peak of the frame comparison
    // (`count` frames analysed, their sums in m_sums).
    uint64_t Refine(const int16_t* pcm, uint64_t frames, uint64_t coarse, uint64_t count);
    // Mean difference in dB between band levels and band means.
    double Distance(const float* levels, const double* mean) const;

    uint32_t m_rate;
    unsigned m_frameLength;  // samples per frame, a power of two
    unsigned m_hop;          // samples between the starts of two frames
    unsigned m_sideFrames;   // frames compared on each side of a candidate
    std::vector<float> m_window;               // Hann window of m_frameLength
    std::vector<unsigned> m_bandEdges;         // first bin of each band, and one past the last
    std::vector<std::complex<float>> m_twiddle;  // e^(-2 pi i k / n) for k < n / 2
    std::vector<unsigned> m_reversed;          // bit-reversed index of each sample
    std::vector<std::complex<float>> m_fft;    // the frame being transformed
    std::vector<float> m_levels;               // frames x bands
    std::vector<double> m_sums;                // running sums of m_levels, (frames + 1) x bands
    std::vector<double> m_change;              // change per candidate hop
    std::vector<double> m_typical;             // the valid changes, for their median
    std::vector<double> m_meanBefore;          // band means either side, for Refine
    std::vector<double> m_meanAfter;
    std::vector<float> m_frameBefore;          // band levels of the two frames Refine compares
    std::vector<float> m_frameAfter;
    float m_floorDb = -1000.0f;  // the lowest band level counted in the current stretch
};

}  // namespace capdev
