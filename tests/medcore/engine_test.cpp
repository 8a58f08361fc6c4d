// The media engine through its exports, without a sound server: records,
// handles, refused files, lengths against ffprobe, conversion read back by
// the service's WAV reader, and conversions ended by WM_SkipConverter.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <type_traits>

#include "medcore.h"
#include "mediatest.h"
#include "privatehome.h"
#include "pulsedaemon.h"
#include "waitfor.h"
#include "wav/wavfile.h"

namespace {

using namespace medtest;

class MedcoreFiles : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new std::string(testsupport::makeTempDir("medcore"));
        const std::string& d = *s_dir;
        // 7.3 s of stereo time-coded tone, and MP3s made from it.
        ASSERT_TRUE(WriteWav(d + "/tone.wav", TimeCodedPcm(7.3, kRate, 2), kRate, 2));
        ASSERT_TRUE(Lame(d + "/tone.wav", d + "/cbr.mp3", "-b 128"));
        ASSERT_TRUE(Lame(d + "/tone.wav", d + "/vbr.mp3", "-V 4"));
        ASSERT_TRUE(Lame(d + "/tone.wav", d + "/vbr-noinfo.mp3", "-V 4 -t"));  // no information frame
        ASSERT_TRUE(medtest::Run("ffmpeg -v error -y -i '" + d + "/tone.wav' -ac 1 -ar 48000 -b:a 96k '" + d +
                        "/mono48.mp3'"));
    }
    static void TearDownTestSuite() {
        testsupport::removeTree(*s_dir);
        delete s_dir;
        s_dir = nullptr;
    }
    void TearDown() override { WM_Destroy(); }

    static std::string Path(const char* name) { return *s_dir + "/" + name; }
    static int64_t DurationOf(const std::string& path) {
        const int h = WM_AddFile(path.c_str());
        int64_t ms = -1;
        EXPECT_GT(h, 0) << path;
        EXPECT_EQ(WM_OK, WM_GetMediaDuration(h, &ms));
        EXPECT_EQ(WM_OK, WM_DeleteFile(h));
        return ms;
    }

    static std::string* s_dir;
};
std::string* MedcoreFiles::s_dir = nullptr;

TEST(MedcoreRecords, ConvertFormatAndCallbackKeepTheirLayout) {
    EXPECT_EQ(8u, sizeof(WM_ConvertFormat));
    EXPECT_EQ(0u, offsetof(WM_ConvertFormat, sampleRate));
    EXPECT_EQ(4u, offsetof(WM_ConvertFormat, channels));
    EXPECT_TRUE((std::is_same_v<WM_PlayCallback, int (*)(int, int, void*)>));
    EXPECT_EQ(4u, sizeof(int));  // handles and results are 32-bit
}

TEST_F(MedcoreFiles, LengthIsWithinOneFrameOfFfprobe) {
    struct Case {
        const char* file;
        double frameMs;
    } cases[] = {{"cbr.mp3", 1152e3 / 44100}, {"vbr.mp3", 1152e3 / 44100},
                 {"mono48.mp3", 1152e3 / 48000}, {"tone.wav", 1}};
    for (const Case& c : cases) {
        const double probe = FfprobeSeconds(Path(c.file)) * 1000;
        ASSERT_GT(probe, 7000) << c.file;
        EXPECT_NEAR(probe, double(DurationOf(Path(c.file))), c.frameMs) << c.file;
    }
    EXPECT_EQ(7300, DurationOf(Path("tone.wav")));
    // Without an information frame ffprobe only guesses from the bit rate;
    // the engine walks the frames and gets the length of the same audio
    // with one.
    const double withInfo = FfprobeSeconds(Path("vbr.mp3")) * 1000;
    EXPECT_NEAR(withInfo, double(DurationOf(Path("vbr-noinfo.mp3"))), 1152e3 / 44100);
}

