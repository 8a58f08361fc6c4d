// Track following: how far from the true boundary the cuts fall, and what
// following costs.
//
// 1. Boundary error, on a private PulseAudio and a private PipeWire server in
//    real time: a player stand-in plays 21 tones of different pitch and
//    length (2.5 to 4 s) gaplessly into one stream on "Speakers", keeping
//    400 ms in the server as players do. It announces each new track when it
//    writes the track's first block (so before it is heard, by up to its
//    buffer), plus a delay of 0 to 600 ms for the announcement's way to the
//    program; the bench then marks the change with the time of the call.
//    "Monitor of Speakers" is recorded as WAV with a hold of 3000 ms and
//    windows of 1500 ms. The true boundaries are the first loud sample of the
//    recording (after half a second of silence) plus the tones' lengths; the
//    cuts are the files' lengths. FOLLOWBENCH_EACH=1 prints every error.
// 2. CPU time of the whole pipeline (injected input, MP3 at 192 kbit/s) over
//    `seconds` of music-like audio with following off, and on with 20 marks.
//
//   capdev_follow_bench [seconds]     (default 600; part 2 only)
//
// Prints the mean and worst boundary error per server and both CPU times.
// Exits 1 when a server's worst error passes 50 ms or a run failed.

#include <pulse/simple.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audiodevrecorder.h"
#include "benchsupport.h"
#include "pulsedaemon.h"

