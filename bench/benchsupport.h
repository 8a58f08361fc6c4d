#pragma once

// What both capture benchmarks use: deterministic music-like audio (chords
// of a few detuned harmonic tones with attack/decay envelopes, over a little
// noise), WAV output, CPU time and the recording settings.

#include <cstdint>
#include <string>
#include <vector>

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

}  // namespace capbench
