#pragma once

// Opening files that a library, a user or another program names: only a
// regular file is ever read. A FIFO without a writer would hold open() (or
// the first read) forever and a device may never end, so those count as
// missing files.

#include <sys/stat.h>

#include "common/fileowner.h"

namespace common {

// Opens path for reading when it names a regular file (symbolic links are
// followed). The open never blocks; the descriptor returned blocks again as
// usual. An empty owner for anything else, with errno set (ENXIO for a
// FIFO, device, socket or folder). *st receives the file's status when
// given. Any thread.
UniqueFd OpenRegularFile(const char* path, struct stat* st = nullptr) noexcept;

// Whether path names a regular file now (symbolic links followed), without
// opening it.
bool IsRegularFile(const char* path) noexcept;

}  // namespace common
