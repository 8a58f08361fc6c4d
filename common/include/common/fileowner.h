#pragma once

// Owners of open files: a stdio stream and a file descriptor. Each closes its
// file when it goes out of scope; neither reports the close result (call
// std::fclose(owner.release()) or UniqueFd::Close() where it matters).

#include <cstdio>
#include <memory>

#include <unistd.h>

namespace common {

struct FileCloser {
    void operator()(std::FILE* file) const noexcept {
        if (file != nullptr) std::fclose(file);
    }
};

// A stdio stream, closed with fclose.
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

// A file descriptor, closed with close. -1 holds nothing. Move-only.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) noexcept : m_fd(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const noexcept { return m_fd; }
    bool valid() const noexcept { return m_fd >= 0; }
    // Gives the descriptor up without closing it.
    int release() noexcept {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    // Closes the held descriptor (if any) and holds fd instead.
    void reset(int fd = -1) noexcept {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = fd;
    }
    // Closes the held descriptor; true when there was one and close
    // succeeded.
    bool Close() noexcept {
        const int fd = release();
        return fd >= 0 && ::close(fd) == 0;
    }

private:
    int m_fd = -1;
};

}  // namespace common
