#include "graph/streamrouter.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>

namespace capdev {
namespace {

constexpr int kTimeoutMs = 5000;
// How long a stand-in stream may take to be placed on a device.
constexpr int kPlacedTimeoutMs = 1000;

std::string Prop(const pa_proplist* props, const char* key) {
    const char* value = props != nullptr ? pa_proplist_gets(props, key) : nullptr;
    return value != nullptr ? value : "";
}

bool OwnStream(const pa_proplist* props) {
    return Prop(props, PA_PROP_APPLICATION_PROCESS_ID) == std::to_string(::getpid());
}

MovedStream Identity(const pa_sink_input_info* info) {
    MovedStream m;
    m.index = info->index;
    m.name = Prop(info->proplist, PA_PROP_APPLICATION_NAME);
    m.binary = Prop(info->proplist, PA_PROP_APPLICATION_PROCESS_BINARY);
    m.id = Prop(info->proplist, PA_PROP_APPLICATION_ID);
    m.role = Prop(info->proplist, PA_PROP_MEDIA_ROLE);
    return m;
}

bool SameApplication(const MovedStream& a, const MovedStream& b) {
    return a.name == b.name && a.binary == b.binary;
}

// One sink input as a list query gives it.
struct ListedStream {
    MovedStream identity;
    uint32_t sink;
    bool corked;
    int processId;
    std::string icon;
};

struct StreamList {
    pa_threaded_mainloop* loop;
    std::vector<ListedStream> streams;  // this process's own left out
};

void CollectStream(pa_context*, const pa_sink_input_info* info, int eol, void* data) {
    auto* list = static_cast<StreamList*>(data);
    if (eol == 0 && info != nullptr && !OwnStream(info->proplist)) {
        list->streams.push_back(ListedStream{
            Identity(info), info->sink, info->corked != 0,
            std::atoi(Prop(info->proplist, PA_PROP_APPLICATION_PROCESS_ID).c_str()),
            Prop(info->proplist, PA_PROP_APPLICATION_ICON_NAME)});
    }
    if (eol != 0) {
        pa_threaded_mainloop_signal(list->loop, 0);
    }
}

int ReadStreams(PulseConnection& pulse, StreamList* list) {
    list->loop = pulse.loop();
    return pulse.waitOperationLocked(
        pa_context_get_sink_input_info_list(pulse.context(), &CollectStream, list), kTimeoutMs);
}

struct ServerDefault {
    pa_threaded_mainloop* loop;
    std::string name;
};

void OnServerInfo(pa_context*, const pa_server_info* info, void* data) {
    auto* q = static_cast<ServerDefault*>(data);
    if (info != nullptr && info->default_sink_name != nullptr) {
        q->name = info->default_sink_name;
    }
    pa_threaded_mainloop_signal(q->loop, 0);
}

void SignalLoop(pa_stream*, void* loop) {
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
}

}  // namespace

bool MatchesApplication(const std::string& wanted, const std::string& binary, const std::string& name) {
    return !wanted.empty() && (wanted == binary || wanted == name);
}

int ListPlayingApplications(std::vector<PlayingApplication>* apps) {
    apps->clear();
    PulseConnection pulse;
    if (const int err = pulse.connect("Tunecap application list", kTimeoutMs)) {
        return err;
    }
    StreamList list{};
    {
        PulseLock lock(pulse.loop());
        if (const int err = ReadStreams(pulse, &list)) {
            return err;
        }
    }
    std::sort(list.streams.begin(), list.streams.end(), [](const ListedStream& a, const ListedStream& b) {
        return a.identity.index < b.identity.index;
    });
    for (const ListedStream& listed : list.streams) {
        const MovedStream& s = listed.identity;
        if (s.name.empty() && s.binary.empty()) {
            continue;  // nothing to choose it by
        }
        const std::string name = s.name.empty() ? s.binary : s.name;
        auto app = std::find_if(apps->begin(), apps->end(), [&](const PlayingApplication& a) {
            return a.name == name && a.binary == s.binary;
        });
        if (app == apps->end()) {
            apps->push_back(PlayingApplication{name, s.binary, listed.icon, listed.processId, 0, false});
            app = apps->end() - 1;
        }
        if (app->icon.empty()) {
            app->icon = listed.icon;
        }
        ++app->streams;
        app->playing = app->playing || !listed.corked;
    }
    return 0;
}

CStreamRouter::CStreamRouter(CDefaultOutputState state, LogFn log)
    : m_state(std::move(state)), m_log(std::move(log)) {}

CStreamRouter::~CStreamRouter() { Stop(); }

void CStreamRouter::OnSinkInfo(pa_context*, const pa_sink_info* info, int eol, void* self) {
    auto* me = static_cast<CStreamRouter*>(self);
    if (eol == 0 && info != nullptr && info->name != nullptr) {
        me->m_sinks[info->index] = info->name;
    }
    if (eol != 0) {
        pa_threaded_mainloop_signal(me->m_pulse.loop(), 0);
    }
}

void CStreamRouter::OnStreamInfo(pa_context*, const pa_sink_input_info* info, int eol, void* self) {
    auto* me = static_cast<CStreamRouter*>(self);
    if (eol == 0 && info != nullptr) {
        me->Consider(info);
    }
    if (eol != 0) {
        pa_threaded_mainloop_signal(me->m_pulse.loop(), 0);
    }
}

void CStreamRouter::OnEvent(pa_context* c, pa_subscription_event_type_t type, uint32_t index, void* self) {
    auto* me = static_cast<CStreamRouter*>(self);
    if (!me->m_following) {
        return;
    }
    const auto facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    const auto kind = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
    pa_operation* op = nullptr;
    if (facility == PA_SUBSCRIPTION_EVENT_SINK_INPUT && kind == PA_SUBSCRIPTION_EVENT_NEW) {
        op = pa_context_get_sink_input_info(c, index, &CStreamRouter::OnStreamInfo, self);
    } else if (facility == PA_SUBSCRIPTION_EVENT_SINK_INPUT && kind == PA_SUBSCRIPTION_EVENT_REMOVE) {
        for (const Moved& m : me->m_moved) {
            if (m.index == index) {
                me->m_log("CStreamRouter::OnEvent stream gone: " + std::to_string(index) + " " + m.saved.name);
            }
        }
    } else if (facility == PA_SUBSCRIPTION_EVENT_SINK && kind == PA_SUBSCRIPTION_EVENT_NEW) {
        op = pa_context_get_sink_info_by_index(c, index, &CStreamRouter::OnSinkInfo, self);
    } else if (facility == PA_SUBSCRIPTION_EVENT_SINK && kind == PA_SUBSCRIPTION_EVENT_REMOVE) {
        me->m_sinks.erase(index);
    }
    if (op != nullptr) {
        pa_operation_unref(op);
    }
}

void CStreamRouter::OnDone(pa_context*, int success, void* self) {
    auto* me = static_cast<CStreamRouter*>(self);
    --me->m_outstanding;
    if (!success) {
        me->m_log("CStreamRouter::Move failed: " + std::string(pa_strerror(me->m_pulse.lastError())));
    }
    pa_threaded_mainloop_signal(me->m_pulse.loop(), 0);
}

void CStreamRouter::Move(uint32_t index, uint32_t sink) {
    if (sink == PA_INVALID_INDEX) {
        return;
    }
    ++m_outstanding;
    pa_operation* op =
        pa_context_move_sink_input_by_index(m_pulse.context(), index, sink, &CStreamRouter::OnDone, this);
    if (op != nullptr) {
        pa_operation_unref(op);
    } else {
        --m_outstanding;
    }
}

int CStreamRouter::WaitForMovesLocked() {
    return m_pulse.waitLocked([this] { return m_outstanding == 0; }, kTimeoutMs);
}

void CStreamRouter::SaveLocked() {
    std::vector<MovedStream> saved;
    for (const Moved& m : m_moved) {
        saved.push_back(m.saved);
    }
    if (!m_state.SaveStreams(saved)) {
        m_log("CStreamRouter::Save cannot write " + m_state.path());
    }
}

void CStreamRouter::Consider(const pa_sink_input_info* info) {
    if (!m_following || !m_seen.insert(info->index).second || OwnStream(info->proplist)) {
        return;
    }
    MovedStream identity = Identity(info);
    if (MatchesApplication(m_application, identity.binary, identity.name)) {
        // A stream that starts on the virtual device got there by a route the
        // server remembers from an earlier move: its own device is the real one.
        const auto sink = m_sinks.find(info->sink);
        identity.origin = info->sink != m_virtualIndex && sink != m_sinks.end() ? sink->second : m_realName;
        m_moved.push_back(Moved{info->index, identity});
        SaveLocked();
        if (info->sink != m_virtualIndex) {
            Move(info->index, m_virtualIndex);
        }
        m_log("CStreamRouter::Consider moved stream " + std::to_string(info->index) + " of " +
              identity.name + " from " + identity.origin);
    } else if (info->sink == m_virtualIndex) {
        // Not chosen, so not to be recorded: it plays where the user listens.
        Move(info->index, m_realIndex);
        m_log("CStreamRouter::Consider kept stream " + std::to_string(info->index) + " of " +
              identity.name + " off the virtual device");
    }
}

int CStreamRouter::OpenLocked(const std::string& virtualSink, const std::string& realSink) {
    m_virtualName = virtualSink;
    m_realName = realSink;
    m_sinks.clear();
    const int err = m_pulse.waitOperationLocked(
        pa_context_get_sink_info_list(m_pulse.context(), &CStreamRouter::OnSinkInfo, this), kTimeoutMs);
    for (const auto& [index, name] : m_sinks) {
        if (name == virtualSink) {
            m_virtualIndex = index;
        }
        if (name == realSink) {
            m_realIndex = index;
        }
    }
    if (err == 0 && (m_virtualIndex == PA_INVALID_INDEX || m_realIndex == PA_INVALID_INDEX)) {
        return PA_ERR_NOENTITY;
    }
    return err;
}

int CStreamRouter::Start(const std::string& application, const std::string& virtualSink,
                         const std::string& realSink) {
    if (const int err = m_pulse.connect("Tunecap stream routing", kTimeoutMs)) {
        return err;
    }
    int err = 0;
    {
        PulseLock lock(m_pulse.loop());
        pa_context* c = m_pulse.context();
        m_application = application;
        err = OpenLocked(virtualSink, realSink);
        if (err == 0) {
            pa_context_set_subscribe_callback(c, &CStreamRouter::OnEvent, this);
            const auto mask =
                static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SINK_INPUT | PA_SUBSCRIPTION_MASK_SINK);
            err = m_pulse.waitOperationLocked(pa_context_subscribe(c, mask, nullptr, nullptr), kTimeoutMs);
        }
        if (err == 0) {
            m_following = true;
            err = m_pulse.waitOperationLocked(
                pa_context_get_sink_input_info_list(c, &CStreamRouter::OnStreamInfo, this), kTimeoutMs);
        }
        if (err == 0) {
            err = WaitForMovesLocked();
        }
    }
    m_log("CStreamRouter::Start application: " + application + ", streams moved: " +
          std::to_string(MovedCount()) + ", err " + std::to_string(err));
    if (err != 0) {
        Stop();
    }
    return err;
}

