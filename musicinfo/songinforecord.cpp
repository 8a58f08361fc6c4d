#include "songinforecord.h"

#include <algorithm>
#include <cstring>

namespace aws {

void ClearSongInfoRecord(SongInfoRecord* record) {
    std::memset(record, 0, sizeof(*record));
    for (ImageEntry& image : record->images) {
        image.imageIndex = -1;
        image.width = -1;
        image.height = -1;
    }
}

std::size_t WholeCharacterCut(const char* text, std::size_t cut) {
    auto continuation = [](char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; };
    if (!continuation(text[cut])) return cut;
    // A character is at most four bytes: its lead byte is one of the three
    // before the cut.
    for (std::size_t k = cut; k > 0 && cut - k < 3;) {
        --k;
        if (continuation(text[k])) continue;
        return static_cast<unsigned char>(text[k]) >= 0xC0 ? k : cut;
    }
    return cut;
}

void CopyText(char* dst, std::size_t size, const char* src) {
    if (size == 0) return;
    std::size_t len = 0;
    if (src != nullptr) {
        while (len < size - 1 && src[len] != '\0') ++len;
        if (src[len] != '\0') len = WholeCharacterCut(src, len);
        std::memcpy(dst, src, len);
    }
    dst[len] = '\0';
}

void FillRecordMusicInfo(const SongInfoRecord& from, RecordMusicInfo* to) {
    std::memset(to, 0, sizeof(*to));
    CopyText(to->albumId, FieldText(from.albumId));
    CopyText(to->songName, FieldText(from.songName));
    CopyText(to->artist, FieldText(from.artist));
    CopyText(to->album, FieldText(from.album));
    CopyText(to->releaseDate, FieldText(from.releaseDate));
    CopyText(to->albumGenre, FieldText(from.albumGenre));
    CopyText(to->albumMusicList, FieldText(from.albumMusicList));
    to->imageCount = std::clamp(from.imageCount, 0, kMaxImages);
    for (int i = 0; i < to->imageCount; ++i) {
        CopyText(to->imagePaths[i], FieldText(from.images[i].path));
    }
}

}  // namespace aws
