// The exported functions: the registry of open files, running conversions
// and the one player, behind the plain C interface of medcore.h.

#include "medcore.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "converter.h"
#include "mediadecoder.h"
#include "player.h"

namespace medcore {
namespace {

// What WM_AddFile learnt about a file. Immutable once registered; shared by
// the registry and whoever uses the file, so releasing a handle never pulls
// a file from under a running conversion.
struct MediaFile {
    std::string path;
    int64_t durationMs = 0;
};

class CEngine {
public:
    int AddFile(const char* path);
    int DeleteFile(int handle);
    int Duration(int handle, int64_t* ms);
    int CreatePlay(int handle, WM_PlayCallback callback, void* user);
    int DestroyPlay();
    int Play();
    int Pause();
    int SeekTo(int position);
    int ChangeVolume(int volume);
    int Convert(int handle, const char* outPath, const WM_ConvertFormat* format, int* converterId);
    int SkipConverter(int converterId);
    int Create(const char* appName);
    int Destroy();

private:
    std::shared_ptr<const MediaFile> File(int handle);
    std::shared_ptr<CPlayer> CurrentPlayer();
    // Runs `action` on the current player outside the lock: 0, or
    // WM_ERR_HANDLE without a player.
    template <typename Action>
    int WithPlayer(Action action) {
        const auto player = CurrentPlayer();
        if (!player) {
            return WM_ERR_HANDLE;
        }
        action(*player);
        return 0;
    }
    // Hands out the next handle of a sequence; never 0 or negative, and
    // never one that is in `used`.
    template <typename Map>
    static int NextHandle(int* next, const Map& used) {
        for (;;) {
            const int h = *next;
            *next = h == INT32_MAX ? 1 : h + 1;
            if (used.count(h) == 0) {
                return h;
            }
        }
    }
    static double Gain(int volume) {
        // Cubic, as the desktop's mixers scale their sliders.
        const double v = volume / 100.0;
        return v * v * v;
    }

    std::mutex m_mutex;  // guards every member below
    std::map<int, std::shared_ptr<const MediaFile>> m_files;
    int m_nextFile = 1;
    std::map<int, std::shared_ptr<std::atomic<bool>>> m_conversions;  // the stop flag of each
    int m_nextConversion = 1;
    std::shared_ptr<CPlayer> m_player;
    std::string m_clientName = "medcore";
    int m_volume = 100;
};

CEngine& Engine() {
    static CEngine* engine = new CEngine;  // never destroyed: exit order does not matter
    return *engine;
}

std::shared_ptr<const MediaFile> CEngine::File(int handle) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_files.find(handle);
    return it != m_files.end() ? it->second : nullptr;
}

std::shared_ptr<CPlayer> CEngine::CurrentPlayer() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_player;
}

int CEngine::Create(const char* appName) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_clientName = appName != nullptr && *appName != '\0' ? appName : "medcore";
    return 0;
}

int CEngine::Destroy() {
    std::shared_ptr<CPlayer> player;
    std::map<int, std::shared_ptr<const MediaFile>> files;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_player && m_player->OnOwnThread()) {
            return WM_ERR_STATE;
        }
        player = std::move(m_player);
        files.swap(m_files);
    }
    return 0;  // the player stops as `player` goes, outside the lock
}

int CEngine::AddFile(const char* path) {
    if (path == nullptr || *path == '\0') {
        return WM_ERR_ARGUMENT;
    }
    auto file = std::make_shared<MediaFile>();
    file->path = path;
    {
        CMediaDecoder decoder;
        if (const int err = decoder.Open(file->path)) {
            return err;
        }
        // The audio must really decode: a file that only looks like media
        // is refused here, not when it is played.
        std::vector<int16_t> pcm;
        if (decoder.Decode(&pcm) <= 0) {
            return WM_ERR_OPEN;
        }
        file->durationMs = std::max<int64_t>(decoder.MeasureDuration(), 0);
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    const int handle = NextHandle(&m_nextFile, m_files);
    m_files.emplace(handle, std::move(file));
    return handle;
}

int CEngine::DeleteFile(int handle) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_files.erase(handle) == 1 ? 0 : WM_ERR_HANDLE;
}

int CEngine::Duration(int handle, int64_t* ms) {
    if (ms == nullptr) {
        return WM_ERR_ARGUMENT;
    }
    const auto file = File(handle);
    if (!file) {
        return WM_ERR_HANDLE;
    }
    *ms = file->durationMs;
    return 0;
}

int CEngine::CreatePlay(int handle, WM_PlayCallback callback, void* user) {
    const auto file = File(handle);
    if (!file) {
        return WM_ERR_HANDLE;
    }
    std::shared_ptr<CPlayer> previous;
    std::string clientName;
    double gain;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_player && m_player->OnOwnThread()) {
            return WM_ERR_STATE;
        }
        previous = std::move(m_player);
        clientName = m_clientName;
        gain = Gain(m_volume);
    }
    previous.reset();  // never two players at once
    auto player = std::make_shared<CPlayer>(callback, user);
    if (const int err = player->Open(file->path, file->durationMs, clientName, gain)) {
        return err;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        player->SetGain(Gain(m_volume));  // the volume may have moved meanwhile
        previous = std::exchange(m_player, std::move(player));  // another caller's, if one raced us
    }
    return 0;
}

