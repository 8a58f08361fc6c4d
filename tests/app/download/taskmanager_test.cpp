// The download task manager and its tasks against a stand-in of the music
// information service: the queue's order and limit, songs still being
// recorded, time-outs, answers that come late or for songs that are gone,
// and what an answer leaves in the library and in the song's file.
#include <QFileInfo>
#include <QSet>
#include <QSignalSpy>

#include <cstring>

#include "download/downloadtask.h"
#include "download/taskmanager.h"
#include "downloadfixture.h"
#include "fakeservice.h"
#include "library/library.h"
#include "library/treewidgetitem.h"

namespace {

using fakeservice::MakeAnswer;
using fakeservice::Service;
using songtest::FilesIn;
using songtest::ReadFile;
using songtest::WaitUntil;

class TaskManagerTest : public songtest::SongFixture {
protected:
    void SetUp() override {
        SongFixture::SetUp();
        Service::Get().Reset();
    }
    void TearDown() override {
        m_manager.reset();
        Service::Get().Reset();
        SongFixture::TearDown();
    }

    CTaskManager* Manager() {
        if (!m_manager) {
            m_manager = std::make_unique<CTaskManager>(Config(), nullptr, Service::Get().Api());
            Listen(m_manager.get());
        }
        return m_manager.get();
    }

    static bool WaitForRequests(int count) {
        return WaitUntil([count] { return Service::Get().RequestCount() >= count; }, 30000);
    }

    // The index of the request whose first text is text, -1 when none.
    static int RequestWithText(const std::string& text) {
        for (int i = 0; i < Service::Get().RequestCount(); ++i)
            if (Service::Get().CallAt(i)->text1 == text) return i;
        return -1;
    }

    // Files of the pictures folder that are images of an answer.
    QString Picture(const QString& name, const QColor& color) {
        const QString path = Pictures() + QLatin1Char('/') + name;
        EXPECT_TRUE(songtest::MakeImage(path, color)) << qPrintable(path);
        return path;
    }

    static std::vector<std::string> Std(const QStringList& paths) {
        std::vector<std::string> out;
        for (const QString& path : paths) out.push_back(path.toStdString());
        return out;
    }

    QList<int> QueueIds() {
        QList<int> ids;
        for (const auto& task : Manager()->Tasks()) ids.push_back(task.first);
        return ids;
    }

