#ifndef CAPDEV_H
#define CAPDEV_H

/*
 * capdev: the capture engine.
 *
 * A plain C interface to one recorder object. The program creates one handle
 * per run with AudioDevCreate, starts and stops recordings on it any number
 * of times, and frees it with AudioDevDestroy. Everything the engine reports
 * while recording arrives through the AudioDevCallback of the running
 * recording.
 *
 * Threads: call the exports from one thread at a time (the program's user
 * interface thread). Calls on one handle must not overlap. The callback runs
 * on engine threads (see AudioDevCallback).
 *
 * Results are 32-bit signed integers: 0 or a non-negative value is success,
 * negative values are the codes below. No export throws and none shows a
 * message.
 *
 * Strings are NUL-terminated UTF-8.
 */

#include <stdint.h>

#include "capdev_tags.h"

#include "capdev_export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Error codes of the exports and of RecordError events. */
enum {
    AUDIODEV_OK = 0,
    /* No input selected at start, or the input was already open. */
    AUDIODEV_ERR_NO_INPUT = -1,
    /* The encoder thread could not be created (or no output device). */
    AUDIODEV_ERR_THREAD = -2,
    /* Null handle, invalid parameter record, or a volume above 200. */
    AUDIODEV_ERR_PARAM = -5,
    /* AudioDevStartRecord while a recording is running. */
    AUDIODEV_ERR_RUNNING = -6,
    /* RecordError: no file could be created for the sound (see RecordError). */
    AUDIODEV_ERR_CREATE_FILE = -7,
    /* RecordError: writing to the output file failed (for example a full disk). */
    AUDIODEV_ERR_WRITE = -8,
    /* No input's name contains the requested name; as RecordError: the
       input went away during the recording. */
    AUDIODEV_ERR_NO_DEVICE = -9
};

/* Event codes passed to AudioDevCallback as `code`. */
typedef enum AudioDevEvent {
    /* value: result of the write that crossed one second (0 = success);
       data: UTF-8 path of the current output file. Once per file, when the
       file has received at least one second of audio. */
    FileBegun = 0,
    /* value: close result (0 = success, else the writer's code);
       data: UTF-8 path of the closed file. On a silence split, at the end of
       a recording, before a size roll-over, and when the encoder stops on an
       error. */
    FileClosed = 1,
    /* value: length in bytes; data: interleaved 16-bit stereo PCM at the
       recording rate. Just before a block is written to the output file; not
       raised for dropped (silent) blocks. */
    AudioData = 2,
    /* value: -7 (a file could not be created: at once for most failures,
       after five seconds of unsaved sound when the folder cannot be written),
       -8 (write failed; data null) or
       -9 (the input went away; data: UTF-8 name of the input). The encoder
       stops after raising it; the recording stays in force until
       AudioDevStopRecord. */
    RecordError = 3,
    /* value 0: the current block is silent while a file is open (only while
       splitting is on); value 1: a new output file was opened. data: null. */
    SilenceState = 4,
    /* value 1; data: a diagnostic line of at most 1023 characters. */
    LogLine = 5,
    /* value 0: the 20-second sample file is complete; value 1: it was
       abandoned because its song ended earlier or writing or closing it
       failed. data: UTF-8 path of the sample file. */
    SampleFile = 6
} AudioDevEvent;

/*
 * The engine's event sink: code is an AudioDevEvent, value and data as listed
 * there, user the record's user pointer. The result is ignored.
 *
 * Runs on engine threads: events 0, 1, 2, 3, 4 and 6 on the recording's
 * encoder thread; LogLine on whichever thread logs (the caller's thread
 * during start, stop and input enumeration, the encoder thread, the input's
 * delivery thread). It must be safe on any thread, return quickly and never
 * call back into the engine. `data` is valid only during the call: copy what
 * you keep.
 */
typedef int (*AudioDevCallback)(int code, int value, void* data, void* user);

/*
 * The parameter record of AudioDevStartRecord. Owned by the caller; the
 * engine copies it, strings included, so nothing needs to outlive the call.
 */
