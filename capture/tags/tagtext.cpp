#include "tagtext.h"

#include <cstring>

#include "common/utf8.h"

namespace capdev {

namespace {

constexpr uint16_t kByteOrderMark = 0xFEFF;

// Reads the next character of s[*pos..size): an ill-formed sequence gives
// U+FFFD (see common::DecodeUtf8). Returns false at the end of the string or
// when a sequence is cut short by it.
bool NextCodePoint(const char* s, std::size_t size, std::size_t* pos, uint32_t* cp) {
    if (*pos >= size) {
        return false;
    }
    const common::Utf8Char c = common::DecodeUtf8(s + *pos, size - *pos);
    if (c.truncated) {
        return false;
    }
    *pos += c.length;
    *cp = c.codePoint;
    return true;
}

}  // namespace

TagText Utf8ToTagText(const char* utf8) {
    TagText out{};
    out[0] = kByteOrderMark;
    if (utf8 == nullptr) {
        return out;
    }
    const std::size_t size = std::strlen(utf8);
    std::size_t pos = 0;
    std::size_t units = 1;
    const std::size_t limit = 1 + kTagTextMaxChars;
    uint32_t cp = 0;
    while (units < limit && NextCodePoint(utf8, size, &pos, &cp)) {
        if (cp > 0xFFFF) {
            if (units + 2 > limit) {
                break;
            }
            cp -= 0x10000;
            out[units++] = static_cast<uint16_t>(0xD800 + (cp >> 10));
            out[units++] = static_cast<uint16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out[units++] = static_cast<uint16_t>(cp);
        }
    }
    return out;
}

std::size_t TagTextLength(const TagText& text) {
    std::size_t n = 0;
    while (n < text.size() && text[n] != 0) {
        ++n;
    }
    return n;
}

std::optional<std::string> WideToUtf8(const wchar_t* path) {
    if (path == nullptr) {
        return std::nullopt;
    }
    std::string out;
    for (const wchar_t* p = path; *p != 0; ++p) {
        const auto cp = static_cast<uint32_t>(*p);
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return std::nullopt;
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

}  // namespace capdev
