#include "treewidgetitem.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>

#include "musicdb.h"

namespace {
QString Tr(const char* text) {
    return QCoreApplication::translate("CShowListWidget", text);
}
}  // namespace

QString CTreeWidgetItem::Text(int column, int listId) const {
    switch (column) {
    case 2:
        return m_name.isEmpty() ? QFileInfo(m_path).completeBaseName() : m_name;
    case 3:
        return m_time;
    case 4:
        return m_artist.isEmpty() ? Tr("Unknown Artist") : m_artist;
    case 5:
        return m_album.isEmpty() ? Tr("Unknown Album") : m_album;
    case 6:
        return m_genre.isEmpty() ? Tr("Other") : m_genre;
    case 7:
        return listId == List_RecentlyPlayed ? PlayedText() : AddedText();
    default:
        return QString();
    }
}

QString CTreeWidgetItem::AddedText() const {
    return m_dateAdded.left(kDateTextLength);
}

QString CTreeWidgetItem::PlayedText() const {
    return HasPlayTime() ? m_dateAdded.right(kDateTextLength) : QString();
}

bool CTreeWidgetItem::HasPlayTime() const {
    return m_dateAdded.size() > kDateTextLength;
}

void CTreeWidgetItem::SetFromRecord(const SongRecord& record) {
    m_path = record.MusicPath;
    m_name = TagText(record.tags.songName);
    m_artist = TagText(record.tags.artist);
    m_album = TagText(record.tags.album);
    m_genre = TagText(record.tags.albumGenre);
    m_time = record.TimeRecorded;
    m_dateAdded = record.DateAdded;
    m_imageId = record.ImageId;
    m_coverPath = record.CoverPath();
}

void CTreeWidgetItem::SetFromView(const MusicInfoView& view) {
    m_path = QString::fromUtf8(view.MusicPath);
    m_name = QString::fromUtf8(view.MusicName);
    m_artist = QString::fromUtf8(view.Artist);
    m_album = QString::fromUtf8(view.Album);
    m_genre = QString::fromUtf8(view.Genre);
    m_time = QString::fromUtf8(view.TimeRecorded);
    m_dateAdded = QString::fromUtf8(view.DateAdded);
    m_imageId = view.ImageId;
}

QString DateSortKey(const QString& date) {
    if (date.size() < 10) return date;
    QString key;
    key.reserve(date.size());
    key.append(QStringView(date).mid(6, 4));
    key.append(QStringView(date).left(6));
    key.append(QStringView(date).mid(10));
    return key;
}

QString LibraryDateText() {
    return QDateTime::currentDateTime().toString(QStringLiteral("MM/dd/yyyy hh:mm"));
}

QString DurationText(qint64 seconds) {
    if (seconds < 0) seconds = 0;
    const qint64 hours = seconds / 3600;
    const QString minutesSeconds = QStringLiteral("%1:%2")
                                       .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'))
                                       .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return hours > 0 ? QString::number(hours) + QLatin1Char(':') + minutesSeconds : minutesSeconds;
}
