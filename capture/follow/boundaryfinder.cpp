#include "follow/boundaryfinder.h"

#include <algorithm>
#include <cmath>

namespace capdev {
namespace {

constexpr unsigned kBands = 48;
constexpr double kLowestHz = 40.0;
constexpr double kHighestHz = 16000.0;
constexpr unsigned kSideFrames = 32;
// A candidate needs at least this share of kSideFrames on each side.
constexpr unsigned kMinSideFrames = kSideFrames / 4;
// Band power below this (relative to a full-scale sine) counts as silence:
// -100 dB.
constexpr float kFloorPower = 1e-10f;
// Band levels further than this below the loudest band of the stretch are
// raised to that floor: a frame that a change cuts off spreads a little of
// its power over every band, which must not count as a change of its own.
constexpr float kRangeDb = 60.0f;
// How many times the window's median change the strongest must reach.
constexpr double kStandOut = 2.0;

unsigned FrameLengthFor(uint32_t rate) {
    if (rate >= 32000)
        return 2048;
    return rate >= 16000 ? 1024 : 512;
}

}  // namespace

CBoundaryFinder::CBoundaryFinder(uint32_t rate)
    : m_rate(rate > 0 ? rate : 44100),
      m_frameLength(FrameLengthFor(m_rate)),
      m_hop(m_frameLength / 4),
      m_sideFrames(kSideFrames) {
    const unsigned n = m_frameLength;
    m_window.resize(n);
    for (unsigned i = 0; i < n; ++i)
        m_window[i] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * M_PI * i / n));
    m_twiddle.resize(n / 2);
    for (unsigned k = 0; k < n / 2; ++k)
        m_twiddle[k] = std::polar(1.0f, static_cast<float>(-2.0 * M_PI * k / n));
    unsigned bits = 0;
    while ((1u << bits) < n)
        ++bits;
    m_reversed.resize(n);
    for (unsigned i = 0; i < n; ++i) {
        unsigned r = 0;
        for (unsigned b = 0; b < bits; ++b)
            r |= ((i >> b) & 1u) << (bits - 1 - b);
        m_reversed[i] = r;
    }
    m_fft.resize(n);

    // Band edges spaced evenly in log frequency; every band at least one bin.
    const double top = std::min(kHighestHz, 0.45 * m_rate);
    const unsigned lastBin = n / 2;
    for (unsigned b = 0; b <= kBands; ++b) {
        const double hz = kLowestHz * std::pow(top / kLowestHz, double(b) / kBands);
        auto bin = static_cast<unsigned>(std::lround(hz * n / m_rate));
        if (!m_bandEdges.empty())
            bin = std::max(bin, m_bandEdges.back() + 1);
        if (bin > lastBin)
            break;
        m_bandEdges.push_back(bin);
    }
}

uint64_t CBoundaryFinder::ContextFrames() const {
    return uint64_t(m_sideFrames) * m_hop + m_frameLength;
}

void CBoundaryFinder::Transform() {
    const unsigned n = m_frameLength;
    for (unsigned i = 0; i < n; ++i)
        if (i < m_reversed[i])
            std::swap(m_fft[i], m_fft[m_reversed[i]]);
    // Products written out: std::complex's operator* checks for infinities
    // on every call.
    auto* data = reinterpret_cast<float*>(m_fft.data());
    const auto* twiddle = reinterpret_cast<const float*>(m_twiddle.data());
    for (unsigned size = 2; size <= n; size *= 2) {
        const unsigned half = size / 2;
        const unsigned step = n / size;
        for (unsigned start = 0; start < n; start += size) {
            for (unsigned k = 0; k < half; ++k) {
                float* a = data + 2 * (start + k);
                float* b = data + 2 * (start + k + half);
                const float wr = twiddle[2 * k * step];
                const float wi = twiddle[2 * k * step + 1];
                const float tr = wr * b[0] - wi * b[1];
                const float ti = wr * b[1] + wi * b[0];
                b[0] = a[0] - tr;
                b[1] = a[1] - ti;
                a[0] += tr;
                a[1] += ti;
            }
        }
    }
}

