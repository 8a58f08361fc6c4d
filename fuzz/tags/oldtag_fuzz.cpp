// Feeds arbitrary file heads to the old-tag skipping of the tag writer. The
// audio it finds must lie inside the file, past every tag it skipped, and a
// file it rejects must be one the writer may not copy.

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "capdev_tags.h"
#include "oldtag.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first byte scales the announced file size, so that files shorter
    // and longer than the bytes at hand are both tried.
    if (size == 0) {
        return 0;
    }
    const uint64_t fileSize = data[0] < 128 ? size - 1 : (size - 1) + (data[0] - 128) * 977u;
    const uint8_t* file = data + 1;
    const size_t held = size - 1;
    uint64_t start = UINT64_MAX;
    const int result = capdev::LocateAudio(
        [file, held](uint64_t offset, void* buffer, size_t bytes) -> long {
            if (offset >= held) {
                return 0;
            }
            const size_t n = bytes < held - offset ? bytes : static_cast<size_t>(held - offset);
            std::memcpy(buffer, file + offset, n);
            return static_cast<long>(n);
        },
        fileSize, &start);
    if (result == 0) {
        if (start >= fileSize) {
            std::abort();
        }
        // Without a tag at the head, the audio starts at the first byte.
        if ((held < 3 || std::memcmp(file, "ID3", 3) != 0) && start != 0) {
            std::abort();
        }
        if (start > 0 && start < 10) {
            std::abort();
        }
    } else if (result != MUSICTAGS_ERR_BAD_SOURCE) {
        std::abort();
    }
    return 0;
}
