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
    AUDIODEV_ERR_NO_DEVICE = -9,
    /* AudioDevMarkTrackChange while no recording follows tracks. */
    AUDIODEV_ERR_NOT_FOLLOWING = -10
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

/*
 * Track following: songs are cut where the player says its track changed.
 *
 * AudioDevSetTrackFollow(handle, holdMs) makes the recordings started from
 * now on keep the last `holdMs` milliseconds of audio back before the silence
 * splitter and the writers see it (3000 suits announcements up to about a
 * second late with the usual 1500 ms window); 0 turns following off, the
 * default. Everything else stays as it is: silence still splits, FileClosed,
 * SilenceState, FileBegun and SampleFile come as always, only later by the
 * hold. AudioData alone is raised as blocks are captured, before the hold
 * (so the live display does not lag), for silent blocks too.
 * Caller's thread. Returns 0; -5 for a null handle or a hold outside 0 and
 * 500..30000; -6 while a recording runs (which keeps its own setting).
 */
CAPDEV_EXPORT int AudioDevSetTrackFollow(void* handle, int holdMs);

/*
 * Tells the recording that a player announced a new track: `monotonicUs` is
 * the CLOCK_MONOTONIC time (microseconds) at which the announcement arrived,
 * `windowMs` (0..5000; 1500 suits most players) how far either side of it
 * the new track may really begin. Once the audio up to the end of the window
 * has been captured, the engine cuts at the point of strongest change of
 * spectrum or level inside the window: the current file ends there
 * (FileClosed) and the next begins there (SilenceState 1, later FileBegun and
 * SampleFile, as after a silence split). When no change stands out in the
 * window, or `windowMs` is 0, the cut falls at the announced time. A window
 * that reaches back beyond the audio still held is searched where it is
 * held; one wholly beyond it cuts at the oldest audio held, the nearest point
 * still open. A window never reaches back over the previous cut: a change
 * announced twice is cut once. AudioDevStopRecord decides the marks still
 * waiting with the audio there is and writes everything held.
 * Any thread, but not overlapping AudioDevStartRecord or AudioDevStopRecord
 * on the same handle. Returns at once: 0 when the mark was queued; -5 for a
 * null handle, a window outside 0..5000 or a time more than a minute ahead
 * of now; -10 when no recording with track following runs.
 */
CAPDEV_EXPORT int AudioDevMarkTrackChange(void* handle, int64_t monotonicUs, int windowMs);

/* Bytes of each text field of AudioDevApplication, the NUL included. */
#define AUDIODEV_APP_TEXT 128

/*
 * One application that has playback streams on the sound server now, as
 * AudioDevGetApplication fills it. Texts are NUL-terminated UTF-8, cut at a
 * character boundary when longer; "" when the streams do not say.
 */
typedef struct AudioDevApplication {
    /* What the user knows it by (the streams' application.name). */
    char name[AUDIODEV_APP_TEXT];
    /* Its program file's name (application.process.binary), e.g. "vlc". */
    char binary[AUDIODEV_APP_TEXT];
    /* Its icon's name in the icon theme (application.icon_name). */
    char iconName[AUDIODEV_APP_TEXT];
    /* Process id of its first stream (application.process.id), 0 when
       unknown; lets the program find the player of that process on the
       session bus. */
    int32_t processId;
    /* Its playback streams now (1 or more). */
    int32_t streams;
    /* Non-zero when at least one of them plays (is not paused). */
    int32_t playing;
} AudioDevApplication;

/*
 * Asks the sound server which applications play now and rebuilds the
 * engine's list of them, one entry per application name and binary, in the
 * order their first streams appeared; this engine's own streams are left
 * out. Caller's thread; waits for the server (at most a few seconds).
 * Returns the number of applications (0 or more; 0 also when the server
 * cannot be reached, with a LogLine), or -5 for a null handle.
 */
CAPDEV_EXPORT int AudioDevGetApplicationCount(void* handle);

/*
 * Copies entry `index` of the list the last AudioDevGetApplicationCount
 * built into *app, which the caller owns. Caller's thread. Returns 0; -5 for
 * a null handle or record, or an index not below the list's length.
 */
CAPDEV_EXPORT int AudioDevGetApplication(void* handle, unsigned index, AudioDevApplication* app);

/*
 * Chooses what the next recordings of computer audio (a null input name)
 * record: NULL or "" all applications, by making "Tavra Audio" the default
 * output (the default); otherwise only the application whose binary or name
 * (AudioDevApplication.binary or .name) equals `binaryOrName`. With one
 * application chosen the default output never changes: its playback streams
 * are moved to "Tavra Audio" when the recording starts, and its new streams
 * as they appear, while everything else keeps playing where it plays (a
 * stream of another application found on "Tavra Audio" is moved to the real
 * default output, so that it is not recorded). The user keeps hearing the
 * application through the monitor at the AudioDevSetVolume level. Stop,
 * AudioDevDestroy and the application's exit give every moved stream back to
 * the device it came from, and the sound server forgets the route, so the
 * application's later streams play where they did before; after a crash the
 * next AudioDevCreate does the same. Input recordings are not affected.
 * AudioDevStartRecord of computer audio then also fails with -1000 minus
 * the sound server's error when the streams cannot be routed.
 * The engine copies the text. Caller's thread. Returns 0; -5 for a null
 * handle or a text of AUDIODEV_APP_TEXT bytes or more; -6 while a recording
 * runs (which keeps its choice).
 */
CAPDEV_EXPORT int AudioDevSetApplication(void* handle, const char* binaryOrName);

#ifdef __cplusplus
}
#endif

#endif /* CAPDEV_H */
