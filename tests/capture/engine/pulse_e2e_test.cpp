// Recording through the exports from a private PulseAudio daemon: tones
// played into "Speakers" are recorded from "Monitor of Speakers" and cut into
// one file per tone; a source that goes away mid-recording ends it with -9.

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "capdev.h"
#include "pulsedaemon.h"
#include "waitfor.h"

namespace {

constexpr int kRate = 44100;
constexpr double kBlockSeconds = 0.04;

// Each file's path and the PCM bytes the engine announced for it.
struct Recorded {
    std::string path;
    uint64_t bytes = 0;
    int closeResult = -100;
};

class Collector {
public:
    static int Callback(int code, int value, void* data, void* user) {
        auto* self = static_cast<Collector*>(user);
        std::lock_guard<std::mutex> lock(self->mutex);
        switch (code) {
        case SilenceState:
            if (value == 1)
                self->files.push_back({});
            else if (!self->files.empty())
                self->silentAt.push_back(self->files.back().bytes);
            break;
        case AudioData:
            if (!self->files.empty())
                self->files.back().bytes += static_cast<uint64_t>(value);
            break;
        case FileClosed:
            if (!self->files.empty()) {
                self->files.back().path = static_cast<const char*>(data);
                self->files.back().closeResult = value;
            }
            break;
        case RecordError:
            self->errors.push_back(value);
            self->errorText = data ? static_cast<const char*>(data) : "";
            break;
        case LogLine:
            self->log += static_cast<const char*>(data);
            self->log += '\n';
            break;
        default:
            break;
        }
        return 0;
    }

    std::mutex mutex;
    std::vector<Recorded> files;
    std::vector<int> errors;
    std::vector<uint64_t> silentAt;  // bytes into the open file at each silent block
    std::string errorText;
    std::string log;
};

// One stretch of a played sequence: a sine of `hz` at `amplitude`
// (0: digital silence).
struct Stretch {
    double seconds;
    double hz;
    double amplitude;
};

// A 16-bit stereo WAV file of the stretches.
void WriteStretches(const std::string& path, const std::vector<Stretch>& parts) {
    std::vector<int16_t> pcm;
    for (const Stretch& part : parts) {
        const auto frames = static_cast<size_t>(std::lround(part.seconds * kRate));
        for (size_t i = 0; i < frames; ++i) {
            const auto v = static_cast<int16_t>(std::lround(
                part.amplitude * std::sin(2 * M_PI * part.hz * double(i) / kRate)));
            pcm.push_back(v);
            pcm.push_back(v);
        }
    }
    const uint32_t data = static_cast<uint32_t>(pcm.size() * 2);
    auto le32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
    auto le16 = [](uint16_t v) { return std::string{char(v), char(v >> 8)}; };
    std::ofstream out(path, std::ios::binary);
    out << "RIFF" << le32(36 + data) << "WAVEfmt " << le32(16) << le16(1) << le16(2) << le32(kRate)
        << le32(kRate * 4) << le16(4) << le16(16) << "data" << le32(data);
    out.write(reinterpret_cast<const char*>(pcm.data()), data);
}

// Tones (440 Hz, half scale) and silences.
void WriteSequence(const std::string& path, const std::vector<std::pair<bool, double>>& parts) {
    std::vector<Stretch> stretches;
    for (const auto& [loud, seconds] : parts)
        stretches.push_back({seconds, 440.0, loud ? 16000.0 : 0.0});
    WriteStretches(path, stretches);
}

std::string Output(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0)
            out.append(buf, n);
        pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
        out.pop_back();
    return out;
}

class PulseRecordTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(daemon.ok()) << daemon.error();
        char pattern[] = "/tmp/capdev-e2e-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        folder = pattern;
        handle = AudioDevCreate();
        ASSERT_NE(nullptr, handle);
    }
    void TearDown() override {
        AudioDevDestroy(handle);
        Output("rm -rf '" + folder + "'");
    }

    int Start(const char* input, int fileType, int splitMs) {
        param.callback = &Collector::Callback;
        param.user = &events;
        param.outputFolder = folder.c_str();
        param.inputDeviceName = input;
        param.splitSilenceMs = splitMs;
        param.fileType = fileType;
        param.sampleRate = kRate;
        param.bitRate = 192;
        return AudioDevStartRecord(handle, &param);
    }

    // Plays the sequence into `sink` and waits until it has been played.
    void Play(const std::vector<std::pair<bool, double>>& parts, const std::string& sink) {
        const std::string wav = folder + "/play.wav";
        WriteSequence(wav, parts);
        PlayFile(wav, sink);
    }
    void PlayFile(const std::string& wav, const std::string& sink) {
        ASSERT_EQ(0, daemon.shell("paplay --device=" + sink + " '" + wav + "' 2>&1"))
            << daemon.log();
    }

    testsupport::PulseDaemon daemon;
    std::string folder;
    void* handle = nullptr;
    AudioDevRecordParam param{};
    Collector events;
};

