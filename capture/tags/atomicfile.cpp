#include "atomicfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>

namespace capdev {

namespace {

std::atomic<unsigned> g_tempCounter{0};

}  // namespace

CAtomicFile::~CAtomicFile() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    if (!m_tempPath.empty()) {
        ::unlink(m_tempPath.c_str());
    }
}

bool CAtomicFile::Create(const std::string& path) {
    if (path.empty() || path.back() == '/') {
        return false;
    }
    m_path = path;
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);

    struct stat existing {};
    const bool replaces = ::stat(path.c_str(), &existing) == 0;
    if (replaces && !S_ISREG(existing.st_mode)) {
        return false;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[64];
        std::snprintf(suffix, sizeof suffix, ".%ld.%u.%ld.tmp", static_cast<long>(::getpid()),
                      g_tempCounter.fetch_add(1), static_cast<long>(std::time(nullptr)));
        std::string temp = folder + "." + base + suffix;
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            m_fd = fd;
            m_tempPath = std::move(temp);
            if (replaces && ::fchmod(m_fd, existing.st_mode & 07777) != 0) {
                return false;
            }
            return true;
        }
        if (errno != EEXIST) {
            return false;
        }
    }
    return false;
}

bool CAtomicFile::Write(const void* data, std::size_t bytes) {
    if (m_fd < 0) {
        return false;
    }
    const auto* p = static_cast<const char*>(data);
    while (bytes > 0) {
        const ssize_t n = ::write(m_fd, p, bytes);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        p += n;
        bytes -= static_cast<std::size_t>(n);
    }
    return true;
}

bool CAtomicFile::Commit() {
    if (m_fd < 0) {
        return false;
    }
    const bool synced = ::fsync(m_fd) == 0;
    const bool closed = ::close(m_fd) == 0;
    m_fd = -1;
    if (!synced || !closed || ::rename(m_tempPath.c_str(), m_path.c_str()) != 0) {
        return false;
    }
    m_tempPath.clear();
    return true;
}

}  // namespace capdev
