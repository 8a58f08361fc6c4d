#include "mediatest.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "pulsedaemon.h"
#include "waitfor.h"

namespace medtest {

std::vector<int16_t> TimeCodedPcm(double seconds, int rate, int channels) {
    const auto frames = static_cast<size_t>(std::lround(seconds * rate));
    std::vector<int16_t> pcm;
    pcm.reserve(frames * static_cast<size_t>(channels));
    double phase = 0;  // continuous across segments
    for (size_t i = 0; i < frames; ++i) {
        const int k = static_cast<int>(static_cast<double>(i) / rate / kSegmentSeconds);
        phase += 2 * M_PI * SegmentHz(k) / rate;
        const auto v = static_cast<int16_t>(std::lround(16000 * std::sin(phase)));
        for (int c = 0; c < channels; ++c) pcm.push_back(v);
    }
    return pcm;
}

bool WriteWav(const std::string& path, const std::vector<int16_t>& pcm, int rate, int channels) {
    const auto data = static_cast<uint32_t>(pcm.size() * 2);
    auto le32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
    auto le16 = [](uint32_t v) { return std::string{char(v), char(v >> 8)}; };
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "RIFF" << le32(36 + data) << "WAVEfmt " << le32(16) << le16(1) << le16(uint32_t(channels))
        << le32(uint32_t(rate)) << le32(uint32_t(rate * channels * 2)) << le16(uint32_t(channels * 2))
        << le16(16) << "data" << le32(data);
    out.write(reinterpret_cast<const char*>(pcm.data()), data);
    return static_cast<bool>(out);
}

bool Run(const std::string& command) { return testsupport::runCommand(command + " >/dev/null 2>&1") == 0; }

bool Lame(const std::string& wav, const std::string& mp3, const std::string& options) {
    return Run("lame --quiet " + options + " '" + wav + "' '" + mp3 + "'");
}

double FfprobeSeconds(const std::string& path) {
    std::string out;
    if (testsupport::runCommand("ffprobe -v error -show_entries format=duration -of csv=p=0 '" + path + "'",
                                &out) != 0) {
        return -1;
    }
    return std::atof(out.c_str());
}

int SegmentOf(const std::vector<int16_t>& mono, size_t begin, size_t n, int rate) {
    if (begin + n > mono.size() || Rms(mono, begin, n) < 2000) return -1;
    // Frequency from the median period between rising zero crossings
    // (interpolated), so that a window across a change of segment gives
    // the one that fills most of it, never a frequency in between.
    std::vector<double> periods;
    double previous = -1;
    for (size_t i = begin + 1; i < begin + n; ++i) {
        if (mono[i - 1] < 0 && mono[i] >= 0) {
            const double at = double(i - 1) + double(-mono[i - 1]) / double(mono[i] - mono[i - 1]);
            if (previous >= 0) periods.push_back(at - previous);
            previous = at;
        }
    }
    if (periods.size() < 3) return -1;
    std::nth_element(periods.begin(), periods.begin() + long(periods.size() / 2), periods.end());
    const double hz = rate / periods[periods.size() / 2];
    return static_cast<int>(std::lround((hz - SegmentHz(0)) / (SegmentHz(1) - SegmentHz(0))));
}

std::vector<int> Segments(const std::vector<int16_t>& mono, int rate, int windowMs) {
    std::vector<int> out;
    const size_t n = static_cast<size_t>(rate) * static_cast<size_t>(windowMs) / 1000;
    for (size_t at = 0; at + n <= mono.size(); at += n) {
        const int k = SegmentOf(mono, at, n, rate);
        if (k >= 0) out.push_back(k);
    }
    return out;
}

double Rms(const std::vector<int16_t>& mono, size_t begin, size_t n) {
    if (n == 0 || begin + n > mono.size()) return 0;
    double sum = 0;
    for (size_t i = begin; i < begin + n; ++i) sum += double(mono[i]) * mono[i];
    return std::sqrt(sum / double(n));
}

std::vector<int16_t> FirstChannel(const std::vector<int16_t>& pcm, int channels) {
    std::vector<int16_t> out;
    for (size_t i = 0; i < pcm.size(); i += static_cast<size_t>(channels)) out.push_back(pcm[i]);
    return out;
}

namespace {
size_t Onset(const std::vector<int16_t>& x) {
    for (size_t i = 0; i < x.size(); ++i)
        if (std::abs(x[i]) > 3000) return i;
    return x.size();
}
}  // namespace

namespace {
double Correlation(const std::vector<int16_t>& a, size_t aBegin, const std::vector<int16_t>& b,
                   size_t bBegin, size_t n) {
    double xy = 0, xx = 0, yy = 0;
    for (size_t i = 0; i < n; ++i) {
        const double x = a[aBegin + i], y = b[bBegin + i];
        xy += x * y;
        xx += x * x;
        yy += y * y;
    }
    return xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : 0;
}
}  // namespace

double MatchInRecording(const std::vector<int16_t>& recorded, const std::vector<int16_t>& source,
                        int rate) {
    // Find where the source's change from segment 0 to 1 (0.4 to 0.6 s) lies
    // in the recording, near where the onsets say.
    const size_t key = size_t(0.4 * rate), keyLength = size_t(0.2 * rate), slack = size_t(0.15 * rate);
    if (source.size() < key + keyLength) return -1;
    const long guess = long(Onset(recorded)) - long(Onset(source)) + long(key);
    double best = -1;
    long at = -1;
    for (long r = std::max(0L, guess - long(slack)); r <= guess + long(slack); ++r) {
        if (size_t(r) + keyLength > recorded.size()) break;
        const double c = Correlation(recorded, size_t(r), source, key, keyLength);
        if (c > best) {
            best = c;
            at = r;
        }
    }
    if (at < long(key)) return -1;
    // Then compare from 0.1 s to the end of what both hold.
    const size_t start = size_t(at) - key;
    const size_t from = size_t(0.1 * rate);
    const size_t n = std::min(source.size(), recorded.size() - start) - from;
    return Correlation(recorded, start + from, source, from, n) * double(n) / double(source.size() - from);
}

CMonitorRecorder::CMonitorRecorder(const std::string& folder) : m_path(folder + "/monitor") {}

CMonitorRecorder::~CMonitorRecorder() { Stop(); }

bool CMonitorRecorder::Start() {
    Stop();
    const std::string path = m_path + std::to_string(++m_round) + ".raw";
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0) _exit(126);
        dup2(fd, 1);
        close(fd);
        execlp("parec", "parec", "-d", "speakers.monitor", "--format=s16le", "--rate=44100",
               "--channels=1", "--latency-msec=20", "--raw", static_cast<char*>(nullptr));
        _exit(127);
    }
    m_pid = pid;
    // Recording runs once the first samples have arrived.
    return testsupport::WaitFor([this] { return !Heard().empty(); });
}

