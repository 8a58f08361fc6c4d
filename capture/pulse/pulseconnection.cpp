#include "pulse/pulseconnection.h"

#include <pulse/rtclock.h>

#include <algorithm>

namespace capdev {

void PulseMainloopDeleter::operator()(pa_threaded_mainloop* m) const {
    pa_threaded_mainloop_stop(m);
    pa_threaded_mainloop_free(m);
}

void PulseContextDeleter::operator()(pa_context* c) const {
    pa_context_set_state_callback(c, nullptr, nullptr);
    pa_context_disconnect(c);
    pa_context_unref(c);
}

void PulseStreamDeleter::operator()(pa_stream* s) const {
    pa_stream_set_state_callback(s, nullptr, nullptr);
    pa_stream_set_read_callback(s, nullptr, nullptr);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(s))) pa_stream_disconnect(s);
    pa_stream_unref(s);
}

PulseConnection::~PulseConnection() { disconnect(); }

void PulseConnection::contextState(pa_context* c, void* self) {
    auto* me = static_cast<PulseConnection*>(self);
    const pa_context_state_t state = pa_context_get_state(c);
    if (state == PA_CONTEXT_READY) me->m_ready = true;
    if (!PA_CONTEXT_IS_GOOD(state) && me->m_ready && me->m_onLost) me->m_onLost();
    pa_threaded_mainloop_signal(me->m_loop.get(), 0);
}

int PulseConnection::lastError() const {
    const int e = m_context ? pa_context_errno(m_context.get()) : PA_ERR_INTERNAL;
    return e > 0 ? e : PA_ERR_UNKNOWN;
}

int PulseConnection::connect(const char* clientName, int timeoutMs) {
    disconnect();
    m_loop.reset(pa_threaded_mainloop_new());
    if (!m_loop) return PA_ERR_INTERNAL;
    m_context.reset(pa_context_new(pa_threaded_mainloop_get_api(m_loop.get()), clientName));
    if (!m_context) {
        m_loop.reset();
        return PA_ERR_INTERNAL;
    }
    pa_context_set_state_callback(m_context.get(), &PulseConnection::contextState, this);
    m_ready = false;
    if (pa_context_connect(m_context.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        const int err = lastError();
        disconnect();
        return err;
    }
    if (pa_threaded_mainloop_start(m_loop.get()) < 0) {
        disconnect();
        return PA_ERR_INTERNAL;
    }
    int err;
    {
        PulseLock lock(m_loop.get());
        err = waitLocked([this] { return m_ready; }, timeoutMs);
    }
    if (err != 0) disconnect();
    return err;
}

void PulseConnection::disconnect() {
    // The loop thread ends first, so no callback runs while the handles go.
    if (m_loop) pa_threaded_mainloop_stop(m_loop.get());
    m_context.reset();
    m_loop.reset();
    m_ready = false;
}

namespace {

struct Deadline {
    pa_threaded_mainloop* loop;
    bool passed = false;
};

void deadlinePassed(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* data) {
    auto* d = static_cast<Deadline*>(data);
    d->passed = true;
    pa_threaded_mainloop_signal(d->loop, 0);
}

}  // namespace

int PulseConnection::waitLocked(const std::function<bool()>& done, int timeoutMs) {
    Deadline deadline{m_loop.get()};
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(m_loop.get());
    pa_time_event* timer = pa_context_rttime_new(
        m_context.get(), pa_rtclock_now() + static_cast<pa_usec_t>(timeoutMs) * PA_USEC_PER_MSEC,
        &deadlinePassed, &deadline);
    int err = 0;
    while (!done()) {
        if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(m_context.get()))) {
            err = lastError();
            break;
        }
        if (deadline.passed || !timer) {
            err = PA_ERR_TIMEOUT;
            break;
        }
        pa_threaded_mainloop_wait(m_loop.get());
    }
    if (timer) api->time_free(timer);
    return err;
}

namespace {
void operationChanged(pa_operation*, void* loop) {
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
}
}  // namespace

int PulseConnection::waitOperationLocked(pa_operation* op, int timeoutMs) {
    if (!op) return lastError();
    pa_operation_set_state_callback(op, &operationChanged, m_loop.get());
    const int err =
        waitLocked([op] { return pa_operation_get_state(op) != PA_OPERATION_RUNNING; }, timeoutMs);
    if (err == 0 && pa_operation_get_state(op) == PA_OPERATION_CANCELLED) {
        pa_operation_set_state_callback(op, nullptr, nullptr);
        pa_operation_unref(op);
        return lastError();
    }
    if (err != 0) pa_operation_cancel(op);
    pa_operation_set_state_callback(op, nullptr, nullptr);
    pa_operation_unref(op);
    return err;
}

namespace {

struct SourceQuery {
    pa_threaded_mainloop* loop;
    std::vector<PulseSource>* sources;
};

void sourceInfo(pa_context*, const pa_source_info* info, int eol, void* data) {
    auto* q = static_cast<SourceQuery*>(data);
    if (eol == 0 && info) {
        q->sources->push_back(PulseSource{info->index, info->name ? info->name : "",
                                          info->description ? info->description : ""});
    }
    if (eol != 0) pa_threaded_mainloop_signal(q->loop, 0);
}

}  // namespace

int PulseConnection::listSources(std::vector<PulseSource>* sources, int timeoutMs) {
    sources->clear();
    if (!m_context) return PA_ERR_BADSTATE;
    SourceQuery query{m_loop.get(), sources};
    int err;
    {
        PulseLock lock(m_loop.get());
        err = waitOperationLocked(pa_context_get_source_info_list(m_context.get(), &sourceInfo, &query),
                                  timeoutMs);
    }
    if (err != 0) {
        sources->clear();
        return err;
    }
    std::sort(sources->begin(), sources->end(),
              [](const PulseSource& a, const PulseSource& b) { return a.index < b.index; });
    return 0;
}

}  // namespace capdev
