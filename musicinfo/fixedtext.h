#pragma once

// Texts in the fixed-width character fields of the exported records.

#include <cstddef>
#include <cstring>
#include <string>

namespace aws {

// Where to cut a text whose byte text[cut] is the first one left out: cut,
// or the start of the UTF-8 character that byte belongs to, so that no
// character is split. Bytes that are no UTF-8 are cut at `cut`.
inline std::size_t WholeCharacterCut(const char* text, std::size_t cut) {
    auto continuation = [](char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; };
    if (!continuation(text[cut])) return cut;
    // A character is at most four bytes: its lead byte is one of the three
    // before the cut.
    for (std::size_t k = cut; k > 0 && cut - k < 3;) {
        --k;
        if (continuation(text[k])) continue;
        return static_cast<unsigned char>(text[k]) >= 0xC0 ? k : cut;
    }
    return cut;
}

// Copies src into a fixed field of `size` bytes: at most size - 1 bytes,
// never part of a UTF-8 character, always NUL-terminated. A NULL src gives
// the empty text.
inline void CopyText(char* dst, std::size_t size, const char* src) {
    if (size == 0) return;
    std::size_t len = 0;
    if (src != nullptr) {
        while (len < size - 1 && src[len] != '\0') ++len;
        if (src[len] != '\0') len = WholeCharacterCut(src, len);
        std::memcpy(dst, src, len);
    }
    dst[len] = '\0';
}
template <std::size_t N>
void CopyText(char (&dst)[N], const char* src) { CopyText(dst, N, src); }
template <std::size_t N>
void CopyText(char (&dst)[N], const std::string& src) { CopyText(dst, N, src.c_str()); }

}  // namespace aws
