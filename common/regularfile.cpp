#include "common/regularfile.h"

#include <cerrno>
#include <fcntl.h>

namespace common {

UniqueFd OpenRegularFile(const char* path, struct stat* st) noexcept {
    if (path == nullptr || *path == '\0') {
        errno = ENOENT;
        return UniqueFd();
    }
    UniqueFd fd(::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat own {};
    struct stat* status = st != nullptr ? st : &own;
    if (!fd.valid() || ::fstat(fd.get(), status) != 0) return UniqueFd();
    if (!S_ISREG(status->st_mode)) {
        errno = ENXIO;
        return UniqueFd();
    }
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return UniqueFd();
    return fd;
}

bool IsRegularFile(const char* path) noexcept {
    struct stat st {};
    return path != nullptr && ::stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace common
