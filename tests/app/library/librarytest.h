#pragma once

// Shared by the library tests: a fresh library database in a folder of its
// own for each test, and songs written straight into it.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <memory>
#include <utility>

#include "config.h"
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

class LibraryFixture : public testing::Test {
protected:
    void SetUp() override {
        m_dir = QString::fromStdString(testsupport::makeTempDir("library-test"));
        ASSERT_EQ(DB_OpenFile(DbPath()), 0);
        m_config = CConfig::CreateForTesting(m_dir + QStringLiteral("/tunecap.ini"));
        ASSERT_NE(m_config, nullptr);
    }
    void TearDown() override {
        DB_Close();
        m_config.reset();
        testsupport::removeTree(m_dir.toStdString());
    }

    QString Dir() const { return m_dir; }
    QString DbPath() const { return m_dir + QStringLiteral("/music.db"); }
    QString FilePath(const QString& name) const { return m_dir + QLatin1Char('/') + name; }
    CConfig* Config() const { return m_config.get(); }

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
};

}  // namespace librarytest
