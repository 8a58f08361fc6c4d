// One request of the service: the object behind the handle that
// MusicParserRequest returns, and its worker thread.
//
// Threads: the caller's thread creates, starts, cancels and destroys the
// request; the worker thread runs WorkerThread(); a short detached notifier
// thread delivers the answer. The notifier reads the request before it posts
// the hand-over semaphore, and the worker does not end before that post, so
// joining the worker (as cancellation and destruction do) guarantees that no
// notifier still reads the request.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "countingsemaphore.h"
#include "http/httpproxy.h"
#include "tunecap.h"

namespace aws {

class CoverSearch;
class MusicIDFile;
class NetworkStatus;
class Recognizer;
struct SongInfoRecord;

enum Step : std::int32_t {
    STEP_NONE = 0,
    STEP_TRACK_DATA = 1,
    STEP_ALBUM_COVER = 2,
    STEP_LAST = 3,
};

// The owner of a request's HTTP transfer handle: created once per request,
// set up with the requests' proxy copy, released with the request. Its only
// virtual operation is the destructor.
class AWSConnection {
public:
    AWSConnection() : m_transfer(NewTransferHandle()) {}
    virtual ~AWSConnection() = default;
    AWSConnection(const AWSConnection&) = delete;
    AWSConnection& operator=(const AWSConnection&) = delete;

    // The handle, or nullptr when libcurl could not allocate one. Used by one
    // thread at a time: the request's worker.
    CURL* TransferHandle() const { return m_transfer.get(); }

private:
    CurlEasyPtr m_transfer;
};

class AWSRequest final : public AWSConnection {
public:
    // What the caller asked for; the request keeps its own copies.
    struct Params {
        std::string filePath;
        std::string text1;  // song name
        std::string text2;  // artist
        std::string text3;  // album
        void* userData = nullptr;
        MusicParserCallback callback = nullptr;
        std::int32_t kind = 0;  // 1 file, 2 text only, 0 neither
    };

    // Creates the request with the recognizer and network state in force.
    // Caller's thread.
    explicit AWSRequest(const Params& params);
    // The same with the recognizer and network state given (tests).
    AWSRequest(const Params& params, std::shared_ptr<Recognizer> recognizer,
               std::shared_ptr<NetworkStatus> network);
    // Cancels and joins a running worker; the callback is not called after
    // that. Caller's thread.
    ~AWSRequest() override;

    // Starts the worker thread. Returns 0, or -1 when the request is already
    // running, has neither a file path nor a text 1, could not be set up, or
    // the thread could not be created. Caller's thread.
    int Start();

    // Cancels a request that has not delivered yet and waits for its worker
    // to end (MusicParserDestroyRequest). A request whose notifier was already
    // started is left to deliver its answer. Caller's thread.
    void CancelAndJoin();

    std::int32_t Kind() const { return m_kind; }
    std::int32_t CurrentStep() const { return m_step.load(); }
    std::int32_t Status() const { return m_status.load(); }
    bool IsFinished() const { return m_finished.load(); }
    bool IsRunning() const { return m_running.load(); }
    const std::string& Identifier() const { return m_identifier; }

private:
    void WorkerThread();
    void Notify();
    void CancelSubRequests();

    const std::int32_t m_reserved = 0;
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_finished{true};  // a request never started counts as finished
    const std::int32_t m_kind;
    std::atomic<std::int32_t> m_step{STEP_NONE};
    std::atomic<std::int32_t> m_status{-1};
    void* const m_userData;
    const MusicParserCallback m_callback;
    std::thread m_thread;  // caller's thread only
    CountingSemaphore m_handOver{0};

    // The worker writes it; the notifier reads it before the hand-over post.
    std::unique_ptr<SongInfoRecord> m_result;
    // Set once in the constructor; Cancel() may be called from any thread.
    std::unique_ptr<CoverSearch> m_search;

    std::mutex m_queryLock;
    std::unique_ptr<MusicIDFile> m_fileQuery;  // guarded by m_queryLock

    // Decides between delivering and cancelling: the worker marks delivery
    // and the canceller sets the cancel flag under this lock, so a request
    // either calls back or is cancelled, never both.
    std::mutex m_deliveryLock;
    bool m_delivering = false;  // guarded by m_deliveryLock

    const std::string m_identifier;  // decimal tick count at creation
    const std::string m_filePath;
    // Worker thread only once started (replaced by the identified texts).
    std::string m_text1;
    std::string m_text2;
    std::string m_text3;

    std::shared_ptr<Recognizer> m_recognizer;
    std::shared_ptr<NetworkStatus> m_network;
};

// The service-log entry of one finished request: the worker's own text for
// its step, then the record on success or the reason on failure. Each part
// is cut at 1023 bytes.
std::string FormatWorkerLogEntry(std::int32_t step, bool success, bool reachable,
                                 const SongInfoRecord& result, const std::string& identifier,
                                 const std::string& songName);

// Milliseconds since an arbitrary start (the service's tick count).
unsigned long long ServiceTickMs();

}  // namespace aws
