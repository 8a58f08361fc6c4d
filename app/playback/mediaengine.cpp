#include "mediaengine.h"

#ifdef RECDECK_WITH_MEDCORE
#include "medcore.h"
#else
namespace {
// Built without the media engine: every call fails as with no sound server
// (WM_ERR_DEVICE), and nothing ever plays.
constexpr int kNoEngine = -7;
int WM_Create(const char*) {
    return kNoEngine;
}
int WM_Destroy() {
    return kNoEngine;
}
int WM_AddFile(const char*) {
    return kNoEngine;
}
int WM_DeleteFile(int) {
    return kNoEngine;
}
int WM_GetMediaDuration(int, int64_t*) {
    return kNoEngine;
}
int WM_CreatePlay(int, CMediaEngine::Callback, void*) {
    return kNoEngine;
}
int WM_DestroyPlay() {
    return kNoEngine;
}
int WM_Play() {
    return kNoEngine;
}
int WM_Pause() {
    return kNoEngine;
}
int WM_SeekTo(int) {
    return kNoEngine;
}
int WM_ChangeVolume(int) {
    return kNoEngine;
}
}  // namespace
#endif

CMediaEngine::~CMediaEngine() = default;

int CMediaEngine::Create(const char* appName) {
    return WM_Create(appName);
}

int CMediaEngine::Destroy() {
    return WM_Destroy();
}

int CMediaEngine::AddFile(const char* utf8Path) {
    return WM_AddFile(utf8Path);
}

int CMediaEngine::DeleteFile(int handle) {
    return WM_DeleteFile(handle);
}

int CMediaEngine::Duration(int handle, int64_t* ms) {
    return WM_GetMediaDuration(handle, ms);
}

int CMediaEngine::CreatePlay(int handle, Callback callback, void* user) {
    return WM_CreatePlay(handle, callback, user);
}

int CMediaEngine::DestroyPlay() {
    return WM_DestroyPlay();
}

int CMediaEngine::Play() {
    return WM_Play();
}

int CMediaEngine::Pause() {
    return WM_Pause();
}

int CMediaEngine::SeekTo(int position) {
    return WM_SeekTo(position);
}

int CMediaEngine::ChangeVolume(int volume) {
    return WM_ChangeVolume(volume);
}
