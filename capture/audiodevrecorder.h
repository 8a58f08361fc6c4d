#pragma once

// The recorder behind a capdev handle: keeps the list of inputs, opens the
// chosen one, and runs one encoder thread per recording that splits the
// stream on silence and writes the song files.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audioinput.h"
#include "capdev.h"
#include "follow/arrivalclock.h"
#include "follow/trackfollower.h"
#include "graph/lineout.h"
#include "graph/waveformat.h"
#include "recordfile.h"
#include "ringbuffer.h"
#include "semaphore.h"
#include "writers/wavresfilter.h"

namespace capdev {

// A WAV file's sizes are 32-bit and its RIFF size is data + 38: the largest
// data length that keeps the header right, rounded down to whole frames.
// The recorder rolls over to a new file before a block would pass it.
constexpr uint64_t kRecorderWavLimit = (0xFFFFFFFFull - 38) & ~uint64_t(3);
// Seconds of sound that may go unsaved while no file can be opened before
// the recording reports RecordError -7.
constexpr uint64_t kUnsavedSecondsLimit = 5;

// What the recorder is built from. The exports use the defaults (the sound
// server's inputs, the real writer); tests inject their own.
struct RecorderOptions {
    std::unique_ptr<IInputBackend> backend;
    RecordFileFactory fileFactory;        // null: CreateWriterRecordFile
    uint64_t wavDataLimit = kRecorderWavLimit;  // WAV data bytes per file before rolling over
    unsigned ringBlocks = 16;             // ring capacity in input blocks
    ILineOut* lineOut = nullptr;          // computer audio; null: ProcessLineOut()
    CArrivalClock::Clock clock;           // stamps captured blocks; null: CLOCK_MONOTONIC
};

// Largest 16-bit sample value, either side of zero, that still counts as
// silence.
constexpr int kSilenceThreshold = 10;

// True when every 16-bit sample value of the block lies within
// -kSilenceThreshold..kSilenceThreshold. A quiet passage of music (a fade,
// a soft bass note) has values beyond that somewhere in each block; only a
// pause has none.
bool IsSilentBlock(const void* data, uint32_t bytes);

// Thread contract: every public member is called from one caller thread at a
// time (the exports are not reentrant). The input's delivery thread enters
// through OnInput; the encoder thread runs EncodeLoop. Both reach the caller's
// callback.
class CAudioDevRecorder {
public:
    explicit CAudioDevRecorder(RecorderOptions options);
    // Stops a running recording, then tears down the computer-audio graph
    // it used last and gives the real default playback device back.
    ~CAudioDevRecorder();
    CAudioDevRecorder(const CAudioDevRecorder&) = delete;
    CAudioDevRecorder& operator=(const CAudioDevRecorder&) = delete;

    // Rebuilds the input list; returns its length.
    int GetInputCount();
    // Name `index` of the last list, or nullptr. Valid until the next rebuild.
    const char* GetInputName(unsigned index) const;
    // Rebuilds the list and selects the input named `name`: the first whose
    // name equals it, else the first whose name contains it (so "Tavra
    // Audio" finds "Monitor of Tavra Audio"); empty or null: input 0. 0 or -9.
    int SelectInput(const char* name);
    // Starts a recording (see AudioDevStartRecord for the results).
    int StartRecord(const AudioDevRecordParam* param);
    // Stops the input, lets the encoder finish what the ring holds and
    // waits for it. Always 0.
    int StopRecord();
    // 0, or -5 above 200. Kept for the computer-audio monitor; the recorded
    // level never changes.
    int SetVolume(unsigned volume);
    // Track following of the next recordings (see AudioDevSetTrackFollow):
    // 0 or -5, -6 while recording.
    int SetTrackFollow(int holdMs);
    // An announced track change (see AudioDevMarkTrackChange). Any thread.
    int MarkTrackChange(int64_t monotonicUs, int windowMs);
    // The applications playing now (see AudioDevGetApplicationCount).
    int ListApplications();
    // Entry `index` of the last list, or nullptr.
    const PlayingApplication* GetApplication(unsigned index) const;
    // What the next recordings of computer audio record (see
    // AudioDevSetApplication): 0, -6 while recording.
    int SetApplication(const char* binaryOrName);

    // At creation: gives the real default playback device back when a run
    // that died left "Tavra Audio" the default, and the streams it moved
    // there for one application. The outcome is logged to the first callback
    // a recording brings.
    void RepairDefaultOutput();

    bool IsRecording() const { return m_running.load(); }
    // Bytes waiting in the ring (0 when there is none). Any thread, while
    // no start or stop runs.
    uint32_t BufferedBytes() const;
    // Ring capacity of the current recording (0 when there is none).
    uint32_t RingCapacity() const;
    // Bytes the ring refused during the current or last recording.
    uint64_t DroppedBytes() const { return m_dropped.load(); }

private:
    // The caller's record, with owned copies of its strings.
    struct Params {
        AudioDevCallback callback = nullptr;
        void* user = nullptr;
        std::string outputFolder;
        bool hasInputName = false;
        std::string inputName;
        int32_t splitMs = 0;
        int32_t sampleFile = 0;
        int32_t fileType = 0;
        int32_t sampleRate = 44100;
        int32_t bitRate = 192;
    };

