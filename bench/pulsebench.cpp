// CPU use of a real-time recording from a private PulseAudio daemon:
// music-like audio is played into its "Speakers" sink and recorded from
// "Monitor of Speakers" at 44100 Hz into MP3 at 192 kbit/s, with the ring
// buffer's drops counted.
//
//   capdev_pulse_bench [seconds]     (default 600)
//
// Prints the recorder process's CPU time as a share of one core over the
// recording, the ring's dropped bytes and the files written; exits 1 when
// any byte was dropped or the recording failed.

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "audiodevrecorder.h"
#include "benchsupport.h"
#include "pulsedaemon.h"

namespace {

constexpr int kRate = 44100;

struct Counts {
    std::atomic<int> closed{0};
    std::atomic<int> errors{0};
    std::atomic<uint64_t> audioBytes{0};
};

int Callback(int code, int value, void* data, void* user) {
    auto* counts = static_cast<Counts*>(user);
    if (code == FileClosed)
        ++counts->closed;
    if (code == RecordError)
        ++counts->errors;
    if (code == AudioData)
        counts->audioBytes += static_cast<uint64_t>(value);
    if (code == LogLine && data && std::string(static_cast<const char*>(data)).find("dropped") != std::string::npos)
        std::fprintf(stderr, "%s\n", static_cast<const char*>(data));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 600.0;
    testsupport::PulseDaemon daemon;
    if (!daemon.ok()) {
        std::fprintf(stderr, "private PulseAudio daemon: %s\n", daemon.error().c_str());
        return 2;
    }
    char folderTemplate[] = "/tmp/capdev-pulsebench-XXXXXX";
    if (!mkdtemp(folderTemplate)) {
        std::perror("mkdtemp");
        return 2;
    }
    const std::string folder = folderTemplate;
    const std::string wav = folder + "/music.wav";
    if (!capbench::WriteWav(wav, capbench::MusicSignal(seconds, kRate), kRate)) {
        std::fprintf(stderr, "cannot write %s\n", wav.c_str());
        return 2;
    }

    capdev::RecorderOptions options;
    options.backend = capdev::CreatePulseInputBackend();
    capdev::CAudioDevRecorder recorder(std::move(options));
    Counts counts;
    AudioDevRecordParam param =
        capbench::Mp3RecordParam(&Callback, &counts, folder.c_str(), "Monitor of Speakers");

    const int started = recorder.StartRecord(&param);
    if (started != 0) {
        std::fprintf(stderr, "start failed: %d\n", started);
        return 2;
    }
    const double cpu0 = capbench::CpuSeconds(false);
    const auto wall0 = std::chrono::steady_clock::now();
    // The player is a separate process: its CPU time is not counted.
    const int played = daemon.shell("paplay --device=speakers '" + wav + "'");
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    const double cpu = capbench::CpuSeconds(false) - cpu0;
    recorder.StopRecord();

    std::string clean = "rm -rf '" + folder + "'";
    if (std::system(clean.c_str()) != 0)
        std::fprintf(stderr, "could not remove %s\n", folder.c_str());
    const double recorded = double(counts.audioBytes.load()) / (kRate * 4);
    std::printf("played %.0f s (paplay %d); recorded %.1f s into %d file(s), errors %d\n", seconds,
                played, recorded, counts.closed.load(), counts.errors.load());
    std::printf("recorder CPU: %.2f s over %.1f s wall = %.2f %% of one core\n", cpu, wall,
                100.0 * cpu / wall);
    std::printf("ring dropped: %llu bytes\n", static_cast<unsigned long long>(recorder.DroppedBytes()));
    return played == 0 && counts.errors.load() == 0 && recorder.DroppedBytes() == 0 ? 0 : 1;
}
