// AudioDevCreate, the one place that binds the recorder to the sound
// server's inputs and the real file writer. Kept apart from the other
// exports so that programs driving the recorder with inputs of their own do
// not pull in the sound server.

#include <memory>

#include "audiodevrecorder.h"
#include "capdev.h"

extern "C" CAPDEV_EXPORT void* AudioDevCreate(void) {
    try {
        capdev::RecorderOptions options;
        options.backend = capdev::CreatePulseInputBackend();
        auto recorder = std::make_unique<capdev::CAudioDevRecorder>(std::move(options));
        recorder->RepairDefaultOutput();
        return recorder.release();
    } catch (...) {
        return nullptr;
    }
}
