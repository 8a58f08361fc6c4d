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
