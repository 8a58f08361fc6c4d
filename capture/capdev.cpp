// The exported functions but AudioDevCreate (capdevcreate.cpp): each checks
// its handle and hands over to the recorder. Nothing thrown inside crosses
// this boundary.

#include "audiodevrecorder.h"
#include "capdev.h"

using capdev::CAudioDevRecorder;

namespace {

CAudioDevRecorder* Recorder(void* handle) {
    return static_cast<CAudioDevRecorder*>(handle);
}

}  // namespace

extern "C" {

CAPDEV_EXPORT void AudioDevDestroy(void* handle) {
    if (!handle)
        return;
    try {
        delete Recorder(handle);
    } catch (...) {
    }
}

CAPDEV_EXPORT int AudioDevGetInputCount(void* handle) {
    if (!handle)
        return AUDIODEV_ERR_PARAM;
    try {
        return Recorder(handle)->GetInputCount();
    } catch (...) {
        return 0;
    }
}

CAPDEV_EXPORT const char* AudioDevGetInputName(void* handle, unsigned index) {
    if (!handle)
        return nullptr;
    return Recorder(handle)->GetInputName(index);
}

CAPDEV_EXPORT int AudioDevSetDriverName(void* handle, const char* name) {
    if (!handle)
        return AUDIODEV_ERR_PARAM;
    try {
        return Recorder(handle)->SelectInput(name);
    } catch (...) {
        return AUDIODEV_ERR_NO_DEVICE;
    }
}

CAPDEV_EXPORT int AudioDevStartRecord(void* handle, const AudioDevRecordParam* param) {
    if (!handle)
        return AUDIODEV_ERR_PARAM;
    CAudioDevRecorder* recorder = Recorder(handle);
    try {
        return recorder->StartRecord(param);
    } catch (...) {
        // Out of memory part-way: undo what was started.
        try {
            recorder->StopRecord();
        } catch (...) {
        }
        return AUDIODEV_ERR_THREAD;
    }
}

CAPDEV_EXPORT int AudioDevStopRecord(void* handle) {
    if (!handle)
        return 0;
    try {
        return Recorder(handle)->StopRecord();
    } catch (...) {
        return 0;
    }
}

CAPDEV_EXPORT int AudioDevSetVolume(void* handle, unsigned volume) {
    if (!handle)
        return AUDIODEV_ERR_PARAM;
    return Recorder(handle)->SetVolume(volume);
}

CAPDEV_EXPORT int AudioDevGetVolume(void* handle) {
    return handle ? 0 : AUDIODEV_ERR_PARAM;
}

}  // extern "C"
