#pragma once

// Shared by the library tests: a fresh library database in a folder of its
// own for each test, and songs written straight into it.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QtEndian>

#include <memory>
#include <utility>

#include <sqlite3.h>

#include "config.h"
#include "library/library.h"
#include "library/musicdb.h"
#include "privatehome.h"

namespace librarytest {

// A song as a test writes it.
struct Song {
    Song(int id_, QString name_, QString artist_, QString album_, QString genre_,
         QString dateAdded_, QString year_ = QString(), bool withFile_ = true)
        : id(id_), name(std::move(name_)), artist(std::move(artist_)), album(std::move(album_)),
          genre(std::move(genre_)), dateAdded(std::move(dateAdded_)), year(std::move(year_)),
          withFile(withFile_) {}
    int id;
    QString name;
    QString artist;
    QString album;
    QString genre;
    QString dateAdded;  // "MM/dd/yyyy hh:mm" (and ";" and a play time)
    QString year;
    bool withFile;  // create the recording file
};

// The first column of every row the query gives, as text, read through a
// connection of its own (as another program sees the file).
inline QStringList Column(const QString& db, const char* sql) {
    sqlite3* raw = nullptr;
    sqlite3_open(db.toUtf8().constData(), &raw);
    QStringList values;
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(raw, sql, -1, &stmt, nullptr);
    while (sqlite3_step(stmt) == SQLITE_ROW)
        values << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    sqlite3_finalize(stmt);
    sqlite3_close(raw);
    return values;
}

// Songs 1 to count of the open library, named "Song <n>" with files (not
// made) in folder, each a member of listId.
inline void AddSongsToList(int count, int listId, const QString& folder) {
    CLibraryTransaction transaction;
    for (int id = 1; id <= count; ++id) {
        SongRecord record;
        record.MusicId = id;
        record.MusicPath = folder + QStringLiteral("/AU%1.mp3").arg(id);
        SetTagText(record.tags.songName, QStringLiteral("Song %1").arg(id));
        record.DateAdded = QStringLiteral("01/01/2012 10:00");
        EXPECT_EQ(DB_SetMusicInfo(record), 0) << id;
        DB_SetMusicItem(id, listId, id);
    }
}

// Zeroes the last leaf page of table in the library file at path, as a
// failing disk or a torn write would leave it, and moves the file's change
// counter on so that a connection that has it open reads it anew. False
// when the table has no such page.
inline bool DamageLastLeaf(const QString& path, const char* table) {
    qint64 root = 0;
    {
        sqlite3* db = nullptr;
        sqlite3_stmt* query = nullptr;
        if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) ==
                SQLITE_OK &&
            sqlite3_prepare_v2(db, "SELECT rootpage FROM sqlite_master WHERE name = ?", -1, &query,
                               nullptr) == SQLITE_OK) {
            sqlite3_bind_text(query, 1, table, -1, SQLITE_STATIC);
            if (sqlite3_step(query) == SQLITE_ROW) root = sqlite3_column_int64(query, 0);
        }
        sqlite3_finalize(query);
        sqlite3_close(db);
    }
    QFile file(path);
    if (root < 2 || !file.open(QIODevice::ReadWrite)) return false;
    const QByteArray header = file.read(100);
    if (header.size() < 100) return false;
    const auto number = [](const QByteArray& bytes, int at) {
        return qFromBigEndian<quint32>(bytes.constData() + at);
    };
    const qint64 pageSize = qFromBigEndian<quint16>(header.constData() + 16);
    if (!file.seek((root - 1) * pageSize)) return false;
    const QByteArray page = file.read(12);
    if (page.size() < 12 || page[0] != 0x05) return false;  // not an interior page
    const qint64 leaf = number(page, 8);                      // its right-most child
    const quint32 counter = qToBigEndian(number(header, 24) + 1);
    return file.seek((leaf - 1) * pageSize) &&
           file.write(QByteArray(int(pageSize), '\0')) == pageSize && file.seek(24) &&
           file.write(reinterpret_cast<const char*>(&counter), 4) == 4 && file.seek(92) &&
           file.write(reinterpret_cast<const char*>(&counter), 4) == 4;
}

class LibraryFixture : public testing::Test {
protected:
    void SetUp() override {
        m_dir = QString::fromStdString(testsupport::makeTempDir("library-test"));
        ASSERT_EQ(DB_OpenFile(DbPath()), 0);
        m_config = CConfig::CreateForTesting(m_dir + QStringLiteral("/tunecap.ini"));
        ASSERT_NE(m_config, nullptr);
        // The songs' files are the program's own: they lie in its music folder.
        m_config->SetOutputPath({m_dir});
    }
    void TearDown() override {
        m_library.reset();
        DB_Close();
        m_config.reset();
        testsupport::removeTree(m_dir.toStdString());
    }

    QString Dir() const { return m_dir; }
    QString DbPath() const { return m_dir + QStringLiteral("/music.db"); }
    QString FilePath(const QString& name) const { return m_dir + QLatin1Char('/') + name; }
    CConfig* Config() const { return m_config.get(); }
    // The library as start-up opens it (again), over the songs stored so
    // far, with the test's settings; kept until the test ends.
    CLibrary* OpenLibrary() {
        m_library = std::make_unique<CLibrary>(Config());
        EXPECT_EQ(m_library->Open(DbPath()), 0);
        return m_library.get();
    }

    static bool WriteFile(const QString& path, const QByteArray& bytes = "audio") {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    }

    // Stores the song (and its file, "AU<id>.mp3" in the test's folder).
    SongRecord AddSong(const Song& song) {
        SongRecord record;
        record.MusicId = song.id;
        record.MusicPath = FilePath(QStringLiteral("AU%1.mp3").arg(song.id));
        SetTagText(record.tags.songName, song.name);
        SetTagText(record.tags.artist, song.artist);
        SetTagText(record.tags.album, song.album);
        SetTagText(record.tags.albumGenre, song.genre);
        SetTagText(record.tags.releaseDate, song.year);
        record.DateAdded = song.dateAdded;
        record.TimeRecorded = QStringLiteral("03:25");
        EXPECT_EQ(DB_SetMusicInfo(record), 0) << song.id;
        if (song.withFile) {
            EXPECT_TRUE(WriteFile(record.MusicPath));
        }
        return record;
    }

private:
    QString m_dir;
    std::unique_ptr<CConfig> m_config;
    std::unique_ptr<CLibrary> m_library;
};

}  // namespace librarytest
