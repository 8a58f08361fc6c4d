// The road of a recorded song through the recordings list, the task manager
// and the real music information service, against the loopback stand-ins
// of AcoustID, MusicBrainz and the Cover Art Archive: the song is
// identified from its whole file once it is filed, its texts reach the
// library and its row, its cover is saved, its MP3 carries the tags (read
// back by mutagen) and is named after the song; the converted WAV and the
// sample are gone afterwards.
#include <QFileInfo>

#include "download/taskmanager.h"
#include "downloadfixture.h"
#include "library/library.h"
#include "library/treewidgetitem.h"
#include "musicworld.h"

namespace {

using songtest::FilesIn;
using songtest::WaitUntil;

class RecordedSongTest : public songtest::SongFixture {
protected:
    void SetUp() override {
        SongFixture::SetUp();
        m_out = Dir() + QStringLiteral("/out");
        ASSERT_TRUE(QDir().mkpath(m_out));
    }
    void TearDown() override {
        // As the main window does: the tasks and the service go first.
        if (m_library) m_library->SetDownloadQueue(nullptr);
        m_manager.reset();
        m_library.reset();
        m_services.reset();
        for (const char* name :
             {"TUNECAP_ACOUSTID_URL", "TUNECAP_MUSICBRAINZ_URL", "TUNECAP_COVERART_URL",
              "TUNECAP_IMAGESEARCH_URL", "TUNECAP_PROBE_HOSTS"})
            qputenv(name, "http://127.0.0.1:9");
        qunsetenv("TUNECAP_ACOUSTID_KEY");
        SongFixture::TearDown();
    }

    // The stand-ins with the standard catalogue, the library pointed at them,
    // and the library with the task manager (which starts the service).
    void StartProgram(const musictest::Songs& songs) {
        m_services = std::make_unique<musictest::MusicServices>(musictest::StandardWorld(songs));
        ASSERT_TRUE(m_services->ok());
        m_services->Export(true);
        m_manager = std::make_unique<CTaskManager>(Config());
        Listen(m_manager.get());
        m_library = OpenLibrary();
        m_library->SetDownloadQueue(m_manager.get());
    }

