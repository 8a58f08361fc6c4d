#include "benchsupport.h"

#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <memory>

namespace capbench {
namespace {

// A small fixed generator, so that the signal does not depend on the
// standard library's distributions.
class Lcg {
public:
    explicit Lcg(uint64_t seed) : m_state(seed) {}
    // Uniform in [-1, 1).
    double Next() {
        m_state = m_state * 6364136223846793005ull + 1442695040888963407ull;
        return double(m_state >> 11) / double(1ull << 52) - 1.0;
    }

private:
    uint64_t m_state;
};

struct Voice {
    double freq;
    double detune;  // relative, for the right channel
    double start;   // seconds
    double length;
    double level;
};

}  // namespace

std::vector<int16_t> MusicSignal(double seconds, int rate) {
    static const double kChords[4][3] = {{220.0, 277.18, 329.63},
                                         {196.0, 246.94, 293.66},
                                         {174.61, 220.0, 261.63},
                                         {164.81, 207.65, 246.94}};
    const auto frames = static_cast<size_t>(seconds * rate);
    std::vector<double> left(frames, 0.0), right(frames, 0.0);
    Lcg rng(20240307);

    // A chord every two seconds, a melody note every half second.
    std::vector<Voice> voices;
    for (int bar = 0; bar * 2.0 < seconds; ++bar)
        for (double f : kChords[bar % 4])
            voices.push_back({f, 1.0 + 0.002 * rng.Next(), bar * 2.0, 2.2, 0.10});
    for (int n = 0; n * 0.5 < seconds; ++n) {
        const double f = kChords[(n / 4) % 4][n % 3] * 2.0 * (1.0 + 0.003 * rng.Next());
        voices.push_back({f, 1.0 + 0.004 * rng.Next(), n * 0.5, 0.45, 0.12});
    }
    for (const Voice& v : voices) {
        const auto first = static_cast<size_t>(v.start * rate);
        const auto count = static_cast<size_t>(v.length * rate);
        for (size_t i = 0; i < count && first + i < frames; ++i) {
            const double t = double(i) / rate;
            const double env = std::min(1.0, t / 0.02) * std::exp(-2.5 * t);
            double l = 0, r = 0;
            for (int h = 1; h <= 5; ++h) {
                const double a = 1.0 / h;
                l += a * std::sin(2 * M_PI * v.freq * h * t);
                r += a * std::sin(2 * M_PI * v.freq * v.detune * h * t);
            }
            left[first + i] += v.level * env * l;
            right[first + i] += v.level * env * r;
        }
    }
    std::vector<int16_t> pcm(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        const double noise = 0.01 * rng.Next();
        const double l = std::max(-1.0, std::min(1.0, left[i] + noise));
        const double r = std::max(-1.0, std::min(1.0, right[i] + noise));
        pcm[2 * i] = static_cast<int16_t>(l * 32000);
        pcm[2 * i + 1] = static_cast<int16_t>(r * 32000);
    }
    return pcm;
}

bool WriteWav(const std::string& path, const std::vector<int16_t>& pcm, int rate) {
    std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!f)
        return false;
    const uint32_t data = static_cast<uint32_t>(pcm.size() * 2);
    auto le32 = [&](uint32_t v) {
        const unsigned char b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
        std::fwrite(b, 1, 4, f.get());
    };
    auto le16 = [&](uint16_t v) {
        const unsigned char b[2] = {uint8_t(v), uint8_t(v >> 8)};
        std::fwrite(b, 1, 2, f.get());
    };
    std::fwrite("RIFF", 1, 4, f.get());
    le32(36 + data);
    std::fwrite("WAVEfmt ", 1, 8, f.get());
    le32(16);
    le16(1);
    le16(2);
    le32(static_cast<uint32_t>(rate));
    le32(static_cast<uint32_t>(rate) * 4);
    le16(4);
    le16(16);
    std::fwrite("data", 1, 4, f.get());
    le32(data);
    return std::fwrite(pcm.data(), 2, pcm.size(), f.get()) == pcm.size();
}

AudioDevRecordParam Mp3RecordParam(AudioDevCallback callback, void* user, const char* folder,
                                   const char* input) {
    AudioDevRecordParam param{};
    param.callback = callback;
    param.user = user;
    param.outputFolder = folder;
    param.inputDeviceName = input;
    param.splitSilenceMs = 3000;
    param.fileType = 0;
    param.sampleRate = 44100;
    param.bitRate = 192;
    return param;
}

double CpuSeconds(bool children) {
    rusage u{};
    getrusage(children ? RUSAGE_CHILDREN : RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec) + u.ru_utime.tv_usec / 1e6 + double(u.ru_stime.tv_sec) +
           u.ru_stime.tv_usec / 1e6;
}

}  // namespace capbench
