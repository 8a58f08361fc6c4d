// The library at its largest: a generated "music.db" with 100,000 songs (a
// file each), 50 playlists of 1,000 songs and covers for a third of the
// songs (an image file each, some shared), in a private HOME.
//
//   library_bench [songs]     (default 100000)
//
// Measures, in one run and on the same file:
//   - the sqlite3 tool's "SELECT * FROM MusicInfo" (the reference; best of 3),
//   - DB_Open until "All Recordings" is shown with every row,
//   - the memory the loaded library takes (resident set growth),
//   - one filter keystroke's work ("All" over name, artist and album),
//   - deleting 1,000 selected songs with their files and covers.
// Prints each figure and exits 0; a figure is not a pass or fail.

#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QProcess>
#include <QRandomGenerator>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "config.h"
#include "library/filteredit.h"
#include "library/library.h"
#include "library/musicdb.h"
#include "library/musicinfomodel.h"
#include "library/showlistwidget.h"
#include "privatehome.h"
#include "specialdirs.h"

namespace {

constexpr int kPlaylists = 50;
constexpr int kPlaylistSongs = 1000;
constexpr int kDeleted = 1000;

const char* const kWords[] = {"love", "night", "summer", "blue", "heart", "river", "dream",
                              "light", "road", "fire", "rain", "home", "dance", "gold",
                              "moon", "shadow", "wild", "star", "city", "ocean"};
const char* const kGenres[] = {"Pop;", "Rock;", "Jazz;", "Classical;", "Electronic;Dance;",
                               "Hip Hop;", "Folk;", ""};

QString Words(QRandomGenerator& random, int count) {
    QStringList words;
    for (int i = 0; i < count; ++i)
        words << QString::fromLatin1(kWords[random.bounded(int(std::size(kWords)))]);
    QString text = words.join(QLatin1Char(' '));
    text[0] = text[0].toUpper();
    return text;
}

double Ms(const QElapsedTimer& clock) {
    return double(clock.nsecsElapsed()) / 1e6;
}

long RssKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

bool Touch(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly);
}

