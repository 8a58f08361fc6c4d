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
    case 4:
    case 5:
    case 6:
        return ShownText(column);
    case 3:
        return m_time;
    case 7:
        return listId == List_RecentlyPlayed ? PlayedText() : AddedText();
    default:
        return QString();
    }
}

const QString& CTreeWidgetItem::ShownText(int column) const {
    // Translated once: the language does not change while the program runs.
    static const QString unknownArtist = Tr("Unknown Artist");
    static const QString unknownAlbum = Tr("Unknown Album");
    static const QString other = Tr("Other");
    static const QString none;
    switch (column) {
    case 2: return m_name.isEmpty() ? m_baseName : m_name;
    case 4: return m_artist.isEmpty() ? unknownArtist : m_artist;
    case 5: return m_album.isEmpty() ? unknownAlbum : m_album;
    case 6: return m_genre.isEmpty() ? other : m_genre;
    default: return none;
    }
}

QStringView CTreeWidgetItem::SearchText(int column) const {
    const QStringView all(m_searchText);
    switch (column) {
    case 2: return all.left(m_nameLength);
    case 4: return all.mid(m_nameLength + 1, m_artistLength);
    case 5: return all.mid(m_nameLength + m_artistLength + 2);
    default: return all;
    }
}

void CTreeWidgetItem::UpdateDerivedTexts() {
    m_baseName = m_name.isEmpty() ? QFileInfo(m_path).completeBaseName() : QString();
    const QString name = ShownText(2).toCaseFolded();
    const QString artist = ShownText(4).toCaseFolded();
    const QString album = ShownText(5).toCaseFolded();
    m_nameLength = int(name.size());
    m_artistLength = int(artist.size());
    m_searchText = name + QChar(0) + artist + QChar(0) + album;
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
    UpdateDerivedTexts();
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
    UpdateDerivedTexts();
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
