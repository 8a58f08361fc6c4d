#ifndef MEDCORE_H
#define MEDCORE_H

/*
 * medcore: the media engine. Plays one file at a time on the sound server,
 * measures the length of media files and converts them to 16-bit PCM WAV.
 * Any local regular file that FFmpeg can decode is accepted (MP3, WAV, FLAC,
 * Ogg ...); FIFOs, devices and FFmpeg's addresses (http:, concat: ...) are
 * not.
 *
 * Files are named by handles from WM_AddFile. A handle stays valid until
 * WM_DeleteFile or WM_Destroy; handles are never reused, so a stale handle
 * (or one that was never handed out) only makes the call fail.
 *
 * Threads: every export may be called from any thread. The player calls
 * (WM_CreatePlay ... WM_ChangeVolume) act on the one player of the process;
 * the program calls them from its user-interface thread. Measuring
 * (WM_AddFile, WM_GetMediaDuration, WM_DeleteFile) and converting may run on
 * other threads at the same time, each on handles of its own.
 *
 * Results are 32-bit signed integers: 0 or a non-negative value is success,
 * negative values are the codes below. No export throws and none shows a
 * message.
 *
 * Strings are NUL-terminated UTF-8 paths, owned by the caller and only read
 * during the call.
 */

#include <stdint.h>

#include "medcore_export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Error codes. */
enum {
    WM_OK = 0,
    /* A null or out-of-range argument. */
    WM_ERR_ARGUMENT = -1,
    /* A file handle or conversion handle that is unknown or already released. */
    WM_ERR_HANDLE = -2,
    /* The file cannot be opened, holds no audio stream, or its audio cannot
       be decoded. */
    WM_ERR_OPEN = -3,
    /* Reading or decoding failed part-way through the file. */
    WM_ERR_DECODE = -4,
    /* The output file could not be created or written (for example a full
       disk), or it would pass the 4 GiB size limit of a WAV file. */
    WM_ERR_WRITE = -5,
    /* The conversion was ended by WM_SkipConverter. */
    WM_ERR_CANCELLED = -6,
    /* No sound server, or it refused the playback stream. */
    WM_ERR_DEVICE = -7,
    /* Out of memory, or a thread could not be started. */
    WM_ERR_RESOURCE = -8,
    /* Called from the player's own thread (inside the progress callback)
       where it would wait for itself. */
    WM_ERR_STATE = -9
};

/* States passed to WM_PlayCallback. */
enum {
    /* Playing; the position moves. Reported about every 200 ms. */
    WM_STATE_PLAYING = 1,
    /* Paused (also before the first WM_Play); reported once per pause and
       after a seek while paused. */
    WM_STATE_PAUSED = 2,
    /* The end of the file was played out. The last report of the file. */
    WM_STATE_ENDED = 3,
    /* Playback ended early: the file could no longer be read or decoded, or
       the sound server went away. The last report of the file. */
    WM_STATE_FAILED = 4
};

/*
 * Progress callback of a player: position 0 to 10000 (ten-thousandths of the
 * length), one of the WM_STATE_ values, and the user data given to
 * WM_CreatePlay. Called on the player's own thread, never two calls at once,
 * and never again once WM_DestroyPlay has returned. It must return quickly
 * and must not call WM_DestroyPlay (which would wait for the very thread it
 * runs on; it fails with WM_ERR_STATE there). The result is not used.
 */
typedef int (*WM_PlayCallback)(int position, int state, void* user);

/*
 * Output format of WM_ConverterEx. Owned by the caller; read during the call.
 * Zero in a field keeps the input's own value.
 */
typedef struct WM_ConvertFormat {
    int32_t sampleRate; /* Hz, 0 or 8000 to 192000 */
    int32_t channels;   /* 0, 1 or 2 */
} WM_ConvertFormat;

/* Names the engine to the sound server (the client name the user sees in the
   mixer; NULL or "" keeps "medcore"). Optional; the program calls it once
   before anything else. Returns 0. */
MEDCORE_EXPORT int WM_Create(const char* appName);

/* Stops and drops the player and releases every file handle still open.
   Conversions that are running finish on their own (they hold the file).
   The engine can be used again afterwards. Returns 0. */