// Writes the library with the program's own create statements (DB_OpenFile)
// and then the rows in one transaction; the song and cover files beside it.
bool Generate(const QString& dir, int songs) {
    if (DB_OpenFile(dir + QStringLiteral("/music.db")) != 0) return false;
    DB_Close();
    sqlite3* db = nullptr;
    if (sqlite3_open((dir + QStringLiteral("/music.db")).toUtf8().constData(), &db) != SQLITE_OK)
        return false;
    QDir().mkpath(dir + QStringLiteral("/Music"));
    // Covers where the program keeps them: only there are they deleted.
    const QString pictures = SpecialDirPath(SpecialDir_Pictures);
    QDir().mkpath(pictures);
    QRandomGenerator random(20120101);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* song = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO MusicInfo (MusicId, MusicPath, MusicName ,TimeRecorded ,Artist "
                       ",Album,Genre, DateAdded, ImageId, AlbumTUI, AlbumMusicList, Year) VALUES "
                       "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                       -1, &song, nullptr);
    sqlite3_stmt* cover = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO CoverInfo (CoverId, MusicId, ImagePath) VALUES (?, ?, ?)",
                       -1, &cover, nullptr);
    const QDateTime start = QDateTime::currentDateTime().addDays(-3000);
    int coverId = 0;
    for (int id = 1; id <= songs; ++id) {
        const QString artist = Words(random, 2);
        const QString album = Words(random, 3);
        const QByteArray path =
            (dir + QStringLiteral("/Music/AU%1.mp3").arg(id, 6, 10, QLatin1Char('0'))).toUtf8();
        const QByteArray name = Words(random, 1 + random.bounded(4)).toUtf8();
        const QByteArray time =
            DurationText(120 + random.bounded(300)).toUtf8();
        const QByteArray artistText = artist.toUtf8();
        const QByteArray albumText = album.toUtf8();
        const QByteArray genre = kGenres[random.bounded(int(std::size(kGenres)))];
        QString date = start.addSecs(qint64(id) * 2500).toString(QStringLiteral("MM/dd/yyyy hh:mm"));
        if (id % 50 == 0) date += QLatin1Char(';') + LibraryDateText();
        const QByteArray dateText = date.toUtf8();
        const QByteArray albumId = QByteArray::number(random.generate64(), 16);
        const QByteArray trackList = "1 " + albumText + "; 2 " + name + "; 3 Outro; ";
        char year[32] = {};
        std::snprintf(year, sizeof year, "%d", 1960 + random.bounded(64));
        sqlite3_bind_int(song, 1, id);
        sqlite3_bind_text(song, 2, path.constData(), int(path.size()), SQLITE_STATIC);
        sqlite3_bind_text(song, 3, name.constData(), int(name.size()), SQLITE_STATIC);
        sqlite3_bind_text(song, 4, time.constData(), int(time.size()), SQLITE_STATIC);
        sqlite3_bind_text(song, 5, artistText.constData(), int(artistText.size()), SQLITE_STATIC);
        sqlite3_bind_text(song, 6, albumText.constData(), int(albumText.size()), SQLITE_STATIC);
        sqlite3_bind_text(song, 7, genre.constData(), int(genre.size()), SQLITE_STATIC);
        sqlite3_bind_text(song, 8, dateText.constData(), int(dateText.size()), SQLITE_STATIC);
        sqlite3_bind_int(song, 9, 0);
        sqlite3_bind_text(song, 10, albumId.constData(), int(albumId.size()), SQLITE_STATIC);
        sqlite3_bind_text(song, 11, trackList.constData(), int(trackList.size()), SQLITE_STATIC);
        sqlite3_bind_text(song, 12, year, int(sizeof year), SQLITE_STATIC);
        sqlite3_step(song);
        sqlite3_reset(song);
        if (!Touch(QString::fromUtf8(path))) return false;
        // A third of the songs have covers: one of their own, and every
        // tenth of them shares its album's picture with the song before.
        if (id % 3 == 0) {
            const QString image = pictures + QStringLiteral("/%1.jpg").arg(id);
            const QString shared = pictures + QStringLiteral("/%1.jpg").arg(id - 3);
            const QString chosen = id % 30 == 0 && id > 3 ? shared : image;
            if (chosen == image && !Touch(image)) return false;
            const QByteArray imageText = chosen.toUtf8();
            sqlite3_bind_int(cover, 1, ++coverId);
            sqlite3_bind_int(cover, 2, id);
            sqlite3_bind_text(cover, 3, imageText.constData(), int(imageText.size()), SQLITE_STATIC);
            sqlite3_step(cover);
            sqlite3_reset(cover);
        }
    }
    sqlite3_finalize(song);
    sqlite3_finalize(cover);
    sqlite3_stmt* list = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO MusicList (ListId, ListName) VALUES (?, ?)", -1, &list, nullptr);
    sqlite3_stmt* item = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO MusicItem (ItemId, ListId, MusicId) VALUES (?, ?, ?)", -1,
                       &item, nullptr);
    int itemId = 0;
    for (int p = 0; p < kPlaylists; ++p) {
        const int listId = 5 + p;
        const QByteArray name = QStringLiteral("PlayList %1").arg(listId - 3).toUtf8();
        sqlite3_bind_int(list, 1, listId);
        sqlite3_bind_text(list, 2, name.constData(), int(name.size()), SQLITE_STATIC);
        sqlite3_step(list);
        sqlite3_reset(list);
        for (int s = 0; s < kPlaylistSongs; ++s) {
            sqlite3_bind_int(item, 1, ++itemId);
            sqlite3_bind_int(item, 2, listId);
            sqlite3_bind_int(item, 3, 1 + (p * 1931 + s * 97) % songs);
            sqlite3_step(item);
            sqlite3_reset(item);
        }
    }
    sqlite3_finalize(list);
    sqlite3_finalize(item);
    const bool ok = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

