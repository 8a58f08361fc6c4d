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
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "capdev.h"
#include "pulsedaemon.h"

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
    std::string errorText;
    std::string log;
};

// A 16-bit stereo WAV file of tones (440 Hz, half scale) and silences.
void WriteSequence(const std::string& path, const std::vector<std::pair<bool, double>>& parts) {
    std::vector<int16_t> pcm;
    for (const auto& [loud, seconds] : parts) {
        const auto frames = static_cast<size_t>(std::lround(seconds * kRate));
        for (size_t i = 0; i < frames; ++i) {
            const auto v = loud ? static_cast<int16_t>(16000 * std::sin(2 * M_PI * 440.0 * double(i) / kRate)) : 0;
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
    for (int i = 0; i < 100; ++i) {
        {
            std::lock_guard<std::mutex> lock(events.mutex);
            if (!events.errors.empty())
                break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
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