int CStreamRouter::MovedCount() {
    if (m_pulse.loop() == nullptr) {
        return static_cast<int>(m_moved.size());
    }
    PulseLock lock(m_pulse.loop());
    return static_cast<int>(m_moved.size());
}

void CStreamRouter::ForgetRouteLocked(const MovedStream& identity) {
    pa_proplist* props = pa_proplist_new();
    const std::pair<const char*, const std::string*> keys[] = {
        {PA_PROP_APPLICATION_NAME, &identity.name},
        {PA_PROP_APPLICATION_PROCESS_BINARY, &identity.binary},
        {PA_PROP_APPLICATION_ID, &identity.id},
        {PA_PROP_MEDIA_ROLE, &identity.role}};
    for (const auto& [key, value] : keys) {
        if (!value->empty()) {
            pa_proplist_sets(props, key, value->c_str());
        }
    }
    const pa_sample_spec spec{PA_SAMPLE_S16LE, 44100, 2};
    PulseStreamPtr stream(pa_stream_new_with_proplist(m_pulse.context(), "Tunecap route reset", &spec,
                                                      nullptr, props));
    pa_proplist_free(props);
    pa_stream* s = stream.get();
    if (s == nullptr) {
        return;
    }
    pa_stream_set_state_callback(s, &SignalLoop, m_pulse.loop());
    if (pa_stream_connect_playback(s, nullptr, nullptr, PA_STREAM_START_CORKED, nullptr, nullptr) < 0) {
        return;
    }
    m_pulse.waitLocked(
        [s] {
            const pa_stream_state_t st = pa_stream_get_state(s);
            return st == PA_STREAM_READY || !PA_STREAM_IS_GOOD(st);
        },
        kTimeoutMs);
    if (pa_stream_get_state(s) != PA_STREAM_READY) {
        return;
    }
    // Placed as the server routes the application now.
    m_pulse.waitLocked([s] { return pa_stream_get_device_index(s) != PA_INVALID_INDEX; }, kPlacedTimeoutMs);
    if (pa_stream_get_device_index(s) == m_virtualIndex) {
        Move(pa_stream_get_index(s), m_realIndex);
        WaitForMovesLocked();
        m_log("CStreamRouter::ForgetRoute " + identity.name + " no longer routed to " + m_virtualName);
    }
}

