#pragma once

// Deterministic music-like test audio for the benchmarks: chords of a few
// detuned harmonic tones with attack/decay envelopes, over a little noise.

#include <cstdint>
#include <string>
#include <vector>

namespace capbench {

// Interleaved 16-bit stereo PCM, `seconds` long at `rate`. The same
// arguments always give the same samples.
std::vector<int16_t> MusicSignal(double seconds, int rate);

// Writes `pcm` as a 16-bit stereo PCM WAV file. Returns false on failure.
bool WriteWav(const std::string& path, const std::vector<int16_t>& pcm, int rate);

// User plus system CPU seconds of this process (self) or of its waited-for
// children.
double CpuSeconds(bool children);

}  // namespace capbench
