#pragma once

// The engine's events as the computer-audio tests see them, and the WAV
// files it writes.

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "capdev.h"

namespace graphtest {

// The events of one engine; the callback runs on engine threads.
struct EngineEvents {
    std::mutex mutex;
    std::vector<std::string> logs;    // guarded by mutex
    std::vector<std::string> closed;  // guarded by mutex
    std::vector<std::string> errors;  // RecordError: value and text, guarded by mutex
    std::vector<int16_t> audio;       // AudioData, as the file receives it, guarded by mutex

    static int Callback(int code, int value, void* data, void* user) {
        auto* me = static_cast<EngineEvents*>(user);
        std::lock_guard<std::mutex> lock(me->mutex);
        if (code == LogLine && data) me->logs.emplace_back(static_cast<const char*>(data));
        if (code == FileClosed && data) me->closed.emplace_back(static_cast<const char*>(data));
        if (code == RecordError)
            me->errors.push_back(std::to_string(value) + " " + (data ? static_cast<const char*>(data) : ""));
        if (code == AudioData && data) {
            const auto* p = static_cast<const int16_t*>(data);
            me->audio.insert(me->audio.end(), p, p + value / 2);
        }
        return 0;
    }
    // Log lines that contain `text`.
    int Count(const std::string& text) {
        std::lock_guard<std::mutex> lock(mutex);
        int n = 0;
        for (const auto& l : logs) n += l.find(text) != std::string::npos ? 1 : 0;
        return n;
    }
    bool HasLog(const std::string& text) { return Count(text) > 0; }
    std::vector<std::string> Closed() {
        std::lock_guard<std::mutex> lock(mutex);
        return closed;
    }
    std::vector<std::string> Errors() {
        std::lock_guard<std::mutex> lock(mutex);
        return errors;
    }
    std::vector<int16_t> Audio() {
        std::lock_guard<std::mutex> lock(mutex);
        return audio;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(mutex);
        audio.clear();
        logs.clear();
        closed.clear();
        errors.clear();
    }
};

// A WAV file the engine wrote (46-byte header).
struct Wav {
    uint16_t channels = 0;
    uint32_t rate = 0;
    std::vector<int16_t> pcm;
};

inline Wav ReadWav(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Wav w;
    if (b.size() < 46) return w;
    std::memcpy(&w.channels, b.data() + 22, 2);
    std::memcpy(&w.rate, b.data() + 24, 4);
    w.pcm.resize((b.size() - 46) / 2);
    std::memcpy(w.pcm.data(), b.data() + 46, w.pcm.size() * 2);
    return w;
}

}  // namespace graphtest
