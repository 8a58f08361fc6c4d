#include "audiodevrecorder.h"

#include <algorithm>
#include <cstdarg>
#include <exception>

#include "common/logline.h"

namespace capdev {
namespace {

constexpr int kModeIdle = 0;
constexpr int kModeInput = 1;
constexpr int kModeVirtual = 2;
// A computer-audio block wakes the encoder ten times: it is taken in tenths.
constexpr int kVirtualWakes = 10;
constexpr unsigned kVirtualPopsPerSecond = 250;  // a tenth of a 40 ms block
constexpr int kFileTypeWav = 1;
// How far ahead of now an announced track change may lie.
constexpr int64_t kMarkAheadLimitUs = 60 * 1000000LL;

}  // namespace

bool IsSilentBlock(const void* data, uint32_t bytes) {
    const auto* p = static_cast<const uint8_t*>(data);
    const uint32_t values = bytes / 2;
    for (uint32_t i = 0; i < values; ++i) {
        const auto v = static_cast<int16_t>(static_cast<uint16_t>(p[2 * i] | (p[2 * i + 1] << 8)));
        if (v > kSilenceThreshold || v < -kSilenceThreshold)
            return false;
    }
    return true;
}

CAudioDevRecorder::CAudioDevRecorder(RecorderOptions options)
    : m_backend(std::move(options.backend)),
      m_fileFactory(options.fileFactory ? std::move(options.fileFactory)
                                        : RecordFileFactory(&CreateWriterRecordFile)),
      m_wavDataLimit(options.wavDataLimit),
      m_ringBlocks(options.ringBlocks > 0 ? options.ringBlocks : 16),
      m_lineOut(options.lineOut ? options.lineOut : &ProcessLineOut()),
      m_arrival(std::move(options.clock)) {}

CAudioDevRecorder::~CAudioDevRecorder() {
    if (m_running.load() || m_encoder.joinable() || m_input)
        StopRecord();
    try {
        m_lineOut->Teardown(this);
    } catch (...) {
    }
}

void CAudioDevRecorder::RepairDefaultOutput() {
    std::string restored;
    int result = 0;
    try {
        result = m_lineOut->RepairAfterCrash(&restored);
    } catch (...) {
        return;
    }
    if (!restored.empty())
        m_startupLog.push_back("CAudioDevRecorder::AudioDevCreate restored default output: " + restored);
    else if (result != 0)
        m_startupLog.push_back("CAudioDevRecorder::AudioDevCreate restore default output err: " +
                               std::to_string(result));
    std::string report;
    try {
        result = m_lineOut->RepairStreams(&report);
    } catch (...) {
        return;
    }
    if (!report.empty())
        m_startupLog.push_back("CAudioDevRecorder::AudioDevCreate " + report);
    else if (result != 0)
        m_startupLog.push_back("CAudioDevRecorder::AudioDevCreate repair streams err: " + std::to_string(result));
}

// --- Logging and events -----------------------------------------------------

void CAudioDevRecorder::Emit(int code, int value, void* data) {
    AudioDevCallback callback;
    void* user;
    {
        std::lock_guard<std::mutex> lock(m_callbackMutex);
        callback = m_params.callback;
        user = m_params.user;
    }
    if (callback)
        callback(code, value, data, user);
}

void CAudioDevRecorder::EmitText(int code, int value, const std::string& text) {
    // A fresh copy per event: the receiver may not keep it past the call.
    std::vector<char> copy(text.begin(), text.end());
    copy.push_back('\0');
    Emit(code, value, copy.data());
}

void CAudioDevRecorder::Log(const char* format, ...) {
    va_list args;
    va_start(args, format);
    common::LogLine line(format, args);
    va_end(args);
    Emit(LogLine, 1, line.data());
}

// --- Inputs -------------------------------------------------------------------

int CAudioDevRecorder::GetInputCount() {
    m_inputs.clear();
    if (m_backend)
        m_inputs = m_backend->ListDevices();
    for (const InputDevice& input : m_inputs)
        Log("CAudioDevRecorder::GetInputCount device name: %s", input.name.c_str());
    return static_cast<int>(m_inputs.size());
}

const char* CAudioDevRecorder::GetInputName(unsigned index) const {
    return index < m_inputs.size() ? m_inputs[index].name.c_str() : nullptr;
}

int CAudioDevRecorder::SelectInput(const char* name) {
    GetInputCount();
    m_selected = 0;
    const std::string wanted = name ? name : "";
    if (wanted.empty() && !m_inputs.empty()) {
        m_selected = 1;
        return 0;
    }
    // A sound card's input and the monitor of its output usually share a
    // description, the monitor listed first: the input of exactly that name
    // is the one meant.
    for (size_t i = 0; i < m_inputs.size(); ++i) {
        if (m_inputs[i].name == wanted) {
            m_selected = static_cast<unsigned>(i) + 1;
            return 0;
        }
    }
    for (size_t i = 0; i < m_inputs.size(); ++i) {
        if (m_inputs[i].name.find(wanted) != std::string::npos) {
            m_selected = static_cast<unsigned>(i) + 1;
            return 0;
        }
    }
    return AUDIODEV_ERR_NO_DEVICE;
}

int CAudioDevRecorder::SetTrackFollow(int holdMs) {
    if (holdMs != 0 && (holdMs < CTrackFollower::kMinHoldMs || holdMs > CTrackFollower::kMaxHoldMs))
        return AUDIODEV_ERR_PARAM;
    if (m_running.load() || m_encoder.joinable())
        return AUDIODEV_ERR_RUNNING;
    m_followHoldMs = holdMs;
    return 0;
}

int CAudioDevRecorder::MarkTrackChange(int64_t monotonicUs, int windowMs) {
    if (windowMs < 0 || windowMs > CTrackFollower::kMaxWindowMs)
        return AUDIODEV_ERR_PARAM;
    std::lock_guard<std::mutex> lock(m_followMutex);
    if (!m_follower || !m_running.load())
        return AUDIODEV_ERR_NOT_FOLLOWING;
    // An announcement of a change a minute ahead is not one of this clock.
    if (monotonicUs > m_arrival.Now() + kMarkAheadLimitUs)
        return AUDIODEV_ERR_PARAM;
    m_follower->Mark(monotonicUs, windowMs);
    return 0;
}

int CAudioDevRecorder::ListApplications() {
    const int err = m_lineOut->ListApplications(&m_applications);
    if (err != 0) {
        m_applications.clear();
        Log("CAudioDevRecorder::ListApplications err: %d", err);
    }
    for (const PlayingApplication& app : m_applications)
        Log("CAudioDevRecorder::ListApplications application: %s (%s), streams: %d", app.name.c_str(),
            app.binary.c_str(), app.streams);
    return static_cast<int>(m_applications.size());
}

const PlayingApplication* CAudioDevRecorder::GetApplication(unsigned index) const {
    return index < m_applications.size() ? &m_applications[index] : nullptr;
}

int CAudioDevRecorder::SetApplication(const char* binaryOrName) {
    if (m_running.load() || m_encoder.joinable())
        return AUDIODEV_ERR_RUNNING;
    m_application = binaryOrName ? binaryOrName : "";
    return 0;
}

int CAudioDevRecorder::SetVolume(unsigned volume) {
    if (volume > 200)
        return AUDIODEV_ERR_PARAM;
    m_volume = volume;
    if (m_mode == kModeVirtual && m_running.load())
        m_lineOut->SetVolume(volume);
    return 0;
}

uint32_t CAudioDevRecorder::BufferedBytes() const {
    return m_ring ? m_ring->Count() : 0;
}

uint32_t CAudioDevRecorder::RingCapacity() const {
    return m_ring ? m_ring->Capacity() : 0;
}

// --- Start and stop ---------------------------------------------------------

bool CAudioDevRecorder::CheckParam(const AudioDevRecordParam* param) {
    if (!param || !param->callback || !param->outputFolder)
        return false;
    Params p;
    p.callback = param->callback;
    p.user = param->user;
    p.outputFolder = param->outputFolder;
    p.hasInputName = param->inputDeviceName != nullptr;
    if (p.hasInputName)
        p.inputName = param->inputDeviceName;
    p.splitMs = param->splitSilenceMs;
    p.sampleFile = param->sampleFile;
    p.fileType = param->fileType;
    p.sampleRate = (param->sampleRate < 8000 || param->sampleRate > 48000) ? 44100 : param->sampleRate;
    p.bitRate = (param->bitRate < 8 || param->bitRate > 320) ? 192 : param->bitRate;
    std::lock_guard<std::mutex> lock(m_callbackMutex);
    m_params = std::move(p);
    return true;
}

int CAudioDevRecorder::StartRecord(const AudioDevRecordParam* param) {
    if (m_running.load() || m_encoder.joinable())
        return AUDIODEV_ERR_RUNNING;
    if (!CheckParam(param)) {
        Log("CAudioDevRecorder::StartRecord CheckParam err");
        return AUDIODEV_ERR_PARAM;
    }
    for (const std::string& line : m_startupLog)
        Log("%s", line.c_str());
    m_startupLog.clear();
    m_ring.reset();
    m_inputLost = false;
    m_overflowing = false;
    m_dropped = 0;
    while (m_dataReady.TryWait()) {
    }
    m_arrival.Reset(static_cast<uint32_t>(m_params.sampleRate) * 4);
    {
        std::lock_guard<std::mutex> lock(m_followMutex);
        m_follower.reset();
        if (m_followHoldMs > 0) {
            m_follower = std::make_unique<CTrackFollower>(
                static_cast<uint32_t>(m_params.sampleRate), m_followHoldMs, &m_arrival,
                [this](const std::string& line) { Log("%s", line.c_str()); });
            Log("CAudioDevRecorder::StartRecord track follow hold ms: %d", m_followHoldMs);
        }
    }

    // Without an input name: what the computer plays, from "Tavra Audio".
    const char* wanted = m_params.hasInputName ? m_params.inputName.c_str() : kVirtualDeviceName;
    const int found = SelectInput(wanted);
    if (found != 0) {
        Log("CAudioDevRecorder::StartRecord cann't found device: %s", wanted);
        return found;
    }
    m_recordingName = m_inputs[m_selected - 1].name;
    if (m_params.hasInputName) {
        m_mode = kModeInput;
        m_input = m_backend->CreateInput(m_params.sampleRate);
        if (!m_input) {
            m_selected = 0;
            return AUDIODEV_ERR_NO_INPUT;
        }
        m_blockBytes = m_input->BlockBytes();
        if (m_blockBytes == 0)
            m_blockBytes = static_cast<uint32_t>(m_params.sampleRate) * 4 / 25;
        m_ring = std::make_unique<CRingBuffer>(m_ringBlocks * m_blockBytes);
        m_input->SetSink(&CAudioDevRecorder::OnInput, this);
    } else {
        // The ring and the block size come with the device's format.
        m_mode = kModeVirtual;
        m_blockBytes = 0;
    }
    m_mainFile = m_fileFactory();
    m_sampleFile = m_fileFactory();

    const int result = StartRecordInput();
    if (result != 0) {
        StopRecord();
        return result;
    }
    return 0;
}

int CAudioDevRecorder::StartRecordInput() {
    if (m_selected == 0)
        return AUDIODEV_ERR_NO_INPUT;
    m_resampler.reset();
    m_running = true;
    if (m_mode == kModeVirtual) {
        // The graph announces the format before Start returns, so the ring,
        // the block size and the converter exist before the encoder that
        // reads them.
        const int result =
            m_application.empty()
                ? m_lineOut->Start(&CAudioDevRecorder::OnLineOut, this)
                : m_lineOut->StartApplication(&CAudioDevRecorder::OnLineOut, this, m_application);
        Log("CAudioDevRecorder::StartRecordInput LineOutStartRecord err %d", result);
        if (result < 0)
            return result;
        if (!m_ring) {
            // No usable format was announced: nothing records, so the graph
            // goes and the real default output comes back.
            m_lineOut->Teardown(this);
            return AUDIODEV_ERR_NO_INPUT;
        }
    }
    try {
        m_encoder = std::thread(&CAudioDevRecorder::EncodeLoop, this);
    } catch (const std::exception&) {
        if (m_mode == kModeVirtual)
            m_lineOut->Teardown(this);
        return AUDIODEV_ERR_THREAD;
    }
    if (m_mode == kModeVirtual)
        return 0;
    if (m_mode != kModeInput || !m_input)
        return AUDIODEV_ERR_NO_INPUT;
    Log("CAudioDevRecorder::StartRecordInput start");
    // The input chosen by name above, by its id: not looked up again.
    int result = m_input->Open(m_inputs[m_selected - 1]);
    if (result != 0) {
        Log("CAudioDevRecorder::StartRecordInput WaveInRecorder open device err: %d", result);
        return result;
    }
    result = m_input->Start();
    if (result != 0) {
        Log("CAudioDevRecorder::StartRecordInput WaveInRecorder start err: %d", result);
        return result;
    }
    return 0;
}

int CAudioDevRecorder::StopRecord() {
    // Source first (no more pushes), then the flag, then the encoder, which
    // writes what the ring still holds before it closes the file.
    int result = 0;
    if (m_input) {
        result = m_input->Close();
        m_input.reset();
    }
    if (m_mode == kModeVirtual)
        m_lineOut->Pause(this);  // the graph delivers no block once it returns
    m_running = false;
    if (m_encoder.joinable()) {
        m_dataReady.Release(1);
        m_encoder.join();
    }
    {
        std::lock_guard<std::mutex> lock(m_followMutex);
        m_follower.reset();
    }
    Log("CAudioDevRecorder::StopRecord res: %d", result);
    if (m_ring && m_dropped.load() > 0)
        Log("CAudioDevRecorder::StopRecord dropped bytes: %llu",
            static_cast<unsigned long long>(m_dropped.load()));
    m_selected = 0;
    m_ring.reset();
    m_resampler.reset();
    m_mode = kModeIdle;
    return 0;
}

// --- Delivery thread ----------------------------------------------------------

void CAudioDevRecorder::OnInput(int code, unsigned bytes, const void* data, void* owner) {
    auto* self = static_cast<CAudioDevRecorder*>(owner);
    switch (code) {
    case kSinkAudio:
        self->PushBlock(data, bytes, 1);
        break;
    case kSinkLog:
        if (data)
            self->Log("%s", static_cast<const char*>(data));
        break;
    case kSinkInputLost:
        if (self->m_running.load() && !self->m_inputLost.exchange(true)) {
            self->Log("CAudioDevRecorder::OnInput input lost: %s", self->m_recordingName.c_str());
            self->m_dataReady.Release(1);
        }
        break;
    default:
        break;
    }
}

void CAudioDevRecorder::PushBlock(const void* data, unsigned bytes, int wakes) {
    if (!m_running.load() || m_inputLost.load() || !m_ring)
        return;
    uint32_t dropped = 0;
    m_ring->Push(data, bytes, &dropped);
    m_arrival.Stamp(bytes - dropped);
    if (dropped > 0) {
        m_dropped += dropped;
        if (!m_overflowing.exchange(true))
            Log("CAudioDevRecorder::OnInput ring buffer full, dropped bytes: %u", dropped);
    } else {
        m_overflowing = false;
    }
    m_dataReady.Release(wakes);
}

void CAudioDevRecorder::OnLineOut(int event, const void* data, unsigned bytes, void* owner) {
    auto* self = static_cast<CAudioDevRecorder*>(owner);
    switch (event) {
    case kLineOutFormat: {
        WaveFormat format;
        if (self->m_running.load() && ReadPcmFormat(data, bytes, &format))
            self->CopyInputFormat(format);
        break;
    }
    case kLineOutData:
        self->PushBlock(data, bytes, kVirtualWakes);
        break;
    case kLineOutLog:
        if (data)
            self->Log("%s", static_cast<const char*>(data));
        break;
    case kLineOutLost:
        OnInput(kSinkInputLost, 0, nullptr, owner);
        break;
    default:
        break;
    }
}

void CAudioDevRecorder::CopyInputFormat(const WaveFormat& format) {
    if (m_ring)
        return;  // announced again within one recording
    Log("CAudioDevRecorder::CopyInputFormat SampleRate:%d BitsPerSample:%d Channels:%d",
        static_cast<int>(format.samplesPerSec), format.bitsPerSample, format.channels);
    // The converter, the silence test and the writers take 16-bit samples
    // only: any other format is refused and the start fails.
    if (format.bitsPerSample != 16 || format.channels == 0 || format.samplesPerSec == 0)
        return;
    const uint32_t rate = format.samplesPerSec;
    const uint32_t frameBytes = format.channels * 2u;
    m_arrival.Reset(rate * frameBytes);
    m_blockBytes = std::max(1u, rate / kVirtualPopsPerSecond) * frameBytes;
    // Converted also when only the channel count differs: a mono device's
    // samples are not stereo frames.
    if (rate != static_cast<uint32_t>(m_params.sampleRate) || format.channels != 2) {
        m_resampler = std::make_unique<CWavresFilter>(m_params.sampleRate, 2, static_cast<int>(rate),
                                                      format.channels);
        if (!m_resampler->isOpen())
            Log("CAudioDevRecorder::CopyInputFormat CWavresFilter open err");
    }
    m_ring = std::make_unique<CRingBuffer>(format.channels * 16u * rate);  // 8 seconds
}

// --- Encoder thread -----------------------------------------------------------

void CAudioDevRecorder::EncodeLoop() {
    EncodeState st;
    st.oneSecond = static_cast<uint32_t>(m_params.sampleRate) * 4;
    if (m_params.splitMs > 0) {
        const float seconds = static_cast<float>(m_params.splitMs) / 1000.0f;
        st.silenceLimit = static_cast<uint64_t>(static_cast<float>(st.oneSecond) * seconds);
    }
    st.sampleLength = 20ull * st.oneSecond;
    st.following = m_follower != nullptr;
    Log("CAudioDevRecorder::AudioEncodeProc start");

    int result = 0;
    try {
        std::vector<uint8_t> block(m_blockBytes);  // the one block buffer of this recording
        while (result == 0 && m_running.load() && !m_inputLost.load()) {
            m_dataReady.Wait();
            result = DrainRing(st, block);
        }
        // Stop or loss of the input: what the ring still holds belongs to
        // the recording.
        if (result == 0)
            result = DrainRing(st, block);
        // And so does everything the hold still keeps back.
        if (result == 0 && st.following)
            result = ReleaseHeld(st, true);
    } catch (const std::exception& e) {
        Log("CAudioDevRecorder::AudioEncodeProc exception: %s", e.what());
        result = AUDIODEV_ERR_WRITE;
        Emit(RecordError, AUDIODEV_ERR_WRITE, nullptr);
    }
    CloseTavraFile();
    if (result == 0 && m_inputLost.load())
        EmitText(RecordError, AUDIODEV_ERR_NO_DEVICE, m_recordingName);
    Log("CAudioDevRecorder::AudioEncodeProc stop");
}

int CAudioDevRecorder::DrainRing(EncodeState& st, std::vector<uint8_t>& block) {
    if (!m_ring || block.empty())
        return 0;
    uint32_t got = 0;
    while (m_ring->Pop(block.data(), static_cast<uint32_t>(block.size()), &got) == 0) {
        uint8_t* data = block.data();
        uint32_t bytes = got;
        if (m_resampler) {
            void* out = nullptr;
            unsigned outBytes = 0;
            if (m_resampler->process(data, bytes, &out, &outBytes) != 0 || outBytes == 0)
                continue;
            data = static_cast<uint8_t*>(out);
            bytes = outBytes;
        }
        const int result = st.following ? FollowBlock(st, data, bytes) : ProcessBlock(st, data, bytes);
        if (result != 0)
            return result;
    }
    return 0;
}

int CAudioDevRecorder::FollowBlock(EncodeState& st, uint8_t* data, uint32_t bytes) {
    // Shown as it comes: the live display must not lag by the hold.
    Emit(AudioData, static_cast<int>(bytes), data);
    m_follower->Push(data, bytes);
    return ReleaseHeld(st, false);
}

int CAudioDevRecorder::ReleaseHeld(EncodeState& st, bool flush) {
    bool cut = false;
    while (m_follower->Next(&m_piece, &cut, flush)) {
        if (cut)
            CutHere(st);
        const int result = ProcessBlock(st, m_piece.data(), static_cast<uint32_t>(m_piece.size()));
        if (result != 0)
            return result;
    }
    return 0;
}

void CAudioDevRecorder::CutHere(EncodeState& st) {
    if (!st.split) {
        Log("CAudioDevRecorder::AudioEncodeProc track change");
        CloseTavraFile();
        st.split = true;
    }
    st.silenceCounter = 0;
    st.mainBytes = 0;
    st.sampleBytes = 0;
    st.fileBytes = 0;
}

int CAudioDevRecorder::ProcessBlock(EncodeState& st, uint8_t* data, uint32_t bytes) {
    if (!st.popped) {
        st.popped = true;
        Log("CAudioDevRecorder::AudioEncodeProc PopData");
    }
    const bool silent = st.silenceLimit != 0 && IsSilentBlock(data, bytes);
    int result = SplitStep(st, silent, bytes);
    if (result != 0)
        return result;
    if (st.split) {  // no file open
        st.mainBytes = 0;
        st.sampleBytes = 0;
        return 0;
    }
    // Silent blocks stay out of the file: a pause shorter than the split
    // time leaves no gap. The loud block that ends it is the start of the
    // next sound and is written.
    if (silent)
        return 0;

    // A WAV file's header holds 32-bit sizes: continue in a new file before
    // this block would pass them.
    if (m_params.fileType == kFileTypeWav && st.fileBytes > 0 &&
        st.fileBytes + bytes > m_wavDataLimit) {
        result = RollOver(st);
        if (result != 0 || st.split)
            return result;
    }

    if (!st.following)
        Emit(AudioData, static_cast<int>(bytes), data);

    if (m_sampleFile->isOpen() && st.sampleBytes < st.sampleLength) {
        if (m_sampleFile->write(bytes, data) != 0) {
            // A sample cut short (a full disk) would be identified as
            // another song: give it up, and the program deletes it. The
            // song itself goes on.
            Log("CAudioDevRecorder::AudioEncodeProc sample write err");
            AbandonSampleFile();
        } else {
            st.sampleBytes += bytes;
        }
    }
    if (m_sampleFile->isOpen() && st.sampleBytes >= st.sampleLength) {
        const std::string path = m_sampleFile->name();
        const int closed = m_sampleFile->close();
        EmitText(SampleFile, closed == 0 ? 0 : 1, path);
    }

    const int written = m_mainFile->write(bytes, data);
    st.fileBytes += bytes;
    if (st.mainBytes < st.oneSecond) {
        st.mainBytes += bytes;
        if (st.mainBytes >= st.oneSecond)
            EmitText(FileBegun, written, m_mainFile->name() ? m_mainFile->name() : "");
    }
    if (written != 0) {
        Log("CAudioDevRecorder::AudioEncodeProc write err: %d", written);
        Emit(RecordError, AUDIODEV_ERR_WRITE, nullptr);
        return AUDIODEV_ERR_WRITE;
    }
    return 0;
}

int CAudioDevRecorder::SplitStep(EncodeState& st, bool silent, uint32_t bytes) {
    if (silent) {
        if (!st.split)
            Emit(SilenceState, 0, nullptr);
        st.silenceCounter += bytes;
        if (st.silenceCounter >= st.silenceLimit && !st.split) {
            CloseTavraFile();
            st.split = true;
        }
        return 0;
    }
    st.silenceCounter = 0;
    if (st.split) {
        const int result = CreateTavraFile();
        if (result == 0) {
            Emit(SilenceState, 1, nullptr);
            st.split = false;
            st.fileBytes = 0;
            st.unsavedBytes = 0;
            st.nextNoFileLog = 0;
        } else if (result != kWriterCreateFailed) {
            Emit(RecordError, AUDIODEV_ERR_CREATE_FILE, nullptr);
            return result;
        } else {
            // The folder may come back (a drive mounted again), so try again
            // with the next loud block; but a recording that keeps saving
            // nothing must say so rather than look like it is waiting.
            LogNoFile(st);
            st.unsavedBytes += bytes;
            if (st.unsavedBytes >= kUnsavedSecondsLimit * st.oneSecond) {
                Emit(RecordError, AUDIODEV_ERR_CREATE_FILE, nullptr);
                return AUDIODEV_ERR_CREATE_FILE;
            }
        }
    }
    return 0;
}

int CAudioDevRecorder::RollOver(EncodeState& st) {
    Log("CAudioDevRecorder::AudioEncodeProc file size limit reached: %llu",
        static_cast<unsigned long long>(st.fileBytes));
    CloseTavraFile();
    st.mainBytes = 0;
    st.sampleBytes = 0;
    st.fileBytes = 0;
    const int result = CreateTavraFile();
    if (result == 0) {
        Emit(SilenceState, 1, nullptr);
        return 0;
    }
    st.split = true;
    if (result == kWriterCreateFailed) {
        LogNoFile(st);
        return 0;
    }
    Emit(RecordError, AUDIODEV_ERR_CREATE_FILE, nullptr);
    return result;
}

void CAudioDevRecorder::LogNoFile(EncodeState& st) {
    if (st.nextNoFileLog == 0) {
        Log("CAudioDevRecorder::CreateTavraFile %s,err code: %d, %s", m_params.outputFolder.c_str(),
            kWriterCreateFailed, m_mainFile->lastError().c_str());
        st.nextNoFileLog = st.oneSecond;
    } else if (st.unsavedBytes >= st.nextNoFileLog) {
        Log("CAudioDevRecorder::CreateTavraFile %s,err code: %d, unsaved ms: %llu",
            m_params.outputFolder.c_str(), kWriterCreateFailed,
            static_cast<unsigned long long>(st.unsavedBytes * 1000 / st.oneSecond));
        st.nextNoFileLog = (st.unsavedBytes / st.oneSecond + 1) * st.oneSecond;
    }
}

int CAudioDevRecorder::CreateTavraFile() {
    const PcmFormat format{16, 2};
    const char* folder = m_params.outputFolder.c_str();
    const int result = m_mainFile->open(m_params.fileType, folder, format, m_params.sampleRate,
                                        false, m_params.bitRate);
    if (m_params.sampleFile) {
        if (m_sampleFile->isOpen())
            m_sampleFile->close();
        // Only beside a song file: a sample without its song would be left
        // behind unannounced.
        if (result == 0)
            m_sampleFile->open(kFileTypeWav, folder, format, m_params.sampleRate, true,
                               m_params.bitRate);
    }
    // A file that could not be opened is logged by the caller, which knows
    // how long that has been going on (see LogNoFile).
    if (result != kWriterCreateFailed)
        Log("CAudioDevRecorder::CreateTavraFile %s,err code: %d",
            m_mainFile->name() ? m_mainFile->name() : "", result);
    return result;
}

void CAudioDevRecorder::AbandonSampleFile() {
    if (!m_sampleFile || !m_sampleFile->isOpen())
        return;
    const std::string path = m_sampleFile->name();
    m_sampleFile->close();
    EmitText(SampleFile, 1, path);
}

int CAudioDevRecorder::CloseTavraFile() {
    AbandonSampleFile();
    if (!m_mainFile || !m_mainFile->isOpen())
        return 0;
    const std::string path = m_mainFile->name();
    const int result = m_mainFile->close();
    Log("CAudioDevRecorder::CloseTavraFile %s, err code: %d", path.c_str(), result);
    EmitText(FileClosed, result, path);
    return result;
}

}  // namespace capdev