TEST_F(MedcoreFiles, FilesThatHoldNoAudioGetANegativeHandle) {
    const std::string empty = Path("empty.mp3"), text = Path("text.mp3"), noise = Path("noise.wav"),
                      headerOnly = Path("header.wav");
    std::ofstream(empty).close();
    std::ofstream(text) << "This is not a song, just some words that happen to end in mp3.\n";
    {
        std::ofstream out(noise, std::ios::binary);
        unsigned seed = 7;
        for (int i = 0; i < 200000; ++i) out.put(char(rand_r(&seed)));
    }
    {
        // A WAV header promising data that is not there.
        std::ifstream in(Path("tone.wav"), std::ios::binary);
        char head[44];
        in.read(head, sizeof head);
        std::ofstream(headerOnly, std::ios::binary).write(head, sizeof head);
    }
    // Nothing but a local regular file: a FIFO without a writer (which
    // would block the open forever) and FFmpeg's own addresses are refused.
    const std::string fifo = Path("fifo.mp3");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string tone = Path("tone.wav");
    for (const std::string& p : {empty, text, noise, headerOnly, Path("missing.mp3"), *s_dir, fifo,
                                 "concat:" + tone + "|" + tone, "file:" + tone,
                                 std::string("http://127.0.0.1:9/tone.wav")}) {
        EXPECT_LT(WM_AddFile(p.c_str()), 0) << p;
    }
    const int handle = WM_AddFile(tone.c_str());
    EXPECT_GT(handle, 0);
    WM_DeleteFile(handle);
    EXPECT_EQ(WM_ERR_ARGUMENT, WM_AddFile(nullptr));
    EXPECT_EQ(WM_ERR_ARGUMENT, WM_AddFile(""));
}

TEST_F(MedcoreFiles, StaleAndUnknownHandlesFailWithoutHarm) {
    const int h = WM_AddFile(Path("cbr.mp3").c_str());
    ASSERT_GT(h, 0);
    int64_t ms = -5;
    EXPECT_EQ(WM_ERR_ARGUMENT, WM_GetMediaDuration(h, nullptr));
    EXPECT_EQ(WM_OK, WM_DeleteFile(h));
    EXPECT_EQ(WM_ERR_HANDLE, WM_DeleteFile(h));
    int id = 99;
    for (int bad : {h, 0, -1, h + 1000}) {
        EXPECT_EQ(WM_ERR_HANDLE, WM_GetMediaDuration(bad, &ms));
        EXPECT_EQ(WM_ERR_HANDLE, WM_CreatePlay(bad, nullptr, nullptr));
        EXPECT_EQ(WM_ERR_HANDLE, WM_Converter(bad, Path("x.wav").c_str(), &id));
        EXPECT_EQ(-1, id);
    }
    EXPECT_EQ(-5, ms);
    // A new handle is never an old one, and WM_Destroy drops every handle.
    const int h2 = WM_AddFile(Path("cbr.mp3").c_str());
    EXPECT_GT(h2, h);
    EXPECT_EQ(WM_OK, WM_Destroy());
    EXPECT_EQ(WM_ERR_HANDLE, WM_GetMediaDuration(h2, &ms));
    // Player calls without a player, and conversions that do not run.
    EXPECT_EQ(WM_ERR_HANDLE, WM_Play());
    EXPECT_EQ(WM_ERR_HANDLE, WM_Pause());
    EXPECT_EQ(WM_ERR_HANDLE, WM_SeekTo(5000));
    EXPECT_EQ(WM_OK, WM_DestroyPlay());
    EXPECT_EQ(WM_OK, WM_ChangeVolume(250));
    EXPECT_EQ(WM_ERR_HANDLE, WM_SkipConverter(0));
    EXPECT_EQ(WM_ERR_HANDLE, WM_SkipConverter(12345));
    EXPECT_FALSE(std::ifstream(Path("x.wav")).good());
}

