#include "oldtag.h"

#include <cstring>

#include "capdev_tags.h"

namespace capdev {

namespace {

constexpr std::size_t kHeaderBytes = 10;
constexpr std::size_t kFooterBytes = 10;
constexpr unsigned char kFooterFlag = 0x10;

}  // namespace

int LocateAudio(const ReadAtFn& readAt, uint64_t fileSize, uint64_t* audioStart) {
    uint64_t offset = 0;
    for (int i = 0; i < kMaxStackedTags && offset < fileSize; ++i) {
        unsigned char header[kHeaderBytes];
        const long got = readAt(offset, header, sizeof header);
        if (got < 0) {
            return MUSICTAGS_ERR_IO;
        }
        if (got < 3 || std::memcmp(header, "ID3", 3) != 0) {
            break;
        }
        if (static_cast<std::size_t>(got) < kHeaderBytes) {
            return MUSICTAGS_ERR_BAD_SOURCE;
        }
        uint64_t size = 0;
        for (std::size_t b = 6; b < kHeaderBytes; ++b) {
            if ((header[b] & 0x80) != 0) {
                return MUSICTAGS_ERR_BAD_SOURCE;
            }
            size = size * 128 + header[b];
        }
        uint64_t total = kHeaderBytes + size;
        if (header[3] >= 4 && (header[5] & kFooterFlag) != 0) {
            total += kFooterBytes;
        }
        if (total > fileSize - offset) {
            return MUSICTAGS_ERR_BAD_SOURCE;
        }
        offset += total;
    }
    if (offset >= fileSize) {
        return MUSICTAGS_ERR_BAD_SOURCE;
    }
    *audioStart = offset;
    return 0;
}

}  // namespace capdev