namespace {

constexpr int kRate = 44100;
constexpr int kChanges = 20;

struct Files {
    std::mutex mutex;
    std::vector<std::string> closed;  // guarded by mutex
    std::atomic<int> errors{0};
};

int Callback(int code, int, void* data, void* user) {
    auto* files = static_cast<Files*>(user);
    if (code == FileClosed && data) {
        std::lock_guard<std::mutex> lock(files->mutex);
        files->closed.emplace_back(static_cast<const char*>(data));
    }
    if (code == RecordError)
        ++files->errors;
    return 0;
}

// Deterministic pseudo-random numbers in [0, 1).
struct Lcg {
    uint64_t state;
    double Next() {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return double(state >> 11) / double(1ull << 53);
    }
};

// The stereo 16-bit samples of a WAV file the recorder wrote (46-byte header).
std::vector<int16_t> ReadPcm(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> pcm(b.size() > 46 ? (b.size() - 46) / 2 : 0);
    if (!pcm.empty())
        std::memcpy(pcm.data(), b.data() + 46, pcm.size() * 2);
    return pcm;
}

struct ServerResult {
    bool ok = false;
    double meanMs = 0;
    double worstMs = 0;
    int cuts = 0;
};

ServerResult MeasureBoundaries(testsupport::SoundServer kind, const std::string& folder) {
    ServerResult result;
    testsupport::PulseDaemon daemon(kind);
    if (!daemon.ok()) {
        std::fprintf(stderr, "private server: %s\n", daemon.error().c_str());
        return result;
    }
    capdev::RecorderOptions options;
    options.backend = capdev::CreatePulseInputBackend();
    capdev::CAudioDevRecorder recorder(std::move(options));
    Files files;
    AudioDevRecordParam param{};
    param.callback = &Callback;
    param.user = &files;
    param.outputFolder = folder.c_str();
    param.inputDeviceName = "Monitor of Speakers";
    param.fileType = 1;
    param.sampleRate = kRate;
    if (recorder.SetTrackFollow(3000) != 0 || recorder.StartRecord(&param) != 0) {
        std::fprintf(stderr, "start failed\n");
        return result;
    }

    // The tracks: pitches that differ from one track to the next.
    Lcg rng{kind == testsupport::SoundServer::PipeWire ? 7u : 3u};
    std::vector<size_t> lengths;
    std::vector<double> pitches;
    for (int t = 0; t <= kChanges; ++t) {
        lengths.push_back(size_t((2.5 + 1.5 * rng.Next()) * kRate));
        pitches.push_back(220.0 * std::pow(2.0, (t % 7) / 3.5 + rng.Next() / 7));
    }
    const pa_sample_spec spec{PA_SAMPLE_S16LE, kRate, 2};
    pa_buffer_attr attr;
    std::memset(&attr, 0xff, sizeof attr);
    attr.tlength = static_cast<uint32_t>(pa_usec_to_bytes(400000, &spec));
    int err = 0;
    pa_simple* player = pa_simple_new(nullptr, "Bench player", PA_STREAM_PLAYBACK, "speakers", "tones",
                                      &spec, nullptr, &attr, &err);
    if (player == nullptr) {
        std::fprintf(stderr, "player: %s\n", pa_strerror(err));
        recorder.StopRecord();
        return result;
    }
    // Half a second of silence first, so that the first tone's start is
    // found in the recording whatever the stream's start dropped.
    std::vector<int16_t> block(kRate / 50 * 2);
    for (int i = 0; i < 25; ++i)
        pa_simple_write(player, block.data(), block.size() * 2, &err);
    // Announcements go out from a thread of their own, as over the bus.
    std::vector<std::thread> announcers;
    for (int t = 0; t <= kChanges; ++t) {
        if (t > 0) {
            const auto delay = std::chrono::microseconds(int64_t(600000 * rng.Next()));
            announcers.emplace_back([&recorder, delay] {
                std::this_thread::sleep_for(delay);
                recorder.MarkTrackChange(capdev::MonotonicMicroseconds(), 1500);
            });
        }
        for (size_t at = 0; at < lengths[t]; at += block.size() / 2) {
            const size_t n = std::min(block.size() / 2, lengths[t] - at);
            for (size_t i = 0; i < n; ++i) {
                const auto v = int16_t(9000 * std::sin(2 * M_PI * pitches[t] * double(at + i) / kRate));
                block[2 * i] = v;
                block[2 * i + 1] = v;
            }
            pa_simple_write(player, block.data(), n * 4, &err);
        }
    }
    pa_simple_drain(player, &err);
    pa_simple_free(player);
    for (std::thread& a : announcers)
        a.join();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    recorder.StopRecord();

    std::vector<std::string> closed;
    {
        std::lock_guard<std::mutex> lock(files.mutex);
        closed = files.closed;
    }
    if (closed.size() != size_t(kChanges) + 1 || files.errors.load() != 0) {
        std::fprintf(stderr, "%zu files, %d errors\n", closed.size(), files.errors.load());
        return result;
    }
    const std::vector<int16_t> first = ReadPcm(closed[0]);
    size_t onset = 0;
    while (onset < first.size() / 2 && std::abs(first[2 * onset]) < 300)
        ++onset;
    size_t truth = onset;
    size_t cut = 0;
    for (int t = 0; t < kChanges; ++t) {
        truth += lengths[t];
        cut += ReadPcm(closed[t]).size() / 2;
        const double errorMs = (double(cut) - double(truth)) * 1000.0 / kRate;
        if (std::getenv("FOLLOWBENCH_EACH"))
            std::printf("  change %d: %+.1f ms\n", t + 1, errorMs);
        result.meanMs += std::fabs(errorMs);
        result.worstMs = std::max(result.worstMs, std::fabs(errorMs));
    }
    result.meanMs /= kChanges;
    result.cuts = kChanges;
    result.ok = true;
    for (const std::string& path : closed)
        std::remove(path.c_str());
    return result;
}

// CPU seconds of recording `pcm` with following at `holdMs` (0: off) and,
// when on, kChanges marks spread over the audio.
double PipelineCpu(const std::vector<int16_t>& pcm, const std::string& folder, int holdMs) {
    auto backendOwner = std::make_unique<capbench::BenchBackend>();
    capbench::BenchBackend* backend = backendOwner.get();
    std::atomic<int64_t> nowUs{0};
    capdev::RecorderOptions options;
    options.backend = std::move(backendOwner);
    options.ringBlocks = 64;
    options.clock = [&nowUs] { return nowUs.load(); };
    capdev::CAudioDevRecorder recorder(std::move(options));
    Files files;
    AudioDevRecordParam param = capbench::Mp3RecordParam(&Callback, &files, folder.c_str(), "Bench Input");
    const double cpu0 = capbench::CpuSeconds(false);
    if (recorder.SetTrackFollow(holdMs) != 0 || recorder.StartRecord(&param) != 0)
        return -1;
    const auto* bytes = reinterpret_cast<const uint8_t*>(pcm.data());
    const size_t total = pcm.size() * 2;
    const unsigned blockBytes = backend->last->BlockBytes();
    const size_t markEvery = total / (kChanges + 1);
    for (size_t at = 0; at < total; at += blockBytes) {
        const unsigned n = static_cast<unsigned>(std::min<size_t>(blockBytes, total - at));
        while (recorder.BufferedBytes() + n > recorder.RingCapacity())
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        nowUs = int64_t((at + n) / 4) * 1000000 / kRate;
        if (holdMs > 0 && at / markEvery != (at + n) / markEvery)
            recorder.MarkTrackChange(nowUs.load(), 1500);
        backend->last->Deliver(bytes + at, n);
    }
    recorder.StopRecord();
    const double cpu = capbench::CpuSeconds(false) - cpu0;
    std::lock_guard<std::mutex> lock(files.mutex);
    for (const std::string& path : files.closed)
        std::remove(path.c_str());
    return files.errors.load() == 0 ? cpu : -1;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 600.0;
    char folderTemplate[] = "/tmp/capdev-followbench-XXXXXX";
    if (!mkdtemp(folderTemplate)) {
        std::perror("mkdtemp");
        return 2;
    }
    const std::string folder = folderTemplate;
    bool ok = true;
    for (const auto kind : {testsupport::SoundServer::PulseAudio, testsupport::SoundServer::PipeWire}) {
        const char* name = kind == testsupport::SoundServer::PipeWire ? "PipeWire" : "PulseAudio";
        const ServerResult r = MeasureBoundaries(kind, folder);
        if (!r.ok) {
            std::printf("%s: failed\n", name);
            ok = false;
            continue;
        }
        std::printf("%s: %d gapless track changes, boundary error mean %.1f ms, worst %.1f ms\n", name,
                    r.cuts, r.meanMs, r.worstMs);
        ok = ok && r.worstMs <= 50.0;
    }

    const auto pcm = capbench::MusicSignal(seconds, kRate);
    const double off = PipelineCpu(pcm, folder, 0);
    const double on = PipelineCpu(pcm, folder, 3000);
    std::printf("pipeline CPU over %.0f s of music (MP3 192 kbit/s): following off %.2f s, on with %d marks "
                "%.2f s (%+.1f %%)\n",
                seconds, off, kChanges, on, off > 0 ? 100.0 * (on - off) / off : 0.0);
    ok = ok && off > 0 && on > 0;
    std::string clean = "rm -rf '" + folder + "'";
    if (std::system(clean.c_str()) != 0)
        std::fprintf(stderr, "could not remove %s\n", folder.c_str());
    return ok ? 0 : 1;
}
