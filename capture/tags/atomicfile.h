#pragma once

// A file written beside its final path under a temporary name and renamed
// into place once complete, so that the final path holds either the old file
// or the finished new one, never a half-written one.

#include <cstddef>
#include <string>

#include "common/fileowner.h"

namespace capdev {

class CAtomicFile {
public:
    CAtomicFile() = default;
    // Removes the temporary file unless Commit succeeded.
    ~CAtomicFile();
    CAtomicFile(const CAtomicFile&) = delete;
    CAtomicFile& operator=(const CAtomicFile&) = delete;

    // Creates the temporary file in the folder of `path` (UTF-8). A file that
    // already exists at `path` lends its permissions; a new one gets those of
    // a newly created file (0666 less the umask). The temporary name is a
    // dot, the final name and a unique suffix; the final name is cut (between
    // characters) so that the whole stays within the folder's name limit.
    // Returns false on failure.
    bool Create(const std::string& path);

    // Appends all `bytes`; false on a write error (a full disk).
    bool Write(const void* data, std::size_t bytes);

    // Flushes to the disk, closes and renames over the final path.
    bool Commit();

private:
    std::string m_path;
    std::string m_tempPath;
    common::UniqueFd m_fd;
};

}  // namespace capdev
