// The exported functions but AudioDevCreate (capdevcreate.cpp): each checks
// its handle and hands over to the recorder. Nothing thrown inside crosses
// this boundary.

#include <cstring>

#include "audiodevrecorder.h"
#include "capdev.h"
#include "common/utf8.h"

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
    try {
        return Recorder(handle)->GetInputName(index);
    } catch (...) {
        return nullptr;
    }
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
    try {
        return Recorder(handle)->SetVolume(volume);
    } catch (...) {
        return AUDIODEV_ERR_PARAM;
    }
}

CAPDEV_EXPORT int AudioDevGetVolume(void* handle) {
    // Nothing here can throw.
    return handle ? 0 : AUDIODEV_ERR_PARAM;
}

CAPDEV_EXPORT int AudioDevSetTrackFollow(void* handle, int holdMs) {
    if (!handle)
        return AUDIODEV_ERR_PARAM;
    try {
        return Recorder(handle)->SetTrackFollow(holdMs);
    } catch (...) {
        return AUDIODEV_ERR_THREAD;
    }
}

CAPDEV_EXPORT int AudioDevMarkTrackChange(void* handle, int64_t monotonicUs, int windowMs) {
    if (!handle)
        return AUDIODEV_ERR_PARAM;
    try {
        return Recorder(handle)->MarkTrackChange(monotonicUs, windowMs);
    } catch (...) {
        return AUDIODEV_ERR_NOT_FOLLOWING;
    }
}

CAPDEV_EXPORT int AudioDevGetApplicationCount(void* handle) {
    if (!handle)
        return AUDIODEV_ERR_PARAM;
    try {
        return Recorder(handle)->ListApplications();
    } catch (...) {
        return 0;
    }
}

CAPDEV_EXPORT int AudioDevGetApplication(void* handle, unsigned index, AudioDevApplication* app) {
    if (!handle || !app)
        return AUDIODEV_ERR_PARAM;
    try {
        const capdev::PlayingApplication* found = Recorder(handle)->GetApplication(index);
        if (!found)
            return AUDIODEV_ERR_PARAM;
        std::memset(app, 0, sizeof *app);
        common::CopyText(app->name, found->name);
        common::CopyText(app->binary, found->binary);
        common::CopyText(app->iconName, found->icon);
        app->processId = found->processId;
        app->streams = found->streams;
        app->playing = found->playing ? 1 : 0;
        return 0;
    } catch (...) {
        return AUDIODEV_ERR_PARAM;
    }
}

CAPDEV_EXPORT int AudioDevSetApplication(void* handle, const char* binaryOrName) {
    if (!handle || (binaryOrName && std::strlen(binaryOrName) >= AUDIODEV_APP_TEXT))
        return AUDIODEV_ERR_PARAM;
    try {
        return Recorder(handle)->SetApplication(binaryOrName);
    } catch (...) {
        return AUDIODEV_ERR_PARAM;
    }
}

}  // extern "C"