typedef struct AudioDevRecordParam {
    /* Event sink. Required. Stays in force after the recording stops, for
       later log lines. */
    AudioDevCallback callback;
    /* Passed back unchanged as the callback's `user`. */
    void* user;
    /* Folder of the recording files. Required. May end in '/' or '\'. */
    const char* outputFolder;
    /* Null: record what the computer plays (the "Tavra Audio" device).
       Otherwise: record the first input whose name contains this text. */
    const char* inputDeviceName;
    /* Milliseconds of continuous silence after which a file is closed; the
       next file opens when sound resumes. 0: never split. */
    int32_t splitSilenceMs;
    /* Non-zero: also write each song's first 20 seconds to a WAV sample
       file. */
    int32_t sampleFile;
    /* 0 = MP3, 1 = WAV. Any other value fails at file creation. */
    int32_t fileType;
    /* Hz. Outside 8000..48000 becomes 44100. */
    int32_t sampleRate;
    /* kbit/s, MP3 only. Outside 8..320 becomes 192. */
    int32_t bitRate;
} AudioDevRecordParam;

/*
 * Creates the recorder, idle: no device opened, no thread started.
 * Returns the handle, owned by the caller until AudioDevDestroy, or null when
 * memory runs out.
 */
CAPDEV_EXPORT void* AudioDevCreate(void);

/*
 * Stops any recording as AudioDevStopRecord does (waiting for the encoder
 * thread), frees everything the recorder holds and the recorder itself.
 * A null handle does nothing. The handle is invalid afterwards.
 */
CAPDEV_EXPORT void AudioDevDestroy(void* handle);

/*
 * Rebuilds the list of input names and returns its length (0 or more), or -5
 * for a null handle. Names returned earlier by AudioDevGetInputName become
 * invalid.
 */
CAPDEV_EXPORT int AudioDevGetInputCount(void* handle);

/*
 * Returns the UTF-8 name of input `index` of the last rebuilt list, owned by
 * the engine and valid until the next rebuild (AudioDevGetInputCount,
 * AudioDevSetDriverName, AudioDevStartRecord) or AudioDevDestroy. Null for a
 * null handle or an index not below the list's length.
 */
CAPDEV_EXPORT const char* AudioDevGetInputName(void* handle, unsigned index);

/*
 * Rebuilds the input list and selects the first input whose name contains
 * `name` (case-sensitive; an empty or null name selects input 0). Returns 0
 * when an input was found, -9 when none was, -5 for a null handle. Serves as
 * a presence test: AudioDevStartRecord selects again from its record.
 */
CAPDEV_EXPORT int AudioDevSetDriverName(void* handle, const char* name);

/*
 * Starts a recording with a copy of `param` (a sample rate or bit rate out of
 * range is corrected in the copy; the caller's record is left as it is).
 * Returns 0 once the input delivers to the
 * encoder thread; -5 for a null handle or an invalid record; -6 while a
 * recording runs (which stays untouched); -9 when no input matches (a null
 * input name asks for computer audio, which needs the "Tavra Audio" device);
 * -1 or a positive sound-system error when the input could not be opened or
 * started; -2 when the encoder thread could not be created or memory ran
 * out. Computer audio (null input name) also fails with -1 when there is no
 * "Tavra Audio" output, -2 when no real output device can be found, and
 * -1000 minus the sound server's error number when the capture graph cannot
 * be built (-1005: a device is missing). On failure everything started is
 * stopped again and the default output device is restored. Does not wait
 * for audio.
 */
CAPDEV_EXPORT int AudioDevStartRecord(void* handle, const AudioDevRecordParam* param);

/*
 * Stops the input, lets the encoder write what it still holds, closes the
 * current file (FileClosed) and waits for the encoder thread. Returns 0,
 * also for a null handle or when nothing records.
 */
CAPDEV_EXPORT int AudioDevStopRecord(void* handle);

/*
 * Sets the monitor volume in percent (0..200, 100 = unchanged); it does not
 * change the recorded level and takes effect only while recording computer
 * audio. Returns 0, or -5 for a null handle or a volume above 200.
 */
CAPDEV_EXPORT int AudioDevSetVolume(void* handle, unsigned volume);

/* Returns 0 for a valid handle, -5 for a null one. Reports no volume. */
CAPDEV_EXPORT int AudioDevGetVolume(void* handle);

#ifdef __cplusplus
}
#endif

#endif /* CAPDEV_H */
