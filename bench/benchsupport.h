#pragma once

// What both capture benchmarks use: deterministic music-like audio (chords
// of a few detuned harmonic tones with attack/decay envelopes, over a little
// noise), WAV output, CPU time and the recording settings.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audioinput.h"
#include "capdev.h"

namespace capbench {

// 44100 Hz, MP3 at 192 kbit/s, split after 3 s of silence, no sample file,
// from the input named `input` into `folder` (both must outlive the start).
AudioDevRecordParam Mp3RecordParam(AudioDevCallback callback, void* user, const char* folder,
                                   const char* input);

// Interleaved 16-bit stereo PCM, `seconds` long at `rate`. The same
// arguments always give the same samples.
std::vector<int16_t> MusicSignal(double seconds, int rate);

// Writes `pcm` as a 16-bit stereo PCM WAV file. Returns false on failure.
bool WriteWav(const std::string& path, const std::vector<int16_t>& pcm, int rate);

// User plus system CPU seconds of this process (self) or of its waited-for
// children.
double CpuSeconds(bool children);

// An input that hands the benchmark's signal to the recorder as a device
// would, 40 ms at 44100 Hz per block, on the benchmark's thread.
class BenchInput : public capdev::IAudioInput {
public:
    void SetSink(capdev::AudioSink sink, void* owner) override {
        m_sink = sink;
        m_owner = owner;
    }
    int Open(const capdev::InputDevice&) override { return 0; }
    int Start() override { return 0; }
    int Close() override { return 0; }
    unsigned BlockBytes() const override { return 44100 * 4 / 25; }
    void Deliver(const void* data, unsigned bytes) { m_sink(capdev::kSinkAudio, bytes, data, m_owner); }

private:
    capdev::AudioSink m_sink = nullptr;
    void* m_owner = nullptr;
};

// One input, "Bench Input"; `last` is the input made last (owned by the
// recorder).
class BenchBackend : public capdev::IInputBackend {
public:
    std::vector<capdev::InputDevice> ListDevices() override { return {{"Bench Input", "bench"}}; }
    std::unique_ptr<capdev::IAudioInput> CreateInput(int) override {
        auto input = std::make_unique<BenchInput>();
        last = input.get();
        return input;
    }
    BenchInput* last = nullptr;
};

}  // namespace capbench
