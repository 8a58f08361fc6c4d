#include "common/logline.h"

#include <cstdio>

namespace common {

LogLine::LogLine(const char* format, va_list args) noexcept {
    va_list copy;
    va_copy(copy, args);
    const int n = format != nullptr ? std::vsnprintf(m_text, sizeof m_text, format, copy) : -1;
    va_end(copy);
    if (n < 0) {
        m_text[0] = '\0';
        m_size = 0;
    } else {
        m_size = static_cast<std::size_t>(n) < sizeof m_text ? static_cast<std::size_t>(n) : sizeof m_text - 1;
    }
}

}  // namespace common
