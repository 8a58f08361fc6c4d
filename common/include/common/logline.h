#pragma once

// The printf-style formatter behind every "Class::Method phrase value" line
// that the capture engine hands to the program and that the service writes
// into its log: at most 1023 characters, formatted into a buffer on the
// caller's stack (no allocation, so delivery threads may log).

#include <cstdarg>
#include <cstddef>

namespace common {

// Bytes of a line buffer: 1023 characters and the terminating NUL.
constexpr std::size_t kLogLineBytes = 1024;

class LogLine {
public:
    // Formats like vsnprintf; a longer result is cut to 1023 bytes. Does not
    // consume `args` for the caller (it works on a copy).
    __attribute__((format(printf, 2, 0))) LogLine(const char* format, va_list args) noexcept;
    LogLine(const LogLine&) = delete;
    LogLine& operator=(const LogLine&) = delete;

    const char* c_str() const noexcept { return m_text; }
    // The text is handed to callbacks that take a non-const pointer; they
    // may read it only during the call.
    char* data() noexcept { return m_text; }
    // Bytes of the (possibly cut) text, without the NUL.
    std::size_t size() const noexcept { return m_size; }

private:
    char m_text[kLogLineBytes];
    std::size_t m_size = 0;
};

}  // namespace common
