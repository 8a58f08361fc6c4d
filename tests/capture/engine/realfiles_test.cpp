// The recorder writing through the real file writer: WAV headers across a
// roll-over, and a full disk while writing MP3.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "enginefakes.h"

using namespace enginetest;

namespace {

constexpr int kRate = 44100;
constexpr unsigned kBlock = 7056;

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

std::vector<std::string> ClosedPaths(const EventLog& events) {
    std::vector<std::string> paths;
    for (const Event& e : events.All())
        if (e.code == FileClosed)
            paths.push_back(e.text);
    return paths;
}

}  // namespace

// Three WAV files whose headers each describe exactly their samples, and
// whose samples together are every byte fed.
TEST(RealFilesTest, WavRollOverKeepsEveryHeaderRight) {
    Rig rig(10 * kBlock, 16, true);
    rig.folder = MakeTempFolder();
    ASSERT_FALSE(rig.folder.empty());
    ASSERT_EQ(0, rig.Start(0, 1));
    const auto pcm = Tone(1.0, kRate);  // 25 blocks
    rig.Feed(pcm);
    ASSERT_EQ(0, rig.Stop());

    const auto paths = ClosedPaths(rig.events);
    ASSERT_EQ(3u, paths.size());
    std::vector<uint8_t> samples;
    for (const std::string& path : paths) {
        EXPECT_EQ(0u, path.find(rig.folder + "/AU")) << path;
        const auto file = ReadFile(path);
        ASSERT_GE(file.size(), 46u) << path;
        EXPECT_EQ(0, std::memcmp(file.data(), "RIFF", 4));
        const uint32_t data = Le32(file, 42);
        EXPECT_EQ(file.size() - 46, data) << path;
        EXPECT_EQ(data + 38, Le32(file, 4)) << path;
        EXPECT_EQ(uint32_t(kRate), Le32(file, 24));
        samples.insert(samples.end(), file.begin() + 46, file.end());
    }
    const auto* p = reinterpret_cast<const uint8_t*>(pcm.data());
    EXPECT_EQ(std::vector<uint8_t>(p, p + pcm.size() * 2), samples);
    for (const Event& e : rig.events.All()) {
        if (e.code == FileClosed) {
            EXPECT_EQ(0, e.value);
        }
    }
}

// A disk that takes no more (the file size limit stands in for a full
// disk) ends the recording with -8, and the MP3 file written so far stays
// and plays. Runs in a child so that the limit binds nothing else.
TEST(RealFilesTest, FullDiskWhileWritingMp3IsAWriteError) {
    const std::string folder = MakeTempFolder();
    ASSERT_FALSE(folder.empty());
    const std::string report = folder + "/report.txt";
    const pid_t pid = fork();
    ASSERT_NE(-1, pid);
    if (pid == 0) {
        alarm(60);  // never outlive a hung recording
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64 * 1024, 64 * 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
        int status = 0;
        {
            Rig rig(capdev::kRecorderWavLimit, 16, true);
            rig.folder = folder;
            if (rig.Start(0, 0, 0, kRate, 192) != 0)
                _exit(10);
            rig.Feed(Tone(8.0, kRate));  // about 190 kB of MP3
            if (!rig.events.WaitForCount(FileClosed, 1))
                _exit(11);
            std::string path;
            int error = 0, closed = 99;
            for (const Event& e : rig.events.All()) {
                if (e.code == RecordError)
                    error = e.value;
                if (e.code == FileClosed) {
                    closed = e.value;
                    path = e.text;
                }
            }
            rig.Stop();
            if (FILE* f = std::fopen(report.c_str(), "w")) {
                std::fprintf(f, "%d %d %s\n", error, closed, path.c_str());
                std::fclose(f);
            }
            status = 0;
        }
        _exit(status);
    }
    int status = 0;
    ASSERT_EQ(pid, waitpid(pid, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(0, WEXITSTATUS(status));
    int error = 0, closed = 0;
    char path[1024] = {};
    FILE* f = std::fopen(report.c_str(), "r");
    ASSERT_NE(nullptr, f);
    ASSERT_EQ(3, std::fscanf(f, "%d %d %1023[^\n]", &error, &closed, path));
    std::fclose(f);
    EXPECT_EQ(-8, error);
    EXPECT_NE(0, closed);  // the writer's close reports the short file too
    const auto file = ReadFile(path);
    EXPECT_GT(file.size(), 32u * 1024);
    EXPECT_LE(file.size(), 64u * 1024);
    const std::string probe = "ffprobe -v error -show_entries format=duration -of csv=p=0 '" +
                              std::string(path) + "'";
    FILE* pipe = popen(probe.c_str(), "r");
    ASSERT_NE(nullptr, pipe);
    double seconds = 0;
    EXPECT_EQ(1, std::fscanf(pipe, "%lf", &seconds));
    pclose(pipe);
    EXPECT_GT(seconds, 1.0);
}