// With a 400 ms split time, two tones separated by a second of silence give
// two files, each as long as its tone (less the block that crossed into it).
void CheckSongs(Collector& events, const std::vector<double>& tones) {
    std::lock_guard<std::mutex> lock(events.mutex);
    ASSERT_EQ(tones.size(), events.files.size()) << events.log;
    for (size_t i = 0; i < tones.size(); ++i) {
        const double seconds = double(events.files[i].bytes) / (kRate * 4);
        EXPECT_NEAR(tones[i], seconds, 3 * kBlockSeconds) << "file " << i;
        EXPECT_EQ(0, events.files[i].closeResult);
    }
    EXPECT_TRUE(events.errors.empty());
}

}  // namespace

TEST_F(PulseRecordTest, TonesBecomeOneWavFileEach) {
    ASSERT_GE(AudioDevGetInputCount(handle), 1);
    ASSERT_EQ(0, AudioDevSetDriverName(handle, "Monitor of Speakers"));
    ASSERT_EQ(0, Start("Monitor of Speakers", 1, 400));
    Play({{false, 0.3}, {true, 1.2}, {false, 1.0}, {true, 0.8}, {false, 0.6}}, "speakers");
    EXPECT_EQ(0, AudioDevStopRecord(handle));
    CheckSongs(events, {1.2, 0.8});
    for (const Recorded& f : events.files) {
        EXPECT_EQ("44100", Output("soxi -r '" + f.path + "'"));
        EXPECT_EQ("2", Output("soxi -c '" + f.path + "'"));
        // Every byte announced is in the file, and the header says so.
        EXPECT_EQ(std::to_string(f.bytes / 4), Output("soxi -s '" + f.path + "'")) << f.path;
    }
}

TEST_F(PulseRecordTest, TonesBecomeConstantBitRateMp3Files) {
    ASSERT_EQ(0, Start("Monitor of Speakers", 0, 400));
    Play({{false, 0.3}, {true, 1.5}, {false, 1.0}, {true, 1.0}, {false, 0.6}}, "speakers");
    EXPECT_EQ(0, AudioDevStopRecord(handle));
    CheckSongs(events, {1.5, 1.0});
    const double frame = 1152.0 / kRate;
    for (const Recorded& f : events.files) {
        const std::string probe = "ffprobe -v error -select_streams a:0 -show_entries ";
        EXPECT_EQ("44100", Output(probe + "stream=sample_rate -of csv=p=0 '" + f.path + "'"));
        EXPECT_EQ("2", Output(probe + "stream=channels -of csv=p=0 '" + f.path + "'"));
        EXPECT_EQ("192000", Output(probe + "stream=bit_rate -of csv=p=0 '" + f.path + "'"));
        // Constant bit rate: every audio frame is 626 or 627 bytes.
        std::istringstream sizes(Output(probe + "packet=size -of csv=p=0 '" + f.path + "'"));
        std::map<int, int> count;
        for (std::string line; std::getline(sizes, line);)
            if (!line.empty() && line[0] != ',')
                ++count[std::stoi(line)];
        int frames = 0;
        for (const auto& [size, n] : count) {
            EXPECT_TRUE(size == 626 || size == 627) << size << " x " << n;
            frames += n;
        }
        EXPECT_GT(frames, 30);
        // What a player plays (the encoder's delay and padding removed by the
        // information frame) is the audio fed, within one frame.
        const std::string decoded =
            Output("ffmpeg -v error -i '" + f.path + "' -f s16le - | wc -c");
        const double duration = std::stod(decoded) / (kRate * 4);
        EXPECT_NEAR(double(f.bytes) / (kRate * 4), duration, frame) << f.path;
    }
}