double CBoundaryFinder::Distance(const float* levels, const double* mean) const {
    const size_t bands = m_bandEdges.size() - 1;
    double d = 0;
    for (size_t b = 0; b < bands; ++b)
        d += std::fabs(double(levels[b]) - mean[b]);
    return d / double(bands);
}

uint64_t CBoundaryFinder::Refine(const int16_t* pcm, uint64_t frames, uint64_t coarse, uint64_t count) {
    // The comparison above is blurred by the frames that hold the change
    // itself: a frame cut off by a change spreads over every band, which
    // pulls the peak up to a frame length aside. Here the point is where a
    // frame ending there still sounds like what came before, and one
    // starting there already like what comes after: off the point, one of
    // the two holds the change.
    const size_t bands = m_bandEdges.size() - 1;
    const uint64_t n = m_frameLength;
    if (coarse < 3 * n || coarse + 3 * n > frames)
        return coarse;
    // Means of frames clear of the change: ending a frame length before the
    // range searched, and starting a frame length after it.
    const uint64_t beforeEnd = std::min<uint64_t>((coarse - 3 * n) / m_hop + 1, count);
    const uint64_t afterStart = (coarse + 2 * n + m_hop - 1) / m_hop;
    const uint64_t before = std::min<uint64_t>(m_sideFrames, beforeEnd);
    const uint64_t after = afterStart < count ? std::min<uint64_t>(m_sideFrames, count - afterStart) : 0;
    if (before < kMinSideFrames || after < kMinSideFrames)
        return coarse;
    m_meanBefore.assign(bands, 0.0);
    m_meanAfter.assign(bands, 0.0);
    for (size_t b = 0; b < bands; ++b) {
        m_meanBefore[b] =
            (m_sums[beforeEnd * bands + b] - m_sums[(beforeEnd - before) * bands + b]) / double(before);
        m_meanAfter[b] = (m_sums[(afterStart + after) * bands + b] - m_sums[afterStart * bands + b]) / double(after);
    }
    std::vector<float>& ending = m_frameBefore;
    std::vector<float>& starting = m_frameAfter;
    ending.resize(bands);
    starting.resize(bands);
    const auto score = [&](uint64_t q) {
        BandLevels(pcm, q - n, ending.data());
        BandLevels(pcm, q, starting.data());
        return Distance(ending.data(), m_meanBefore.data()) + Distance(starting.data(), m_meanAfter.data());
    };
    // A frame length either side in eighths of it, then an eighth either
    // side finely.
    uint64_t best = coarse;
    double bestScore = score(coarse);
    const auto search = [&](uint64_t around, uint64_t reach, uint64_t step) {
        for (uint64_t q = around - reach; q <= around + reach; q += step) {
            const double s = score(q);
            if (s < bestScore) {
                bestScore = s;
                best = q;
            }
        }
    };
    const uint64_t eighth = n / 8;
    search(coarse, n, eighth);
    search(best, eighth, std::max<uint64_t>(1, eighth / 16));
    return best;
}

void CBoundaryFinder::BandLevels(const int16_t* pcm, uint64_t first, float* out) {
    const unsigned n = m_frameLength;
    const int16_t* p = pcm + first * 2;
    for (unsigned i = 0; i < n; ++i) {
        const float mono = (float(p[2 * i]) + float(p[2 * i + 1])) * (0.5f / 32768.0f);
        m_fft[i] = std::complex<float>(mono * m_window[i], 0.0f);
    }
    Transform();
    // A full-scale sine through the Hann window peaks at n / 4 in its bin.
    const float scale = 16.0f / (float(n) * float(n));
    for (size_t b = 0; b + 1 < m_bandEdges.size(); ++b) {
        float power = 0;
        for (unsigned k = m_bandEdges[b]; k < m_bandEdges[b + 1]; ++k)
            power += std::norm(m_fft[k]);
        out[b] = std::max(m_floorDb, 10.0f * std::log10(power * scale + kFloorPower));
    }
}

