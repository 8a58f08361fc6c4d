// AudioDevCreate, the one place that binds the recorder to the sound
// server's inputs and the real file writer. Kept apart from the other
// exports so that programs driving the recorder with inputs of their own do
// not pull in the sound server.

#include "audiodevrecorder.h"
#include "capdev.h"

extern "C" CAPDEV_EXPORT void* AudioDevCreate(void) {
    try {
        capdev::RecorderOptions options;
        options.backend = capdev::CreatePulseInputBackend();
        return new capdev::CAudioDevRecorder(std::move(options));
    } catch (...) {
        return nullptr;
    }
}
