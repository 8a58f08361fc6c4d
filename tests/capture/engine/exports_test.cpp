// The exported functions: record layout, handle and parameter checks, the
// input list, start and stop results.

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "capdev.h"
#include "enginefakes.h"

using namespace enginetest;

// The program and the engine are built separately: the record's layout is
// part of the interface.
TEST(LayoutTest, RecordAndCodesArePinned) {
    static_assert(sizeof(void*) == 8, "pinned for 64-bit Linux");
    EXPECT_EQ(56u, sizeof(AudioDevRecordParam));
    EXPECT_EQ(0u, offsetof(AudioDevRecordParam, callback));
    EXPECT_EQ(8u, offsetof(AudioDevRecordParam, user));
    EXPECT_EQ(16u, offsetof(AudioDevRecordParam, outputFolder));
    EXPECT_EQ(24u, offsetof(AudioDevRecordParam, inputDeviceName));
    EXPECT_EQ(32u, offsetof(AudioDevRecordParam, splitSilenceMs));
    EXPECT_EQ(36u, offsetof(AudioDevRecordParam, sampleFile));
    EXPECT_EQ(40u, offsetof(AudioDevRecordParam, fileType));
    EXPECT_EQ(44u, offsetof(AudioDevRecordParam, sampleRate));
    EXPECT_EQ(48u, offsetof(AudioDevRecordParam, bitRate));
    EXPECT_EQ(4u, sizeof(AudioDevRecordParam::splitSilenceMs));

    const int events[] = {FileBegun, FileClosed, AudioData, RecordError, SilenceState, LogLine, SampleFile};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(i, events[i]);
    EXPECT_EQ(-1, AUDIODEV_ERR_NO_INPUT);
    EXPECT_EQ(-2, AUDIODEV_ERR_THREAD);
    EXPECT_EQ(-5, AUDIODEV_ERR_PARAM);
    EXPECT_EQ(-6, AUDIODEV_ERR_RUNNING);
    EXPECT_EQ(-7, AUDIODEV_ERR_CREATE_FILE);
    EXPECT_EQ(-8, AUDIODEV_ERR_WRITE);
    EXPECT_EQ(-9, AUDIODEV_ERR_NO_DEVICE);
    EXPECT_EQ(-10, AUDIODEV_ERR_NOT_FOLLOWING);

    EXPECT_EQ(396u, sizeof(AudioDevApplication));
    EXPECT_EQ(0u, offsetof(AudioDevApplication, name));
    EXPECT_EQ(128u, offsetof(AudioDevApplication, binary));
    EXPECT_EQ(256u, offsetof(AudioDevApplication, iconName));
    EXPECT_EQ(384u, offsetof(AudioDevApplication, processId));
    EXPECT_EQ(388u, offsetof(AudioDevApplication, streams));
    EXPECT_EQ(392u, offsetof(AudioDevApplication, playing));
    EXPECT_EQ(128, AUDIODEV_APP_TEXT);
}

class ExportsTest : public ::testing::Test {
protected:
    void SetUp() override {
        capdev::RecorderOptions options;
        options.backend = std::make_unique<FakeBackend>(state);
        auto store = files;
        options.fileFactory = [store] { return std::make_unique<MemoryFile>(store); };
        handle = new capdev::CAudioDevRecorder(std::move(options));
        param.callback = &EventLog::Callback;
        param.user = &events;
        param.outputFolder = "/nonexistent";
        param.inputDeviceName = "Speakers";
        param.sampleRate = 44100;
        param.bitRate = 128;
    }
    void TearDown() override { AudioDevDestroy(handle); }

    std::shared_ptr<BackendState> state = std::make_shared<BackendState>();
    std::shared_ptr<FileStore> files = std::make_shared<FileStore>();
    EventLog events;
    void* handle = nullptr;
    AudioDevRecordParam param{};
};

TEST_F(ExportsTest, NullHandle) {
    EXPECT_EQ(-5, AudioDevGetInputCount(nullptr));
    EXPECT_EQ(nullptr, AudioDevGetInputName(nullptr, 0));
    EXPECT_EQ(-5, AudioDevSetDriverName(nullptr, "Speakers"));
    EXPECT_EQ(-5, AudioDevStartRecord(nullptr, &param));
    EXPECT_EQ(0, AudioDevStopRecord(nullptr));
    EXPECT_EQ(-5, AudioDevSetVolume(nullptr, 100));
    EXPECT_EQ(-5, AudioDevGetVolume(nullptr));
    AudioDevApplication app{};
    EXPECT_EQ(-5, AudioDevGetApplicationCount(nullptr));
    EXPECT_EQ(-5, AudioDevGetApplication(nullptr, 0, &app));
    EXPECT_EQ(-5, AudioDevSetApplication(nullptr, "vlc"));
    // An application name that could never be listed, and no list yet.
    EXPECT_EQ(-5, AudioDevSetApplication(handle, std::string(AUDIODEV_APP_TEXT, 'a').c_str()));
    EXPECT_EQ(-5, AudioDevGetApplication(handle, 0, &app));
    EXPECT_EQ(-5, AudioDevGetApplication(handle, 0, nullptr));
    AudioDevDestroy(nullptr);
}