// The source goes away while recording: the file is closed and stays
// playable, and the engine reports -9 with the input's name.
TEST_F(PulseRecordTest, SourceUnloadedMidRecordingIsMinus9) {
    std::string module;
    ASSERT_EQ(0, daemon.pactl("load-module module-null-sink sink_name=gadget "
                              "sink_properties=device.description=Gadget",
                              &module));
    while (!module.empty() && module.back() == '\n')
        module.pop_back();
    ASSERT_EQ(0, Start("Monitor of Gadget", 1, 0));
    std::thread player([&] { Play({{true, 1.5}}, "gadget"); });
    player.join();
    ASSERT_EQ(0, daemon.pactl("unload-module " + module));
    testsupport::WaitFor([&] {
        std::lock_guard<std::mutex> lock(events.mutex);
        return !events.errors.empty();
    });
    {
        std::lock_guard<std::mutex> lock(events.mutex);
        ASSERT_EQ(1u, events.errors.size()) << events.log;
        EXPECT_EQ(-9, events.errors[0]);
        EXPECT_EQ("Monitor of Gadget", events.errorText);
        ASSERT_EQ(1u, events.files.size());
        EXPECT_EQ(0, events.files[0].closeResult);
        EXPECT_GE(double(events.files[0].bytes) / (kRate * 4), 1.4);
        EXPECT_EQ(std::to_string(events.files[0].bytes / 4),
                  Output("soxi -s '" + events.files[0].path + "'"));
    }
    EXPECT_EQ(0, AudioDevStopRecord(handle));
    // The program shows "Failed to find" with the name; the next recording
    // from another input works.
    EXPECT_EQ(0, Start("Monitor of Speakers", 1, 0));
    EXPECT_EQ(0, AudioDevStopRecord(handle));
}

// A sound card's output and input usually share a description, and the
// output's monitor comes first in the list. Choosing the input by that
// description records the input, not what the computer plays: here a null
// source (digital silence) beside a null sink that plays a loud tone.
TEST_F(PulseRecordTest, InputOfTheExactNameIsRecordedNotTheMonitorOfTheSameName) {
    const std::string card = "Built-in Audio Analog Stereo";
    ASSERT_EQ(0, daemon.pactl("load-module module-null-sink sink_name=builtin "
                              "\"sink_properties='device.description=\\\"" + card + "\\\"'\""));
    ASSERT_EQ(0, daemon.pactl("load-module module-null-source source_name=builtin_mic "
                              "\"description='" + card + "'\""));
    ASSERT_GE(AudioDevGetInputCount(handle), 3);
    EXPECT_STREQ(("Monitor of " + card).c_str(), AudioDevGetInputName(handle, 1));
    EXPECT_STREQ(card.c_str(), AudioDevGetInputName(handle, 2));

    ASSERT_EQ(0, Start(card.c_str(), 1, 0));
    EXPECT_EQ("builtin_mic", daemon.recordingSource());
    Play({{true, 1.0}}, "builtin");
    EXPECT_EQ(0, AudioDevStopRecord(handle));

    std::string path;
    {
        std::lock_guard<std::mutex> lock(events.mutex);
        ASSERT_EQ(1u, events.files.size()) << events.log;
        EXPECT_GE(double(events.files[0].bytes) / (kRate * 4), 0.9);
        path = events.files[0].path;
    }
    std::ifstream in(path, std::ios::binary);
    const std::string wav((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(wav.size(), 46u);
    EXPECT_EQ(std::string::npos, wav.find_first_not_of('\0', 46)) << "the tone was recorded";
}

// A quiet bass passage (40 Hz at about -50 dBFS) between two loud tones is
// music, not a pause: with a one-second split time the whole ten seconds
// land in one file, and no block before the end of the sound counts as
// silent (the null sink may add a few silent blocks after it).
TEST_F(PulseRecordTest, QuietPassageIsRecordedWhole) {
    const std::string wav = folder + "/quiet.wav";
    WriteStretches(wav, {{2.0, 440.0, 16000.0}, {6.0, 40.0, 104.0}, {2.0, 440.0, 16000.0}});
    ASSERT_EQ(0, Start("Monitor of Speakers", 1, 1000));
    PlayFile(wav, "speakers");
    EXPECT_EQ(0, AudioDevStopRecord(handle));
    std::lock_guard<std::mutex> lock(events.mutex);
    ASSERT_EQ(1u, events.files.size()) << events.log;
    const double seconds = double(events.files[0].bytes) / (kRate * 4);
    std::printf("quiet passage: %.2f s of 10.00 s written, %zu blocks silent\n", seconds,
                events.silentAt.size());
    EXPECT_NEAR(10.0, seconds, 3 * kBlockSeconds);
    for (const uint64_t at : events.silentAt)
        EXPECT_GE(double(at) / (kRate * 4), 10.0 - 2 * kBlockSeconds);
}
