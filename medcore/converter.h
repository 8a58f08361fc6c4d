#pragma once

// Converts a media file into a 16-bit PCM WAV file.

#include <atomic>
#include <string>

namespace medcore {

// Decodes `input` (UTF-8) and writes it to `output` as a RIFF/WAVE file of
// 16-bit PCM at `rate` Hz with `channels` (0 keeps the input's; more than
// two channels become stereo). The samples go into a new file beside
// `output`, which is renamed over `output` only once it is complete; on any
// failure it is removed, so `output` is either the whole result or as it
// was. `stop` is read between pieces of audio: once it is true the
// conversion ends with WM_ERR_CANCELLED. Runs on the caller's thread.
// Returns 0 or a WM_ERR_ code.
int ConvertToWav(const std::string& input, const std::string& output, int rate, int channels,
                 const std::atomic<bool>& stop);

}  // namespace medcore