BoundaryResult CBoundaryFinder::Find(const int16_t* pcm, uint64_t frames, uint64_t from,
                                     uint64_t to) {
    BoundaryResult result;
    const size_t bands = m_bandEdges.size() - 1;
    if (frames < m_frameLength || from > to || to >= frames || bands == 0)
        return result;
    const uint64_t count = (frames - m_frameLength) / m_hop + 1;
    m_levels.resize(count * bands);
    m_floorDb = -1000.0f;  // none while the stretch is measured
    for (uint64_t f = 0; f < count; ++f)
        BandLevels(pcm, f * m_hop, &m_levels[f * bands]);
    m_floorDb = *std::max_element(m_levels.begin(), m_levels.end()) - kRangeDb;
    for (float& level : m_levels)
        level = std::max(level, m_floorDb);
    // sums[f][b] = levels of frames 0 .. f-1 in band b.
    m_sums.assign((count + 1) * bands, 0.0);
    for (uint64_t f = 0; f < count; ++f)
        for (size_t b = 0; b < bands; ++b)
            m_sums[(f + 1) * bands + b] = m_sums[f * bands + b] + m_levels[f * bands + b];

    // Candidate m is the point m * hop. Frames that end at or before it are
    // those up to m - gap; frames that start at or after it, m and later.
    const uint64_t gap = m_frameLength / m_hop;
    const uint64_t first = from / m_hop;
    const uint64_t last = std::min<uint64_t>((to + m_hop - 1) / m_hop, count);
    m_change.assign(last - first + 1, -1.0);
    double best = -1.0;
    uint64_t bestAt = 0;
    for (uint64_t m = first; m <= last; ++m) {
        if (m < gap)
            continue;
        const uint64_t beforeEnd = m - gap + 1;  // one past the last frame before
        const uint64_t before = std::min<uint64_t>(m_sideFrames, beforeEnd);
        const uint64_t after = std::min<uint64_t>(m_sideFrames, count > m ? count - m : 0);
        if (before < kMinSideFrames || after < kMinSideFrames)
            continue;
        double change = 0;
        for (size_t b = 0; b < bands; ++b) {
            const double meanBefore =
                (m_sums[beforeEnd * bands + b] - m_sums[(beforeEnd - before) * bands + b]) / double(before);
            const double meanAfter =
                (m_sums[(m + after) * bands + b] - m_sums[m * bands + b]) / double(after);
            change += std::fabs(meanAfter - meanBefore);
        }
        change /= double(bands);
        m_change[m - first] = change;
        if (change > best) {
            best = change;
            bestAt = m;
        }
    }
    if (best < 0)
        return result;

    // Between the hops: the vertex of the parabola through the peak and its
    // neighbours.
    double at = double(bestAt);
    if (bestAt > first && bestAt < last) {
        const double l = m_change[bestAt - 1 - first];
        const double r = m_change[bestAt + 1 - first];
        const double curve = l - 2 * best + r;
        if (l >= 0 && r >= 0 && curve < 0)
            at += std::clamp(0.5 * (l - r) / curve, -0.5, 0.5);
    }
    const auto coarse = static_cast<uint64_t>(std::llround(std::max(0.0, at * m_hop)));
    result.frame = std::clamp(Refine(pcm, frames, coarse, count), from, to);
    result.changeDb = best;
    // A change stands out when it is well above what the window shows
    // elsewhere (music changes all the time, a steady sound hardly at all).
    std::vector<double>& typical = m_typical;
    typical.clear();
    for (double c : m_change)
        if (c >= 0)
            typical.push_back(c);
    std::nth_element(typical.begin(), typical.begin() + long(typical.size() / 2), typical.end());
    const double median = typical[typical.size() / 2];
    result.found = best >= kMinChangeDb && best >= kStandOut * median;
    return result;
}

}  // namespace capdev
