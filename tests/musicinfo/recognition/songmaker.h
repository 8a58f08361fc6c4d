// Test songs made with sox: a plucked melody chosen by a seed, and files
// made by a shell command through a temporary name. Used by the recognition
// tests and by the recognition benchmark.
#pragma once

#include <string>

namespace musictest {

// Runs `command`, in which "@OUT@" stands for the file to write, so that it
// makes `path` (kept when it exists already). The file appears under its
// name only when complete, so programs running at the same time never see
// half of it. false with *error set when the command fails.
bool MakeFile(const std::string& path, const std::string& command, std::string* error);

// Writes `seconds` of a plucked melody chosen by `seed` (notes of 0.3 s over
// two octaves) as a 16-bit WAV, unless `path` exists. The first
// `sharedNotes` notes follow `sharedSeed`'s melody instead.
bool SynthesiseSong(const std::string& path, unsigned seed, int seconds, int rate, int channels,
                    unsigned sharedSeed, int sharedNotes, std::string* error);

// The text in single quotes for a shell command.
std::string Quote(const std::string& text);

}  // namespace musictest
