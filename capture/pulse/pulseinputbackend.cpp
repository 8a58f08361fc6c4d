#include "audioinput.h"
#include "pulse/pulseconnection.h"
#include "pulse/waveinrecorder.h"

namespace capdev {
namespace {

constexpr int kListTimeoutMs = 5000;

// The server's sources, monitors included, in index order, named by their
// descriptions.
class PulseInputBackend final : public IInputBackend {
public:
    std::vector<InputDevice> ListDevices() override {
        std::vector<InputDevice> devices;
        PulseConnection pulse;
        std::vector<PulseSource> sources;
        if (pulse.connect("Tunecap input list", kListTimeoutMs) != 0 ||
            pulse.listSources(&sources, kListTimeoutMs) != 0)
            return devices;
        for (const PulseSource& s : sources) devices.push_back({s.description, s.name});
        return devices;
    }

    std::unique_ptr<IAudioInput> CreateInput(int sampleRate) override {
        return std::make_unique<WaveInRecorder>(sampleRate);
    }
};

}  // namespace

std::unique_ptr<IInputBackend> CreatePulseInputBackend() { return std::make_unique<PulseInputBackend>(); }

}  // namespace capdev