    std::unique_ptr<CTaskManager> m_manager;
};

TEST_F(TaskManagerTest, TwoTasksRunAndAFingerprintOnlyTaskGoesAheadOfOlderWaitingOnes) {
    for (int id = 1; id <= 4; ++id) AddSong(id, QStringLiteral("Song %1").arg(id));
    CTaskManager* manager = Manager();
    EXPECT_EQ(manager->AddTask(1, false), 0);
    EXPECT_EQ(manager->AddTask(2, false), 0);
    EXPECT_EQ(manager->AddTask(3, false), 0);
    // One task per song.
    EXPECT_EQ(manager->AddTask(2, false), -1);
    EXPECT_EQ(manager->AddTask(3, true), -1);

    ASSERT_TRUE(WaitForRequests(2));
    WaitUntil([] { return Service::Get().RequestCount() > 2; }, 300);
    EXPECT_EQ(Service::Get().RequestCount(), 2);
    EXPECT_EQ(manager->Tasks(), (QList<QPair<int, int>>{{1, DownloadTask_REQUESTING},
                                                        {2, DownloadTask_REQUESTING},
                                                        {3, DownloadTask_WAITING}}));
    EXPECT_EQ(CountReports(3, DownloadTask_WAITING), 1);
    EXPECT_EQ(CountReports(3, DownloadTask_RUNNING), 0);
    // Manual tasks send the song's texts, and every request gets the song
    // converted to what the fingerprint needs.
    const int first = RequestWithText("Song 1");
    ASSERT_GE(first, 0);
    EXPECT_TRUE(Service::Get().CallAt(first)->withTexts);
    EXPECT_EQ(Service::Get().CallAt(first)->rate, 11025);
    EXPECT_EQ(Service::Get().CallAt(first)->channels, 1);

    // A fingerprint-only task is queued ahead of the waiting one, and runs
    // first once its song is filed and a place is free.
    EXPECT_EQ(manager->AddTask(4, true), 0);
    EXPECT_EQ(QueueIds(), (QList<int>{1, 2, 4, 3}));
    manager->SongFiled(4, true, true);
    WaitUntil([] { return Service::Get().RequestCount() > 2; }, 200);
    EXPECT_EQ(Service::Get().RequestCount(), 2);
    EXPECT_EQ(Service::Get().Answer(first, nullptr), 0);
    ASSERT_TRUE(WaitForReport(1, DownloadTask_FAILED, 10000));
    ASSERT_TRUE(WaitForRequests(3));
    EXPECT_FALSE(Service::Get().CallAt(2)->withTexts);
    EXPECT_EQ(RequestWithText("Song 3"), -1);
    ASSERT_GE(ReportIndex(4, DownloadTask_RUNNING), 0);
    EXPECT_EQ(ReportIndex(3, DownloadTask_RUNNING), -1);
    EXPECT_EQ(manager->Tasks().last(), qMakePair(3, int(DownloadTask_WAITING)));

    // The rest end one by one; each song hears of its end once.
    QSet<int> answered{first};
    ASSERT_TRUE(WaitUntil(
        [&] {
            for (int i = 0; i < Service::Get().RequestCount(); ++i)
                if (!answered.contains(i)) {
                    answered.insert(i);
                    EXPECT_EQ(Service::Get().Answer(i, nullptr), 0) << i;
                }
            return manager->Tasks().isEmpty();
        },
        30000));
    EXPECT_EQ(answered.size(), 4);
    for (int id = 1; id <= 4; ++id) EXPECT_EQ(CountReports(id, DownloadTask_FAILED), 1) << id;
    EXPECT_TRUE(FilesIn(Caches()).isEmpty())
        << FilesIn(Caches()).join(QLatin1Char(' ')).toStdString();
}

TEST_F(TaskManagerTest, AutomaticTaskWaitsForItsSongAndADiscardedSongDropsIt) {
    AddSong(5);
    AddSong(6);
    CTaskManager* manager = Manager();
    ASSERT_EQ(manager->AddTask(5, true), 0);
    ASSERT_EQ(manager->AddTask(6, true), 0);
    WaitUntil([&] { return Service::Get().RequestCount() > 0 || CountReports(5, DownloadTask_RUNNING) > 0; }, 500);
    EXPECT_EQ(Service::Get().RequestCount(), 0);
    EXPECT_EQ(CountReports(5, DownloadTask_RUNNING), 0);
    // The end of an earlier task of the song, on its way when that task was
    // cancelled, is not credited to this one.
    manager->TaskNotify(5, ~quint64(0), DownloadTask_FAILED);
    EXPECT_EQ(QueueIds(), (QList<int>{6, 5}));
    EXPECT_EQ(CountReports(5, DownloadTask_FAILED), 0);

    // Too short: its task goes without a word.
    manager->SongFiled(6, false, false);
    EXPECT_EQ(QueueIds(), QList<int>{5});
    // Kept: now its whole file is converted and identified.
    manager->SongFiled(5, true, true);
    ASSERT_TRUE(WaitForRequests(1));
    EXPECT_FALSE(Service::Get().CallAt(0)->withTexts);
    EXPECT_EQ(Service::Get().CallAt(0)->rate, 11025);
    WaitUntil([&] { return Service::Get().RequestCount() > 1 || CountReports(6, DownloadTask_FAILED) > 0; }, 300);
    EXPECT_EQ(Service::Get().RequestCount(), 1);
    EXPECT_TRUE(m_reports.indexOf(qMakePair(6, int(DownloadTask_RUNNING))) < 0);
    EXPECT_EQ(CountReports(6, DownloadTask_FAILED), 0);
}

TEST_F(TaskManagerTest, TimedOutTaskDestroysItsRequestDeletesItsFileAndFails) {
    AddSong(1, QStringLiteral("Old Name"));
    CTaskManager* manager = Manager();
    manager->SetTaskTimeout(600);
    ASSERT_EQ(manager->AddTask(1, false), 0);
    ASSERT_TRUE(WaitForRequests(1));
    const auto call = Service::Get().CallAt(0);
    const QString temp = QString::fromStdString(call->file);
    EXPECT_TRUE(QFileInfo::exists(temp));
    EXPECT_EQ(QFileInfo(temp).absolutePath(), Caches());

    ASSERT_TRUE(WaitForReport(1, DownloadTask_FAILED, 10000));
    EXPECT_TRUE(call->destroyed);
    EXPECT_FALSE(QFileInfo::exists(temp));
    EXPECT_TRUE(FilesIn(Caches()).isEmpty());
    EXPECT_TRUE(manager->Tasks().isEmpty());

    // The service answers after all: nobody is left to take it, its
    // artwork goes and the library stays as it was.
    const QString art = Picture(QStringLiteral("late.png"), Qt::red);
    const RecordMusicInfo answer = MakeAnswer("New Name", "Artist", "Album", "1.Pop;", Std({art}));
    EXPECT_EQ(Service::Get().Answer(0, &answer), -1);
    WaitUntil([&] { return CountReports(1, DownloadTask_SUCESS) > 0; }, 200);
    EXPECT_EQ(CountReports(1, DownloadTask_SUCESS), 0);
    EXPECT_EQ(TagText(Stored(1).tags.songName), QStringLiteral("Old Name"));
    EXPECT_FALSE(QFileInfo::exists(art));
}

TEST_F(TaskManagerTest, AnswerArrivingWhileATaskStopsIsDroppedUnderItsLock) {
    AddSong(1, QStringLiteral("Old Name"));
    const QString art = Picture(QStringLiteral("late.png"), Qt::red);
    Service::Get().AnswerLateOnDestroy(MakeAnswer("New Name", "Artist", "Album", "", Std({art})));

    // A task on its own, so that it outlives the late answer.
    CDownloadTask task(1, false, Service::Get().Api());
    QSignalSpy reports(&task, &CDownloadTask::TaskNotified);
    task.Start();
    ASSERT_TRUE(WaitForRequests(1));
    ASSERT_TRUE(WaitUntil([&] { return task.State() == DownloadTask_REQUESTING; }, 10000));
    task.Stop();
    // The notifier had started before the request was destroyed; it calls
    // back while the task still exists, and is turned away.
    EXPECT_EQ(Service::Get().LateResult(5000), -1);
    EXPECT_EQ(task.TakeAnswer(), nullptr);
    WaitUntil([&] { return QFileInfo::exists(art); }, 100);
    for (const QList<QVariant>& report : reports)
        EXPECT_NE(report.at(2).toInt(), int(DownloadTask_SUCESS));
    EXPECT_FALSE(QFileInfo::exists(art));
    EXPECT_TRUE(FilesIn(Caches()).isEmpty());
}

TEST_F(TaskManagerTest, AnswerForATaskThatWasCancelledIsDroppedWithItsArtwork) {
    AddSong(1, QStringLiteral("One"));
    AddSong(2, QStringLiteral("Two"));
    CTaskManager* manager = Manager();
    // The late notifier of a destroyed request, after its task is deleted.
    const QString late = Picture(QStringLiteral("late.png"), Qt::red);
    Service::Get().AnswerLateOnDestroy(MakeAnswer("Late", "Artist", "Album", "", Std({late})));
    ASSERT_EQ(manager->AddTask(1, false), 0);
    ASSERT_TRUE(WaitForRequests(1));
    manager->CancelTask(1);
    EXPECT_EQ(Service::Get().LateResult(5000), -1);
    EXPECT_FALSE(QFileInfo::exists(late));

    // An answer already handed over, whose report was still on its way.
    ASSERT_EQ(manager->AddTask(2, false), 0);
    ASSERT_TRUE(WaitForRequests(2));
    const QString art = Picture(QStringLiteral("answer.png"), Qt::blue);
    const RecordMusicInfo answer = MakeAnswer("New", "Artist", "Album", "", Std({art}));
    EXPECT_EQ(Service::Get().Answer(1, &answer), 0);
    manager->CancelTask(2);
    EXPECT_FALSE(QFileInfo::exists(art));
    WaitUntil([&] { return CountReports(1, DownloadTask_SUCESS) + CountReports(2, DownloadTask_SUCESS) > 0; }, 300);
    EXPECT_EQ(CountReports(1, DownloadTask_SUCESS) + CountReports(2, DownloadTask_SUCESS), 0);
    EXPECT_EQ(TagText(Stored(2).tags.songName), QStringLiteral("Two"));
    EXPECT_TRUE(manager->Tasks().isEmpty());
}

TEST_F(TaskManagerTest, SongDeletedWhileItsTaskRunsEndsItAsFailedAndDeletesTheArtwork) {
    AddSong(1);
    CTaskManager* manager = Manager();
    ASSERT_EQ(manager->AddTask(1, false), 0);
    ASSERT_TRUE(WaitForRequests(1));
    DB_DeleteMusicinfo(1);
    const QString first = Picture(QStringLiteral("a.png"), Qt::red);
    const QString second = Picture(QStringLiteral("b.png"), Qt::blue);
    const RecordMusicInfo answer = MakeAnswer("Title", "Artist", "Album", "", Std({first, second}));
    EXPECT_EQ(Service::Get().Answer(0, &answer), 0);
    ASSERT_TRUE(WaitForReport(1, DownloadTask_FAILED, 10000));
    EXPECT_EQ(CountReports(1, DownloadTask_SUCESS), 0);
    EXPECT_FALSE(QFileInfo::exists(first));
    EXPECT_FALSE(QFileInfo::exists(second));
    EXPECT_EQ(DB_ImageExists(first), 0);
}

TEST_F(TaskManagerTest, SongWhoseFileOrRecordIsGoneFailsAtOnce) {
    AddSong(1, QStringLiteral("Gone"), /*withFile=*/false);
    CTaskManager* manager = Manager();
    manager->SetTaskTimeout(60000);
    ASSERT_EQ(manager->AddTask(1, false), 0);
    ASSERT_EQ(manager->AddTask(77, false), 0);  // no record at all
    ASSERT_TRUE(WaitForReport(1, DownloadTask_FAILED, 5000));
    ASSERT_TRUE(WaitForReport(77, DownloadTask_FAILED, 5000));
    EXPECT_EQ(Service::Get().RequestCount(), 0);
    EXPECT_TRUE(FilesIn(Caches()).isEmpty());
}

TEST_F(TaskManagerTest, AnswerIsStoredAsTextsCoversAndTagsOfTheSong) {
    const SongRecord song = AddSong(1);
    const QByteArray audio = songtest::AudioSha1(song.MusicPath);
    CTaskManager* manager = Manager();
    ASSERT_EQ(manager->AddTask(1, false), 0);
    ASSERT_TRUE(WaitForRequests(1));
    // A song without a name is looked up by its sound alone.
    EXPECT_FALSE(Service::Get().CallAt(0)->withTexts);

    QStringList images;
    const QColor colors[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow, Qt::cyan};
    for (int i = 0; i < 5; ++i)
        images << Picture(QStringLiteral("google_%1.png").arg(i), colors[i]);
    const RecordMusicInfo answer = MakeAnswer("Second Wave", "Test Artist", "Synthetic Album",
                                              "1.Rock;;2.Hard Rock;", Std(images), "release-1", "2021");
    ASSERT_EQ(Service::Get().Answer(0, &answer), 0);
    ASSERT_TRUE(WaitForReport(1, DownloadTask_SUCESS, 10000));

    const SongRecord stored = Stored(1);
    EXPECT_EQ(TagText(stored.tags.songName), QStringLiteral("Second Wave"));
    EXPECT_EQ(TagText(stored.tags.artist), QStringLiteral("Test Artist"));
    EXPECT_EQ(TagText(stored.tags.album), QStringLiteral("Synthetic Album"));
    EXPECT_EQ(TagText(stored.tags.albumGenre), QStringLiteral("Rock;Hard Rock"));
    EXPECT_EQ(TagText(stored.tags.releaseDate), QStringLiteral("2021"));
    EXPECT_EQ(TagText(stored.tags.albumId), QStringLiteral("release-1"));
    // At most four images become covers, the last first; the fifth is gone.
    ASSERT_EQ(stored.tags.imageCount, 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(TagText(stored.tags.imagePaths[i]), images[3 - i]);
        EXPECT_GT(stored.tags.reserved[i], 0);
    }
    EXPECT_FALSE(QFileInfo::exists(images[4]));
    EXPECT_EQ(stored.ImageId, 0);

    // The file carries the tags and the shown cover, its audio unchanged,
    // and nothing else was left in its folder.
    const QJsonObject tags = songtest::ReadTags(song.MusicPath);
    EXPECT_EQ(tags.value(QStringLiteral("TIT2")).toString(), QStringLiteral("Second Wave"));
    EXPECT_EQ(tags.value(QStringLiteral("TPE1")).toString(), QStringLiteral("Test Artist"));
    EXPECT_EQ(tags.value(QStringLiteral("TALB")).toString(), QStringLiteral("Synthetic Album"));
    EXPECT_EQ(tags.value(QStringLiteral("TCON")).toString(), QStringLiteral("Rock;Hard Rock"));
    EXPECT_EQ(tags.value(QStringLiteral("APIC")).toString().toLatin1(),
              songtest::Sha1Hex(ReadFile(images[3])));
    EXPECT_EQ(songtest::AudioSha1(song.MusicPath), audio);
    EXPECT_EQ(FilesIn(Dir()),
              (QStringList{QStringLiteral("AU1.mp3"), QStringLiteral("music.db"),
                           QStringLiteral("template.mp3.bin"), QStringLiteral("tunecap.ini")}));
    EXPECT_TRUE(FilesIn(Caches()).isEmpty());
}

TEST_F(TaskManagerTest, FullCoverSetMakesRoomBesideTheShownCoverAndAlbumArtIsShared) {
    // Song 1 has five covers and shows the third.
    SongRecord song = AddSong(1);
    QStringList old;
    for (int i = 0; i < 5; ++i) {
        old << Picture(QStringLiteral("old%1.png").arg(i), QColor(40 * i, 0, 0));
        DB_SetImageInfo(11 + i, 1, old[i].toUtf8().constData());
    }
    song.ImageId = 2;
    ASSERT_EQ(DB_UpdateMusicInfo(song), 0);
    // Another song names the first cover's file too.
    AddSong(2);
    DB_SetImageInfo(30, 2, old[0].toUtf8().constData());

    CTaskManager* manager = Manager();
    ASSERT_EQ(manager->AddTask(1, false), 0);
    ASSERT_TRUE(WaitForRequests(1));
    const QString art = Picture(QStringLiteral("download.jpg"), Qt::magenta);
    RecordMusicInfo answer = MakeAnswer("Title", "", "Album", "", Std({art}), "album-9");
    ASSERT_EQ(Service::Get().Answer(0, &answer), 0);
    ASSERT_TRUE(WaitForReport(1, DownloadTask_SUCESS, 10000));

    // The single image is named after the album; the first cover made room
    // (its file stays: song 2 uses it) and the shown one is still shown.
    const QString albumArt = Pictures() + QStringLiteral("/album-9.jpg");
    const SongRecord stored = Stored(1);
    ASSERT_EQ(stored.tags.imageCount, 5);
    EXPECT_EQ(TagText(stored.tags.imagePaths[4]), albumArt);
    EXPECT_EQ(TagText(stored.tags.imagePaths[0]), old[1]);
    EXPECT_EQ(stored.ImageId, 1);
    EXPECT_EQ(stored.CoverPath(), old[2]);
    EXPECT_TRUE(QFileInfo::exists(old[0]));
    EXPECT_TRUE(QFileInfo::exists(albumArt));
    EXPECT_FALSE(QFileInfo::exists(art));

    // Song 2, same album: its downloaded copy goes, the album's file is used.
    ASSERT_EQ(manager->AddTask(2, false), 0);
    ASSERT_TRUE(WaitForRequests(2));
    const QString copy = Picture(QStringLiteral("again.jpg"), Qt::magenta);
    answer = MakeAnswer("Other", "", "Album", "", Std({copy}), "album-9");
    ASSERT_EQ(Service::Get().Answer(1, &answer), 0);
    ASSERT_TRUE(WaitForReport(2, DownloadTask_SUCESS, 10000));
    const SongRecord second = Stored(2);
    ASSERT_EQ(second.tags.imageCount, 2);
    EXPECT_EQ(TagText(second.tags.imagePaths[1]), albumArt);
    EXPECT_FALSE(QFileInfo::exists(copy));
}

TEST_F(TaskManagerTest, PlayingSongGetsItsAnswerButKeepsItsFile) {
    const SongRecord song = AddSong(1);
    const QByteArray before = ReadFile(song.MusicPath);
    CTaskManager* manager = Manager();
    manager->SetPlayingCheck([](int musicId) { return musicId == 1; });
    ASSERT_EQ(manager->AddTask(1, false), 0);
    ASSERT_TRUE(WaitForRequests(1));
    const RecordMusicInfo answer = MakeAnswer("Title", "Artist", "Album", "", {});
    ASSERT_EQ(Service::Get().Answer(0, &answer), 0);
    ASSERT_TRUE(WaitForReport(1, DownloadTask_SUCESS, 10000));
    EXPECT_EQ(TagText(Stored(1).tags.songName), QStringLiteral("Title"));
    EXPECT_EQ(ReadFile(song.MusicPath), before);
}

TEST_F(TaskManagerTest, AnswerThatChangesNothingCountsAsFailed) {
    AddSong(1, QStringLiteral("Same"));
    CTaskManager* manager = Manager();
    ASSERT_EQ(manager->AddTask(1, true), 0);
    manager->SongFiled(1, true, true);
    ASSERT_TRUE(WaitForRequests(1));
    const RecordMusicInfo answer = MakeAnswer("Same", "", "", "", {});
    ASSERT_EQ(Service::Get().Answer(0, &answer), 0);
    ASSERT_TRUE(WaitForReport(1, DownloadTask_FAILED, 10000));
    EXPECT_EQ(CountReports(1, DownloadTask_SUCESS), 0);
}

TEST_F(TaskManagerTest, LibraryRowsFollowTheirTasksAndASongFiledWithoutIdentificationDropsIt) {
    AddSong(1, QStringLiteral("One"));
    const std::unique_ptr<CLibrary> library = OpenLibrary();
    CTaskManager* manager = Manager();
    // The library starts the service.
    library->SetDownloadQueue(manager);
    EXPECT_TRUE(WaitUntil([] { return Service::Get().InitCalls() == 1; }, 10000));
    CTreeWidgetItem* row = library->FindRow(1);
    ASSERT_NE(row, nullptr);

    // "Download Info" for the song.
    ASSERT_EQ(library->DownloadQueue()->AddTask(1, false), 0);
    ASSERT_TRUE(WaitForRequests(1));
    ASSERT_TRUE(WaitUntil([&] { return row->DownloadState() == DownloadTask_REQUESTING; }, 10000));
    EXPECT_TRUE(Service::Get().CallAt(0)->withTexts);
    EXPECT_EQ(Service::Get().CallAt(0)->text1, "One");
    const RecordMusicInfo answer = MakeAnswer("Title", "Artist", "Album", "", {});
    ASSERT_EQ(Service::Get().Answer(0, &answer), 0);
    ASSERT_TRUE(WaitUntil([&] { return row->DownloadState() == DownloadTask_SUCESS; }, 10000));
    EXPECT_EQ(row->MusicName(), QStringLiteral("Title"));
    EXPECT_EQ(row->Path(), FilePath(QStringLiteral("Title.mp3")));
    EXPECT_TRUE(QFileInfo::exists(row->Path()));

    // A recording whose sample came, but which is filed without
    // identification after all: no task runs and the sample goes.
    const QString song = FilePath(QStringLiteral("AU2.mp3"));
    const QString sample = FilePath(QStringLiteral("AU2 temp.wav"));
    ASSERT_TRUE(QFile::copy(SongTemplate(), song));
    ASSERT_TRUE(songtest::MakeWav(sample, 1.0));
    ASSERT_EQ(library->CreateNewRecord(song), 0);
    CTreeWidgetItem* recorded = library->NewRecordRow();
    ASSERT_EQ(library->StartAutoDownload(sample), 0);
    ASSERT_EQ(library->CompleteNewRecord(song), 0);
    library->FileNewRecord(false);
    EXPECT_EQ(recorded->DownloadState(), 0);
    EXPECT_FALSE(QFileInfo::exists(sample));
    EXPECT_TRUE(manager->Tasks().isEmpty());
    WaitUntil([] { return Service::Get().RequestCount() > 1; }, 300);
    EXPECT_EQ(Service::Get().RequestCount(), 1);
    library->SetDownloadQueue(nullptr);
}

TEST_F(TaskManagerTest, PlayerTextsGoIntoTheFileAndStayWithoutAMatchButAMatchWins) {
    const std::unique_ptr<CLibrary> library = OpenLibrary();
    CTaskManager* manager = Manager();
    library->SetDownloadQueue(manager);
    ASSERT_TRUE(WaitUntil([] { return Service::Get().InitCalls() == 1; }, 10000));
    const QString art = Picture(QStringLiteral("player.png"), Qt::blue);
    // A recording named by its player, with its picture, filed as the
    // recording controller files it.
    auto record = [&](int n) {
        const QString song = FilePath(QStringLiteral("AU%1.mp3").arg(n));
        const QString sample = FilePath(QStringLiteral("AU%1 temp.wav").arg(n));
        ASSERT_TRUE(QFile::copy(SongTemplate(), song));
        ASSERT_TRUE(songtest::MakeWav(sample, 1.0));
        ASSERT_EQ(library->CreateNewRecord(song), 0);
        ASSERT_EQ(library->SetPlayerTexts(QStringLiteral("Song %1").arg(n), QStringLiteral("Player Artist"),
                                      QStringLiteral("Player Album"), QStringLiteral("Stand-in")),
                  0);
        ASSERT_EQ(library->AddPlayerCover(library->NewRecordRow()->MusicId(), art), 0);
        ASSERT_EQ(library->StartAutoDownload(sample), 0);
        ASSERT_EQ(library->CompleteNewRecord(song), 0);
        library->FileNewRecord(true);
        ASSERT_TRUE(WaitForRequests(n));
    };
    record(1);
    CTreeWidgetItem* first = library->FindRow(1);
    ASSERT_NE(first, nullptr);
    // Filed: named and tagged after the player before identification.
    EXPECT_EQ(first->Path(), FilePath(QStringLiteral("Song 1.mp3")));
    QJsonObject tags = songtest::ReadTags(first->Path());
    EXPECT_EQ(tags.value(QStringLiteral("TIT2")).toString(), QStringLiteral("Song 1"));
    EXPECT_EQ(tags.value(QStringLiteral("TPE1")).toString(), QStringLiteral("Player Artist"));
    EXPECT_EQ(tags.value(QStringLiteral("TALB")).toString(), QStringLiteral("Player Album"));
    EXPECT_EQ(tags.value(QStringLiteral("APIC")).toString().toLatin1(), songtest::Sha1Hex(ReadFile(art)));

    // Nothing found: the player's texts stay, and so does where the name
    // came from.
    ASSERT_EQ(Service::Get().Answer(0, nullptr), 0);
    ASSERT_TRUE(WaitForReport(1, DownloadTask_FAILED, 10000));
    EXPECT_EQ(first->MusicName(), QStringLiteral("Song 1"));
    EXPECT_EQ(first->NameOrigin(), NameOrigin_Player);
    EXPECT_EQ(DB_GetNameOrigin(1), NameOrigin_Player);

    // Found: the answer's texts and picture win, in the library and the file.
    record(2);
    CTreeWidgetItem* second = library->FindRow(2);
    ASSERT_NE(second, nullptr);
    const QString found = Picture(QStringLiteral("found.png"), Qt::green);
    const RecordMusicInfo answer = MakeAnswer("Real Title", "Real Artist", "Real Album", "", Std({found}));
    ASSERT_EQ(Service::Get().Answer(1, &answer), 0);
    ASSERT_TRUE(WaitForReport(2, DownloadTask_SUCESS, 10000));
    EXPECT_EQ(second->MusicName(), QStringLiteral("Real Title"));
    EXPECT_EQ(second->NameOrigin(), NameOrigin_Identified);
    const SongRecord stored = Stored(2);
    EXPECT_EQ(stored.tags.imageCount, 2);
    EXPECT_NE(stored.CoverPath(), art);
    tags = songtest::ReadTags(second->Path());
    EXPECT_EQ(tags.value(QStringLiteral("TIT2")).toString(), QStringLiteral("Real Title"));
    EXPECT_EQ(tags.value(QStringLiteral("APIC")).toString().toLatin1(),
              songtest::Sha1Hex(ReadFile(stored.CoverPath())));
    library->SetDownloadQueue(nullptr);
}

}  // namespace
