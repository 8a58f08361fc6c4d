// Starts a computer-audio capture and waits to be killed, leaving "Tavra
// Audio" the default playback device as a crashed program would. Prints
// "recording" once it records (or "failed <code>").

#include <unistd.h>

#include <cstdio>

#include "graph/lineout.h"

namespace {
void Discard(int, const void*, unsigned, void*) {}
}  // namespace

int main() {
    capdev::CAudioFilterGraph* graph = nullptr;
    const int result = capdev::LineOutStartRecord(&Discard, nullptr, &graph);
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
