#include "songinfostore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <cstring>

#include "library/libraryfiles.h"
#include "library/musicdb.h"
#include "localfile.h"
#include "specialdirs.h"

namespace {

constexpr int kMaxCovers = 5;

// Drops cover number index of the record: its CoverInfo row, and its file
// when it lies in pictures and no other cover names it; the covers behind
// it move up one place.
void DropCover(SongRecord* record, int index, const QString& pictures) {
    RecordMusicInfo& tags = record->tags;
    const QString path = TagText(tags.imagePaths[index]);
    if (tags.reserved[index] != 0) DB_DeleteImage(tags.reserved[index]);
    if (!path.isEmpty() && LiesIn(path, pictures) && !DB_ImageExists(path)) QFile::remove(path);
    for (int i = index; i + 1 < tags.imageCount; ++i) {
        std::memcpy(tags.imagePaths[i], tags.imagePaths[i + 1], sizeof tags.imagePaths[i]);
        tags.reserved[i] = tags.reserved[i + 1];
    }
    --tags.imageCount;
    std::memset(tags.imagePaths[tags.imageCount], 0, sizeof tags.imagePaths[0]);
    tags.reserved[tags.imageCount] = 0;
}

// The genres of an answer as the library keeps them: each entry without
// its level mark ("2.Alternative Rock" is "Alternative Rock"), blank
// entries dropped, the rest joined by ";" with none after the last.
QString StoredGenre(const QString& answer) {
    static const QRegularExpression kLevelMark(QStringLiteral("^[123]\\."));
    QStringList entries;
    for (QString entry : answer.split(QLatin1Char(';'))) {
        entry = entry.trimmed().remove(kLevelMark).trimmed();
        if (!entry.isEmpty()) entries.push_back(entry);
    }
    return entries.join(QLatin1Char(';'));
}

// A file name for a cover copied into the pictures folder: the image's
// base name, the time and its suffix; " 2", " 3", ... before the suffix
// when a cover of that name exists already.
QString CoverCopyPath(const QString& pictures, const QFileInfo& image) {
    const QString stem =
        QStringLiteral("%1/%2_%3")
            .arg(pictures, image.completeBaseName(),
                 QDateTime::currentDateTime().toString(QStringLiteral("MM_dd_yyyy_hh_mm_ss")));
    const QString suffix = image.suffix().isEmpty() ? QString() : QLatin1Char('.') + image.suffix();
    QString path = stem + suffix;
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = stem + QLatin1Char(' ') + QString::number(n) + suffix;
    return path;
}

template <std::size_t N>
bool CopyIfGiven(char (&to)[N], const char (&from)[N]) {
    if (from[0] == '\0' || std::strncmp(to, from, N) == 0) return false;
    std::memcpy(to, from, N);
    to[N - 1] = '\0';
    return true;
}

}  // namespace

int SaveCovers(SongRecord* record, const RecordMusicInfo& answer, const QString& pictures) {
    RecordMusicInfo& tags = record->tags;
    tags.imageCount = qBound(0, int(tags.imageCount), kMaxCovers);
    const int images = qBound(0, int(answer.imageCount), kMaxCovers);
    if (images == 0) return 0;
    const QString first = TagText(answer.imagePaths[0]);
    for (int i = 0; i < tags.imageCount; ++i)
        if (TagText(tags.imagePaths[i]) == first) return 1;

    for (int image = images - 1; image >= 0; --image) {
        if (tags.imageCount >= kMaxCovers) {
            const int victim = record->ImageId == 0 ? 1 : 0;
            if (record->ImageId > 0) --record->ImageId;
            DropCover(record, victim, pictures);
        }
        std::memcpy(tags.imagePaths[tags.imageCount], answer.imagePaths[image],
                    sizeof tags.imagePaths[0]);
        tags.imagePaths[tags.imageCount][sizeof tags.imagePaths[0] - 1] = '\0';
        tags.reserved[tags.imageCount] = 0;
        ++tags.imageCount;
    }

    int stored = 0;
    for (int i = 0; i < tags.imageCount; ++i) {
        if (tags.reserved[i] != 0) continue;
        const int coverId = CreatePrimaryKey("CoverInfo", "CoverId", kCoverIdMin, kCoverIdMax);
        if (coverId < 0) {
            qWarning("SaveCovers no free CoverId, musicId: %d", record->MusicId);
            // Not stored: the record must not name it as a cover either.
            DropCover(record, i--, QString());
            continue;
        }
        tags.reserved[i] = coverId;
        DB_SetImageInfo(coverId, record->MusicId, tags.imagePaths[i]);
        ++stored;
    }
    return stored;
}

