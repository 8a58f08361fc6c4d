// The WAV reader against well-formed, odd and broken files.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "coretestsupport.h"
#include "privatehome.h"
#include "wav/wavfile.h"

namespace {

std::string Le16(std::uint16_t v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
std::string Le32(std::uint32_t v) { return Le16(static_cast<std::uint16_t>(v & 0xFFFF)) + Le16(static_cast<std::uint16_t>(v >> 16)); }

std::string Chunk(const std::string& id, const std::string& body) { return id + Le32(static_cast<std::uint32_t>(body.size())) + body; }
std::string ChunkSized(const std::string& id, std::uint32_t size, const std::string& body) { return id + Le32(size) + body; }

std::string FmtBody(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate, std::uint16_t bits) {
    const std::uint16_t align = static_cast<std::uint16_t>(channels * (bits / 8));
    return Le16(tag) + Le16(channels) + Le32(rate) + Le32(rate * align) + Le16(align) + Le16(bits);
}

std::string Riff(const std::string& chunks) {
    return "RIFF" + Le32(static_cast<std::uint32_t>(4 + chunks.size())) + "WAVE" + chunks;
}

class WavFileTest : public ::testing::Test {
protected:
    void SetUp() override { m_dir = testsupport::makeTempDir("tunecap-wav") + "/"; }
    void TearDown() override { testsupport::removeTree(m_dir); }

    std::unique_ptr<aws::WavFile> OpenBytes(const std::string& bytes) {
        const std::string path = m_dir + "t.wav";
        EXPECT_TRUE(coretest::WriteFile(path, bytes));
        m_messages.clear();
        return aws::WavFile::Open(path.c_str(), &m_messages);
    }
    std::string m_dir;
    std::string m_messages;
};

TEST_F(WavFileTest, ReadsFormatAndFindsDataPastOtherChunks) {
    const std::string samples = "\x01\x02\x03\x04\x05\x06\x07\x08";
    const std::string file = Riff(Chunk("LIST", "abcd") + Chunk("fmt ", FmtBody(1, 2, 44100, 16)) +
                                  Chunk("fact", Le32(2)) + Chunk("data", samples) + Chunk("tail", "zz"));
    auto wav = OpenBytes(file);
    ASSERT_NE(wav, nullptr) << m_messages;
    const aws::WavFileInfo& i = wav->Info();
    EXPECT_STREQ(i.riffId, "RIFF");
    EXPECT_STREQ(i.waveId, "WAVE");
    EXPECT_STREQ(i.formatId, "fmt");
    EXPECT_EQ(i.formatSize, 16u);
    EXPECT_EQ(i.formatTag, 1);
    EXPECT_EQ(i.channels, 2);
    EXPECT_EQ(i.sampleRate, 44100u);
    EXPECT_EQ(i.byteRate, 176400u);
    EXPECT_EQ(i.blockAlign, 4);
    EXPECT_EQ(i.bitsPerSample, 16);
    EXPECT_EQ(i.extraSize, 0);
    EXPECT_STREQ(i.factId, "fact");
    EXPECT_EQ(i.factSize, 4u);
    EXPECT_STREQ(i.dataId, "data");
    EXPECT_EQ(i.dataSize, 8u);
    EXPECT_EQ(i.dataLength, 8u);
    EXPECT_EQ(i.fileSize, file.size());
    EXPECT_EQ(i.dataOffset, file.find(samples));
    EXPECT_TRUE(wav->IsUsablePcm());
    EXPECT_EQ(m_messages, "unhandled chunk: LIST, size: 4\n");

    // Sample data ends where the data chunk ends, not at the chunk after it.
    ASSERT_TRUE(wav->SeekToData());
    char buffer[64];
    ASSERT_EQ(wav->ReadData(buffer, sizeof buffer), 8u);
    EXPECT_EQ(std::string(buffer, 8), samples);
    EXPECT_EQ(wav->ReadData(buffer, sizeof buffer), 0u);
}

TEST_F(WavFileTest, RejectsWhatIsNoWaveFile) {
    std::string messages;
    EXPECT_EQ(aws::WavFile::Open(nullptr, &messages), nullptr);
    EXPECT_EQ(messages, "file_name is NULL\n");
    messages.clear();
    const std::string missing = m_dir + "missing.wav";
    EXPECT_EQ(aws::WavFile::Open(missing.c_str(), &messages), nullptr);
    EXPECT_EQ(messages, "fopen " + missing + " failedly\n");

    const std::string valid = Riff(Chunk("fmt ", FmtBody(1, 1, 8000, 8)) + Chunk("data", "ab"));
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"cut in the RIFF header", valid.substr(0, 11)},
        {"not RIFF", "RIFX" + valid.substr(4)},
        {"not WAVE", valid.substr(0, 8) + "AVI " + valid.substr(12)},
        {"cut in a chunk header", valid.substr(0, 16)},
        {"cut in the format body", valid.substr(0, 26)},
        {"no data chunk", Riff(Chunk("fmt ", FmtBody(1, 1, 8000, 8)))},
        {"huge chunk before the data", Riff(ChunkSized("junk", 0xFFFFFFF0u, "") + Chunk("data", "ab"))},
        {"huge format chunk", Riff(ChunkSized("fmt ", 0x7FFFFFFFu, FmtBody(1, 1, 8000, 8)) + Chunk("data", "ab"))},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(OpenBytes(c.bytes), nullptr) << c.what;
        EXPECT_NE(m_messages.find("error wav file\n"), std::string::npos) << c.what;
    }
}