// Best of three runs of the sqlite3 tool reading every song.
double Sqlite3ScanMs(const QString& db) {
    double best = 1e12;
    for (int round = 0; round < 3; ++round) {
        QProcess tool;
        tool.setStandardOutputFile(QProcess::nullDevice());
        QElapsedTimer clock;
        clock.start();
        tool.start(QStringLiteral("sqlite3"), {db, QStringLiteral("SELECT * FROM MusicInfo")});
        if (!tool.waitForFinished(60000) || tool.exitCode() != 0) return -1;
        best = std::min(best, Ms(clock));
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const int songs = argc > 1 ? std::max(kPlaylistSongs, atoi(argv[1])) : 100000;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    testsupport::PrivateHome home;
    testsupport::KeepOutsideOnLoopback();
    QApplication app(argc, argv);
    const QString dir = QString::fromStdString(home.root());

    QElapsedTimer clock;
    clock.start();
    if (!Generate(dir, songs)) {
        std::fprintf(stderr, "library_bench: cannot generate the library in %s\n", qPrintable(dir));
        return 1;
    }
    std::printf("library: %d songs, %d playlists of %d, covers for a third (%.1f s to generate)\n",
                songs, kPlaylists, kPlaylistSongs, Ms(clock) / 1000);

    const QString db = dir + QStringLiteral("/music.db");
    const double scan = Sqlite3ScanMs(db);
    std::printf("sqlite3 tool, SELECT * FROM MusicInfo (best of 3):  %8.1f ms\n", scan);

    auto config = CConfig::CreateForTesting(dir + QStringLiteral("/tunecap.ini"));
    config->SetDeleteType(1);  // no question when deleting
    config->SetOutputPath({dir + QStringLiteral("/Music")});  // the songs' files are its own

    // Each figure is the best of three rounds: the machine may be busy
    // with other work.
    constexpr int kRounds = 3;
    std::unique_ptr<CLibrary> library;
    std::unique_ptr<CShowListWidget> list;
    double load = 1e12;
    long rssGrowth = 0;
    for (int round = 0; round < kRounds; ++round) {
        list.reset();
        library.reset();  // closes the library
        const long rssBefore = RssKb();
        clock.restart();
        library = std::make_unique<CLibrary>(config.get());
        if (library->Open(db) != 0) return 1;
        list = std::make_unique<CShowListWidget>(library.get(), config.get());
        list->resize(1000, 700);
        list->show();
        QCoreApplication::processEvents();
        load = std::min(load, Ms(clock));
        if (round == 0) rssGrowth = RssKb() - rssBefore;
    }
    const int shown = list->Model()->rowCount();
    std::printf("DB_Open to \"All Recordings\" shown, %d rows:       %8.1f ms  (%.1f x the tool)\n",
                shown, load, load / scan);
    std::printf("memory of the loaded library (resident growth):   %8.1f MB\n",
                double(rssGrowth) / 1024);

    // Typing "love", one keystroke at a time: the filter's work once its
    // pause is over, the table laid out again.
    const char* const keys[] = {"l", "lo", "lov", "love"};
    double keystroke[4] = {1e12, 1e12, 1e12, 1e12};
    int left[4] = {};
    for (int round = 0; round < kRounds; ++round) {
        for (int k = 0; k < 4; ++k) {
            clock.restart();
            list->Filter(CFilterEdit::Filter_All, QString::fromLatin1(keys[k]));
            QCoreApplication::processEvents();
            keystroke[k] = std::min(keystroke[k], Ms(clock));
            left[k] = list->Model()->rowCount();
        }
        list->Filter(CFilterEdit::Filter_All, QString());
        QCoreApplication::processEvents();
    }
    for (int k = 0; k < 4; ++k)
        std::printf("filter keystroke, text \"%-4s\" (%6d rows left):     %8.1f ms\n", keys[k],
                    left[k], keystroke[k]);

    // 1,000 songs selected, spread over the list (every 97th row), deleted
    // with their files; a new selection each round.
    double deletion = 1e12;
    int filesLeft = 0;
    for (int round = 0; round < kRounds; ++round) {
        list->clearSelection();
        QItemSelection selection;
        for (int i = 0; i < kDeleted; ++i) {
            const int row = (i * 97 + round) % list->Model()->rowCount();
            selection.select(list->Model()->index(row, 0), list->Model()->index(row, 9));
        }
        list->Table()->selectionModel()->select(selection, QItemSelectionModel::Select);
        QStringList files;
        for (const CTreeWidgetItem* row : list->SelectedRows()) files << row->Path();
        clock.restart();
        list->DeleteSelection();
        QCoreApplication::processEvents();
        deletion = std::min(deletion, Ms(clock));
        for (const QString& file : files) filesLeft += QFile::exists(file) ? 1 : 0;
    }
    std::printf("deleting %d selected songs with their files:      %8.1f ms  (%d files left, %d rows)\n",
                kDeleted, deletion, filesLeft, list->Model()->rowCount());
    list.reset();
    return 0;
}