    QString m_out;
    std::unique_ptr<musictest::MusicServices> m_services;
    std::unique_ptr<CTaskManager> m_manager;
    std::unique_ptr<CLibrary> m_library;
};

TEST_F(RecordedSongTest, IsIdentifiedFromItsWholeFileTaggedNamedAndGetsItsCover) {
    const musictest::Songs& songs = musictest::TestSongs();
    ASSERT_FALSE(songs.songA.empty());
    const QString recorded = QFileInfo(QString::fromStdString(songs.songA)).absolutePath() +
                             QStringLiteral("/songA.mp3");
    const QString song = m_out + QStringLiteral("/AU20240102100000.mp3");
    const QString sample = m_out + QStringLiteral("/AU20240102100000 temp.wav");
    ASSERT_TRUE(QFile::copy(recorded, song));
    ASSERT_TRUE(QFile::copy(QString::fromStdString(songs.sampleA), sample));
    const QByteArray audio = songtest::AudioSha1(song);
    StartProgram(songs);

    // What the recording controller does while the song is written.
    ASSERT_EQ(m_library->CreateNewRecord(song), 0);
    CTreeWidgetItem* row = m_library->NewRecordRow();
    ASSERT_NE(row, nullptr);
    const int id = row->MusicId();
    ASSERT_EQ(m_library->StartAutoDownload(sample), 0);
    EXPECT_EQ(row->DownloadState(), DownloadTask_WAITING);
    // The song is still being recorded: nothing is converted or asked.
    WaitUntil([&] { return CountReports(id, DownloadTask_RUNNING) > 0 || !m_services->Log("acoustid").empty(); }, 1500);
    EXPECT_EQ(CountReports(id, DownloadTask_RUNNING), 0);
    EXPECT_TRUE(m_services->Log("acoustid").empty());

    ASSERT_EQ(m_library->CompleteNewRecord(song), 0);
    m_library->FileNewRecord(true);
    ASSERT_TRUE(WaitForReport(id, DownloadTask_SUCESS, 120000))
        << "reports: " << m_reports.size() << " failed: " << CountReports(id, DownloadTask_FAILED);
    EXPECT_TRUE(m_manager->IsServiceReady());

    // Identified by the finished song: the lookup got its whole length.
    const auto lookups = m_services->Log("acoustid");
    ASSERT_FALSE(lookups.empty());
    EXPECT_NEAR(std::stoi(musictest::QueryValue(lookups.back().query, "duration")), 130, 1);

    const SongRecord stored = Stored(id);
    EXPECT_EQ(TagText(stored.tags.songName), QStringLiteral("Second Wave"));
    EXPECT_EQ(TagText(stored.tags.album), QStringLiteral("Synthetic Album"));
    EXPECT_EQ(TagText(stored.tags.albumGenre), QStringLiteral("Alternative Rock"));
    EXPECT_FALSE(TagText(stored.tags.artist).isEmpty());
    ASSERT_GE(stored.tags.imageCount, 1);
    const QString cover = stored.CoverPath();
    EXPECT_TRUE(QFileInfo::exists(cover));
    EXPECT_EQ(QFileInfo(cover).absolutePath(), Pictures());

    // The row shows it, and the file is named after the song.
    const QString named = m_out + QStringLiteral("/Second Wave.mp3");
    EXPECT_EQ(stored.MusicPath, named);
    EXPECT_EQ(row->Path(), named);
    EXPECT_EQ(row->MusicName(), QStringLiteral("Second Wave"));
    EXPECT_EQ(row->Album(), QStringLiteral("Synthetic Album"));
    EXPECT_EQ(row->CoverPath(), cover);
    EXPECT_EQ(row->DownloadState(), DownloadTask_SUCESS);

    const QJsonObject tags = songtest::ReadTags(named);
    EXPECT_EQ(tags.value(QStringLiteral("TIT2")).toString(), QStringLiteral("Second Wave"));
    EXPECT_EQ(tags.value(QStringLiteral("TALB")).toString(), QStringLiteral("Synthetic Album"));
    EXPECT_EQ(tags.value(QStringLiteral("TPE1")).toString(), TagText(stored.tags.artist));
    EXPECT_EQ(tags.value(QStringLiteral("APIC")).toString().toLatin1(),
              songtest::Sha1Hex(songtest::ReadFile(cover)));
    EXPECT_EQ(songtest::AudioSha1(named), audio);

    // Nothing else is left: no sample, no temporary WAV, no half-written file.
    EXPECT_EQ(FilesIn(m_out), QStringList{QStringLiteral("Second Wave.mp3")});
    EXPECT_TRUE(FilesIn(Caches()).isEmpty())
        << FilesIn(Caches()).join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(m_manager->Tasks().isEmpty());
}

TEST_F(RecordedSongTest, SongDiscardedAsTooShortDropsItsTaskAndSample) {
    const musictest::Songs& songs = musictest::TestSongs();
    ASSERT_FALSE(songs.sampleA.empty());
    const QString song = m_out + QStringLiteral("/AU20240102110000.mp3");
    const QString sample = m_out + QStringLiteral("/AU20240102110000 temp.wav");
    ASSERT_TRUE(songtest::MakeMp3(song, 2.0));
    ASSERT_TRUE(QFile::copy(QString::fromStdString(songs.sampleA), sample));
    StartProgram(songs);

    ASSERT_EQ(m_library->CreateNewRecord(song), 0);
    const int id = m_library->NewRecordRow()->MusicId();
    ASSERT_EQ(m_library->StartAutoDownload(sample), 0);
    ASSERT_EQ(m_manager->Tasks().size(), 1);
    m_library->DiscardNewRecord();
    EXPECT_TRUE(m_manager->Tasks().isEmpty());
    WaitUntil([&] { return CountReports(id, DownloadTask_RUNNING) > 0 || !FilesIn(m_out).isEmpty(); }, 1000);
    EXPECT_EQ(CountReports(id, DownloadTask_RUNNING), 0);
    EXPECT_TRUE(FilesIn(m_out).isEmpty());
    SongRecord gone;
    EXPECT_EQ(DB_GetMusicInfo(id, &gone), 0);
    EXPECT_TRUE(m_services->Log("acoustid").empty());
}

}  // namespace
