// The library in memory over a real library file, without a window: a
// library that cannot be read whole, the song being recorded while its
// sample is identified, and the renaming of a song after its title.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSignalSpy>

#include <sqlite3.h>

#include "download/downloadqueue.h"
#include "library/library.h"
#include "library/musicinfomodel.h"
#include "librarytest.h"

namespace {

using librarytest::Column;
using librarytest::Song;

class Library : public librarytest::LibraryFixture {
protected:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "librarycoretest";
        static char* argv[] = {name, nullptr};
        static QCoreApplication* app = new QCoreApplication(argc, argv);
        (void)app;
        LibraryFixture::SetUp();
    }
};

TEST_F(Library, ALibraryReadInPartIsShownButNeverTidiedOrChanged) {
    // Every page is sound, but one table cannot be read (a column is
    // missing), and a playlist names a song that is gone.
    librarytest::AddSongsToList(3, List_FirstPlaylist, Dir());
    DB_SetMusicItem(99, List_FirstPlaylist, 99);
    DB_Close();
    {
        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open(DbPath().toUtf8().constData(), &raw), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(raw,
                               "DROP TABLE NameOrigin; CREATE TABLE NameOrigin (MusicId int "
                               "primary key, Origin int)",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(raw);
    }
    CLibrary* library = OpenLibrary();
    EXPECT_TRUE(library->Incomplete());
    EXPECT_EQ(library->ListCount(List_AllRecordings), 3);
    // Nothing is concluded from what could not be read, and the library
    // refuses every change meanwhile.
    EXPECT_EQ(Column(DbPath(), "SELECT count(*) FROM MusicItem"), QStringList({"4"}));
    EXPECT_FALSE(DB_SetMusicList(9, QStringLiteral("new")).isEmpty());
}


TEST_F(Library, AutomaticDownloadNeverDeletesTheSongBeingRecorded) {
    CLibrary* library = OpenLibrary();
    CPendingDownloadQueue queue;
    library->SetDownloadQueue(&queue);
    const QString song = FilePath(QStringLiteral("AU1.mp3"));
    const QString sample = FilePath(QStringLiteral("AU1 temp.wav"));
    ASSERT_TRUE(WriteFile(song));
    ASSERT_TRUE(WriteFile(sample));
    ASSERT_EQ(library->CreateNewRecord(song), 0);
    CTreeWidgetItem* row = library->NewRecordRow();

    ASSERT_EQ(library->StartAutoDownload(sample), 0);
    EXPECT_EQ(queue.Queued(), QList<int>({1}));
    EXPECT_EQ(row->DownloadState(), DownloadTask_WAITING);
    QString stored;
    DB_GetMusicPath(1, &stored);
    EXPECT_EQ(stored, sample) << "the task reads the sample while the song is written";

    // Another song's download ends while this one is being recorded.
    AddSong(Song{7, "other", {}, {}, {}, "01/01/2012 10:00"});
    library->HandleDownloadNotify(7, DownloadTask_FAILED);
    library->HandleDownloadNotify(1, DownloadTask_RUNNING);
    EXPECT_TRUE(row->IsBusy());
    EXPECT_TRUE(QFile::exists(song));

    // The song ends before its download: the sample waits for it.
    EXPECT_EQ(library->CompleteNewRecord(song), 0);
    DB_GetMusicPath(1, &stored);
    EXPECT_EQ(stored, song);
    library->FileNewRecord(true);
    EXPECT_TRUE(QFile::exists(sample));
    QSignalSpy finished(library, &CLibrary::AutoDownloadFinished);
    library->HandleDownloadNotify(1, DownloadTask_FAILED);
    EXPECT_FALSE(QFile::exists(sample));
    EXPECT_TRUE(QFile::exists(song));
    EXPECT_EQ(row->DownloadState(), DownloadTask_FAILED);
    EXPECT_FALSE(row->IsBusy());
    ASSERT_EQ(finished.size(), 1);
    EXPECT_EQ(finished.first().at(0).value<CTreeWidgetItem*>(), row);

    // A sample without a song being recorded is not kept.
    const QString stray = FilePath(QStringLiteral("stray temp.wav"));
    ASSERT_TRUE(WriteFile(stray));
    EXPECT_EQ(library->StartAutoDownload(stray), -1);
    EXPECT_FALSE(QFile::exists(stray));
}


TEST_F(Library, ADownloadedSongIsRenamedAfterItsTitleWithoutReplacingAnotherFile) {
    AddSong(Song{1, {}, {}, {}, {}, "01/01/2012 10:00"});
    CLibrary* library = OpenLibrary();
    CTreeWidgetItem* row = library->FindRow(1);
    EXPECT_EQ(row->Text(CMusicInfoModel::Column_Name, 1), QStringLiteral("AU1"));
    // What a download task stores: a title that is no safe file name.
    SongRecord record;
    ASSERT_EQ(DB_GetMusicInfo(1, &record), 1);
    SetTagText(record.tags.songName, QStringLiteral("a/b:c?"));
    SetTagText(record.tags.artist, QStringLiteral("The Band"));
    ASSERT_EQ(DB_UpdateMusicInfo(record), 0);
    ASSERT_TRUE(WriteFile(FilePath(QStringLiteral("a_b_c_.wav")), "another recording"));

    QSignalSpy changed(library, &CLibrary::MusicItemInfoChanged);
    library->HandleDownloadNotify(1, DownloadTask_SUCESS);
    const QString renamed = FilePath(QStringLiteral("a_b_c_ 1.mp3"));
    EXPECT_TRUE(QFile::exists(renamed));
    EXPECT_FALSE(QFile::exists(FilePath(QStringLiteral("AU1.mp3"))));
    QString stored;
    DB_GetMusicPath(1, &stored);
    EXPECT_EQ(stored, renamed);
    EXPECT_EQ(row->Path(), renamed);
    EXPECT_EQ(row->Text(CMusicInfoModel::Column_Artist, 1), QStringLiteral("The Band"));
    EXPECT_EQ(row->DownloadState(), DownloadTask_SUCESS);
    EXPECT_EQ(changed.size(), 1);
}


}  // namespace
