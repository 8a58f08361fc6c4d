#ifndef JUKEBRIDGE_H
#define JUKEBRIDGE_H

/*
 * jukebridge: hands songs to the iTunes player.
 *
 * The player takes in every file that appears in its "Automatically Add to
 * iTunes" folder. The bridge counts the player as present when that folder
 * exists, and copies each song into it with its tags (and cover) written
 * into the copy. A copy is written under a hidden temporary name in the
 * folder and only then given its real name, so the player never sees half a
 * file; a name that is already taken is never overwritten (the copy gets
 * " (2)", " (3)" ... before its extension).
 *
 * The folder, first match wins:
 *   1. the environment variable TUNECAP_ITUNES_FOLDER, when set and not empty;
 *   2. the key AutoAddFolder of the settings file "jukebridge.ini" in the
 *      program's application data folder (<XDG data home>/Tavra/Tunecap);
 *   3. "iTunes/iTunes Media/Automatically Add to iTunes" in the user's music
 *      folder.
 *
 * Texts are NUL-terminated UTF-8, owned by the caller; the bridge keeps none
 * of them after a call returns. No function throws and none shows a message;
 * results are 0 (or positive) for success and the negative codes below.
 */

#include <stdint.h>

#include "jukebridge_export.h"

#ifdef __cplusplus
extern "C" {
#endif

/*
 * One song, passed by value. Size 56 bytes on 64-bit systems: five pointers,
 * the year at offset 40, four bytes of padding, the cover at offset 48.
 */
typedef struct iTunesSongInfo {
    const char* file;  /* the song file (MP3 or WAV); required */
    const char* title; /* NULL or "" leaves the item out */
    const char* artist;
    const char* album;
    const char* genre;
    int32_t year;      /* 0 (or less) leaves the year out */
    const char* cover; /* path of a cover image (JPEG, PNG, GIF), or NULL */
} iTunesSongInfo;

/* Results. */
enum {
    JUKEBRIDGE_OK = 0,
    /* AddSongForiTunes: the song was copied, but its cover could not be read
       or was refused (the texts are there). */
    JUKEBRIDGE_COPIED_WITHOUT_COVER = 1,
    /* AddSongForiTunes: the song was copied as it is, without new tags (a WAV
       file, which carries none, or the tag writer could not run). */
    JUKEBRIDGE_COPIED_WITHOUT_TAGS = 2,

    /* The folder does not exist or is not a folder: the player is absent. */
    JUKEBRIDGE_ERR_NO_FOLDER = -1,
    /* The folder exists but cannot be written to. */
    JUKEBRIDGE_ERR_FOLDER_NOT_WRITABLE = -2,
    /* AddSongForiTunes or Pub_uninitializeiTunesDriver without a successful
       Pub_initializeiTunesDriver. */
    JUKEBRIDGE_ERR_NOT_INITIALISED = -3,
    /* The song's file is NULL or empty. */
    JUKEBRIDGE_ERR_NO_FILE = -4,
    /* The song's file is missing, not a regular file, unreadable, or an MP3
       file whose old tag is broken. */
    JUKEBRIDGE_ERR_SOURCE = -5,
    /* Writing the copy failed (a full disk, the folder removed meanwhile);
       nothing is left in the folder. */
    JUKEBRIDGE_ERR_WRITE = -6,
    /* Every name up to " (999)" is taken. */
    JUKEBRIDGE_ERR_NAME_TAKEN = -7,
    /* Out of memory or another unexpected failure. */
    JUKEBRIDGE_ERR_INTERNAL = -8
};

/*
 * Looks for the folder (see above) and remembers it for the songs that
 * follow. Returns 0 when it exists and can be written to, else
 * JUKEBRIDGE_ERR_NO_FOLDER or JUKEBRIDGE_ERR_FOLDER_NOT_WRITABLE (the bridge
 * then stays uninitialised). Calling it again while initialised looks again.
 * Any thread.
 */
JUKEBRIDGE_EXPORT int Pub_initializeiTunesDriver(void);

/*
 * Copies song.file into the folder under its own file name, with the
 * song's texts, year and cover written into the copy's ID3v2 tag (MP3); a
 * WAV file is copied as it is. last is 1 for the last song of a run, else 0;
 * after the last song the folder's entries are synced to the disk.
 *
 * Blocks while it copies; meant for the caller's export thread. Calls are
 * serialised. Returns 0, JUKEBRIDGE_COPIED_WITHOUT_COVER or
 * JUKEBRIDGE_COPIED_WITHOUT_TAGS when a copy was made; a negative code when
 * nothing was added (no temporary file is left behind then).
 */
JUKEBRIDGE_EXPORT int AddSongForiTunes(iTunesSongInfo song, int last);

/*
 * Forgets the folder. Returns 0, or JUKEBRIDGE_ERR_NOT_INITIALISED when the
 * bridge was not initialised. Any thread; not during AddSongForiTunes on
 * another thread (it then waits for that song to finish).
 */
JUKEBRIDGE_EXPORT int Pub_uninitializeiTunesDriver(void);

#ifdef __cplusplus
}
#endif

#endif /* JUKEBRIDGE_H */
