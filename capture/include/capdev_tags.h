#ifndef CAPDEV_TAGS_H
#define CAPDEV_TAGS_H

/*
 * capdev: the ID3v2 tag writer.
 *
 * SetMusicTagsInfo is independent of any recorder handle. It copies an MP3
 * file to a destination: a new ID3v2 tag first (UTF-16 text frames TIT2,
 * TPE1, TALB, TCON, TYER and an APIC picture, built by LAME's tag interface),
 * then the source's audio with any old ID3v2 tag left out. The source is
 * never changed; replacing it with the destination is the caller's business.
 */

#include <wchar.h>

#include "capdev_export.h"

#ifdef __cplusplus
extern "C" {
#endif

/*
 * The tags to write: six pointers to NUL-terminated UTF-8 strings, owned by
 * the caller. A null pointer leaves the item out. Each text is stored as at
 * most 126 UTF-16 units (a character outside the basic plane takes two and is
 * never cut in half).
 */
typedef struct MusicTagsInfo {
    const char* title;   /* TIT2 */
    const char* artist;  /* TPE1 */
    const char* album;   /* TALB */
    const char* year;    /* TYER */
    const char* genre;   /* TCON */
    const char* picture; /* path of a cover image file (JPEG, PNG or GIF) */
} MusicTagsInfo;

/* Results of SetMusicTagsInfo besides the result of its last tag step. */
enum {
    /* The source path is null. */
    MUSICTAGS_ERR_NO_SOURCE = 1,
    /* The source file cannot be opened for reading. */
    MUSICTAGS_ERR_OPEN_SOURCE = 2,
    /* The destination cannot be created (or its path is null). */
    MUSICTAGS_ERR_CREATE_DESTINATION = 3,
    /* The tag came out larger than announced: no tag written, audio copied. */
    MUSICTAGS_ERR_TAG_SIZE = -2,
    /* The tag encoder cannot be created. */
    MUSICTAGS_ERR_ENCODER = -3,
    /* The source's old ID3v2 tag is cut short or runs past the end of the
       file, or no audio follows it. */
    MUSICTAGS_ERR_BAD_SOURCE = -4,
    /* Reading the source or writing the destination failed (a full disk). */
    MUSICTAGS_ERR_IO = -5
};

/*
 * Writes `tags` and the audio of `source` into `destination` (paths in
 * wchar_t, converted to the file system's UTF-8 names). The destination is
 * written beside itself under a temporary name and renamed into place once
 * complete, so it is either the finished file or left as it was; source and
 * destination may be the same file.
 *
 * Returns 0 on success. 1, 2, 3, -3, -4 and -5 (above) leave the destination
 * untouched. Otherwise the destination is written and the result is that of
 * the last tag step: -2 (no tag written), 1 to 4 when the picture could not
 * be opened (or is no regular file), held in memory, read, or was refused
 * (empty, larger than 16 MiB, or not taken by the tag encoder; the text
 * frames are still written), or a LAME error of a text frame. A source that
 * is no regular file (a FIFO, a device) gives 2 at once.
 *
 * Stateless and safe to call from any thread; blocks while it copies.
 * A null `tags` writes no tag and copies the audio.
 */
CAPDEV_EXPORT int SetMusicTagsInfo(const MusicTagsInfo* tags, const wchar_t* source,
                                   const wchar_t* destination);

#ifdef __cplusplus
}
#endif

#endif /* CAPDEV_TAGS_H */
