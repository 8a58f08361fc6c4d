// Starts a recording of computer audio through the capdev exports and waits
// to be killed, leaving "Tavra Audio" the default playback device as a
// crashed program would. Prints "recording" once it records, or
// "failed <code>". Argument: the output folder.

#include <unistd.h>

#include <cstdio>

#include "capdev.h"

namespace {
int Discard(int, int, void*, void*) { return 0; }
}  // namespace

int main(int argc, char** argv) {
    void* engine = AudioDevCreate();
    AudioDevRecordParam param{};
    param.callback = &Discard;
    param.outputFolder = argc > 1 ? argv[1] : "/tmp";
    param.inputDeviceName = nullptr;  // what the computer plays
    param.fileType = 1;
    param.sampleRate = 44100;
    const int result = engine ? AudioDevStartRecord(engine, &param) : -1;
    if (result != 0) {
        std::printf("failed %d\n", result);
        return 1;
    }
    std::printf("recording\n");
    std::fflush(stdout);
    for (;;) {
        ::pause();
    }
}