int CEngine::DestroyPlay() {
    std::shared_ptr<CPlayer> player;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_player && m_player->OnOwnThread()) {
            return WM_ERR_STATE;
        }
        player = std::move(m_player);
    }
    player.reset();  // joins the player's thread, outside the lock
    return 0;
}

int CEngine::Play() {
    return WithPlayer([](CPlayer& player) { player.Play(); });
}

int CEngine::Pause() {
    return WithPlayer([](CPlayer& player) { player.Pause(); });
}

int CEngine::SeekTo(int position) {
    return WithPlayer([position](CPlayer& player) { player.Seek(position); });
}

int CEngine::ChangeVolume(int volume) {
    std::shared_ptr<CPlayer> player;
    double gain;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_volume = std::clamp(volume, 0, 100);
        gain = Gain(m_volume);
        player = m_player;
    }
    if (player) {
        player->SetGain(gain);
    }
    return 0;
}

int CEngine::Convert(int handle, const char* outPath, const WM_ConvertFormat* format,
                     int* converterId) {
    if (converterId != nullptr) {
        *converterId = -1;
    }
    if (outPath == nullptr || *outPath == '\0') {
        return WM_ERR_ARGUMENT;
    }
    const int rate = format != nullptr ? format->sampleRate : 0;
    const int channels = format != nullptr ? format->channels : 0;
    if ((rate != 0 && (rate < 8000 || rate > 192000)) || channels < 0 || channels > 2) {
        return WM_ERR_ARGUMENT;
    }
    const auto file = File(handle);
    if (!file) {
        return WM_ERR_HANDLE;
    }
    auto stop = std::make_shared<std::atomic<bool>>(false);
    int id;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        id = NextHandle(&m_nextConversion, m_conversions);
        m_conversions.emplace(id, stop);
    }
    if (converterId != nullptr) {
        *converterId = id;
    }
    // The entry goes on every way out, exceptions included.
    struct Unregister {
        CEngine* engine;
        int id;
        ~Unregister() {
            std::lock_guard<std::mutex> lock(engine->m_mutex);
            engine->m_conversions.erase(id);
        }
    } unregister{this, id};
    return ConvertToWav(file->path, outPath, rate, channels, *stop);
}

int CEngine::SkipConverter(int converterId) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_conversions.find(converterId);
    if (it == m_conversions.end()) {
        return WM_ERR_HANDLE;
    }
    it->second->store(true);
    return 0;
}

// Runs one export body; nothing thrown inside leaves the library.
template <typename Body>
int Guarded(Body body) noexcept {
    try {
        return body();
    } catch (...) {
        return WM_ERR_RESOURCE;  // out of memory, or a thread could not be made
    }
}

}  // namespace
}  // namespace medcore

using medcore::Engine;
using medcore::Guarded;

extern "C" {

int WM_Create(const char* appName) {
    return Guarded([&] { return Engine().Create(appName); });
}

int WM_Destroy(void) {
    return Guarded([&] { return Engine().Destroy(); });
}

int WM_AddFile(const char* path) {
    return Guarded([&] { return Engine().AddFile(path); });
}

int WM_DeleteFile(int handle) {
    return Guarded([&] { return Engine().DeleteFile(handle); });
}

int WM_GetMediaDuration(int handle, int64_t* milliseconds) {
    return Guarded([&] { return Engine().Duration(handle, milliseconds); });
}

int WM_CreatePlay(int handle, WM_PlayCallback callback, void* user) {
    return Guarded([&] { return Engine().CreatePlay(handle, callback, user); });
}

int WM_DestroyPlay(void) {
    return Guarded([&] { return Engine().DestroyPlay(); });
}

int WM_Play(void) {
    return Guarded([&] { return Engine().Play(); });
}

int WM_Pause(void) {
    return Guarded([&] { return Engine().Pause(); });
}

int WM_SeekTo(int position) {
    return Guarded([&] { return Engine().SeekTo(position); });
}

int WM_ChangeVolume(int volume) {
    return Guarded([&] { return Engine().ChangeVolume(volume); });
}

int WM_Converter(int handle, const char* outPath, int* converterId) {
    return Guarded([&] { return Engine().Convert(handle, outPath, nullptr, converterId); });
}

int WM_ConverterEx(int handle, const char* outPath, const WM_ConvertFormat* format, int* converterId) {
    return Guarded([&] { return Engine().Convert(handle, outPath, format, converterId); });
}

int WM_SkipConverter(int converterId) {
    return Guarded([&] { return Engine().SkipConverter(converterId); });
}

}  // extern "C"
