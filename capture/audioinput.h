#pragma once

// The recorder's view of a capture input, so that the real PulseAudio input
// and the sources injected by tests look alike to it.

#include <memory>
#include <string>
#include <vector>

namespace capdev {

// Codes handed to an AudioSink.
enum SinkCode : int {
    kSinkAudio = 2,      // bytes/data: one block of interleaved 16-bit stereo PCM
    kSinkLog = 5,        // bytes = 1, data: a NUL-terminated log line (at most 1023 characters)
    kSinkInputLost = 100 // the input went away (device removed, server gone); data: null
};

// One input as a backend lists it.
struct InputDevice {
    std::string name;  // what the user sees and chooses by (the server's description)
    std::string id;    // what the server knows it by (the source name); Open uses it
};

// Receives blocks and log lines from an input, on the input's delivery
// thread (log lines also on the caller's thread). The data is valid only
// during the call: the sink copies what it keeps and returns quickly.
using AudioSink = void (*)(int code, unsigned bytes, const void* data, void* owner);

// One open capture stream. Open, Start and Close are called from one thread
// (the recorder's caller); the sink is called from the delivery thread.
class IAudioInput {
public:
    virtual ~IAudioInput() = default;

    // Sets where blocks and log lines go. Call before Open.
    virtual void SetSink(AudioSink sink, void* owner) = 0;
    // Opens `device` as the backend listed it, by its id: the input chosen
    // is the one opened even when inputs came or went since the list was
    // made. Returns 0, -1 when already open, or a positive error of the sound
    // system (the input is gone, the server cannot be reached).
    virtual int Open(const InputDevice& device) = 0;
    // Starts delivery. Returns 0, -1 when not open, or a positive error.
    virtual int Start() = 0;
    // Stops delivery and frees the stream. After it returns, the sink is
    // never called again. Returns 0 or a positive error.
    virtual int Close() = 0;
    // Bytes in each delivered block (rate x 4 / 25 for 40 ms).
    virtual unsigned BlockBytes() const = 0;
};

// Lists the inputs and opens them. The real one talks to the sound server;
// tests inject their own.
class IInputBackend {
public:
    virtual ~IInputBackend() = default;

    // The inputs in device-number order (empty when there are none or the
    // server cannot be reached).
    virtual std::vector<InputDevice> ListDevices() = 0;
    // Their names only, in the same order.
    std::vector<std::string> ListInputs() {
        std::vector<std::string> names;
        for (InputDevice& device : ListDevices()) names.push_back(std::move(device.name));
        return names;
    }
    // A new, unopened input capturing 16-bit stereo at `sampleRate`.
    virtual std::unique_ptr<IAudioInput> CreateInput(int sampleRate) = 0;
};

// The sound server's inputs (PulseAudio sources, monitors included).
std::unique_ptr<IInputBackend> CreatePulseInputBackend();

}  // namespace capdev