TEST_F(ExportsTest, InvalidRecordIsRefusedAndStartsNothing) {
    EXPECT_EQ(-5, AudioDevStartRecord(handle, nullptr));
    AudioDevRecordParam bad = param;
    bad.callback = nullptr;
    EXPECT_EQ(-5, AudioDevStartRecord(handle, &bad));
    bad = param;
    bad.outputFolder = nullptr;
    EXPECT_EQ(-5, AudioDevStartRecord(handle, &bad));
    EXPECT_EQ(nullptr, state->last);  // no input was created
    // No callback was ever accepted, so these log lines went nowhere.
    EXPECT_EQ(0, events.Count(LogLine));

    // Once a recording has run, its callback stays in force for later logs.
    ASSERT_EQ(0, AudioDevStartRecord(handle, &param));
    EXPECT_EQ(0, AudioDevStopRecord(handle));
    bad.outputFolder = nullptr;
    EXPECT_EQ(-5, AudioDevStartRecord(handle, &bad));
    EXPECT_TRUE(events.HasLog("CAudioDevRecorder::StartRecord CheckParam err"));
    AudioDevGetInputCount(handle);
    EXPECT_TRUE(events.HasLog("CAudioDevRecorder::GetInputCount device name: Monitor of Speakers"));
}

TEST_F(ExportsTest, Volume) {
    EXPECT_EQ(-5, AudioDevSetVolume(handle, 201));
    EXPECT_EQ(0, AudioDevSetVolume(handle, 200));
    EXPECT_EQ(0, AudioDevSetVolume(handle, 0));
    EXPECT_EQ(0, AudioDevGetVolume(handle));
}

TEST_F(ExportsTest, InputListAndSelectionByExactNameThenSubstring) {
    ASSERT_EQ(3, AudioDevGetInputCount(handle));
    EXPECT_STREQ("Monitor of Speakers", AudioDevGetInputName(handle, 1));
    EXPECT_EQ(nullptr, AudioDevGetInputName(handle, 3));

    EXPECT_EQ(0, AudioDevSetDriverName(handle, "Speakers"));
    EXPECT_EQ(0, AudioDevSetDriverName(handle, ""));
    EXPECT_EQ(-9, AudioDevSetDriverName(handle, "speakers"));  // case counts
    EXPECT_EQ(-9, AudioDevSetDriverName(handle, "Tavra Audio"));

    // The id of the input a recording of `name` opens.
    auto recorded = [&](const char* name) {
        param.inputDeviceName = name;
        const int started = AudioDevStartRecord(handle, &param);
        const std::string id = started == 0 ? state->last->openedId : "start err " + std::to_string(started);
        AudioDevStopRecord(handle);
        return id;
    };
    // The first (lowest) match is the one recorded from.
    EXPECT_EQ("source-1", recorded("Speakers"));
    EXPECT_EQ("source-2", recorded("Speakers 2"));

    // A name equal to the wanted text wins over an earlier one that only
    // contains it: a card's monitor is listed before its input of the same
    // description.
    state->names = {"Monitor of Built-in Audio Analog Stereo", "Built-in Audio Analog Stereo",
                    "Built-in Audio Analog Stereo Headset"};
    EXPECT_EQ("source-1", recorded("Built-in Audio Analog Stereo"));
    EXPECT_EQ("source-2", recorded("Analog Stereo Headset"));
    EXPECT_EQ("source-0", recorded("Monitor of Built-in"));

    state->names.clear();
    EXPECT_EQ(0, AudioDevGetInputCount(handle));
    EXPECT_EQ(-9, AudioDevSetDriverName(handle, ""));
}

TEST_F(ExportsTest, MissingInputIsMinus9) {
    param.inputDeviceName = "USB Microphone";
    EXPECT_EQ(-9, AudioDevStartRecord(handle, &param));
    EXPECT_TRUE(events.HasLog("CAudioDevRecorder::StartRecord cann't found device: USB Microphone"));
    // Computer audio needs the virtual device, which is not there.
    param.inputDeviceName = nullptr;
    EXPECT_EQ(-9, AudioDevStartRecord(handle, &param));
    EXPECT_TRUE(events.HasLog("CAudioDevRecorder::StartRecord cann't found device: Tavra Audio"));
    EXPECT_EQ(0, AudioDevStopRecord(handle));
}

