#pragma once

// Stand-ins for the recorder's input backend and output files, and a
// recorder of callback events, so that recordings run deterministically and
// faster than real time.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audiodevrecorder.h"
#include "audioinput.h"
#include "capdev.h"
#include "recordfile.h"

namespace enginetest {

// One captured input: the test thread plays the delivery thread.
class FakeInput : public capdev::IAudioInput {
public:
    FakeInput(int rate, unsigned blockBytes) : m_rate(rate), m_blockBytes(blockBytes) {}
    void SetSink(capdev::AudioSink sink, void* owner) override {
        m_sink = sink;
        m_owner = owner;
    }
    int Open(const capdev::InputDevice& device) override {
        openedId = device.id;
        return openResult;
    }
    int Start() override { return startResult; }
    int Close() override {
        closed = true;
        return 0;
    }
    unsigned BlockBytes() const override { return m_blockBytes; }

    void Deliver(const void* data, unsigned bytes) { m_sink(capdev::kSinkAudio, bytes, data, m_owner); }
    void Lose() { m_sink(capdev::kSinkInputLost, 0, nullptr, m_owner); }
    int rate() const { return m_rate; }

    int openResult = 0;
    int startResult = 0;
    std::string openedId;  // id of the device opened; empty before Open
    bool closed = false;

private:
    int m_rate;
    unsigned m_blockBytes;
    capdev::AudioSink m_sink = nullptr;
    void* m_owner = nullptr;
};

// What the backend made, shared with the test.
struct BackendState {
    std::vector<std::string> names{"Built-in Audio Analog Stereo", "Monitor of Speakers",
                                   "Monitor of Speakers 2"};
    unsigned blockBytes = 0;  // 0: 40 ms at the requested rate
    int openResult = 0;
    int startResult = 0;
    int lastRate = 0;
    FakeInput* last = nullptr;  // owned by the recorder; valid while it records
};

class FakeBackend : public capdev::IInputBackend {
public:
    explicit FakeBackend(std::shared_ptr<BackendState> state) : m_state(std::move(state)) {}
    // Input i has the id "source-<i>".
    std::vector<capdev::InputDevice> ListDevices() override {
        std::vector<capdev::InputDevice> devices;
        for (size_t i = 0; i < m_state->names.size(); ++i)
            devices.push_back({m_state->names[i], "source-" + std::to_string(i)});
        return devices;
    }
    std::unique_ptr<capdev::IAudioInput> CreateInput(int sampleRate) override {
        const unsigned block = m_state->blockBytes ? m_state->blockBytes : unsigned(sampleRate) * 4 / 25;
        auto input = std::make_unique<FakeInput>(sampleRate, block);
        input->openResult = m_state->openResult;
        input->startResult = m_state->startResult;
        m_state->lastRate = sampleRate;
        m_state->last = input.get();
        return input;
    }

private:
    std::shared_ptr<BackendState> m_state;
};

// One file as the recorder wrote it.
struct MemoryFileRecord {
    std::string name;
    std::string folder;
    int type = 0;
    int rate = 0;
    int bitRate = 0;
    bool sample = false;
    bool closed = false;
    std::vector<uint8_t> data;
};

// Every file the recorder opened, in order. Touched by the encoder thread;
// read by the test after the recording stopped (or under `mutex`).
struct FileStore {
    std::mutex mutex;
    std::vector<MemoryFileRecord> files;
    // When set: a write that would take a main file past this many bytes
    // fails, as on a full disk.
    uint64_t failAfterBytes = UINT64_MAX;
    // The same for sample files.
    uint64_t failSampleAfterBytes = UINT64_MAX;
    // When set: no file can be created, as in a folder that is gone; the
    // file's lastError() then gives openError.
    bool failOpen = false;
    std::string openError = "cannot create mem: Permission denied";

    std::vector<MemoryFileRecord> Main() {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<MemoryFileRecord> out;
        for (const auto& f : files)
            if (!f.sample)
                out.push_back(f);
        return out;
    }
    std::vector<MemoryFileRecord> Samples() {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<MemoryFileRecord> out;
        for (const auto& f : files)
            if (f.sample)
                out.push_back(f);
        return out;
    }
};

class MemoryFile : public capdev::IRecordFile {
public:
    explicit MemoryFile(std::shared_ptr<FileStore> store) : m_store(std::move(store)) {}
    int open(int type, const char* folder, capdev::PcmFormat, int rate, bool sampleFile, int bitRate) override;
    int write(unsigned bytes, const void* data) override;
    int close() override;
    bool isOpen() const override { return m_index >= 0; }
    const char* name() const override { return isOpen() ? m_name.c_str() : nullptr; }
    uint64_t bytesWritten() const override { return m_bytes; }
    std::string lastError() const override { return m_lastError; }

private:
    std::shared_ptr<FileStore> m_store;
    std::string m_lastError;
    int m_index = -1;
    std::string m_name;
    uint64_t m_bytes = 0;
};

struct Event {
    int code;
    int value;
    std::string text;  // copy of the data when it is a string
};

// Collects callback events from any thread.
class EventLog {
public:
    static int Callback(int code, int value, void* data, void* user);

    std::vector<Event> All() const;
    int Count(int code, int value) const;
    int Count(int code) const;
    bool HasLog(const std::string& text) const;
    // Waits (up to 10 s) until `pred` holds over the events so far.
    bool WaitFor(const std::function<bool(const std::vector<Event>&)>& pred) const;
    bool WaitForCount(int code, int count) const;

    // Called with each AudioData event on the encoder thread, when set.
    std::function<void()> onAudio;

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_cond;
    std::vector<Event> m_events;  // guarded by m_mutex
};

// Interleaved stereo 16-bit PCM.
std::vector<int16_t> Tone(double seconds, int rate, double freq = 440.0, int amplitude = 8000);
std::vector<int16_t> Silence(double seconds, int rate);
void Append(std::vector<int16_t>& to, const std::vector<int16_t>& more);

// A recorder with the fakes, plus the state the test looks at.
struct Rig {
    // realFiles: write through the real writer into `folder`, else into
    // MemoryFile objects.
    explicit Rig(uint64_t wavLimit = capdev::kRecorderWavLimit, unsigned ringBlocks = 16,
                 bool realFiles = false);
    ~Rig();

    // Starts a recording from "Monitor of Speakers" with these settings.
    int Start(int splitMs, int fileType = 0, int sampleFile = 0, int rate = 44100, int bitRate = 192);
    // Delivers `pcm` block by block, waiting for room in the ring (as a
    // device would be, had the encoder kept pace). Gives up once the encoder
    // stopped on a RecordError.
    void Feed(const std::vector<int16_t>& pcm);
    int Stop();
    unsigned BlockBytes() const { return state->last->BlockBytes(); }

    std::shared_ptr<BackendState> state = std::make_shared<BackendState>();
    std::shared_ptr<FileStore> files = std::make_shared<FileStore>();
    EventLog events;
    // The recorder's clock (microseconds); it stays where the test puts it.
    std::atomic<int64_t> nowUs{0};
    // Called by Feed before each block with the frames delivered once the
    // block is in (to move the clock, or to act at a point of the stream).
    std::function<void(uint64_t frames)> beforeDeliver;
    std::unique_ptr<capdev::CAudioDevRecorder> recorder;
    AudioDevRecordParam param{};
    std::string folder = "/nonexistent/folder";
};

// A fresh empty folder under the test's temporary folder.
std::string MakeTempFolder();
// Reads a whole file; empty when it cannot be read.
std::vector<uint8_t> ReadFile(const std::string& path);

}  // namespace enginetest
