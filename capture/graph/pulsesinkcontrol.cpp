#include <pulse/pulseaudio.h>

#include "graph/sinkcontrol.h"
#include "pulse/pulseconnection.h"

namespace capdev {

namespace {

constexpr int kTimeoutMs = 5000;
constexpr char kClientName[] = "Tunecap output control";

struct SinkQuery {
    pa_threaded_mainloop* loop;
    std::vector<PlaybackDevice>* sinks;
};

void SinkInfo(pa_context*, const pa_sink_info* info, int eol, void* data) {
    auto* q = static_cast<SinkQuery*>(data);
    if (eol == 0 && info != nullptr) {
        PlaybackDevice d;
        d.index = info->index;
        d.name = info->name != nullptr ? info->name : "";
        d.description = info->description != nullptr ? info->description : "";
        d.muted = info->mute != 0;
        d.monitorSource = info->monitor_source_name != nullptr ? info->monitor_source_name : "";
        d.sampleRate = info->sample_spec.rate;
        d.channels = info->sample_spec.channels;
        q->sinks->push_back(std::move(d));
    }
    if (eol != 0) {
        pa_threaded_mainloop_signal(q->loop, 0);
    }
}

struct ServerQuery {
    pa_threaded_mainloop* loop;
    std::string* defaultSink;
};

void ServerInfo(pa_context*, const pa_server_info* info, void* data) {
    auto* q = static_cast<ServerQuery*>(data);
    if (info != nullptr && info->default_sink_name != nullptr) {
        *q->defaultSink = info->default_sink_name;
    }
    pa_threaded_mainloop_signal(q->loop, 0);
}

struct SuccessQuery {
    pa_threaded_mainloop* loop;
    int success = 0;
};

void Success(pa_context*, int success, void* data) {
    auto* q = static_cast<SuccessQuery*>(data);
    q->success = success;
    pa_threaded_mainloop_signal(q->loop, 0);
}

class CPulseSinkControl : public ISinkControl {
public:
    int DefaultSink(std::string* name) override {
        name->clear();
        if (const int err = Connect()) {
            return err;
        }
        PulseLock lock(m_connection.loop());
        ServerQuery q{m_connection.loop(), name};
        return m_connection.waitOperationLocked(
            pa_context_get_server_info(m_connection.context(), &ServerInfo, &q), kTimeoutMs);
    }

    int ListSinks(std::vector<PlaybackDevice>* sinks) override {
        sinks->clear();
        if (const int err = Connect()) {
            return err;
        }
        PulseLock lock(m_connection.loop());
        SinkQuery q{m_connection.loop(), sinks};
        return m_connection.waitOperationLocked(
            pa_context_get_sink_info_list(m_connection.context(), &SinkInfo, &q), kTimeoutMs);
    }

    int SetDefaultSink(const std::string& name) override {
        return RunSuccessOperation([&name](pa_context* c, SuccessQuery* q) {
            return pa_context_set_default_sink(c, name.c_str(), &Success, q);
        });
    }

    int SetSinkMute(const std::string& name, bool mute) override {
        return RunSuccessOperation([&name, mute](pa_context* c, SuccessQuery* q) {
            return pa_context_set_sink_mute_by_name(c, name.c_str(), mute ? 1 : 0, &Success, q);
        });
    }

private:
    int Connect() {
        if (m_connection.context() != nullptr &&
            pa_context_get_state(m_connection.context()) == PA_CONTEXT_READY) {
            return 0;
        }
        return m_connection.connect(kClientName, kTimeoutMs);
    }

    template <typename Start>
    int RunSuccessOperation(Start start) {
        if (const int err = Connect()) {
            return err;
        }
        PulseLock lock(m_connection.loop());
        SuccessQuery q{m_connection.loop()};
        const int err =
            m_connection.waitOperationLocked(start(m_connection.context(), &q), kTimeoutMs);
        if (err != 0) {
            return err;
        }
        return q.success != 0 ? 0 : m_connection.lastError();
    }

    PulseConnection m_connection;
};

}  // namespace

std::unique_ptr<ISinkControl> CreatePulseSinkControl() {
    return std::make_unique<CPulseSinkControl>();
}

}  // namespace capdev
