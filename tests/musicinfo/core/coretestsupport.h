// Stand-ins for the network state and the recognizer, and a recorder of
// callbacks, for the tests of the request worker.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "networkstatus.h"
#include "recognition/recognizer.h"
#include "songinforecord.h"
#include "tunecap.h"

namespace coretest {

// A network state that answers at once, online or offline.
class FakeNetwork final : public aws::NetworkStatus {
public:
    explicit FakeNetwork(bool online) : m_online(online) {}
    bool WaitForVerdict(const std::atomic<bool>* = nullptr) override {
        ++waits;
        return m_online.load();
    }
    void SetProxy(const MusicParserProxyParam&) override {}
    void Shutdown() override {}
    void SetOnline(bool online) { m_online = online; }
    std::atomic<int> waits{0};

private:
    std::atomic<bool> m_online;
};

// What the fake recognizer answers, and what it saw.
struct RecognizerScript {
    int identifyResult = -1;       // Identify()'s answer
    aws::SongInfoRecord match{};   // copied into the record on a match
    int artworkResult = -1;        // FetchArtwork(): >= 0 stores one image
    int searchResult = 0;          // CoverSearch::Search(): >= 1 stores one image
    bool blockIdentify = false;    // Identify() waits until cancelled

    std::mutex lock;
    std::condition_variable changed;
    bool identifyEntered = false;   // guarded by lock
    bool identifyReturned = false;  // guarded by lock
    std::atomic<int> identifyCalls{0};
    std::atomic<int> searchCalls{0};
    std::string lastSearchSong;     // guarded by lock

    // Waits until a blocking Identify() has begun.
    bool WaitForIdentifyEntered(std::chrono::milliseconds limit);
};

class FakeRecognizer final : public aws::Recognizer {
public:
    explicit FakeRecognizer(std::shared_ptr<RecognizerScript> script) : m_script(std::move(script)) {}
    int Initialise(const std::string&, const MusicParserProxyParam&) override { return 0; }
    bool IsInitialised() const override { return true; }
    int SetProxy(const MusicParserProxyParam&) override { return 0; }
    void Shutdown() override {}
    std::unique_ptr<aws::MusicIDFile> NewFileQuery(const std::string& identifier,
                                                   const std::string& filePath) override;
    std::unique_ptr<aws::CoverSearch> NewCoverSearch() override;

private:
    std::shared_ptr<RecognizerScript> m_script;
};

// Records every callback; thread-safe. The answer record is copied.
class CallbackProbe {
public:
    static int Callback(void* userData, int status, RecordMusicInfo* info);

    // Waits until `count` callbacks came, or the limit passed.
    bool WaitForCalls(int count, std::chrono::milliseconds limit);
    int Calls() const;
    int LastStatus() const;
    bool LastHadRecord() const;
    RecordMusicInfo LastRecord() const;

private:
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    int m_calls = 0;                 // guarded by m_lock
    int m_lastStatus = -1;           // guarded by m_lock
    bool m_lastHadRecord = false;    // guarded by m_lock
    RecordMusicInfo m_lastRecord{};  // guarded by m_lock
};

// Whole file as text; empty when missing.
std::string ReadFile(const std::string& path);
// Writes bytes into a file; true on success.
bool WriteFile(const std::string& path, const std::string& bytes);
// Occurrences of `needle` in `text`.
int CountOf(const std::string& text, const std::string& needle);

}  // namespace coretest
