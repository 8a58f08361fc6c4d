#pragma once

// The playback side of the sound server as the virtual-device path needs it:
// the default playback device, the list of playback devices, making one the
// default, and unmuting one. The real one talks to the server; tests may
// inject their own.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace capdev {

// One playback device (a sink of the server).
struct PlaybackDevice {
    uint32_t index = 0;
    std::string name;         // the server's name, e.g. "tavra_audio"
    std::string description;  // what users see, e.g. "Tavra Audio"
    bool muted = false;
    std::string monitorSource;  // the source that captures what it plays
    uint32_t sampleRate = 0;    // its own sample rate, Hz
    uint8_t channels = 0;       // its own channel count
};

// Called from one thread at a time (the engine's caller). Every operation
// returns 0 or the server's positive error number (PA_ERR_*), for example
// when no server answers or no device has the name.
class ISinkControl {
public:
    virtual ~ISinkControl() = default;

    // The name of the default playback device ("" when the server has none).
    virtual int DefaultSink(std::string* name) = 0;
    // The playback devices in index order.
    virtual int ListSinks(std::vector<PlaybackDevice>* sinks) = 0;
    // Makes the device named `name` (exactly) the default.
    virtual int SetDefaultSink(const std::string& name) = 0;
    // Mutes or unmutes the device named `name` (exactly).
    virtual int SetSinkMute(const std::string& name, bool mute) = 0;
};

// The sound server's playback devices, through libpulse. Connects on first
// use and again after the connection was lost.
std::unique_ptr<ISinkControl> CreatePulseSinkControl();

}  // namespace capdev
