// Starts a recording of computer audio through the capdev exports and waits
// to be killed, leaving "Tavra Audio" the default playback device as a
// crashed program would. Prints "recording" once it records, or
// "failed <code>". Arguments: the output folder, and optionally the one
// application to record.

#include <unistd.h>

#include <cstdio>

#include "capdev.h"

namespace {
int Discard(int, int, void*, void*) { return 0; }
}  // namespace

int main(int argc, char** argv) {
    void* engine = AudioDevCreate();
    if (engine && argc > 2 && AudioDevSetApplication(engine, argv[2]) != 0) {
        std::printf("failed to choose %s\n", argv[2]);
        return 1;
    }
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
