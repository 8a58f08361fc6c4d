#include "songmaker.h"

#include <sys/stat.h>

#include <cstdio>
#include <sstream>
#include <vector>

#include "pulsedaemon.h"

namespace musictest {
namespace {

constexpr double kNoteSeconds = 0.3;

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && st.st_size > 0;
}

// Semitones from A4, -12 to 11, of `notes` notes.
std::vector<int> Melody(unsigned seed, int notes) {
    std::vector<int> out;
    unsigned long long x = seed;
    for (int i = 0; i < notes; ++i) {
        x = (x * 1103515245ull + 12345ull) % 2147483648ull;
        out.push_back(static_cast<int>((x / 65536) % 24) - 12);
    }
    return out;
}

}  // namespace

std::string Quote(const std::string& text) {
    return "'" + text + "'";
}

bool MakeFile(const std::string& path, const std::string& command, std::string* error) {
    if (Exists(path)) return true;
    // The temporary name keeps the extension, which tells the tools the format.
    const std::size_t dot = path.rfind('.');
    const std::string temp = path.substr(0, dot) + ".part" + path.substr(dot);
    std::string line = command;
    for (std::size_t at; (at = line.find("@OUT@")) != std::string::npos;) line.replace(at, 5, Quote(temp));
    std::string output;
    if (testsupport::runCommand(line + " 2>&1", &output) != 0 || !Exists(temp)) {
        *error = "could not make " + path + ": " + output;
        return false;
    }
    return std::rename(temp.c_str(), path.c_str()) == 0;
}

bool SynthesiseSong(const std::string& path, unsigned seed, int seconds, int rate, int channels,
                    unsigned sharedSeed, int sharedNotes, std::string* error) {
    const int notes = static_cast<int>(seconds / kNoteSeconds + 0.999);
    std::vector<int> melody = Melody(seed, notes);
    const std::vector<int> shared = Melody(sharedSeed, sharedNotes);
    for (int i = 0; i < sharedNotes && i < notes; ++i) melody[i] = shared[i];
    std::ostringstream command;
    command << "sox -n -r " << rate << " -c " << channels << " -b 16 @OUT@";
    for (int i = 0; i < notes; ++i) command << (i ? " :" : "") << " synth " << kNoteSeconds << " pluck %" << melody[i];
    return MakeFile(path, command.str(), error);
}

}  // namespace musictest