MEDCORE_EXPORT int WM_Destroy(void);

/* Opens a media file and checks that its first audio can be decoded. Returns
   a file handle (1 or more) owned by the caller until WM_DeleteFile, or
   WM_ERR_ARGUMENT (null path) or WM_ERR_OPEN (also for anything but a
   regular file: a FIFO or device is refused without blocking, and a path is
   never read as an FFmpeg address). */
MEDCORE_EXPORT int WM_AddFile(const char* path);

/* Releases a file handle. A player or conversion using the file goes on until
   it ends. Returns 0 or WM_ERR_HANDLE. */
MEDCORE_EXPORT int WM_DeleteFile(int handle);

/* Fills *milliseconds with the length of the file's audio, as measured when
   it was added (from the container's header or the MP3 information frame;
   a VBR MP3 without one is scanned frame by frame, never decoded). Returns 0,
   WM_ERR_ARGUMENT or WM_ERR_HANDLE (then *milliseconds is left alone). */
MEDCORE_EXPORT int WM_GetMediaDuration(int handle, int64_t* milliseconds);

/* Creates the player for a file, replacing (stopping) a previous one, and
   connects a playback stream to the sound server's default output. The
   player starts paused at position 0; `callback` (may be NULL) receives its
   progress with `user`. Returns 0, WM_ERR_HANDLE, WM_ERR_OPEN, WM_ERR_DEVICE
   or WM_ERR_RESOURCE. */
MEDCORE_EXPORT int WM_CreatePlay(int handle, WM_PlayCallback callback, void* user);

/* Stops and drops the player. When it returns the stream is gone and no
   callback runs any more. Returns 0 (also without a player), or WM_ERR_STATE
   from inside the callback. */
MEDCORE_EXPORT int WM_DestroyPlay(void);

/* Starts or resumes the player; after the end it starts again from the
   beginning. Returns 0, or WM_ERR_HANDLE without a player. */
MEDCORE_EXPORT int WM_Play(void);

/* Pauses the player at once, keeping its position. Returns 0 or
   WM_ERR_HANDLE. */
MEDCORE_EXPORT int WM_Pause(void);

/* Moves the player to `position` ten-thousandths of the length (0 to 10000;
   values outside are clamped). Playing goes on from there; a paused player
   stays paused. Returns 0 or WM_ERR_HANDLE. */
MEDCORE_EXPORT int WM_SeekTo(int position);

/* Sets the playback volume, 0 (silent) to 100 (as the file is), on the
   loudness scale of the desktop's mixers (cubic). Kept for later players.
   Values outside are clamped. Returns 0. */
MEDCORE_EXPORT int WM_ChangeVolume(int volume);

/* Converts the whole file to a 16-bit PCM WAV at `outPath` (replaced when it
   exists) with the file's own sample rate and channel count (more than two
   channels are mixed down to stereo). As WM_ConverterEx with format NULL. */
MEDCORE_EXPORT int WM_Converter(int handle, const char* outPath, int* converterId);

/* Converts the whole file to a 16-bit PCM WAV at `outPath` in `format`, and
   returns when the conversion has ended. Before any work starts,
   *converterId (may be NULL) receives the conversion handle that
   WM_SkipConverter takes; it stays valid until this call returns. The file
   appears at `outPath` complete or not at all: on any failure nothing is
   left there and an existing file keeps its content. Returns 0,
   WM_ERR_ARGUMENT, WM_ERR_HANDLE, WM_ERR_OPEN, WM_ERR_DECODE, WM_ERR_WRITE,
   WM_ERR_RESOURCE or WM_ERR_CANCELLED. */
MEDCORE_EXPORT int WM_ConverterEx(int handle, const char* outPath, const WM_ConvertFormat* format,
                                  int* converterId);

/* Makes the running conversion `converterId` end early (from any thread);
   it then returns WM_ERR_CANCELLED. Returns 0, or WM_ERR_HANDLE when no such
   conversion runs (it had ended already, or never existed). */
MEDCORE_EXPORT int WM_SkipConverter(int converterId);

#ifdef __cplusplus
}
#endif

#endif /* MEDCORE_H */