int CStreamRouter::Stop() {
    if (m_pulse.loop() == nullptr) {
        return 0;
    }
    int given = 0;
    {
        PulseLock lock(m_pulse.loop());
        pa_context* c = m_pulse.context();
        m_following = false;
        pa_context_set_subscribe_callback(c, nullptr, nullptr);
        StreamList now{};
        ServerDefault server{m_pulse.loop(), {}};
        const bool alive = PA_CONTEXT_IS_GOOD(pa_context_get_state(c)) && ReadStreams(m_pulse, &now) == 0;
        if (alive) {
            m_pulse.waitOperationLocked(pa_context_get_server_info(c, &OnServerInfo, &server), kTimeoutMs);
            m_sinks.clear();
            m_pulse.waitOperationLocked(pa_context_get_sink_info_list(c, &CStreamRouter::OnSinkInfo, this),
                                        kTimeoutMs);
        }
        const auto indexOf = [this](const std::string& name) {
            for (const auto& [index, sinkName] : m_sinks) {
                if (sinkName == name && index != m_virtualIndex) {
                    return index;
                }
            }
            return PA_INVALID_INDEX;
        };
        uint32_t fallback = indexOf(server.name);
        if (fallback == PA_INVALID_INDEX) {
            fallback = m_realIndex;
        }
        for (const Moved& m : m_moved) {
            for (const ListedStream& listed : now.streams) {
                // Indexes come back on some servers: the same application too.
                if (listed.identity.index != m.index || listed.sink != m_virtualIndex ||
                    !SameApplication(listed.identity, m.saved)) {
                    continue;
                }
                const uint32_t origin = indexOf(m.saved.origin);
                Move(m.index, origin != PA_INVALID_INDEX ? origin : fallback);
                ++given;
            }
        }
        if (alive) {
            WaitForMovesLocked();
            m_realIndex = fallback;
            std::vector<MovedStream> forgotten;
            for (const Moved& m : m_moved) {
                const bool seen = std::any_of(forgotten.begin(), forgotten.end(), [&m](const MovedStream& f) {
                    return SameApplication(f, m.saved) && f.id == m.saved.id && f.role == m.saved.role;
                });
                if (!seen) {
                    forgotten.push_back(m.saved);
                    ForgetRouteLocked(m.saved);
                }
            }
        }
    }
    if (!m_moved.empty()) {
        m_log("CStreamRouter::Stop streams given back: " + std::to_string(given) + " of " +
              std::to_string(m_moved.size()));
    }
    m_state.SaveStreams({});
    m_moved.clear();
    m_seen.clear();
    m_pulse.disconnect();
    return given;
}

