#pragma once

// One connection to the sound server on a threaded main loop of its own,
// shared by the input list and the record stream.

#include <pulse/pulseaudio.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace capdev {

struct PulseMainloopDeleter {
    void operator()(pa_threaded_mainloop* m) const;  // stops the loop thread, then frees
};
struct PulseContextDeleter {
    void operator()(pa_context* c) const;  // clears the callback, disconnects, unrefs
};
struct PulseStreamDeleter {
    void operator()(pa_stream* s) const;  // clears the callbacks, disconnects, unrefs
};
using PulseMainloopPtr = std::unique_ptr<pa_threaded_mainloop, PulseMainloopDeleter>;
using PulseContextPtr = std::unique_ptr<pa_context, PulseContextDeleter>;
using PulseStreamPtr = std::unique_ptr<pa_stream, PulseStreamDeleter>;

// One source of the server, as the input list shows it.
struct PulseSource {
    uint32_t index = 0;
    std::string name;         // the server's name, e.g. "speakers.monitor"
    std::string description;  // what users see, e.g. "Monitor of Speakers"
};

// Holds the main loop lock for its life. Only for threads other than the
// loop's own (callbacks already run under the lock).
class PulseLock {
public:
    explicit PulseLock(pa_threaded_mainloop* m) : m_loop(m) { pa_threaded_mainloop_lock(m_loop); }
    ~PulseLock() { pa_threaded_mainloop_unlock(m_loop); }
    PulseLock(const PulseLock&) = delete;
    PulseLock& operator=(const PulseLock&) = delete;

private:
    pa_threaded_mainloop* m_loop;
};

// Used from one thread (the caller's); its callbacks run on the loop thread.
// Errors are the server's positive error numbers (PA_ERR_*).
class PulseConnection {
public:
    PulseConnection() = default;
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    // Starts the loop and connects to the default server (PULSE_SERVER or
    // the user's). Waits at most `timeoutMs`. Returns 0 or an error.
    int connect(const char* clientName, int timeoutMs);
    // Ends the loop thread and the connection; a stream must be gone first.
    void disconnect();

    // The sources in index order. Returns 0 or an error.
    int listSources(std::vector<PulseSource>* sources, int timeoutMs);

    // With the lock held: waits on the loop's condition until `done` is true,
    // the connection fails or `timeoutMs` passes. Returns 0, PA_ERR_TIMEOUT or
    // the connection's error.
    int waitLocked(const std::function<bool()>& done, int timeoutMs);
    // Waits for an operation to end (with the lock held), then unrefs it.
    int waitOperationLocked(pa_operation* op, int timeoutMs);

    pa_threaded_mainloop* loop() const { return m_loop.get(); }
    pa_context* context() const { return m_context.get(); }
    // The context's last error, as a positive number (never 0 after a failure).
    int lastError() const;
    // Called on the loop thread when the connection fails or ends after it
    // was ready. Set before connect().
    void setOnLost(std::function<void()> onLost) { m_onLost = std::move(onLost); }

private:
    static void contextState(pa_context* c, void* self);

    PulseMainloopPtr m_loop;
    PulseContextPtr m_context;
    bool m_ready = false;           // guarded by the loop lock
    std::function<void()> m_onLost; // set before connect, read on the loop thread
};

}  // namespace capdev