TEST_F(MedcoreFiles, ConversionIsReadBackByTheServiceWavReader) {
    const int h = WM_AddFile(Path("vbr.mp3").c_str());
    ASSERT_GT(h, 0);
    int64_t ms = 0;
    ASSERT_EQ(WM_OK, WM_GetMediaDuration(h, &ms));
    // The download tasks' format, from two threads at once.
    const WM_ConvertFormat format{11025, 1};
    int ids[2] = {-1, -1};
    int results[2] = {1, 1};
    std::thread other([&] { results[1] = WM_ConverterEx(h, Path("b.wav").c_str(), &format, &ids[1]); });
    results[0] = WM_ConverterEx(h, Path("a.wav").c_str(), &format, &ids[0]);
    other.join();
    ASSERT_EQ(WM_OK, results[0]);
    ASSERT_EQ(WM_OK, results[1]);
    EXPECT_NE(ids[0], ids[1]);
    EXPECT_EQ(WM_ERR_HANDLE, WM_SkipConverter(ids[0]));  // ended: no longer known

    std::string messages;
    auto wav = aws::WavFile::Open(Path("a.wav").c_str(), &messages);
    ASSERT_NE(nullptr, wav) << messages;
    const aws::WavFileInfo& info = wav->Info();
    EXPECT_TRUE(wav->IsUsablePcm());
    EXPECT_EQ(1, info.formatTag);
    EXPECT_EQ(1, info.channels);
    EXPECT_EQ(11025u, info.sampleRate);
    EXPECT_EQ(16, info.bitsPerSample);
    EXPECT_EQ(info.dataSize, info.dataLength);
    // The encoder's delay and padding are cut off: exactly the 7.3 s that
    // went into it (the reported length, like ffprobe's, includes them).
    EXPECT_NEAR(7.3 * 11025, double(info.dataLength / 2), 8);
    EXPECT_NEAR(double(ms), 7300, 1152e3 / 44100 * 2);
    std::vector<int16_t> samples(info.dataLength / 2);
    ASSERT_EQ(info.dataLength, wav->ReadData(samples.data(), info.dataLength));
    // The time code survives decoding, mixing and resampling: 0.5 s per
    // segment, in order.
    const std::vector<int> segments = Segments(samples, 11025, 100);
    ASSERT_GE(segments.size(), 60u);
    for (size_t i = 1; i < segments.size(); ++i) {
        EXPECT_TRUE(segments[i] == segments[i - 1] || segments[i] == segments[i - 1] + 1) << i;
    }
    EXPECT_EQ(0, segments.front());
    EXPECT_EQ(14, segments.back());
    // A WAV file goes the same way, to the sample.
    const int w = WM_AddFile(Path("tone.wav").c_str());
    ASSERT_EQ(WM_OK, WM_ConverterEx(w, Path("c.wav").c_str(), &format, nullptr));
    auto fromWav = aws::WavFile::Open(Path("c.wav").c_str());
    ASSERT_NE(nullptr, fromWav);
    EXPECT_EQ(80483u, fromWav->Info().dataLength / 2);  // 7.3 s at 11025 Hz
    samples.resize(fromWav->Info().dataLength / 2);
    fromWav->ReadData(samples.data(), fromWav->Info().dataLength);
    EXPECT_EQ(segments, Segments(samples, 11025, 100));
    // Both threads made the same file.
    std::ifstream a(Path("a.wav"), std::ios::binary), b(Path("b.wav"), std::ios::binary);
    EXPECT_TRUE(std::equal(std::istreambuf_iterator<char>(a), {}, std::istreambuf_iterator<char>(b), {}));
}

TEST_F(MedcoreFiles, DefaultConversionKeepsAWavFileSampleForSample) {
    const int h = WM_AddFile(Path("tone.wav").c_str());
    ASSERT_GT(h, 0);
    std::ofstream(Path("copy.wav")) << "an older file of that name";
    ASSERT_EQ(WM_OK, WM_Converter(h, Path("copy.wav").c_str(), nullptr));
    std::ifstream a(Path("tone.wav"), std::ios::binary), b(Path("copy.wav"), std::ios::binary);
    EXPECT_TRUE(std::equal(std::istreambuf_iterator<char>(a), {}, std::istreambuf_iterator<char>(b), {}));
    // Bad formats and paths are refused before anything is written.
    int id = 5;
    const WM_ConvertFormat three{44100, 3}, slow{100, 1};
    EXPECT_EQ(WM_ERR_ARGUMENT, WM_ConverterEx(h, Path("c.wav").c_str(), &three, &id));
    EXPECT_EQ(-1, id);
    EXPECT_EQ(WM_ERR_ARGUMENT, WM_ConverterEx(h, Path("c.wav").c_str(), &slow, &id));
    EXPECT_EQ(WM_ERR_ARGUMENT, WM_Converter(h, nullptr, &id));
    EXPECT_EQ(WM_ERR_WRITE, WM_Converter(h, Path("no/such/folder/c.wav").c_str(), &id));
    EXPECT_FALSE(std::ifstream(Path("c.wav")).good());
}

