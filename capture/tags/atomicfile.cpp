#include "atomicfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "common/utf8.h"

namespace capdev {

namespace {

std::atomic<unsigned> g_tempCounter{0};

// The longest file name the folder takes.
long NameLimit(const std::string& folder) {
    const long limit = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    return limit > 0 ? limit : NAME_MAX;
}

// `name` cut between UTF-8 characters so that `extra` more bytes still fit
// within `limit`.
std::string CutName(const std::string& name, long limit, std::size_t extra) {
    const std::size_t room = limit > static_cast<long>(extra) ? static_cast<std::size_t>(limit) - extra : 0;
    if (name.size() <= room) {
        return name;
    }
    return name.substr(0, common::WholeCharacterCut(name.c_str(), room));
}

}  // namespace

CAtomicFile::~CAtomicFile() {
    m_fd.reset();
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
    const long nameMax = NameLimit(folder);
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[64];
        std::snprintf(suffix, sizeof suffix, ".%ld.%u.%ld.tmp", static_cast<long>(::getpid()),
                      g_tempCounter.fetch_add(1), static_cast<long>(std::time(nullptr)));
        std::string temp = folder + "." + CutName(base, nameMax, std::strlen(suffix) + 1) + suffix;
        common::UniqueFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (fd.valid()) {
            m_fd = std::move(fd);
            m_tempPath = std::move(temp);
            if (replaces && ::fchmod(m_fd.get(), existing.st_mode & 07777) != 0) {
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
    if (!m_fd.valid()) {
        return false;
    }
    const auto* p = static_cast<const char*>(data);
    while (bytes > 0) {
        const ssize_t n = ::write(m_fd.get(), p, bytes);
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
    if (!m_fd.valid()) {
        return false;
    }
    const bool synced = ::fsync(m_fd.get()) == 0;
    const bool closed = m_fd.Close();
    if (!synced || !closed || ::rename(m_tempPath.c_str(), m_path.c_str()) != 0) {
        return false;
    }
    m_tempPath.clear();
    return true;
}

}  // namespace capdev
