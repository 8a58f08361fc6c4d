#include "toitunesthread.h"

#include <QFileInfo>

#include "library/musicdb.h"

iTunesBridge iTunesBridge::Jukebridge() {
    iTunesBridge bridge;
#ifdef RECDECK_WITH_JUKEBRIDGE
    bridge.Initialize = [] { return Pub_initializeiTunesDriver(); };
    bridge.AddSong = [](iTunesSongInfo song, int last) { return AddSongForiTunes(song, last); };
    bridge.Uninitialize = [] { return Pub_uninitializeiTunesDriver(); };
#else
    bridge.Initialize = [] { return -1; };
    bridge.AddSong = [](iTunesSongInfo, int) { return -1; };
    bridge.Uninitialize = [] { return 0; };
#endif
    return bridge;
}

int32_t YearFromText(const QString& text) {
    const QString trimmed = text.trimmed();
    qsizetype digits = 0;
    while (digits < trimmed.size() && trimmed[digits].isDigit() && trimmed[digits].unicode() < 128)
        ++digits;
    if (digits == 0) return 0;
    bool ok = false;
    const int year = trimmed.left(digits).toInt(&ok);
    return ok ? year : 0;
}

iTunesSong iTunesSong::FromRecord(const SongRecord& record) {
    iTunesSong song;
    song.file = record.MusicPath.toUtf8();
    song.title = TagText(record.tags.songName).toUtf8();
    song.artist = TagText(record.tags.artist).toUtf8();
    song.album = TagText(record.tags.album).toUtf8();
    song.genre = TagText(record.tags.albumGenre).toUtf8();
    song.year = YearFromText(TagText(record.tags.releaseDate));
    const QString cover = record.CoverPath();
    if (!cover.isEmpty()) song.cover = cover.toUtf8();
    return song;
}

iTunesSongInfo iTunesSong::Info() const {
    iTunesSongInfo info{};
    info.file = file.constData();
    info.title = title.constData();
    info.artist = artist.constData();
    info.album = album.constData();
    info.genre = genre.constData();
    info.year = year;
    info.cover = cover.isNull() ? nullptr : cover.constData();
    return info;
}

QString iTunesSong::FileName() const {
    return QFileInfo(QString::fromUtf8(file)).fileName();
}

CToiTunesThread::CToiTunesThread(std::vector<iTunesSong> songs, iTunesBridge bridge,
                                 QObject* parent)
    : QThread(parent), m_songs(std::move(songs)), m_bridge(std::move(bridge)) {}

CToiTunesThread::~CToiTunesThread() {
    Abort();
    wait();
}

void CToiTunesThread::run() {
    const int res = m_bridge.Initialize();
    if (res != 0) {
        qWarning("CToiTunesThread::run Not Found iTunes, res: %d", res);
        Q_EMIT iTunesNotFind();
        return;
    }
    const int count = SongCount();
    for (int i = 0; i < count && !m_abort.load(); ++i) {
        const iTunesSong& song = m_songs[std::size_t(i)];
        const int added = m_bridge.AddSong(song.Info(), i == count - 1 ? 1 : 0);
        if (added < 0) {
            qWarning("CToiTunesThread::run AddSongForiTunes failed, res: %d file: %s", added,
                     song.file.constData());
            Q_EMIT SongFailed(i, added);
        }
        Q_EMIT ProgressBarValueChange(i + 1);
    }
    if (m_abort.load()) qDebug("CToiTunesThread::run aborted");
    m_bridge.Uninitialize();
    qDebug("CToiTunesThread::run finished");
}
