// CAudioFileWriter: WAV layout, MP3 streams checked by outside tools, file
// names, and what happens on full disks and bad folders.
#include "writers/audiofilewriter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "pcmtest.h"
#include "privatehome.h"
#include "pulsedaemon.h"

namespace fs = std::filesystem;
using capdev::CAudioFileWriter;
using capdev::PcmFormat;

namespace {

constexpr PcmFormat kStereo16{16, 2};

std::vector<unsigned char> readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

uint32_t le32(const std::vector<unsigned char>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

uint16_t le16(const std::vector<unsigned char>& b, size_t at) {
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

std::string tool(const std::string& command) {
    std::string out;
    EXPECT_EQ(testsupport::runCommand(command + " 2>&1", &out), 0) << command << "\n" << out;
    return out;
}

// "key=value" lines of ffprobe's default writer.
std::map<std::string, std::string> probe(const std::string& path) {
    std::map<std::string, std::string> values;
    std::istringstream lines(tool("ffprobe -v error -show_entries "
                                  "stream=codec_name,sample_rate,channels,bit_rate:format=duration "
                                  "-of default=nw=1 '" + path + "'"));
    for (std::string line; std::getline(lines, line);) {
        const auto eq = line.find('=');
        if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return values;
}

// Writes `seconds` of a 440 Hz tone in 40 ms blocks; returns the PCM bytes fed.
size_t feedTone(CAudioFileWriter& w, int rate, double seconds) {
    const size_t blockFrames = static_cast<size_t>(rate) / 25;
    const size_t blocks = static_cast<size_t>(seconds * 25);
    size_t fed = 0;
    for (size_t b = 0; b < blocks; ++b) {
        const auto pcm = pcmtest::sine(440, rate, 2, blockFrames, 12000, b * blockFrames);
        EXPECT_EQ(w.write(static_cast<unsigned>(pcm.size() * 2), pcm.data()), 0);
        fed += pcm.size() * 2;
    }
    return fed;
}

std::vector<std::string> filesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class WriterTest : public ::testing::Test {
protected:
    void SetUp() override { m_dir = testsupport::makeTempDir("writer"); }
    void TearDown() override { testsupport::removeTree(m_dir); }
    int openIn(CAudioFileWriter& w, int type, const std::string& folder, int rate = 44100,
               bool sample = false, int bitRate = 192) {
        return w.open(type, folder.c_str(), kStereo16, rate, kStereo16, rate, sample, bitRate);
    }
    std::string m_dir;
};

TEST_F(WriterTest, WavHeaderIsExactAndCompletedAtClose) {
    CAudioFileWriter w;
    ASSERT_EQ(openIn(w, capdev::kWriterWav, m_dir), 0) << w.lastError();
    const std::string path = w.name();
    const std::vector<unsigned char> block(7056, 0x11);
    for (int i = 0; i < 25; ++i) ASSERT_EQ(w.write(7056, block.data()), 0);
    EXPECT_EQ(w.bytesWritten(), 176400u);

    ASSERT_EQ(w.close(), 0);
    EXPECT_FALSE(w.isOpen());
    EXPECT_EQ(w.name(), nullptr);

    const auto b = readFile(path);
    ASSERT_EQ(b.size(), 176446u);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
    EXPECT_EQ(le32(b, 4), 176438u);
    EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(le32(b, 16), 18u);
    EXPECT_EQ(le16(b, 20), 1);
    EXPECT_EQ(le16(b, 22), 2);
    EXPECT_EQ(le32(b, 24), 44100u);
    EXPECT_EQ(le32(b, 28), 176400u);
    EXPECT_EQ(le16(b, 32), 4);
    EXPECT_EQ(le16(b, 34), 16);
    EXPECT_EQ(le16(b, 36), 0);
    EXPECT_EQ(std::string(b.begin() + 38, b.begin() + 42), "data");
    EXPECT_EQ(le32(b, 42), 176400u);
    EXPECT_EQ(b[46], 0x11);

    EXPECT_EQ(tool("soxi -r '" + path + "'"), "44100\n");
    EXPECT_EQ(tool("soxi -c '" + path + "'"), "2\n");
    EXPECT_EQ(tool("soxi -s '" + path + "'"), "44100\n");
}

struct Mp3Case {
    int rate;
    int bitRate;
};

class Mp3Test : public WriterTest, public ::testing::WithParamInterface<Mp3Case> {};

TEST_P(Mp3Test, ConstantBitRateStreamWithInfoFrame) {
    const Mp3Case c = GetParam();
    CAudioFileWriter w;
    ASSERT_EQ(openIn(w, capdev::kWriterMp3, m_dir, c.rate, false, c.bitRate), 0) << w.lastError();
    const std::string path = w.name();
    EXPECT_EQ(path.substr(path.size() - 4), ".mp3");
    const size_t fed = feedTone(w, c.rate, 3.0);
    EXPECT_EQ(w.bytesWritten(), fed);
    ASSERT_EQ(w.close(), 0);

    auto v = probe(path);
    EXPECT_EQ(v["codec_name"], "mp3");
    EXPECT_EQ(v["sample_rate"], std::to_string(c.rate));
    EXPECT_EQ(v["channels"], "2");
    EXPECT_EQ(v["bit_rate"], std::to_string(c.bitRate * 1000));
    // Decoded with the encoder delay and padding that the information frame
    // records, the stream is as long as the audio fed, within one frame.
    std::string pcm;
    ASSERT_EQ(testsupport::runCommand("ffmpeg -v error -i '" + path + "' -f s16le -", &pcm), 0);
    EXPECT_NEAR(static_cast<double>(pcm.size()), static_cast<double>(fed), 1152.0 * 4);
    const double fedSeconds = static_cast<double>(fed) / 4 / c.rate;
    EXPECT_NEAR(std::stod(v["duration"]), fedSeconds, 2 * 1152.0 / c.rate);

    // Every audio frame has the size of the one bit rate (give or take the
    // padding byte); the first frame is LAME's "Info" frame (the CBR form).
    std::istringstream sizes(tool("ffprobe -v error -show_entries packet=size -of csv=p=0 '" + path + "'"));
    const int nominal = 144 * c.bitRate * 1000 / c.rate;
    int packets = 0;
    for (std::string s; std::getline(sizes, s);) {
        if (s.empty()) continue;
        ++packets;
        const int n = std::stoi(s);
        EXPECT_TRUE(n == nominal || n == nominal + 1) << "packet " << packets << " has " << n;
    }
    EXPECT_GE(packets, static_cast<int>(fedSeconds * c.rate / 1152));
    const auto bytes = readFile(path);
    const std::string head(bytes.begin(), bytes.begin() + std::min<size_t>(bytes.size(), 4096));
    EXPECT_NE(head.find("Info"), std::string::npos);
    EXPECT_NE(head.find("LAME"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Rates, Mp3Test, ::testing::Values(Mp3Case{44100, 192}, Mp3Case{48000, 128}),
                         [](const auto& param) {
                             return std::to_string(param.param.rate) + "_" + std::to_string(param.param.bitRate);
                         });

// A recording encodes while it captures: the encoder must keep far ahead of
// real time even on a loaded machine.
TEST_F(WriterTest, Mp3EncodingIsManyTimesFasterThanRealTime) {
    CAudioFileWriter w;
    ASSERT_EQ(openIn(w, capdev::kWriterMp3, m_dir, 44100, false, 320), 0);
    const auto start = std::chrono::steady_clock::now();
    feedTone(w, 44100, 20.0);
    ASSERT_EQ(w.close(), 0);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 4.0) << "20 s of audio took " << seconds << " s";
}

TEST_F(WriterTest, NamesFollowTheFolderSeparatorAndKind) {
    const std::regex stamp(R"(AU\d{4}-\d\d-\d\d \d{6})");
    struct Case {
        std::string folder;
        std::string prefix;  // what the path starts with
        int type;
        bool sample;
        std::string suffix;
    };
    const std::string backslashed = m_dir + "/rec\\";
    const Case cases[] = {
        {m_dir + "/", m_dir + "/AU", capdev::kWriterMp3, false, ".mp3"},
        {m_dir, m_dir + "/AU", capdev::kWriterWav, false, ".wav"},
        {m_dir, m_dir + "/AU", capdev::kWriterWav, true, " temp.wav"},
        {backslashed, backslashed + "AU", capdev::kWriterWav, true, " temp.wav"},
    };
    for (const Case& c : cases) {
        CAudioFileWriter w;
        ASSERT_EQ(w.open(c.type, c.folder.c_str(), kStereo16, 44100, kStereo16, 44100, c.sample, 128), 0)
            << c.folder << ": " << w.lastError();
        const std::string name = w.name();
        EXPECT_TRUE(fs::exists(name));
        ASSERT_EQ(name.rfind(c.prefix, 0), 0u) << name;
        const std::string rest = name.substr(c.prefix.size() - 2);
        EXPECT_TRUE(std::regex_match(rest, std::regex(std::string(R"(AU\d{4}-\d\d-\d\d \d{6})") +
                                                       std::regex_replace(c.suffix, std::regex("\\."), "\\."))))
            << rest;
        EXPECT_EQ(w.close(), 0);
    }
}

TEST_F(WriterTest, OpensWithinOneSecondNeverReplaceAFile) {
    // Retried until all three opens fall within the same second.
    for (int attempt = 0; attempt < 5; ++attempt) {
        testsupport::removeTree(m_dir);
        fs::create_directories(m_dir);
        CAudioFileWriter a, b, c;
        ASSERT_EQ(openIn(a, capdev::kWriterWav, m_dir), 0);
        const std::vector<unsigned char> block(7056, 0x22);
        ASSERT_EQ(a.write(7056, block.data()), 0);
        const std::string first = a.name();
        ASSERT_EQ(a.close(), 0);
        ASSERT_EQ(openIn(b, capdev::kWriterWav, m_dir), 0);
        ASSERT_EQ(openIn(c, capdev::kWriterWav, m_dir, 44100, true), 0);
        CAudioFileWriter d;
        ASSERT_EQ(openIn(d, capdev::kWriterWav, m_dir, 44100, true), 0);
        const std::string second = b.name(), sample = c.name(), sample2 = d.name();
        if (second.substr(0, first.size() - 4) != first.substr(0, first.size() - 4)) continue;

        EXPECT_EQ(second, first.substr(0, first.size() - 4) + " (2).wav");
        EXPECT_EQ(sample, first.substr(0, first.size() - 4) + " temp.wav");
        EXPECT_EQ(sample2, first.substr(0, first.size() - 4) + " temp (2).wav");
        EXPECT_EQ(fs::file_size(first), 46u + 7056u);  // the first file kept its samples
        EXPECT_EQ(filesIn(m_dir).size(), 4u);
        return;
    }
    FAIL() << "could not open the files within one second";
}

TEST_F(WriterTest, BadFoldersAndStatesGiveTheirCodes) {
    CAudioFileWriter w;
    const char block[8] = {};
    EXPECT_EQ(w.write(8, block), capdev::kWriterNoFile);
    EXPECT_EQ(w.close(), capdev::kWriterNoFile);
    EXPECT_EQ(w.open(0, nullptr, kStereo16, 44100, kStereo16, 44100, false, 128), capdev::kWriterNoFile);

    // A missing folder, and a "folder" that is a plain file: unwritable even
    // for root.
    EXPECT_EQ(openIn(w, capdev::kWriterWav, m_dir + "/missing"), capdev::kWriterCreateFailed);
    std::ofstream(m_dir + "/plain") << "x";
    EXPECT_EQ(openIn(w, capdev::kWriterMp3, m_dir + "/plain"), capdev::kWriterCreateFailed);
    EXPECT_NE(w.lastError().find("cannot create"), std::string::npos) << w.lastError();
    EXPECT_FALSE(w.isOpen());

    // A folder name that is not UTF-8 is refused, with nothing created.
    const std::string latin1 = m_dir + "/caf\xe9";
    fs::create_directories(latin1);
    EXPECT_EQ(openIn(w, capdev::kWriterWav, latin1), capdev::kWriterCreateFailed);
    EXPECT_NE(w.lastError().find("UTF-8"), std::string::npos);
    EXPECT_TRUE(fs::is_empty(latin1));
    // ... while real UTF-8 is written as given.
    const std::string utf8 = m_dir + "/caf\xc3\xa9 \xe2\x99\xaa";
    fs::create_directories(utf8);
    ASSERT_EQ(openIn(w, capdev::kWriterWav, utf8), 0) << w.lastError();
    EXPECT_EQ(w.close(), 0);
    EXPECT_EQ(filesIn(utf8).size(), 1u);

    // Unknown type, and three channels for MP3: nothing left behind.
    EXPECT_EQ(openIn(w, 2, m_dir), capdev::kWriterBadType);
    const PcmFormat surround{16, 3};
    EXPECT_EQ(w.open(0, m_dir.c_str(), surround, 44100, surround, 44100, false, 128),
              capdev::kWriterTooManyChannels);
    EXPECT_FALSE(w.isOpen());
    EXPECT_EQ(filesIn(m_dir), std::vector<std::string>({"caf\xc3\xa9 \xe2\x99\xaa", "caf\xe9", "plain"}));
}

TEST_F(WriterTest, ReopenClosesTheOpenFileFirst) {
    CAudioFileWriter w;
    ASSERT_EQ(openIn(w, capdev::kWriterWav, m_dir), 0);
    const std::string first = w.name();
    const std::vector<unsigned char> block(400, 1);
    ASSERT_EQ(w.write(400, block.data()), 0);
    ASSERT_EQ(openIn(w, capdev::kWriterMp3, m_dir), 0);
    EXPECT_EQ(le32(readFile(first), 42), 400u);
    EXPECT_NE(first, w.name());
}

// In a child limited to a small file size (as a full disk would), writes
// until the writer reports an error. Child exit codes: 0 the write error was
// reported and close reported it too; 1 the writes never failed; 2 open
// failed; 3 close claimed success.
int fillUntilFull(int type, const std::string& dir, std::string* path) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {200000, 200000};
        setrlimit(RLIMIT_FSIZE, &limit);
        CAudioFileWriter w;
        if (w.open(type, dir.c_str(), kStereo16, 44100, kStereo16, 44100, false, 320) != 0) _exit(2);
        const std::string name = w.name();
        if (write(fds[1], name.data(), name.size()) < 0) _exit(4);
        close(fds[1]);
        const auto pcm = pcmtest::sine(440, 44100, 2, 1764);
        int res = 0;
        for (int i = 0; i < 2000 && res == 0; ++i) res = w.write(7056, pcm.data());
        if (res != capdev::kWriterWriteFailed) _exit(1);
        _exit(w.close() == capdev::kWriterWriteFailed ? 0 : 3);
    }
    close(fds[1]);
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) path->append(buf, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(WriterTest, FullDiskIsAWriteErrorAndTheFileStillPlays) {
    for (int type : {capdev::kWriterWav, capdev::kWriterMp3}) {
        std::string path;
        EXPECT_EQ(fillUntilFull(type, m_dir, &path), 0) << "type " << type;
        ASSERT_FALSE(path.empty());
        const auto size = fs::file_size(path);
        EXPECT_LE(size, 200000u);
        EXPECT_GT(size, 100000u);
        auto v = probe(path);
        EXPECT_EQ(v["sample_rate"], "44100");
        EXPECT_GT(std::stod(v["duration"]), 0.5);
        if (type == capdev::kWriterWav) {
            // The header counts exactly the samples that reached the file.
            const auto b = readFile(path);
            const uint32_t data = le32(b, 42);
            EXPECT_EQ(data % 4, 0u);
            EXPECT_EQ(data, (size - 46) / 4 * 4);
            EXPECT_EQ(le32(b, 4), data + 38);
        }
    }
}

}  // namespace