TEST_F(WavFileTest, AcceptsCaseVariantsAndLongFormatChunks) {
    auto lower = OpenBytes(Riff(Chunk("FMT ", FmtBody(1, 1, 22050, 16)) + Chunk("data", "abcd")));
    ASSERT_NE(lower, nullptr) << m_messages;
    EXPECT_EQ(lower->Info().sampleRate, 22050u);

    auto upperData = OpenBytes("RIFF" + Le32(40) + "wave" + Chunk("fmt ", FmtBody(1, 1, 8000, 8)) + Chunk("DATA", "ab"));
    ASSERT_NE(upperData, nullptr) << m_messages;
    EXPECT_STREQ(upperData->Info().dataId, "DATA");

    // 18 bytes: the extra size is read; an extensible PCM format is usable.
    std::string ext = FmtBody(0xFFFE, 2, 48000, 16) + Le16(22) + Le16(16) + Le32(3) + Le16(1) +
                      std::string(14, '\0');
    auto extensible = OpenBytes(Riff(Chunk("fmt ", ext) + Chunk("data", "abcd")));
    ASSERT_NE(extensible, nullptr) << m_messages;
    EXPECT_EQ(extensible->Info().extraSize, 22);
    EXPECT_TRUE(extensible->IsUsablePcm());
}

TEST_F(WavFileTest, OddChunkSizesWithAndWithoutPadding) {
    const std::string fmt = Chunk("fmt ", FmtBody(1, 1, 8000, 8));
    auto padded = OpenBytes(Riff(fmt + Chunk("odd ", "abc") + std::string(1, '\0') + Chunk("data", "XY")));
    ASSERT_NE(padded, nullptr) << m_messages;
    EXPECT_EQ(padded->Info().dataLength, 2u);
    char b[4];
    ASSERT_TRUE(padded->SeekToData());
    ASSERT_EQ(padded->ReadData(b, sizeof b), 2u);
    EXPECT_EQ(std::string(b, 2), "XY");

    auto unpadded = OpenBytes(Riff(fmt + Chunk("odd ", "abc") + Chunk("data", "XY")));
    ASSERT_NE(unpadded, nullptr) << m_messages;
    ASSERT_TRUE(unpadded->SeekToData());
    ASSERT_EQ(unpadded->ReadData(b, sizeof b), 2u);
    EXPECT_EQ(std::string(b, 2), "XY");
}

TEST_F(WavFileTest, DataShorterThanAnnouncedIsCutAtTheEndOfTheFile) {
    const std::string fmt = Chunk("fmt ", FmtBody(1, 2, 44100, 16));
    for (std::uint32_t announced : {100u, 0xFFFFFFFFu}) {
        auto wav = OpenBytes(Riff(fmt + ChunkSized("data", announced, "abcdef")));
        ASSERT_NE(wav, nullptr) << m_messages;
        EXPECT_EQ(wav->Info().dataSize, announced);
        EXPECT_EQ(wav->Info().dataLength, 6u);
        char b[256];
        ASSERT_TRUE(wav->SeekToData());
        EXPECT_EQ(wav->ReadData(b, sizeof b), 6u);
        EXPECT_EQ(wav->ReadData(b, sizeof b), 0u);
    }
}

TEST_F(WavFileTest, FormatsThatCannotBeFingerprintedAreDescribedButNotUsable) {
    struct Case {
        const char* what;
        std::string fmtBody;
    } cases[] = {
        {"float", FmtBody(3, 2, 44100, 32)},
        {"zero channels", FmtBody(1, 0, 44100, 16)},
        {"zero rate", FmtBody(1, 2, 0, 16)},
        {"12 bits", FmtBody(1, 1, 8000, 12)},
        {"short format chunk", FmtBody(1, 2, 44100, 16).substr(0, 6)},
        {"wrong block align", Le16(1) + Le16(2) + Le32(44100) + Le32(176400) + Le16(3) + Le16(16)},
    };
    for (const Case& c : cases) {
        auto wav = OpenBytes(Riff(Chunk("fmt ", c.fmtBody) + Chunk("data", "abcd")));
        ASSERT_NE(wav, nullptr) << c.what << ": " << m_messages;
        EXPECT_FALSE(wav->IsUsablePcm()) << c.what;
    }
    auto zero = OpenBytes(Riff(Chunk("fmt ", FmtBody(1, 0, 44100, 16)) + Chunk("data", "abcd")));
    ASSERT_NE(zero, nullptr);
    EXPECT_EQ(zero->Info().channels, 0);
    // Data before any format chunk: found, with no format.
    auto noFormat = OpenBytes(Riff(Chunk("data", "abcd")));
    ASSERT_NE(noFormat, nullptr);
    EXPECT_FALSE(noFormat->IsUsablePcm());
}

}  // namespace
