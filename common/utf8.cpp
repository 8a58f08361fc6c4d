#include "common/utf8.h"

#include <cstring>

namespace common {

namespace {

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

Utf8Char DecodeUtf8(const char* text, std::size_t size) {
    Utf8Char out;
    out.codePoint = kReplacementChar;
    if (text == nullptr || size == 0) return out;
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    const unsigned char lead = s[0];
    out.length = 1;
    if (lead < 0x80) {
        out.codePoint = lead;
        out.valid = true;
        return out;
    }
    // The well-formed sequences: how many bytes follow the lead, and the
    // range of the first of them (the others are 80..BF). The narrowed
    // ranges keep out overlong forms, surrogates and values past U+10FFFF.
    std::size_t trail = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    uint32_t value = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        trail = 1;
        value = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        trail = 2;
        value = lead & 0x0Fu;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        trail = 3;
        value = lead & 0x07u;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return out;  // a continuation byte, or a byte no sequence starts with
    }
    for (std::size_t i = 1; i <= trail; ++i) {
        if (i >= size) {
            out.truncated = true;
            return out;
        }
        const unsigned char next = s[i];
        const bool inRange = i == 1 ? next >= low && next <= high : IsContinuation(next);
        if (!inRange) return out;
        value = (value << 6) | (next & 0x3Fu);
        out.length = i + 1;
    }
    out.codePoint = value;
    out.valid = true;
    return out;
}

bool IsValidUtf8(const char* text) {
    if (text == nullptr) return false;
    std::size_t size = std::strlen(text);
    while (size > 0) {
        const Utf8Char c = DecodeUtf8(text, size);
        if (!c.valid) return false;
        text += c.length;
        size -= c.length;
    }
    return true;
}

std::size_t WholeCharacterCut(const char* text, std::size_t cut) {
    auto continuation = [](char c) { return IsContinuation(static_cast<unsigned char>(c)); };
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

void CopyText(char* dst, std::size_t size, const char* src) {
    if (size == 0) return;
    std::size_t len = 0;
    if (src != nullptr) {
        while (len < size - 1 && src[len] != '\0') ++len;
        if (src[len] != '\0') len = WholeCharacterCut(src, len);
        std::memcpy(dst, src, len);
    }
    dst[len] = '\0';
}

}  // namespace common
