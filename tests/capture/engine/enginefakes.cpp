#include "enginefakes.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

namespace enginetest {

int MemoryFile::open(int type, const char* folder, capdev::PcmFormat, int rate, bool sampleFile,
                     int bitRate) {
    if (isOpen())
        close();
    if (type != 0 && type != 1)
        return capdev::kWriterBadType;
    std::lock_guard<std::mutex> lock(m_store->mutex);
    m_lastError.clear();
    if (m_store->failOpen) {
        m_lastError = m_store->openError;
        return capdev::kWriterCreateFailed;
    }
    MemoryFileRecord f;
    f.name = "mem-" + std::to_string(m_store->files.size()) + (sampleFile ? " temp.wav" : type ? ".wav" : ".mp3");
    f.folder = folder ? folder : "";
    f.type = type;
    f.rate = rate;
    f.bitRate = bitRate;
    f.sample = sampleFile;
    m_name = f.name;
    m_index = static_cast<int>(m_store->files.size());
    m_bytes = 0;
    m_store->files.push_back(std::move(f));
    return 0;
}

int MemoryFile::write(unsigned bytes, const void* data) {
    if (!isOpen())
        return capdev::kWriterNoFile;
    std::lock_guard<std::mutex> lock(m_store->mutex);
    MemoryFileRecord& f = m_store->files[static_cast<size_t>(m_index)];
    const uint64_t limit = f.sample ? m_store->failSampleAfterBytes : m_store->failAfterBytes;
    if (f.data.size() + bytes > limit)
        return 6;  // the file took fewer bytes than given
    const auto* p = static_cast<const uint8_t*>(data);
    f.data.insert(f.data.end(), p, p + bytes);
    m_bytes += bytes;
    return 0;
}

int MemoryFile::close() {
    if (!isOpen())
        return capdev::kWriterNoFile;
    std::lock_guard<std::mutex> lock(m_store->mutex);
    m_store->files[static_cast<size_t>(m_index)].closed = true;
    m_index = -1;
    m_name.clear();
    return 0;
}

int EventLog::Callback(int code, int value, void* data, void* user) {
    auto* self = static_cast<EventLog*>(user);
    Event e{code, value, {}};
    if (data && code != AudioData)
        e.text = static_cast<const char*>(data);
    if (code == AudioData && self->onAudio)
        self->onAudio();
    {
        std::lock_guard<std::mutex> lock(self->m_mutex);
        self->m_events.push_back(std::move(e));
    }
    self->m_cond.notify_all();
    return 0;
}

std::vector<Event> EventLog::All() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_events;
}

int EventLog::Count(int code, int value) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    int n = 0;
    for (const Event& e : m_events)
        n += (e.code == code && e.value == value);
    return n;
}

int EventLog::Count(int code) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    int n = 0;
    for (const Event& e : m_events)
        n += (e.code == code);
    return n;
}

bool EventLog::HasLog(const std::string& text) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const Event& e : m_events)
        if (e.code == LogLine && e.text.find(text) != std::string::npos)
            return true;
    return false;
}

bool EventLog::WaitFor(const std::function<bool(const std::vector<Event>&)>& pred) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_cond.wait_for(lock, std::chrono::seconds(10), [&] { return pred(m_events); });
}

bool EventLog::WaitForCount(int code, int count) const {
    return WaitFor([&](const std::vector<Event>& events) {
        int n = 0;
        for (const Event& e : events)
            n += (e.code == code);
        return n >= count;
    });
}

std::vector<int16_t> Tone(double seconds, int rate, double freq, int amplitude) {
    const size_t frames = static_cast<size_t>(std::lround(seconds * rate));
    std::vector<int16_t> pcm(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        const auto v = static_cast<int16_t>(amplitude * std::sin(2 * M_PI * freq * double(i) / rate));
        pcm[2 * i] = v;
        pcm[2 * i + 1] = v;
    }
    // Never let a block start on a run of near-zero values.
    for (size_t i = 0; i < pcm.size(); ++i)
        if (pcm[i] >= -1 && pcm[i] <= 10)
            pcm[i] = 20;
    return pcm;
}

std::vector<int16_t> Silence(double seconds, int rate) {
    return std::vector<int16_t>(static_cast<size_t>(std::lround(seconds * rate)) * 2, 0);
}

void Append(std::vector<int16_t>& to, const std::vector<int16_t>& more) {
    to.insert(to.end(), more.begin(), more.end());
}

Rig::Rig(uint64_t wavLimit, unsigned ringBlocks, bool realFiles) {
    capdev::RecorderOptions options;
    options.backend = std::make_unique<FakeBackend>(state);
    auto store = files;
    if (!realFiles)
        options.fileFactory = [store] { return std::make_unique<MemoryFile>(store); };
    options.wavDataLimit = wavLimit;
    options.ringBlocks = ringBlocks;
    options.clock = [this] { return nowUs.load(); };
    recorder = std::make_unique<capdev::CAudioDevRecorder>(std::move(options));
}

Rig::~Rig() {
    recorder.reset();
}

int Rig::Start(int splitMs, int fileType, int sampleFile, int rate, int bitRate) {
    param.callback = &EventLog::Callback;
    param.user = &events;
    param.outputFolder = folder.c_str();
    param.inputDeviceName = "Monitor of Speakers";
    param.splitSilenceMs = splitMs;
    param.sampleFile = sampleFile;
    param.fileType = fileType;
    param.sampleRate = rate;
    param.bitRate = bitRate;
    return recorder->StartRecord(&param);
}

void Rig::Feed(const std::vector<int16_t>& pcm) {
    const unsigned block = BlockBytes();
    const auto* bytes = reinterpret_cast<const uint8_t*>(pcm.data());
    const size_t total = pcm.size() * 2;
    for (size_t at = 0; at < total; at += block) {
        const unsigned n = static_cast<unsigned>(std::min<size_t>(block, total - at));
        while (recorder->BufferedBytes() + n > recorder->RingCapacity()) {
            if (events.Count(RecordError) > 0)
                return;  // the encoder has stopped: nothing frees the ring
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        if (beforeDeliver)
            beforeDeliver((at + n) / 4);
        state->last->Deliver(bytes + at, n);
    }
}

std::string MakeTempFolder() {
    std::string pattern = testing::TempDir() + "capdev-engine-XXXXXX";
    if (!mkdtemp(pattern.data()))
        return {};
    return pattern;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int Rig::Stop() {
    return recorder->StopRecord();
}

}  // namespace enginetest
