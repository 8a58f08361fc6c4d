/*
 * tunecap: the music information service.
 *
 * A shared library with a plain C interface of five functions. The program
 * asks it, one recorded song at a time, which song it is and what its album
 * artwork looks like. One call starts an asynchronous request; the answer
 * arrives later through a callback on a thread of the library.
 *
 * Binding: Linux shared objects have no ordinals, so the five functions are
 * exported by name only. Their traditional order (1 MusicParserInit,
 * 2 MusicParserCleanup, 3 MusicParserRequest, 4 MusicParserDestroyRequest,
 * 5 MusicParserSetProxyParam) is kept in this header and nothing else is
 * exported. Every other symbol of the library is hidden.
 *
 * Records: plain structures with fixed widths, to be zero-filled before use.
 * Texts are NUL-terminated UTF-8 in fixed-size arrays; paths may use "/" or
 * "\" as separators. The layout is a binary interface and must not change.
 *
 * Ownership: whoever allocates a record passed across this interface frees
 * it; the library copies what it keeps before the call returns. No function
 * throws, none shows a message; failures are reported by results, by a NULL
 * answer with STATUS_FAILED and by entries in the service log
 * "musicinfo.log" in the application-support directory.
 */
#ifndef TUNECAP_H
#define TUNECAP_H

#include <stdint.h>

#if defined(TUNECAP_BUILDING)
#define TUNECAP_API __attribute__((visibility("default")))
#else
#define TUNECAP_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Request status values handed to MusicParserCallback. */
enum {
    STATUS_DONE = 3,      /* information found */
    STATUS_FAILED = 6,    /* nothing found, network unreachable or an error */
    STATUS_CANCELLED = 8  /* cancelled or service shutting down; never delivered */
};

/* Read once by MusicParserInit. Size 1028 bytes. */
typedef struct MusicParserInitInfo {
    int32_t reserved;          /* zero */
    char picturesDir[512];     /* where artwork files are written; created with
                                  its parents if missing */
    char appSupportDir[512];   /* the service's own files, among them the log
                                  "musicinfo.log" */
} MusicParserInitInfo;

/* Proxy settings. Size 120 bytes. A record whose type is -1 or whose host is
 * shorter than 3 characters means "no proxy" and is stored with type -1. */
typedef struct MusicParserProxyParam {
    int32_t type;              /* -1 = no proxy; any other value = use the proxy,
                                  passed unchanged to the HTTP layer */
    int32_t port;              /* proxy port */
    char host[64];             /* proxy host name or address */
    char userName[32];         /* empty = no authentication */
    char password[16];         /* proxy password */
} MusicParserProxyParam;

/* The answer of one request. Valid only for the duration of the callback;
 * the caller copies the whole record if it wants to keep it. Every text is
 * cut to its field's size minus one and always NUL-terminated.
 * Size 4280 bytes. */
typedef struct RecordMusicInfo {
    char albumId[128];         /* the recognition service's album identifier */
    char songName[128];        /* matched track's display title */
    char artist[128];          /* album artist */
    char album[128];           /* album display title */
    char releaseDate[32];      /* album date as the service gives it */
    char albumGenre[128];      /* "1.Pop;" style genre text, deepest level */
    char albumMusicList[1024]; /* "<number> <title>; " for each album track */
    int32_t imageCount;        /* artwork files, 0 to 5 */
    int32_t reserved[5];       /* zero; free for the caller's per-image marks */
    char imagePaths[5][512];   /* full path of each artwork file; the first
                                  imageCount entries are valid */
} RecordMusicInfo;

/* Called once per delivered answer, on a notifier thread of the library,
 * never on the caller's thread: userData as given to MusicParserRequest,
 * status STATUS_DONE (info points at the answer) or STATUS_FAILED (info is
 * NULL). The result is ignored. The callback must hand the answer to its
 * own thread itself. */
typedef int (*MusicParserCallback)(void *userData, int status, RecordMusicInfo *info);

/* One request. Size 48 bytes on 64-bit systems. The library copies what it
 * needs before MusicParserRequest returns; the caller may free the record
 * and its texts right after the call. */
typedef struct MusicParserRequestInfo {
    char *filePath;            /* WAV recording to identify; may be NULL */
    char *text1;               /* song name (at most 127 bytes used); may be NULL */
    char *text2;               /* artist (at most 127 bytes used); may be NULL */
    char *text3;               /* album (at most 127 bytes used); may be NULL */
    void *userData;            /* passed back to the callback; must not be NULL */
    MusicParserCallback callback; /* must not be NULL */
} MusicParserRequestInfo;

/* 1. Initialises the service once, on a background thread of the program.
 * Installs the proxy (may be NULL), creates the pictures directory, starts
 * the network-state thread and waits (polling every 2000 ms) for its first
 * verdict, so the first call takes about five seconds. The caller keeps
 * ownership of both records. Must not overlap MusicParserCleanup or requests.
 * Returns 0 or more when ready, -1 when init is NULL, the network is not
 * reachable or the recognition service could not be initialised. Requests
 * made after a failed initialisation still run and fail their
 * identification. */
TUNECAP_API int MusicParserInit(MusicParserInitInfo *init, MusicParserProxyParam *proxy);

/* 2. Shuts the service down once, after every request has been destroyed:
 * releases the recognition service, stops the network-state thread and closes
 * the service log. Any thread. Always returns 0. */
TUNECAP_API int MusicParserCleanup(void);

/* 3. Starts one asynchronous request on a worker thread of its own. Any
 * thread. The file path counts only if it is not blank and names an existing
 * regular file; without it text1 must be given. Returns the request handle,
 * owned by the library until MusicParserDestroyRequest; NULL when info, its
 * user data or its callback is NULL, when neither a usable file nor text1
 * was given, when the service has been shut down by MusicParserCleanup (until
 * the next MusicParserInit), or when the worker could not be started (nothing
 * is called back then). */
TUNECAP_API void *MusicParserRequest(MusicParserRequestInfo *info);

/* 4. Cancels a request if it is still running, waits for its worker thread
 * to end and frees the request. NULL does nothing. Any thread, but not from
 * inside the request's own callback. A request cancelled here never calls
 * back; one that had already finished may still deliver its answer during or
 * shortly after this call, which the caller must ignore. */
TUNECAP_API void MusicParserDestroyRequest(void *request);

/* 5. Changes the proxy settings (any thread): the recognition service, the
 * network-state probe and the HTTP layer take the new record. The caller
 * keeps ownership. Returns -1 if proxy is NULL, otherwise 1. */
TUNECAP_API int MusicParserSetProxyParam(MusicParserProxyParam *proxy);

#ifdef __cplusplus
}
#endif

#endif /* TUNECAP_H */