TEST_F(ExportsTest, SecondStartIsMinus6AndLeavesTheRecordingAlone) {
    ASSERT_EQ(0, AudioDevStartRecord(handle, &param));
    FakeInput* first = state->last;
    param.inputDeviceName = "Built-in";
    EXPECT_EQ(-6, AudioDevStartRecord(handle, &param));
    EXPECT_EQ(first, state->last);
    EXPECT_FALSE(first->closed);
    EXPECT_EQ(0, AudioDevStopRecord(handle));
    EXPECT_EQ(0, AudioDevStopRecord(handle));
}

TEST_F(ExportsTest, StopBeforeStartAndTwice) {
    EXPECT_EQ(0, AudioDevStopRecord(handle));
    EXPECT_EQ(0, AudioDevStopRecord(handle));
    ASSERT_EQ(0, AudioDevStartRecord(handle, &param));
    const auto pcm = Tone(0.2, 44100);
    state->last->Deliver(pcm.data(), static_cast<unsigned>(pcm.size() * 2));
    EXPECT_EQ(0, AudioDevStopRecord(handle));
    EXPECT_EQ(1, events.Count(FileClosed));
    EXPECT_EQ(0, AudioDevStopRecord(handle));
    EXPECT_EQ(1, events.Count(FileClosed));
    EXPECT_EQ(1u, files->Main().size());
    // Start and stop alternate freely.
    ASSERT_EQ(0, AudioDevStartRecord(handle, &param));
    EXPECT_EQ(0, AudioDevStopRecord(handle));
}

TEST_F(ExportsTest, FailedOpenIsReturnedAndUndone) {
    state->openResult = 2;
    EXPECT_EQ(2, AudioDevStartRecord(handle, &param));
    EXPECT_TRUE(events.HasLog("CAudioDevRecorder::StartRecordInput WaveInRecorder open device err: 2"));
    state->openResult = 0;
    state->startResult = 7;
    EXPECT_EQ(7, AudioDevStartRecord(handle, &param));
    EXPECT_TRUE(events.HasLog("CAudioDevRecorder::StartRecordInput WaveInRecorder start err: 7"));
    state->startResult = 0;
    EXPECT_EQ(0, AudioDevStartRecord(handle, &param));
    EXPECT_EQ(0, AudioDevStopRecord(handle));
}

// The engine keeps copies: the caller's strings may go away after the start.
TEST_F(ExportsTest, RecordStringsAreCopiedAtStart) {
    auto folder = std::make_unique<std::string>("/music/out\\");
    auto input = std::make_unique<std::string>("Speakers");
    param.outputFolder = folder->c_str();
    param.inputDeviceName = input->c_str();
    ASSERT_EQ(0, AudioDevStartRecord(handle, &param));
    folder.reset();
    input.reset();
    param.outputFolder = nullptr;
    param.inputDeviceName = nullptr;
    const auto pcm = Tone(0.2, 44100);
    state->last->Deliver(pcm.data(), static_cast<unsigned>(pcm.size() * 2));
    ASSERT_EQ(0, AudioDevStopRecord(handle));
    const auto main = files->Main();
    ASSERT_EQ(1u, main.size());
    EXPECT_EQ("/music/out\\", main[0].folder);
}

struct RateCase {
    int rate, expectedRate, bitRate, expectedBitRate;
};

class RateTest : public ExportsTest, public ::testing::WithParamInterface<RateCase> {};

// The corrected values reach both the input and the file writer.
TEST_P(RateTest, OutOfRangeValuesAreReplaced) {
    const RateCase c = GetParam();
    param.sampleRate = c.rate;
    param.bitRate = c.bitRate;
    param.splitSilenceMs = 0;
    ASSERT_EQ(0, AudioDevStartRecord(handle, &param));
    EXPECT_EQ(c.expectedRate, state->lastRate);
    const auto pcm = Tone(0.1, c.expectedRate);
    state->last->Deliver(pcm.data(), static_cast<unsigned>(pcm.size() * 2));
    AudioDevStopRecord(handle);
    const auto main = files->Main();
    ASSERT_EQ(1u, main.size());
    EXPECT_EQ(c.expectedRate, main[0].rate);
    EXPECT_EQ(c.expectedBitRate, main[0].bitRate);
    EXPECT_EQ(c.rate, param.sampleRate);  // the caller's record is left alone
}

INSTANTIATE_TEST_SUITE_P(Limits, RateTest,
                         ::testing::Values(RateCase{7999, 44100, 0, 192}, RateCase{48001, 44100, 321, 192},
                                           RateCase{8000, 8000, 8, 8}, RateCase{48000, 48000, 320, 320}));
