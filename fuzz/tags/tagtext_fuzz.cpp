// Feeds arbitrary bytes to the frame text conversion: the result must always
// be a byte-order mark, at most 126 units of well-formed UTF-16 (no lone
// surrogate) and zeros.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "tagtext.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const capdev::TagText units = capdev::Utf8ToTagText(text.c_str());
    const size_t n = capdev::TagTextLength(units);
    if (units[0] != 0xFEFF || n > 1 + capdev::kTagTextMaxChars) {
        std::abort();
    }
    for (size_t i = n; i < units.size(); ++i) {
        if (units[i] != 0) {
            std::abort();
        }
    }
    for (size_t i = 1; i < n; ++i) {
        const bool high = units[i] >= 0xD800 && units[i] <= 0xDBFF;
        const bool low = units[i] >= 0xDC00 && units[i] <= 0xDFFF;
        if (low) {
            std::abort();
        }
        if (high) {
            if (i + 1 >= n || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF) {
                std::abort();
            }
            ++i;
        }
    }
    return 0;
}
