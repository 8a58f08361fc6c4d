#pragma once

// The player's side of the media engine. QtCore only.

#include <cstdint>

// The calls the player makes on the media engine (medcore.h), one method per
// export with the export's arguments and results. The player owns one
// instance; tests hand in a subclass that watches the calls on their way to
// the real engine.
//
// The engine has one player per process: every method acts on it. GUI thread
// only, except that the progress callback given to CreatePlay runs on the
// engine's own thread (see medcore.h).
class CMediaEngine {
public:
    // The engine's progress callback: position 0..10000, state (1 playing,
    // 2 paused, 3 ended, 4 failed), the user data given to CreatePlay.
    using Callback = int (*)(int position, int state, void* user);

    virtual ~CMediaEngine();

    // WM_Create: names the player to the sound server. Called once first.
    virtual int Create(const char* appName);
    // WM_Destroy: drops the player and every open file. Called once last.
    virtual int Destroy();
    // WM_AddFile: a file handle (1 or more), or a negative code.
    virtual int AddFile(const char* utf8Path);
    // WM_DeleteFile.
    virtual int DeleteFile(int handle);
    // WM_GetMediaDuration: 0 and *ms filled, or a negative code.
    virtual int Duration(int handle, int64_t* ms);
    // WM_CreatePlay: 0 when a (paused) player was created for the file.
    virtual int CreatePlay(int handle, Callback callback, void* user);
    // WM_DestroyPlay: when it returns, the callback runs no more.
    virtual int DestroyPlay();
    virtual int Play();
    virtual int Pause();
    // WM_SeekTo, position 0..10000.
    virtual int SeekTo(int position);
    // WM_ChangeVolume, 0..100.
    virtual int ChangeVolume(int volume);
};
