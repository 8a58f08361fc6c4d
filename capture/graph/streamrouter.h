#pragma once

// Recording one application: its playback streams are moved to the virtual
// device "Tavra Audio" (and its new streams as they appear), everything else
// stays where it plays, and every moved stream is given back afterwards.
//
// The sound server remembers where a moved stream's application last played
// (PulseAudio's stream-restore, PipeWire's session manager) and sends its
// next streams there. Giving streams back therefore also makes the server
// forget "Tavra Audio" for each application moved: a corked stand-in stream
// with the application's identity (name, id, binary, media role) is opened,
// and moved off "Tavra Audio" when the server put it there, which makes the
// server remember the real device instead (or nothing, for the default).
//
// Every moved stream is written to the state file of the default-output
// switch as it is moved, so that a run that dies while recording is repaired
// by the next one (RepairStreamsAfterCrash).

#include <pulse/pulseaudio.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "graph/defaultoutput.h"
#include "pulse/pulseconnection.h"

namespace capdev {

// One application with playback streams on the server.
struct PlayingApplication {
    std::string name;    // application.name
    std::string binary;  // application.process.binary
    std::string icon;    // application.icon_name
    int processId = 0;   // application.process.id of its first stream
    int streams = 0;
    bool playing = false;  // a stream is not corked
};

// The applications with playback streams now, but this process's own, one
// per name and binary, in the order of their first streams. Opens a
// connection of its own and waits at most a few seconds. 0 or the server's
// error (PA_ERR_*).
int ListPlayingApplications(std::vector<PlayingApplication>* apps);

// True when a stream of application `name` run from `binary` belongs to the
// choice `wanted` (its binary or its name, exactly).
bool MatchesApplication(const std::string& wanted, const std::string& binary, const std::string& name);

// Built, started and stopped on the caller's thread; the server's events are
// handled on the connection's loop thread.
class CStreamRouter {
public:
    using LogFn = std::function<void(const std::string&)>;

    // `state`: where moved streams are written down; `log`: decision lines
    // (called on either thread).
    CStreamRouter(CDefaultOutputState state, LogFn log);
    // Stops as Stop does.
    ~CStreamRouter();
    CStreamRouter(const CStreamRouter&) = delete;
    CStreamRouter& operator=(const CStreamRouter&) = delete;

    // Moves every playback stream of `application` to the sink named
    // `virtualSink` and keeps moving its new ones; streams of others found on
    // the virtual sink go to `realSink`. Returns once the streams there are
    // now have been moved: 0, or a server error (PA_ERR_*), after which
    // nothing stays moved.
    int Start(const std::string& application, const std::string& virtualSink, const std::string& realSink);

    // Stops following new streams, moves every moved stream that is still on
    // the virtual sink back to the sink it came from (the real default when
    // that is gone), makes the server forget the route of each moved
    // application, and clears the state file's streams. Returns the number of
    // streams given back. Safe to call twice.
    int Stop();

    // Streams moved during this run, gone or not. Caller's thread.
    int MovedCount();

private:
    struct Moved {
        uint32_t index;
        MovedStream saved;  // origin and identity, as in the state file
    };

    friend int RepairStreamsAfterCrash(CDefaultOutputState state, std::string* report);

    // With the loop lock held: reads the sinks and finds the two named.
    int OpenLocked(const std::string& virtualSink, const std::string& realSink);
    static void OnEvent(pa_context* c, pa_subscription_event_type_t type, uint32_t index, void* self);
    static void OnStreamInfo(pa_context* c, const pa_sink_input_info* info, int eol, void* self);
    static void OnSinkInfo(pa_context* c, const pa_sink_info* info, int eol, void* self);
    static void OnDone(pa_context* c, int success, void* self);
    // With the loop lock held (loop thread or caller's).
    void Consider(const pa_sink_input_info* info);
    void Move(uint32_t index, uint32_t sink);
    void SaveLocked();
    int WaitForMovesLocked();
    // With the loop lock held: opens a stand-in with `identity` and moves it
    // off the virtual sink when the server routes it there.
    void ForgetRouteLocked(const MovedStream& identity);

    CDefaultOutputState m_state;
    LogFn m_log;
    PulseConnection m_pulse;
    // All guarded by the loop lock.
    std::string m_application;
    std::string m_virtualName;
    std::string m_realName;
    uint32_t m_virtualIndex = PA_INVALID_INDEX;
    uint32_t m_realIndex = PA_INVALID_INDEX;
    std::map<uint32_t, std::string> m_sinks;  // index -> name
    std::vector<Moved> m_moved;
    std::set<uint32_t> m_seen;  // streams looked at (each once)
    int m_outstanding = 0;      // moves not yet answered
    bool m_following = false;
    bool m_listing = false;     // a list of sink inputs or sinks is being read
};

// At engine creation: when the state file lists moved streams (a run died
// while recording one application), moves each that is still on the sink
// whose description contains "Tavra Audio" back to where it came from (the
// default when that is gone), and every other stream of the same
// applications found there to the default, makes the server forget their
// route and clears the list. *report says what was done ("" when nothing).
// 0 or a server error (PA_ERR_*).
int RepairStreamsAfterCrash(CDefaultOutputState state, std::string* report);

}  // namespace capdev
