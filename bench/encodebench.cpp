// CPU cost of the whole recording pipeline (injected input, ring buffer,
// encoder thread with the silence splitter, MP3 writer at 192 kbit/s) on ten
// minutes of music-like audio, against the lame command-line encoder with
// the writer's settings (-b 192 --cbr -q 5) on the same audio as WAV.
//
//   capdev_encode_bench [seconds]     (default 600)
//
// Prints both CPU times and their ratio; exits 1 when the pipeline needs
// more than 1.10 times lame's CPU time.

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "audiodevrecorder.h"
#include "benchsupport.h"

namespace {

constexpr int kRate = 44100;

// Hands the signal to the recorder as a device would, block by block.
class BenchInput : public capdev::IAudioInput {
public:
    void SetSink(capdev::AudioSink sink, void* owner) override {
        m_sink = sink;
        m_owner = owner;
    }
    int Open(unsigned) override { return 0; }
    int Start() override { return 0; }
    int Close() override { return 0; }
    unsigned BlockBytes() const override { return kRate * 4 / 25; }
    void Deliver(const void* data, unsigned bytes) { m_sink(capdev::kSinkAudio, bytes, data, m_owner); }

private:
    capdev::AudioSink m_sink = nullptr;
    void* m_owner = nullptr;
};

class BenchBackend : public capdev::IInputBackend {
public:
    std::vector<std::string> ListInputs() override { return {"Bench Input"}; }
    std::unique_ptr<capdev::IAudioInput> CreateInput(int) override {
        auto input = std::make_unique<BenchInput>();
        last = input.get();
        return input;
    }
    BenchInput* last = nullptr;
};

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

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 600.0;
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

    // The pipeline.
    auto backendOwner = std::make_unique<BenchBackend>();
    BenchBackend* backend = backendOwner.get();
    capdev::RecorderOptions options;
    options.backend = std::move(backendOwner);
    options.ringBlocks = 64;
    capdev::CAudioDevRecorder recorder(std::move(options));
    Counts counts;
    AudioDevRecordParam param =
        capbench::Mp3RecordParam(&Callback, &counts, folder.c_str(), "Bench Input");

    const double cpu0 = capbench::CpuSeconds(false);
    const auto wall0 = std::chrono::steady_clock::now();
    if (recorder.StartRecord(&param) != 0) {
        std::fprintf(stderr, "start failed\n");
        return 2;
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
    const double pipelineCpu = capbench::CpuSeconds(false) - cpu0;
    const double pipelineWall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();

    // lame on the same audio.
    const double child0 = capbench::CpuSeconds(true);
    const std::string out = folder + "/lame.mp3";
    const pid_t pid = fork();
    if (pid == 0) {
        execlp("lame", "lame", "--quiet", "-b", "192", "--cbr", "-q", "5", wav.c_str(), out.c_str(),
               static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const double lameCpu = capbench::CpuSeconds(true) - child0;

    std::string clean = "rm -rf '" + folder + "'";
    if (std::system(clean.c_str()) != 0)
        std::fprintf(stderr, "could not remove %s\n", folder.c_str());

    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "lame failed\n");
        return 2;
    }
    const double ratio = pipelineCpu / lameCpu;
    std::printf("audio: %.0f s at %d Hz, MP3 192 kbit/s (writer quality 5; lame -b 192 --cbr -q 5)\n",
                seconds, kRate);
    std::printf("pipeline: %.2f s CPU (%.2f s wall), files %d, errors %d, dropped %llu bytes\n",
                pipelineCpu, pipelineWall, counts.closed, counts.errors,
                static_cast<unsigned long long>(recorder.DroppedBytes()));
    std::printf("lame:     %.2f s CPU\n", lameCpu);
    std::printf("ratio:    %.3f (target <= 1.10)\n", ratio);
    return ratio <= 1.10 && counts.errors == 0 && recorder.DroppedBytes() == 0 ? 0 : 1;
}