TEST_F(MedcoreFiles, SkipEndsALongConversionEarlyAndLeavesNothing) {
    // A WAV that announces almost 2 GB of stereo samples (3 h 9 min), held
    // as a sparse file: its length comes from the header at once, while a
    // whole conversion would take minutes.
    const std::string longWav = Path("long.wav");
    const uint32_t data = 2000000000u;
    {
        std::vector<int16_t> none;
        ASSERT_TRUE(WriteWav(longWav, none, kRate, 2));
        std::fstream f(longWav, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(4);
        const uint32_t riff = data + 36;
        f.write(reinterpret_cast<const char*>(&riff), 4);
        f.seekp(40);
        f.write(reinterpret_cast<const char*>(&data), 4);
    }
    ASSERT_EQ(0, truncate(longWav.c_str(), off_t(44) + data));
    const int h = WM_AddFile(longWav.c_str());
    ASSERT_GT(h, 0);
    int64_t ms = 0;
    ASSERT_EQ(WM_OK, WM_GetMediaDuration(h, &ms));
    EXPECT_EQ(int64_t(data) / 4 * 1000 / kRate, ms);

    const std::string out = Path("skipped.wav");
    std::ofstream(out) << "keep";
    int id = -1;
    std::atomic<int> result{1};
    std::atomic<bool> done{false};
    std::thread converter([&] {
        result = WM_Converter(h, out.c_str(), &id);
        done = true;
    });
    // Bytes in the partial files of the folder: they grow while a conversion runs.
    const auto partial = [] {
        std::error_code ec;
        uintmax_t bytes = 0;
        for (const auto& f : std::filesystem::directory_iterator(*s_dir, ec)) {
            const uintmax_t size = f.path().filename().string().find(".part") != std::string::npos
                                       ? std::filesystem::file_size(f.path(), ec)
                                       : 0;
            bytes += ec ? 0 : size;
        }
        return bytes;
    };
    while (__atomic_load_n(&id, __ATOMIC_ACQUIRE) < 0 && !done) std::this_thread::yield();
    ASSERT_TRUE(testsupport::WaitFor([&] { return partial() > 0 || done; }));
    ASSERT_FALSE(done) << "the conversion ended before it was skipped";
    const auto skipped = std::chrono::steady_clock::now();
    EXPECT_EQ(WM_OK, WM_SkipConverter(__atomic_load_n(&id, __ATOMIC_ACQUIRE)));
    converter.join();
    EXPECT_LT(std::chrono::steady_clock::now() - skipped, std::chrono::seconds(2));
    EXPECT_EQ(WM_ERR_CANCELLED, result.load());
    // The file of that name is untouched and no partial file is left.
    std::ifstream kept(out);
    std::string content;
    kept >> content;
    EXPECT_EQ("keep", content);
    std::string listing;
    testsupport::runCommand("ls '" + *s_dir + "' | grep -c part", &listing);
    EXPECT_EQ("0\n", listing);
    // Releasing the handle while a conversion runs does not stop it.
    id = -1;
    done = false;
    std::thread second([&] {
        result = WM_Converter(h, out.c_str(), &id);
        done = true;
    });
    while (__atomic_load_n(&id, __ATOMIC_ACQUIRE) < 0 && !done) std::this_thread::yield();
    EXPECT_EQ(WM_OK, WM_DeleteFile(h));
    const uintmax_t before = partial();
    EXPECT_TRUE(testsupport::WaitFor([&] { return partial() > before || done; }));
    EXPECT_FALSE(done);
    EXPECT_EQ(WM_OK, WM_SkipConverter(__atomic_load_n(&id, __ATOMIC_ACQUIRE)));
    second.join();
    EXPECT_EQ(WM_ERR_CANCELLED, result.load());
}

TEST_F(MedcoreFiles, WithoutASoundServerOnlyPlayingFails) {
    const char* old = std::getenv("PULSE_SERVER");
    const std::string saved = old != nullptr ? old : "";
    setenv("PULSE_SERVER", ("unix:" + *s_dir + "/no-server").c_str(), 1);
    const int h = WM_AddFile(Path("cbr.mp3").c_str());
    ASSERT_GT(h, 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WM_ERR_DEVICE, WM_CreatePlay(h, nullptr, nullptr));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(6));
    EXPECT_EQ(WM_ERR_HANDLE, WM_Play());
    EXPECT_EQ(WM_OK, WM_Converter(h, Path("offline.wav").c_str(), nullptr));
    if (old != nullptr) setenv("PULSE_SERVER", saved.c_str(), 1);
    else unsetenv("PULSE_SERVER");
}

}  // namespace
