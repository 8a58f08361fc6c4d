#include "graph/lineout.h"

#include <memory>
#include <mutex>
#include <vector>

#include "graph/defaultoutput.h"
#include "graph/sinkcontrol.h"

namespace capdev {
namespace {

// The process-wide slot. All guarded by m_mutex.
struct LineOutSlot {
    std::mutex mutex;
    std::unique_ptr<ISinkControl> control;
    std::unique_ptr<CDefaultOutputSwitch> output;  // remembers the real device
    std::unique_ptr<CAudioFilterGraph> graph;
    bool switched = false;  // "Tavra Audio" was made the default for the graph
    std::unique_ptr<CStreamRouter> router;  // while one application is recorded
};

LineOutSlot& Slot() {
    static LineOutSlot* slot = new LineOutSlot;  // never destroyed: exit order does not matter
    return *slot;
}

// With the slot's lock held: frees the graph, then makes the remembered
// device the default again.
void ClearSlot(LineOutSlot& slot) {
    slot.router.reset();  // gives the moved streams back
    slot.graph.reset();
    if (slot.output && slot.switched) {
        slot.output->Restore();
    }
    slot.switched = false;
    slot.output.reset();
    slot.control.reset();
}

void SinkLog(LineOutSink sink, void* owner, const std::string& line) {
    if (sink != nullptr) {
        sink(kLineOutLog, line.c_str(), 1, owner);
    }
}

int FindVirtualDevice(ISinkControl* control, PlaybackDevice* device) {
    std::vector<PlaybackDevice> sinks;
    if (const int err = control->ListSinks(&sinks)) {
        return GraphServerError(err);
    }
    for (const PlaybackDevice& d : sinks) {
        if (d.description.find(kVirtualDeviceName) != std::string::npos) {
            *device = d;
            return 0;
        }
    }
    return -1;
}

// With the slot's lock held: builds both paths, the monitor playing on the
// device named `speakers`, and on success puts the graph, `control` and
// `output` into the slot. 0 or a negative error; on failure nothing moved.
int BuildIntoSlot(LineOutSlot& slot, std::unique_ptr<ISinkControl>& control,
                  std::unique_ptr<CDefaultOutputSwitch>& output, const std::string& speakers,
                  LineOutSink sink, void* owner) {
    PlaybackDevice device;
    int result = FindVirtualDevice(control.get(), &device);
    auto built = std::make_unique<CAudioFilterGraph>();
    if (result == 0) {
        result = built->BuildGraphs(device, speakers, sink, owner);
    }
    if (result != 0) {
        return result < 0 ? result : kGraphErrFail;
    }
    slot.control = std::move(control);
    slot.output = std::move(output);
    slot.graph = std::move(built);
    return 0;
}

}  // namespace

int LineOutStartRecord(LineOutSink sink, void* owner, CAudioFilterGraph** graph) {
    *graph = nullptr;
    LineOutSlot& slot = Slot();
    std::lock_guard<std::mutex> lock(slot.mutex);
    if (slot.graph && !slot.graph->IsAlive()) {
        // The device or the server went away since: build anew.
        SinkLog(sink, owner, "CAudioFilterGraph::LineOutStartRecord graph lost, rebuilding");
        ClearSlot(slot);
    }
    if (slot.graph) {
        if (!slot.switched) {
            // The graph recorded one application before: now everything.
            const int result = slot.output->SwitchToVirtual();
            if (result != 0) {
                SinkLog(sink, owner, "CAudioFilterGraph::LineOutStartRecord switch to " +
                                         std::string(kVirtualDeviceName) + " err " + std::to_string(result));
                return result < -2 ? GraphServerError(-result) : result;
            }
            slot.switched = true;
        }
        slot.graph->Resume(sink, owner);
        *graph = slot.graph.get();
        return 0;
    }
    auto control = CreatePulseSinkControl();
    auto output = std::make_unique<CDefaultOutputSwitch>(control.get(), CDefaultOutputState());
    int result = output->SwitchToVirtual();
    if (result < -2) {
        result = GraphServerError(-result);  // a negated server error
    }
    if (result != 0) {
        SinkLog(sink, owner, "CAudioFilterGraph::LineOutStartRecord switch to " +
                                 std::string(kVirtualDeviceName) + " err " + std::to_string(result));
        return result;
    }
    SinkLog(sink, owner, "CAudioFilterGraph::LineOutStartRecord default output: " +
                             output->remembered().description);
    result = BuildIntoSlot(slot, control, output, output->remembered().name, sink, owner);
    if (result != 0) {
        // Nothing records: the user must not be left without sound.
        const int restored = output->Restore();
        SinkLog(sink, owner, "CAudioFilterGraph::LineOutStartRecord build err " +
                                 std::to_string(result) + ", restore " + std::to_string(restored));
        return result;
    }
    slot.switched = true;
    *graph = slot.graph.get();
    return 0;
}

namespace {

// With the slot's lock held: the graph for recording one application, made
// or resumed, with the default playback device left (or made again) the
// real one. *speakers names that device.
int ApplicationGraph(LineOutSlot& slot, LineOutSink sink, void* owner, RememberedOutput* speakers) {
    if (slot.graph && slot.switched) {
        const int restored = slot.output->Restore();
        SinkLog(sink, owner, "CAudioFilterGraph::LineOutStartApplication default output given back, err " +
                                 std::to_string(restored));
        slot.switched = false;
    }
    if (slot.graph) {
        int result = slot.output->ReadRealDefault(speakers);
        if (result == 0) {
            slot.graph->Resume(sink, owner);
        }
        return result < -2 ? GraphServerError(-result) : result;
    }
    auto control = CreatePulseSinkControl();
    auto output = std::make_unique<CDefaultOutputSwitch>(control.get(), CDefaultOutputState());
    int result = output->ReadRealDefault(speakers);
    if (result != 0) {
        return result < -2 ? GraphServerError(-result) : result;
    }
    result = BuildIntoSlot(slot, control, output, speakers->name, sink, owner);
    if (result != 0) {
        SinkLog(sink, owner, "CAudioFilterGraph::LineOutStartApplication build err " + std::to_string(result));
        return result;
    }
    slot.switched = false;
    return 0;
}

}  // namespace

int LineOutStartApplication(LineOutSink sink, void* owner, const std::string& application,
                            CAudioFilterGraph** graph) {
    *graph = nullptr;
    LineOutSlot& slot = Slot();
    std::lock_guard<std::mutex> lock(slot.mutex);
    if (slot.graph && !slot.graph->IsAlive()) {
        SinkLog(sink, owner, "CAudioFilterGraph::LineOutStartRecord graph lost, rebuilding");
        ClearSlot(slot);
    }
    slot.router.reset();
    RememberedOutput speakers;
    int result = ApplicationGraph(slot, sink, owner, &speakers);
    if (result != 0) {
        return result;
    }
    PlaybackDevice device;
    result = FindVirtualDevice(slot.control.get(), &device);
    if (result == 0) {
        auto router = std::make_unique<CStreamRouter>(
            CDefaultOutputState(), [sink, owner](const std::string& line) { SinkLog(sink, owner, line); });
        const int err = router->Start(application, device.name, speakers.name);
        result = err != 0 ? GraphServerError(err) : 0;
        if (result == 0) {
            slot.router = std::move(router);
        }
    }
    if (result != 0) {
        slot.graph->Pause();
        return result < 0 ? result : kGraphErrFail;
    }
    SinkLog(sink, owner, "CAudioFilterGraph::LineOutStartApplication " + application + " on " +
                             device.description + ", monitor on " + speakers.description);
    *graph = slot.graph.get();
    return 0;
}

void LineOutPause(void* owner) {
    LineOutSlot& slot = Slot();
    std::lock_guard<std::mutex> lock(slot.mutex);
    if (slot.graph && slot.graph->owner() == owner) {
        slot.graph->Pause();
        slot.router.reset();  // gives the moved streams back
    }
}

void LineOutSetVolume(unsigned volume) {
    LineOutSlot& slot = Slot();
    std::lock_guard<std::mutex> lock(slot.mutex);
    if (slot.graph) {
        slot.graph->SetVolume(volume);
    }
}

bool LineOutTeardown(void* owner) {
    LineOutSlot& slot = Slot();
    std::lock_guard<std::mutex> lock(slot.mutex);
    if (!slot.graph || (owner != nullptr && slot.graph->owner() != owner)) {
        return false;
    }
    ClearSlot(slot);
    return true;
}

bool LineOutRunning() {
    LineOutSlot& slot = Slot();
    std::lock_guard<std::mutex> lock(slot.mutex);
    return static_cast<bool>(slot.graph);
}

int LineOutRepairStreams(std::string* report) {
    report->clear();
    LineOutSlot& slot = Slot();
    std::lock_guard<std::mutex> lock(slot.mutex);
    if (slot.router) {
        return 0;  // the streams on "Tavra Audio" are this process's recording
    }
    return RepairStreamsAfterCrash(CDefaultOutputState(), report);
}

int LineOutRepairAfterCrash(std::string* restored) {
    restored->clear();
    LineOutSlot& slot = Slot();
    std::lock_guard<std::mutex> lock(slot.mutex);
    if (slot.graph) {
        return 0;  // "Tavra Audio" is the default because this process records
    }
    auto control = CreatePulseSinkControl();
    CDefaultOutputSwitch output(control.get(), CDefaultOutputState());
    RememberedOutput made;
    const int result = output.RepairAfterCrash(&made);
    if (result == 0) {
        *restored = made.description.empty() ? made.name : made.description;
    }
    return result;
}

namespace {

class CProcessLineOut final : public ILineOut {
public:
    int Start(LineOutSink sink, void* owner) override {
        CAudioFilterGraph* graph = nullptr;
        return LineOutStartRecord(sink, owner, &graph);
    }
    void Pause(void* owner) override { LineOutPause(owner); }
    void SetVolume(unsigned volume) override { LineOutSetVolume(volume); }
    bool Teardown(void* owner) override { return LineOutTeardown(owner); }
    int RepairAfterCrash(std::string* restored) override { return LineOutRepairAfterCrash(restored); }
    int StartApplication(LineOutSink sink, void* owner, const std::string& application) override {
        CAudioFilterGraph* graph = nullptr;
        return LineOutStartApplication(sink, owner, application, &graph);
    }
    int RepairStreams(std::string* report) override { return LineOutRepairStreams(report); }
    int ListApplications(std::vector<PlayingApplication>* apps) override {
        return ListPlayingApplications(apps);
    }
};

}  // namespace

ILineOut& ProcessLineOut() {
    static CProcessLineOut* lineOut = new CProcessLineOut;  // never destroyed, like the slot
    return *lineOut;
}

}  // namespace capdev