    // State of the encoder thread for one recording; only that thread
    // touches it.
    struct EncodeState {
        uint32_t oneSecond = 0;
        uint64_t silenceLimit = 0;
        uint64_t sampleLength = 0;
        bool split = true;           // no file open
        uint64_t silenceCounter = 0;
        uint64_t mainBytes = 0;      // counted up to one second, for FileBegun
        uint64_t sampleBytes = 0;
        uint64_t fileBytes = 0;      // written to the current file
        uint64_t unsavedBytes = 0;   // loud audio lost since a file last failed to open
        uint64_t nextNoFileLog = 0;  // unsavedBytes at which the next "no file" line is due;
                                     // 0: none logged since a file last opened
        bool popped = false;
        bool following = false;      // blocks go through the track follower's hold
    };

    bool CheckParam(const AudioDevRecordParam* param);
    int StartRecordInput();

    static void OnInput(int code, unsigned bytes, const void* data, void* owner);
    // The computer-audio graph's sink: the format, blocks and log lines.
    static void OnLineOut(int event, const void* data, unsigned bytes, void* owner);
    // One block from the input or the graph into the ring; wakes the encoder
    // by `wakes`.
    void PushBlock(const void* data, unsigned bytes, int wakes);
    // The first format announcement of a recording: the ring, the block size
    // and, when the device's rate or channels are not the recording's, the
    // converter.
    void CopyInputFormat(const WaveFormat& format);
    void EncodeLoop();
    // One popped block through the splitter and the writers. Non-zero ends
    // the encoder loop.
    int DrainRing(EncodeState& st, std::vector<uint8_t>& block);
    int ProcessBlock(EncodeState& st, uint8_t* data, uint32_t bytes);
    // While following tracks: one converted block into the hold, and what
    // the hold hands on (everything at a flush) through ProcessBlock.
    int FollowBlock(EncodeState& st, uint8_t* data, uint32_t bytes);
    int ReleaseHeld(EncodeState& st, bool flush);
    // A track change falls here: the current song ends; the next block that
    // is not silence opens the next.
    void CutHere(EncodeState& st);
    // The splitter's step for one block (`silent` when splitting is on and
    // the block is silent): counts silence, closes the file at the limit,
    // opens one at the first loud block.
    int SplitStep(EncodeState& st, bool silent, uint32_t bytes);
    // Logs that no file could be opened: with the writer's reason the first
    // time, then at most once per second of sound that went unsaved.
    void LogNoFile(EncodeState& st);
    int RollOver(EncodeState& st);
    int CreateTavraFile();
    int CloseTavraFile();
    // Closes an unfinished sample file and reports it abandoned (SampleFile 1).
    void AbandonSampleFile();

    void Emit(int code, int value, void* data);
    void EmitText(int code, int value, const std::string& text);
    void Log(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // Fixed at construction.
    const std::unique_ptr<IInputBackend> m_backend;
    const RecordFileFactory m_fileFactory;
    const uint64_t m_wavDataLimit;
    const unsigned m_ringBlocks;
    ILineOut* const m_lineOut;

    // Wakes the encoder: released by the delivery thread after each block,
    // by an input loss, and once by StopRecord.
    CSemaphore m_dataReady{0, 100};
    // Set by StartRecordInput before the input starts; cleared by StopRecord
    // after the input is closed. Read by the delivery and encoder threads.
    std::atomic<bool> m_running{false};
    // Set by the delivery thread when the input goes away.
    std::atomic<bool> m_inputLost{false};
    // Bytes the ring refused: added to by the delivery thread, reset by the
    // caller's thread at start.
    std::atomic<uint64_t> m_dropped{0};
    // Set by the delivery thread on the first refused push of a run of
    // overflows, cleared by the next push that fits (one log line per run).
    std::atomic<bool> m_overflowing{false};

    // Guards m_params.callback and m_params.user, which the caller's thread
    // replaces at start while the other threads may log.
    mutable std::mutex m_callbackMutex;

    // Caller's thread only, except where noted. The encoder and delivery
    // threads read m_params, m_ring, m_blockBytes and m_recordingName without
    // a lock: the caller's thread writes them only while neither runs (at
    // start before the encoder is created, at stop after it is joined).
    Params m_params;
    std::vector<InputDevice> m_inputs;
    unsigned m_selected = 0;  // 1-based index into m_inputs; 0 = none
    std::string m_recordingName;  // full name of the recorded input
    int m_mode = 0;           // 0 idle, 1 input, 2 computer audio
    unsigned m_volume = 100;
    uint32_t m_blockBytes = 0;
    std::unique_ptr<CRingBuffer> m_ring;
    std::unique_ptr<IAudioInput> m_input;
    // Computer audio: the converter from the device's announced format to
    // the recording's (null when none is needed). Made by CopyInputFormat on
    // the caller's thread before the encoder starts; the encoder uses it,
    // StopRecord frees it after the encoder ended.
    std::unique_ptr<CWavresFilter> m_resampler;
    std::vector<std::string> m_startupLog;  // lines for the first callback; caller's thread
    std::string m_application;  // caller's thread: the one application recorded, "" = all
    std::vector<PlayingApplication> m_applications;  // caller's thread: the last list
    // Stamps what the delivery thread pushes; the follower reads it.
    CArrivalClock m_arrival;
    int m_followHoldMs = 0;  // caller's thread: the hold of the next recordings, 0 = off
    // Guards m_follower against MarkTrackChange from another thread while
    // start or stop replaces it. The encoder uses the follower without the
    // lock: it is made before the encoder starts and freed after it ended.
    std::mutex m_followMutex;
    std::unique_ptr<CTrackFollower> m_follower;
    std::vector<uint8_t> m_piece;  // encoder thread: what the hold hands on
    std::thread m_encoder;
    // Encoder thread only while it runs.
    std::unique_ptr<IRecordFile> m_mainFile;
    std::unique_ptr<IRecordFile> m_sampleFile;
};

}  // namespace capdev
