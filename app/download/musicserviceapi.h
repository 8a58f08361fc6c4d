#pragma once

// The music information service as the download code calls it. QtCore free.

#include "tunecap.h"

// The four exports of the music information service that the download code
// uses, as one record of function pointers: the library's own by default.
// Tests put stand-ins in their place (a service that never answers, or one
// whose notifier calls back after the request was destroyed). Copied by
// value; the functions must be callable from any thread.
struct CMusicServiceApi {
    int (*init)(MusicParserInitInfo* init, MusicParserProxyParam* proxy) = &MusicParserInit;
    int (*cleanup)() = &MusicParserCleanup;
    void* (*request)(MusicParserRequestInfo* info) = &MusicParserRequest;
    void (*destroy)(void* request) = &MusicParserDestroyRequest;
};
