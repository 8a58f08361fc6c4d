#pragma once

// A stand-in for the music information service's exports, for the task
// tests: it records every request (with the format of the WAV file it was
// given, read while the request is made), answers only when a test tells it
// to, from a thread of its own as the service's notifier does, and can call
// back late, after the request was destroyed, as the real service may.

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "download/musicserviceapi.h"

namespace fakeservice {

struct Call {
    MusicParserCallback callback = nullptr;
    void* userData = nullptr;
    std::string file;
    bool withTexts = false;
    std::string text1;
    int rate = 0;  // of the WAV file when the request was made
    int channels = 0;
    std::atomic<bool> destroyed{false};
};

class Service {
public:
    static Service& Get();

    // Forgets every request and setting (joins a late notifier first).
    void Reset();
    // The exports, pointing at this stand-in.
    CMusicServiceApi Api() const;

    int RequestCount() const;
    std::shared_ptr<Call> CallAt(int index) const;
    // Waits (without an event loop) until count requests were made.
    bool WaitForRequests(int count, int timeoutMs) const;

    // Answers request index (null: nothing found) from a new thread, as the
    // notifier does, and returns the callback's result.
    int Answer(int index, const RecordMusicInfo* answer);

    // From now on, destroying a request starts a notifier that delivers
    // this answer; the callback runs after the destroy call returned.
    void AnswerLateOnDestroy(const RecordMusicInfo& answer);
    // The late callback's result once it ran (waits up to timeoutMs), or
    // -100 when it did not run.
    int LateResult(int timeoutMs);

    // MusicParserInit: what it got and what it answers.
    void SetInitResult(int result) { m_initResult = result; }
    // MusicParserInit takes this long (the network check).
    void SetInitDelay(int milliseconds) { m_initDelayMs = milliseconds; }
    // Requests not destroyed yet when MusicParserCleanup was last called.
    int OpenRequestsAtCleanup() const { return m_openAtCleanup.load(); }
    int InitCalls() const { return m_initCalls.load(); }
    int CleanupCalls() const { return m_cleanupCalls.load(); }
    MusicParserInitInfo LastInit() const;
    MusicParserProxyParam LastProxy() const;

private:
    static int Init(MusicParserInitInfo* init, MusicParserProxyParam* proxy);
    static int Cleanup();
    static void* Request(MusicParserRequestInfo* info);
    static void Destroy(void* handle);

    mutable std::mutex m_lock;
    mutable std::condition_variable m_changed;
    std::vector<std::shared_ptr<Call>> m_calls;
    std::unique_ptr<RecordMusicInfo> m_lateAnswer;
    std::thread m_lateNotifier;
    int m_lateResult = -100;
    std::atomic<int> m_initResult{0};
    std::atomic<int> m_initDelayMs{0};
    std::atomic<int> m_openAtCleanup{0};
    std::atomic<int> m_initCalls{0};
    std::atomic<int> m_cleanupCalls{0};
    MusicParserInitInfo m_init{};
    MusicParserProxyParam m_proxy{};
};

// An answer with the texts given and the image files (at most five).
RecordMusicInfo MakeAnswer(const std::string& title, const std::string& artist,
                           const std::string& album, const std::string& genre,
                           const std::vector<std::string>& images, const std::string& albumId = "",
                           const std::string& year = "");

}  // namespace fakeservice