int RepairStreamsAfterCrash(CDefaultOutputState state, std::string* report) {
    report->clear();
    const std::vector<MovedStream> saved = state.LoadStreams();
    if (saved.empty()) {
        return 0;
    }
    // The virtual device by its description, the real default by the server.
    std::vector<PlaybackDevice> sinks;
    std::string defaultName;
    auto control = CreatePulseSinkControl();
    if (const int err = control->ListSinks(&sinks)) {
        return err;
    }
    control->DefaultSink(&defaultName);
    std::string virtualName;
    std::string realName;
    for (const PlaybackDevice& d : sinks) {
        if (virtualName.empty() && d.description.find(kVirtualDeviceName) != std::string::npos) {
            virtualName = d.name;
        }
    }
    for (const PlaybackDevice& d : sinks) {
        if (d.name != virtualName && (realName.empty() || d.name == defaultName)) {
            realName = d.name;
        }
    }
    if (virtualName.empty() || realName.empty()) {
        state.SaveStreams({});  // nothing can be on a device that is gone
        return 0;
    }
    // A router that adopts the streams found on the virtual device as if it
    // had moved them, and stops: it gives them back and forgets the routes.
    CStreamRouter router(state, [](const std::string&) {});
    if (const int err = router.m_pulse.connect("Tunecap stream repair", kTimeoutMs)) {
        return err;
    }
    {
        PulseLock lock(router.m_pulse.loop());
        StreamList now{};
        int err = router.OpenLocked(virtualName, realName);
        if (err == 0) {
            err = ReadStreams(router.m_pulse, &now);
        }
        if (err != 0) {
            return err;
        }
        for (const ListedStream& listed : now.streams) {
            const auto same = std::find_if(saved.begin(), saved.end(), [&listed](const MovedStream& s) {
                return SameApplication(s, listed.identity);
            });
            if (listed.sink != router.m_virtualIndex || same == saved.end()) {
                continue;
            }
            // Moved by the run that died: back where it came from; another
            // stream of the application, sent there by the route: the default.
            MovedStream m = listed.identity;
            m.origin = realName;
            for (const MovedStream& s : saved) {
                if (s.index == m.index && SameApplication(s, m)) {
                    m.origin = s.origin;
                }
            }
            router.m_moved.push_back(CStreamRouter::Moved{m.index, m});
        }
        // Applications that were moved but play no more keep their route.
        for (const MovedStream& s : saved) {
            router.m_moved.push_back(CStreamRouter::Moved{PA_INVALID_INDEX, s});
        }
    }
    const int given = router.Stop();
    *report = "streams moved back: " + std::to_string(given);
    return 0;
}

}  // namespace capdev
