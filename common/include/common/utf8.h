#pragma once

// UTF-8 as every part of the system reads it: one character at a time, with
// the same replacement rule everywhere; a whole-text check; and cutting a
// text between characters to fit a fixed field.

#include <cstddef>
#include <cstdint>
#include <string>

namespace common {

constexpr uint32_t kReplacementChar = 0xFFFD;

// What DecodeUtf8 found at the start of its input.
struct Utf8Char {
    uint32_t codePoint = 0;  // the character, or kReplacementChar
    std::size_t length = 0;  // bytes taken: at least 1 unless the input was empty
    bool valid = false;      // false: an ill-formed sequence, read as kReplacementChar
    bool truncated = false;  // ill-formed only because the input ended inside it
};

// Reads the character at text[0..size). A well-formed sequence (shortest
// form, no surrogate, nothing above U+10FFFF) gives its code point. Anything
// else gives kReplacementChar for the longest beginning of a well-formed
// sequence that is there (at least one byte), so the next byte is read
// afresh: "\xC3" "A" reads as U+FFFD then 'A', a stray continuation byte is
// one U+FFFD, and overlong forms such as "\xC0\xAF" or encoded surrogates are
// refused byte by byte. A NUL byte is the character U+0000.
Utf8Char DecodeUtf8(const char* text, std::size_t size);

// True when the NUL-terminated text is well-formed UTF-8 (null is not).
bool IsValidUtf8(const char* text);

// Where to cut `text` when text[cut] is the first byte that must go: `cut`,
// or the start of the UTF-8 character that byte belongs to, so that no
// character is split. text[cut] must be readable. Bytes that are no UTF-8
// are cut at `cut`.
std::size_t WholeCharacterCut(const char* text, std::size_t cut);

// Copies src into a fixed field of `size` bytes: at most size - 1 bytes,
// never part of a UTF-8 character, always NUL-terminated. A null src gives
// the empty text.
void CopyText(char* dst, std::size_t size, const char* src);
template <std::size_t N>
void CopyText(char (&dst)[N], const char* src) {
    CopyText(dst, N, src);
}
template <std::size_t N>
void CopyText(char (&dst)[N], const std::string& src) {
    CopyText(dst, N, src.c_str());
}

}  // namespace common
