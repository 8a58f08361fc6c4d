// The three exported functions of jukebridge.
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <string>

#include "autoaddfolder.h"
#include "jukebridge.h"
#include "songcopy.h"

namespace {

// State between initialisation and uninitialisation. Every field is guarded
// by lock, which AddSongForiTunes holds for the whole copy, so that the
// folder cannot be forgotten under a copy in progress.
struct BridgeState {
    std::mutex lock;
    bool initialised = false;
    std::string folder;
};

BridgeState& State() {
    static BridgeState state;
    return state;
}

}  // namespace

extern "C" {

JUKEBRIDGE_EXPORT int Pub_initializeiTunesDriver(void) {
    try {
        const std::string folder = jukebridge::ResolveAutoAddFolder();
        BridgeState& state = State();
        std::lock_guard<std::mutex> guard(state.lock);
        state.initialised = false;
        state.folder.clear();
        struct stat st {};
        if (folder.empty() || ::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return JUKEBRIDGE_ERR_NO_FOLDER;
        if (::access(folder.c_str(), W_OK | X_OK) != 0) return JUKEBRIDGE_ERR_FOLDER_NOT_WRITABLE;
        state.folder = folder;
        state.initialised = true;
        return JUKEBRIDGE_OK;
    } catch (...) {
        return JUKEBRIDGE_ERR_INTERNAL;
    }
}

JUKEBRIDGE_EXPORT int AddSongForiTunes(iTunesSongInfo song, int last) {
    try {
        BridgeState& state = State();
        std::lock_guard<std::mutex> guard(state.lock);
        if (!state.initialised) return JUKEBRIDGE_ERR_NOT_INITIALISED;
        const int result = jukebridge::CopySongInto(state.folder, song, nullptr);
        if (last == 1) jukebridge::SyncFolder(state.folder);
        return result;
    } catch (...) {
        return JUKEBRIDGE_ERR_INTERNAL;
    }
}

JUKEBRIDGE_EXPORT int Pub_uninitializeiTunesDriver(void) {
    try {
        BridgeState& state = State();
        std::lock_guard<std::mutex> guard(state.lock);
        if (!state.initialised) return JUKEBRIDGE_ERR_NOT_INITIALISED;
        state.initialised = false;
        state.folder.clear();
        return JUKEBRIDGE_OK;
    } catch (...) {
        return JUKEBRIDGE_ERR_INTERNAL;
    }
}

}  // extern "C"
