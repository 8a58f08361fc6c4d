#include "log/tracelog.h"

#include <sys/stat.h>

namespace aws {

namespace {

// Numbered files tried before the log gives up; a bound only against a
// folder filled with full logs.
constexpr unsigned kMaxNumberedFiles = 100000;

bool IsFreeForLog(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return true;  // missing
    return static_cast<std::uint64_t>(st.st_size) < TraceLog::kFullSize;
}

}  // namespace

TraceLog& TraceLog::Instance() {
    static TraceLog log;
    return log;
}

void TraceLog::SetFolder(const std::string& folder) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (folder != m_folder) {
        m_file.reset();
        m_folder = folder;
    }
}

std::string TraceLog::ChooseFile(const std::string& basePath) {
    if (IsFreeForLog(basePath)) return basePath;

    // Split into folder, name and extension.
    const std::size_t slash = basePath.find_last_of("/\\");
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    std::size_t dot = basePath.rfind('.');
    if (dot == std::string::npos || dot < nameStart) dot = basePath.size();
    const std::string folder = basePath.substr(0, nameStart);
    const std::string name = basePath.substr(nameStart, dot - nameStart);
    const std::string ext = basePath.substr(dot);

    for (unsigned n = 1; n <= kMaxNumberedFiles; ++n) {
        std::string candidate = folder + name + "_" + std::to_string(n) + ext;
        if (IsFreeForLog(candidate)) return candidate;
    }
    return std::string();
}

bool TraceLog::Write(const std::string& entry) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_file) {
        if (m_folder.empty()) return false;
        const std::string path = ChooseFile(m_folder + "musicinfo.log");
        if (path.empty()) return false;
        for (int i = 0; i < kOpenTries && !m_file; ++i) {
            m_file.reset(std::fopen(path.c_str(), "a+"));
        }
        if (!m_file) return false;
        std::fseek(m_file.get(), 0, SEEK_END);
    }
    const bool written =
        std::fwrite(entry.data(), 1, entry.size(), m_file.get()) == entry.size();
    std::fflush(m_file.get());
    std::fseek(m_file.get(), 0, SEEK_END);
    const off_t position = ftello(m_file.get());
    // A failed write (a full disk) also closes the file: the next entry
    // starts over with a fresh open.
    if (!written || position < 0 || static_cast<std::uint64_t>(position) >= kFullSize) {
        m_file.reset();
    }
    return written;
}

void TraceLog::Close() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_file.reset();
}

}  // namespace aws
