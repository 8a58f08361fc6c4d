// The frame text conversion and the old-tag skipping, below the export.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "capdev_tags.h"
#include "oldtag.h"
#include "tagfiles.h"
#include "tagtext.h"

namespace {

std::vector<uint16_t> Units(const char* utf8) {
    const capdev::TagText text = capdev::Utf8ToTagText(utf8);
    const std::size_t n = capdev::TagTextLength(text);
    for (std::size_t i = n; i < text.size(); ++i) {
        EXPECT_EQ(text[i], 0) << "unit " << i << " after the end is not cleared";
    }
    return std::vector<uint16_t>(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n));
}

TEST(TagText, ConvertsOneTwoThreeAndFourByteCharacters) {
    EXPECT_EQ(Units("Gr\xC3\xB6\xC3\x9F" "e"),
              (std::vector<uint16_t>{0xFEFF, 'G', 'r', 0xF6, 0xDF, 'e'}));
    EXPECT_EQ(Units("\xE6\x9B\xB2"), (std::vector<uint16_t>{0xFEFF, 0x66F2}));
    EXPECT_EQ(Units("\xF0\x9F\x98\x80!"), (std::vector<uint16_t>{0xFEFF, 0xD83D, 0xDE00, '!'}));
    EXPECT_EQ(Units(""), (std::vector<uint16_t>{0xFEFF}));
}

TEST(TagText, BadInputNeverLeavesHalfCharacters) {
    // Cut short by the end of the string: the conversion ends there.
    EXPECT_EQ(Units("ab\xF0\x9F\x98"), (std::vector<uint16_t>{0xFEFF, 'a', 'b'}));
    EXPECT_EQ(Units("ab\xC3"), (std::vector<uint16_t>{0xFEFF, 'a', 'b'}));
    // No sequence starts with 0xFF; an encoded surrogate is no character.
    // Each invalid sequence is one U+FFFD and the character after it is kept
    // (the reader's own cases are in the common tests).
    constexpr uint16_t R = 0xFFFD;
    EXPECT_EQ(Units("\xFFx"), (std::vector<uint16_t>{0xFEFF, R, 'x'}));
    EXPECT_EQ(Units("\xED\xA0\x80"), (std::vector<uint16_t>{0xFEFF, R, R, R}));
    EXPECT_EQ(Units("\xC3" "A"), (std::vector<uint16_t>{0xFEFF, R, 'A'}));
    EXPECT_EQ(Units("a\x80\x80z"), (std::vector<uint16_t>{0xFEFF, 'a', R, R, 'z'}));
    EXPECT_EQ(Units("\xF5\x9F\xC3\x98"), (std::vector<uint16_t>{0xFEFF, R, R, 0xD8}));
    // 126 units at most; a pair that does not fit whole is left out.
    const std::string fourByte = "\xF0\x9F\x98\x80";
    std::string text;
    for (int i = 0; i < 70; ++i) {
        text += fourByte;
    }
    const auto units = Units(text.c_str());
    ASSERT_EQ(units.size(), 127u);
    EXPECT_EQ(units[125], 0xD83D);
    EXPECT_EQ(units[126], 0xDE00);
    EXPECT_EQ(Units((std::string(125, 'a') + fourByte).c_str()).size(), 126u);
}

// Looks for the audio in an in-memory file.
int Locate(const tagtest::Bytes& file, uint64_t* start) {
    return capdev::LocateAudio(
        [&file](uint64_t offset, void* buffer, std::size_t bytes) -> long {
            if (offset >= file.size()) {
                return 0;
            }
            const std::size_t n = std::min<std::size_t>(bytes, file.size() - offset);
            std::memcpy(buffer, file.data() + offset, n);
            return static_cast<long>(n);
        },
        file.size(), start);
}

TEST(OldTag, SkipsFootersAndStackedTags) {
    const tagtest::Bytes audio = {0xFF, 0xFB, 0x90, 0x64};
    uint64_t start = 99;
    ASSERT_EQ(Locate(audio, &start), 0);
    EXPECT_EQ(start, 0u);

    tagtest::Bytes withFooter = tagtest::Id3Header(20, 4, 0x10);
    withFooter.resize(withFooter.size() + 20 + 10, 0);
    withFooter.insert(withFooter.end(), audio.begin(), audio.end());
    ASSERT_EQ(Locate(withFooter, &start), 0);
    EXPECT_EQ(start, 40u);

    tagtest::Bytes stacked = tagtest::Id3Header(5);
    stacked.resize(15, 0);
    const tagtest::Bytes second = tagtest::Id3Header(7);
    stacked.insert(stacked.end(), second.begin(), second.end());
    stacked.resize(stacked.size() + 7, 0);
    stacked.insert(stacked.end(), audio.begin(), audio.end());
    ASSERT_EQ(Locate(stacked, &start), 0);
    EXPECT_EQ(start, 32u);

    // The footer flag means nothing before version 4: those 10 bytes are audio.
    tagtest::Bytes v3Flag = tagtest::Id3Header(4, 3, 0x10);
    v3Flag.resize(14 + 10, 0);
    ASSERT_EQ(Locate(v3Flag, &start), 0);
    EXPECT_EQ(start, 14u);
}

TEST(OldTag, ReadErrorIsReported) {
    uint64_t start = 0;
    EXPECT_EQ(capdev::LocateAudio([](uint64_t, void*, std::size_t) -> long { return -1; }, 100,
                                  &start),
              MUSICTAGS_ERR_IO);
}

}  // namespace