bool ApplyAnswerTexts(SongRecord* record, const RecordMusicInfo& answer) {
    RecordMusicInfo cleaned;
    std::memcpy(&cleaned, &answer, sizeof cleaned);
    SetTagText(cleaned.albumGenre, StoredGenre(TagText(answer.albumGenre)));

    RecordMusicInfo& tags = record->tags;
    bool changed = false;
    changed |= CopyIfGiven(tags.songName, cleaned.songName);
    changed |= CopyIfGiven(tags.artist, cleaned.artist);
    changed |= CopyIfGiven(tags.albumId, cleaned.albumId);
    changed |= CopyIfGiven(tags.album, cleaned.album);
    changed |= CopyIfGiven(tags.releaseDate, cleaned.releaseDate);
    changed |= CopyIfGiven(tags.albumGenre, cleaned.albumGenre);
    changed |= CopyIfGiven(tags.albumMusicList, cleaned.albumMusicList);
    return changed;
}

int StoreEditedCovers(SongRecord* record, const QList<EditedCover>& chosen, int selected) {
    RecordMusicInfo& tags = record->tags;
    const int oldCount = qBound(0, int(tags.imageCount), kMaxCovers);
    // Covers the user removed: their rows, and their files unless another
    // cover names them.
    for (int i = 0; i < oldCount; ++i) {
        const int coverId = tags.reserved[i];
        const bool kept = std::any_of(chosen.begin(), chosen.end(), [coverId](const EditedCover& cover) {
            return cover.coverId != 0 && cover.coverId == coverId;
        });
        if (kept || coverId == 0) continue;
        const QString path = TagText(tags.imagePaths[i]);
        DB_DeleteImage(coverId);
        RemoveUnusedCoverFile(path);
    }

    const QString pictures = SpecialDirPath(SpecialDir_Pictures);
    bool havePictures = true;
    if (pictures.isEmpty() || CreateDirectoryTree(pictures.toUtf8().constData()) != 0) {
        qWarning("StoreEditedCovers CreateDirectory Pictures_Dir: %s",
                 qUtf8Printable(pictures));
        havePictures = false;
    }

    RecordMusicInfo covers;
    std::memset(&covers, 0, sizeof covers);
    int shown = 0;
    for (int i = 0; i < chosen.size() && covers.imageCount < kMaxCovers; ++i) {
        QString path = chosen[i].path;
        int coverId = chosen[i].coverId;
        if (coverId == 0) {
            if (!havePictures) continue;
            const QString copy = CoverCopyPath(pictures, QFileInfo(path));
            if (!QFile::copy(path, copy)) {
                qWarning("StoreEditedCovers cannot copy cover %s to %s",
                         qUtf8Printable(path), qUtf8Printable(copy));
                continue;
            }
            coverId = CreatePrimaryKey("CoverInfo", "CoverId", kCoverIdMin, kCoverIdMax);
            if (coverId < 0) {
                QFile::remove(copy);
                continue;
            }
            path = copy;
            DB_SetImageInfo(coverId, record->MusicId, path.toUtf8().constData());
        }
        if (i == selected) shown = covers.imageCount;
        covers.reserved[covers.imageCount] = coverId;
        SetTagText(covers.imagePaths[covers.imageCount], path);
        ++covers.imageCount;
    }
    tags.imageCount = covers.imageCount;
    std::memcpy(tags.reserved, covers.reserved, sizeof tags.reserved);
    std::memcpy(tags.imagePaths, covers.imagePaths, sizeof tags.imagePaths);
    record->ImageId = shown;
    return covers.imageCount;
}
