// CPU cost of the whole recording pipeline (injected input, ring buffer,
// encoder thread with the silence splitter, MP3 writer at 192 kbit/s) on ten
// minutes of music-like audio, against the lame command-line encoder with
// the writer's settings (-b 192 --cbr -q 5) on the same audio as WAV.
//
//   capdev_encode_bench [seconds [rounds]]     (default 600 s, 3 rounds)
//
// Prints both CPU times of each round and the ratio of the least of each;
// exits 1 when the pipeline needs more than 1.10 times lame's CPU time.

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "audiodevrecorder.h"
#include "benchsupport.h"

namespace {

constexpr int kRate = 44100;

struct Counts {
    int closed = 0;
    int errors = 0;
};

int Callback(int code, int, void*, void* user) {
    auto* counts = static_cast<Counts*>(user);
    if (code == FileClosed)
        ++counts->closed;
    if (code == RecordError)
        ++counts->errors;
    return 0;
}

struct PipelineRun {
    double cpu = 0;
    double wall = 0;
    int closed = 0;
    int errors = 0;
    uint64_t dropped = 0;
};

// Records `pcm` through the whole pipeline into `folder`; CPU time of this
// process (all its threads) while it runs.
PipelineRun RunPipeline(const std::vector<int16_t>& pcm, const std::string& folder) {
    auto backendOwner = std::make_unique<capbench::BenchBackend>();
    capbench::BenchBackend* backend = backendOwner.get();
    capdev::RecorderOptions options;
    options.backend = std::move(backendOwner);
    options.ringBlocks = 64;
    capdev::CAudioDevRecorder recorder(std::move(options));
    Counts counts;
    AudioDevRecordParam param =
        capbench::Mp3RecordParam(&Callback, &counts, folder.c_str(), "Bench Input");

    PipelineRun run;
    const double cpu0 = capbench::CpuSeconds(false);
    const auto wall0 = std::chrono::steady_clock::now();
    if (recorder.StartRecord(&param) != 0) {
        run.errors = 1;
        return run;
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(pcm.data());
    const size_t total = pcm.size() * 2;
    const unsigned block = backend->last->BlockBytes();
    for (size_t at = 0; at < total; at += block) {
        const unsigned n = static_cast<unsigned>(std::min<size_t>(block, total - at));
        while (recorder.BufferedBytes() + n > recorder.RingCapacity())
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        backend->last->Deliver(bytes + at, n);
    }
    recorder.StopRecord();
    run.cpu = capbench::CpuSeconds(false) - cpu0;
    run.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    run.closed = counts.closed;
    run.errors = counts.errors;
    run.dropped = recorder.DroppedBytes();
    return run;
}

// Encodes `wav` with the lame command; its CPU time, or -1 when it failed.
double RunLame(const std::string& wav, const std::string& out) {
    const double child0 = capbench::CpuSeconds(true);
    const pid_t pid = fork();
    if (pid == 0) {
        execlp("lame", "lame", "--quiet", "-b", "192", "--cbr", "-q", "5", wav.c_str(), out.c_str(),
               static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return capbench::CpuSeconds(true) - child0;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 600.0;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    char folderTemplate[] = "/tmp/capdev-bench-XXXXXX";
    if (!mkdtemp(folderTemplate)) {
        std::perror("mkdtemp");
        return 2;
    }
    const std::string folder = folderTemplate;
    const std::string wav = folder + "/music.wav";
    const auto pcm = capbench::MusicSignal(seconds, kRate);
    if (!capbench::WriteWav(wav, pcm, kRate)) {
        std::fprintf(stderr, "cannot write %s\n", wav.c_str());
        return 2;
    }
    std::printf("audio: %.0f s at %d Hz, MP3 192 kbit/s (writer quality 5; lame -b 192 --cbr -q 5)\n",
                seconds, kRate);

    // Rounds alternate between the two, so that a busy machine weighs on
    // both alike; the least CPU time of each is compared.
    double bestPipeline = 1e30, bestLame = 1e30;
    bool ok = true;
    for (int r = 1; r <= rounds; ++r) {
        const PipelineRun run = RunPipeline(pcm, folder);
        const double lame = RunLame(wav, folder + "/lame.mp3");
        std::printf("round %d: pipeline %.2f s CPU (%.2f s wall, files %d, errors %d, dropped %llu), "
                    "lame %.2f s CPU\n",
                    r, run.cpu, run.wall, run.closed, run.errors,
                    static_cast<unsigned long long>(run.dropped), lame);
        ok = ok && run.errors == 0 && run.dropped == 0 && run.closed == 1 && lame > 0;
        bestPipeline = std::min(bestPipeline, run.cpu);
        bestLame = std::min(bestLame, lame);
    }
    std::string clean = "rm -rf '" + folder + "'";
    if (std::system(clean.c_str()) != 0)
        std::fprintf(stderr, "could not remove %s\n", folder.c_str());
    if (!ok) {
        std::fprintf(stderr, "a run failed\n");
        return 2;
    }
    const double ratio = bestPipeline / bestLame;
    std::printf("least CPU: pipeline %.2f s, lame %.2f s\n", bestPipeline, bestLame);
    std::printf("ratio:     %.3f (target <= 1.10)\n", ratio);
    return ratio <= 1.10 ? 0 : 1;
}
