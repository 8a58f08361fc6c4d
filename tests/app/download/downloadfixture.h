#pragma once

// The set-up of the download and editing tests: the application object, a
// fresh library database and settings file in a folder of the test's own,
// the pictures and caches folders of the private HOME emptied around each
// test, songs written straight into the library, and the reports of a
// download queue as they arrive.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QList>
#include <QPair>
#include <QString>

#include <memory>

#include "config.h"
#include "download/downloadqueue.h"
#include "library/musicdb.h"
#include "privatehome.h"
#include "songfiles.h"
#include "specialdirs.h"
#include "coreapp.h"
#include "library/library.h"

namespace songtest {

class SongFixture : public testing::Test {
protected:
    void SetUp() override {
        testsupport::CoreApp();
        m_dir = QString::fromStdString(testsupport::makeTempDir("download-test"));
        ASSERT_EQ(DB_OpenFile(m_dir + QStringLiteral("/music.db")), 0);
        m_config = CConfig::CreateForTesting(m_dir + QStringLiteral("/tunecap.ini"));
        ASSERT_NE(m_config, nullptr);
        m_config->SetOutputPath({m_dir});  // the songs' files are the program's own
        m_pictures = SpecialDirPath(SpecialDir_Pictures);
        m_caches = SpecialDirPath(SpecialDir_Caches);
        EmptyFolder(m_pictures);
        EmptyFolder(m_caches);
        ASSERT_TRUE(QDir().mkpath(m_pictures));
    }
    void TearDown() override {
        if (DB_IsOpen()) DB_Close();
        m_config.reset();
        testsupport::removeTree(m_dir.toStdString());
        EmptyFolder(m_pictures);
        EmptyFolder(m_caches);
    }

    static void EmptyFolder(const QString& folder) {
        if (!folder.isEmpty()) QDir(folder).removeRecursively();
    }

    QString Dir() const { return m_dir; }
    QString DbPath() const { return m_dir + QStringLiteral("/music.db"); }
    // The library as start-up opens it, with the test's settings.
    std::unique_ptr<CLibrary> OpenLibrary() const {
        auto library = std::make_unique<CLibrary>(Config());
        EXPECT_EQ(library->Open(DbPath()), 0);
        return library;
    }
    QString FilePath(const QString& name) const { return m_dir + QLatin1Char('/') + name; }
    QString Pictures() const { return m_pictures; }
    QString Caches() const { return m_caches; }
    CConfig* Config() const { return m_config.get(); }

    // A 3-second MP3, made once per test and copied for every song.
    QString SongTemplate() {
        if (m_mp3.isEmpty()) {
            const QString path = FilePath(QStringLiteral("template.mp3.bin"));
            if (MakeMp3(path, 3.0)) m_mp3 = path;
        }
        return m_mp3;
    }

    // Stores a song: its record and, withFile, its MP3 "<file>" (default
    // "AU<id>.mp3") in the test's folder.
    SongRecord AddSong(int id, const QString& name = QString(), bool withFile = true,
                       const QString& file = QString()) {
        SongRecord record;
        record.MusicId = id;
        record.MusicPath = FilePath(file.isEmpty() ? QStringLiteral("AU%1.mp3").arg(id) : file);
        record.DateAdded = QStringLiteral("01/02/2024 10:00");
        record.TimeRecorded = QStringLiteral("00:03");
        SetTagText(record.tags.songName, name);
        EXPECT_EQ(DB_SetMusicInfo(record), 0) << id;
        if (withFile) {
            EXPECT_TRUE(QFile::copy(SongTemplate(), record.MusicPath))
                << qPrintable(record.MusicPath);
        }
        return record;
    }

    // The record as stored now, with its covers.
    static SongRecord Stored(int id) {
        SongRecord record;
        EXPECT_EQ(DB_GetMusicInfo(id, &record), 1) << id;
        DB_GetImageInfo(&record);
        return record;
    }

    // Collects queue's reports.
    void Listen(CDownloadQueue* queue) {
        QObject::connect(queue, &CDownloadQueue::TaskNotified, queue,
                         [this](int musicId, int state) {
                             m_reports.push_back({musicId, state});
                         });
    }
    int CountReports(int musicId, int state) const {
        int count = 0;
        for (const auto& report : m_reports)
            if (report.first == musicId && report.second == state) ++count;
        return count;
    }
    // Index of the first report of the state for the song, -1 when none.
    int ReportIndex(int musicId, int state) const {
        for (int i = 0; i < m_reports.size(); ++i)
            if (m_reports[i].first == musicId && m_reports[i].second == state) return i;
        return -1;
    }
    bool WaitForReport(int musicId, int state, int timeoutMs) {
        return WaitUntil([&] { return CountReports(musicId, state) > 0; }, timeoutMs);
    }

    QList<QPair<int, int>> m_reports;

private:
    QString m_dir;
    QString m_pictures;
    QString m_caches;
    QString m_mp3;
    std::unique_ptr<CConfig> m_config;
};

}  // namespace songtest
