// Reading, checking and cutting UTF-8: the rules every text conversion of
// the program and the libraries follows.
#include "common/utf8.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using common::kReplacementChar;

// Every character of `text` as DecodeUtf8 reads it, invalid ones as
// kReplacementChar.
std::vector<uint32_t> Decode(const std::string& text) {
    std::vector<uint32_t> out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const common::Utf8Char c = common::DecodeUtf8(text.data() + pos, text.size() - pos);
        EXPECT_GE(c.length, 1u);
        out.push_back(c.codePoint);
        pos += c.length;
    }
    return out;
}

constexpr uint32_t R = kReplacementChar;

TEST(Utf8Decode, WellFormedSequencesAtTheEdgesOfTheirRanges) {
    EXPECT_EQ(Decode(std::string("\0\x7F", 2)), (std::vector<uint32_t>{0, 0x7F}));
    EXPECT_EQ(Decode("\xC2\x80\xDF\xBF"), (std::vector<uint32_t>{0x80, 0x7FF}));
    EXPECT_EQ(Decode("\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF"),
              (std::vector<uint32_t>{0x800, 0xD7FF, 0xE000, 0xFFFF}));
    EXPECT_EQ(Decode("\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"), (std::vector<uint32_t>{0x10000, 0x10FFFF}));
    EXPECT_EQ(Decode("\xEF\xBF\xBD"), (std::vector<uint32_t>{R}));  // U+FFFD itself is valid
}

// One U+FFFD for the longest beginning of a sequence that is there, then
// the next byte is read afresh: a valid character after a broken one is
// never swallowed.
TEST(Utf8Decode, IllFormedInputGivesOneReplacementPerBrokenSequence) {
    EXPECT_EQ(Decode("\xC3" "A"), (std::vector<uint32_t>{R, 'A'}));
    EXPECT_EQ(Decode("\xE2\x82" "A"), (std::vector<uint32_t>{R, 'A'}));
    EXPECT_EQ(Decode("\xF0\x9F\x98" "A"), (std::vector<uint32_t>{R, 'A'}));
    EXPECT_EQ(Decode("\x80\xBF" "A"), (std::vector<uint32_t>{R, R, 'A'}));
    EXPECT_EQ(Decode("\xC3\xC3\xB6"), (std::vector<uint32_t>{R, 0xF6}));
    // Overlong forms, surrogates and values past U+10FFFF: no byte starts a
    // character.
    EXPECT_EQ(Decode("\xC0\xAF\xC1\xBF"), (std::vector<uint32_t>{R, R, R, R}));
    EXPECT_EQ(Decode("\xE0\x9F\xBF"), (std::vector<uint32_t>{R, R, R}));
    EXPECT_EQ(Decode("\xF0\x8F\xBF\xBF"), (std::vector<uint32_t>{R, R, R, R}));
    EXPECT_EQ(Decode("\xED\xA0\x80"), (std::vector<uint32_t>{R, R, R}));
    EXPECT_EQ(Decode("\xF4\x90\x80\x80"), (std::vector<uint32_t>{R, R, R, R}));
    EXPECT_EQ(Decode("\xF5\x80\xF8\xFF"), (std::vector<uint32_t>{R, R, R, R}));
}

TEST(Utf8Decode, SequenceCutByTheEndOfTheInputIsMarkedTruncated) {
    const common::Utf8Char cut = common::DecodeUtf8("\xF0\x9F\x98", 3);
    EXPECT_FALSE(cut.valid);
    EXPECT_TRUE(cut.truncated);
    EXPECT_EQ(cut.length, 3u);
    // Cut by a byte that does not belong: broken, not truncated.
    const common::Utf8Char broken = common::DecodeUtf8("\xF0\x9F" "A", 3);
    EXPECT_FALSE(broken.truncated);
    EXPECT_EQ(broken.length, 2u);
    EXPECT_EQ(common::DecodeUtf8("", 0).length, 0u);
}

TEST(Utf8Check, WholeTextsAreWellFormedOrNot) {
    EXPECT_TRUE(common::IsValidUtf8(""));
    EXPECT_TRUE(common::IsValidUtf8("/home/me/Gr\xC3\xB6\xC3\x9F" "e \xF0\x9F\x8E\xB5"));
    EXPECT_FALSE(common::IsValidUtf8(nullptr));
    for (const char* bad : {"\xC3", "a\x80", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF"})
        EXPECT_FALSE(common::IsValidUtf8(bad)) << bad;
}

TEST(Utf8Cut, FieldsTakeWholeCharactersOnly) {
    const std::string text = "ab\xE2\x82\xAC" "c";  // a, b, the euro sign, c
    EXPECT_EQ(common::WholeCharacterCut(text.c_str(), 2), 2u);
    EXPECT_EQ(common::WholeCharacterCut(text.c_str(), 3), 2u);
    EXPECT_EQ(common::WholeCharacterCut(text.c_str(), 4), 2u);
    EXPECT_EQ(common::WholeCharacterCut(text.c_str(), 5), 5u);
    // Bytes that are no UTF-8 are cut where asked.
    EXPECT_EQ(common::WholeCharacterCut("a\x80\x80\x80\x80\x80", 5), 5u);

    char field[6];
    common::CopyText(field, "ab\xE2\x82\xAC" "c");
    EXPECT_STREQ(field, "ab\xE2\x82\xAC");
    common::CopyText(field, "abcd\xC3\xB6");
    EXPECT_STREQ(field, "abcd");
    common::CopyText(field, std::string("xyz"));
    EXPECT_STREQ(field, "xyz");
    common::CopyText(field, nullptr);
    EXPECT_STREQ(field, "");
}

}  // namespace
