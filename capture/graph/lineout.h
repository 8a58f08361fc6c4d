#pragma once

// The process's one computer-audio graph and the default playback device
// around it. The recorder calls these from its caller's thread:
// LineOutStartRecord when a recording of computer audio starts,
// CAudioFilterGraph::Pause when it stops, LineOutSetVolume for the monitor
// level, LineOutTeardown when the engine is destroyed and
// LineOutRepairAfterCrash when one is created.

#include <string>
#include <vector>

#include "graph/audiofiltergraph.h"
#include "graph/streamrouter.h"
#include "graph/waveformat.h"

namespace capdev {

// Hands out the process's graph, delivering to `sink`/`owner` from now on.
// On success the format has been announced to the sink (event 0) on the
// calling thread before this returns, and before any block. When the graph
// exists already it is resumed (the format is announced again) and 0 is
// returned. Otherwise: remembers the real default playback device (not
// "Tavra Audio"), makes "Tavra Audio" the default and unmutes it, and builds
// both paths with the monitor playing on the remembered device. Returns 0;
// -2 when no real playback device can be determined; -1 when no device is
// "Tavra Audio"; a negative server or graph error (audiofiltergraph.h). On
// failure *graph is null and the default playback device is as it was.
int LineOutStartRecord(LineOutSink sink, void* owner, CAudioFilterGraph** graph);

// As LineOutStartRecord, but only `application` (its binary or name) is
// recorded: the default playback device stays as it is (and is given back
// first when an earlier recording of this process made "Tavra Audio" the
// default), the monitor plays on the real default device, and a stream
// router moves the application's streams to "Tavra Audio" until the
// recording pauses. Returns 0, the errors of LineOutStartRecord, or
// GraphServerError(e) when the streams cannot be routed (the graph then
// stays, paused).
int LineOutStartApplication(LineOutSink sink, void* owner, const std::string& application,
                            CAudioFilterGraph** graph);

// Pauses delivery of the process's graph when it delivers to `owner`: what
// arrives is discarded, the monitor plays on. Streams moved for one
// application are given back.
void LineOutPause(void* owner);

// Sets the monitor level of the process's graph, when there is one.
void LineOutSetVolume(unsigned volume);

// When the process's graph delivers to `owner` (or `owner` is null): stops
// and frees it and makes the remembered device the default again. Returns
// true when a graph was torn down. A graph another owner resumed since is
// left alone.
bool LineOutTeardown(void* owner);

// True while the process has a graph.
bool LineOutRunning();

// At engine creation: when no graph of this process runs but "Tavra Audio"
// is still the default and the state file names the device a previous run
// replaced, makes that device (or, when it is gone, the first other one) the
// default again. Returns 0 when nothing needed doing or the repair was made
// (*restored then names the device, else it is cleared), or a negative
// error.
int LineOutRepairAfterCrash(std::string* restored);

// At engine creation, when no router of this process runs: gives back the
// streams a previous run moved for one application and left on "Tavra
// Audio" (RepairStreamsAfterCrash). 0 or a server error (PA_ERR_*).
int LineOutRepairStreams(std::string* report);

// The recorder's view of computer-audio capture, so that tests can give it a
// source of their own. Called from the recorder's caller thread; the sink is
// called as LineOutSink says.
class ILineOut {
public:
    virtual ~ILineOut() = default;
    // As LineOutStartRecord: on success the format has reached the sink, on
    // the calling thread, before this returns.
    virtual int Start(LineOutSink sink, void* owner) = 0;
    // As LineOutPause.
    virtual void Pause(void* owner) = 0;
    // As LineOutSetVolume.
    virtual void SetVolume(unsigned volume) = 0;
    // As LineOutTeardown.
    virtual bool Teardown(void* owner) = 0;
    // As LineOutRepairAfterCrash.
    virtual int RepairAfterCrash(std::string* restored) = 0;
    // As LineOutStartApplication. A source that cannot record one
    // application alone refuses (-1).
    virtual int StartApplication(LineOutSink /*sink*/, void* /*owner*/, const std::string& /*application*/) {
        return -1;
    }
    // As LineOutRepairStreams; nothing to repair by default.
    virtual int RepairStreams(std::string* report) {
        report->clear();
        return 0;
    }
    // As ListPlayingApplications; none by default.
    virtual int ListApplications(std::vector<PlayingApplication>* apps) {
        apps->clear();
        return 0;
    }
};

// The functions above as an ILineOut. Lives for the whole process.
ILineOut& ProcessLineOut();

}  // namespace capdev
