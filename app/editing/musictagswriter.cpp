#include "musictagswriter.h"

#include <string>

#include "library/musicdb.h"

#ifdef RECDECK_WITH_CAPDEV
#include "capdev_tags.h"
#endif

int WriteMusicTags(const SongRecord& record) {
    // Compared case-sensitively, as the names the recorder gives end.
    if (!record.MusicPath.endsWith(QLatin1String("mp3"))) return MusicTags_NotMp3;
#ifdef RECDECK_WITH_CAPDEV
    const RecordMusicInfo& tags = record.tags;
    const char* picture = nullptr;
    if (tags.imageCount > 0) {
        const int count = qMin(int(tags.imageCount), 5);
        const int shown = record.ImageId >= 0 && record.ImageId < count ? record.ImageId : 0;
        picture = tags.imagePaths[shown];
    }
    const MusicTagsInfo info{tags.songName,    tags.artist,     tags.album,
                             tags.releaseDate, tags.albumGenre, picture};
    const std::wstring path = record.MusicPath.toStdWString();
    const int result = SetMusicTagsInfo(&info, path.c_str(), path.c_str());
    if (result != 0)
        qWarning("SetMusicTagsInfo failed, musicId: %d Err: %d", record.MusicId, result);
    return result;
#else
    qWarning("SetMusicTagsInfo failed, musicId: %d Err: no tag writer", record.MusicId);
    return MusicTags_NoWriter;
#endif
}