std::vector<int16_t> CMonitorRecorder::Stop() {
    if (m_pid <= 0) return {};
    kill(m_pid, SIGTERM);
    int status = 0;
    waitpid(m_pid, &status, 0);
    m_pid = -1;
    return Heard();
}

bool CMonitorRecorder::Listen(double seconds) const {
    const size_t until = Heard().size() + static_cast<size_t>(seconds * kRate);
    return testsupport::WaitFor([&] { return Heard().size() >= until; });
}

std::vector<int16_t> CMonitorRecorder::Heard() const {
    std::ifstream in(m_path + std::to_string(m_round) + ".raw", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> samples(bytes.size() / 2);
    std::copy_n(bytes.data(), samples.size() * 2, reinterpret_cast<char*>(samples.data()));
    return samples;
}

CSilentStream::CSilentStream() {
    const pid_t pid = fork();
    if (pid < 0) return;
    if (pid == 0) {
        const int fd = open("/dev/zero", O_RDONLY);
        if (fd < 0) _exit(126);
        dup2(fd, 0);
        close(fd);
        execlp("pacat", "pacat", "--playback", "--raw", "--format=s16le", "--rate=44100", "--channels=2",
               "--latency-msec=40", "--stream-name=silence", static_cast<char*>(nullptr));
        _exit(127);
    }
    m_pid = pid;
    testsupport::WaitFor([] {
        std::string out;
        testsupport::runCommand("pactl list short sink-inputs 2>/dev/null", &out);
        return !out.empty();
    });
}

CSilentStream::~CSilentStream() {
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        int status = 0;
        waitpid(m_pid, &status, 0);
    }
}

}  // namespace medtest
