#pragma once

// Text conversions of the tag writer: the UTF-16 frame text handed to LAME,
// and the wchar_t paths of the export turned into file-system names.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace capdev {

// Units of one converted frame text, the byte-order mark and the terminating
// zero included.
constexpr std::size_t kTagTextUnits = 128;
// Units of text kept after the byte-order mark.
constexpr std::size_t kTagTextMaxChars = kTagTextUnits - 2;

using TagText = std::array<uint16_t, kTagTextUnits>;

// Converts NUL-terminated UTF-8 into U+FEFF, at most 126 UTF-16 units and a
// zero, the rest of the buffer zero. Characters outside the basic plane
// become surrogate pairs; a pair that would not fit whole is left out, as is
// everything after it. A sequence cut short by the end of the string ends the
// text. Any other ill-formed input becomes U+FFFD, one for each invalid
// sequence as common::DecodeUtf8 delimits them (a stray continuation byte, a
// lead byte whose continuation bytes are missing, each byte of an overlong
// form, an encoded surrogate or a value above U+10FFFF), and the character
// after it is kept.
TagText Utf8ToTagText(const char* utf8);

// Number of units before the terminating zero, byte-order mark included.
std::size_t TagTextLength(const TagText& text);

// Converts a wchar_t (UTF-32) path into UTF-8. Empty when `path` is null or
// holds a value that is not a Unicode scalar value.
std::optional<std::string> WideToUtf8(const wchar_t* path);

}  // namespace capdev
