// A new user records what the computer plays, on PulseAudio and on
// PipeWire: the red button offers to install "Tavra Audio", a player plays
// three songs with two-second gaps (the last one only 8 seconds), and with
// songs of up to 10 seconds discarded and a one-second split the library
// ends up with the two long songs, their lengths and their identification
// queued, while the short one is gone with its file and its sample.
#include <gtest/gtest.h>

#include <QFile>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <ostream>
#include <set>

#include "config.h"
#include "download/downloadqueue.h"
#include "library/librarypage.h"
#include "library/showlistwidget.h"
#include "mainui.h"
#include "pulsedaemon.h"
#include "recording/installextrasdialog.h"
#include "recording/recordsession.h"
#include "recordingtest.h"
#include "recording/recordingwidget.h"
#include "toolbar.h"
#include "uiapp.h"

namespace testsupport {
// The server's name in the tests' names.
void PrintTo(SoundServer server, std::ostream* out) {
    *out << (server == SoundServer::PipeWire ? "PipeWire" : "PulseAudio");
}
}  // namespace testsupport

namespace {

using testsupport::SoundServer;

class RecordingEndToEnd : public testing::TestWithParam<SoundServer> {
protected:
    void SetUp() override {
        uitest::App();
        ASSERT_TRUE(m_pulse.ok()) << m_pulse.error();
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(m_library.ok());
        m_folder = m_dir.filePath(QStringLiteral("rec"));
        CConfig* config = CConfig::instance();
        recordingtest::RecordFromSpeakers(config, m_folder);
        config->SetRecordMode(-1);  // what the computer plays
        config->SetFilterTime(10);
        config->SetIdMode(1);
        m_window = std::make_unique<CMainUI>(m_library.Take());
        m_window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
    }
    void TearDown() override { m_window.reset(); }

    testsupport::PulseDaemon m_pulse{GetParam()};
    QTemporaryDir m_dir;
    uitest::TestLibrary m_library;
    QString m_folder;
    std::unique_ptr<CMainUI> m_window;
};

TEST_P(RecordingEndToEnd, ThreeSongsPlayedTwoKeptTheShortOneGone) {
    CRecordSession* session = m_window->RecordSession();
    CShowListWidget* list = m_window->LibraryPage()->ShowList();
    CToolBar* bar = m_window->ToolBar();
    const QString songs = m_dir.filePath(QStringLiteral("songs.wav"));
    ASSERT_TRUE(recordingtest::WriteSongs(
        songs, {{21.5, 440}, {2, 0}, {21.5, 550}, {2, 0}, {8, 660}, {2, 0}}));

    QList<int> shown;
    QObject::connect(session, &CRecordSession::RecordStateChanged, m_window.get(),
                     [&](RecordState state) { shown << int(state); });
    QSignalSpy samples(session, &CRecordSession::AutoDownloadStarted);
    QSignalSpy ended(session, &CRecordSession::SongEnded);
    QSignalSpy notified(list->Library()->DownloadQueue(), &CDownloadQueue::TaskNotified);

    // The device is missing: the red button offers to install it.
    bool installed = false;
    uitest::ModalAnswer install([&](QWidget* modal) {
        auto* dialog = qobject_cast<CInstallExtrasDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        QTest::mouseClick(dialog->InstallButton(), Qt::LeftButton);
        installed = true;
    });
    QTest::mouseClick(bar->RecordButton(), Qt::LeftButton);
    ASSERT_TRUE(installed);
    ASSERT_EQ(session->State(), RecordState::Waiting);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_pulse.recordingSource().empty(); }, 5000));
    EXPECT_EQ(m_pulse.recordingSource(), "tavra_audio.monitor");
    // The installer keeps the device for the user's next server start.
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    const QString kept =
        GetParam() == SoundServer::PipeWire
            ? config + QStringLiteral("/pipewire/pipewire-pulse.conf.d/tavra-audio.conf")
            : config + QStringLiteral("/pulse/default.pa");
    QFile keptFile(kept);
    ASSERT_TRUE(keptFile.open(QIODevice::ReadOnly)) << kept.toStdString();
    EXPECT_TRUE(keptFile.readAll().contains("sink_name=tavra_audio"));
    ASSERT_TRUE(recordingtest::WaitForAudioFrom(QStringLiteral("tavra_audio.monitor")));

    // The player plays to the default output, which is "Tavra Audio" now.
    ASSERT_TRUE(recordingtest::Play(songs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended.count() == 3; }, 5000)) << ended.count();
    QTest::mouseClick(bar->StopButton(), Qt::LeftButton);

    EXPECT_EQ(shown, (QList<int>{2, 1, 2, 1, 2, 1, 2, 0}));
    EXPECT_EQ(session->State(), RecordState::Idle);

    // Two songs in both lists, with their lengths.
    ASSERT_EQ(list->Library()->ListCount(List_AllRecordings), 2);
    EXPECT_EQ(list->Library()->ListCount(List_NewlyRecordings), 2);
    const QList<CTreeWidgetItem*> rows = list->VisibleRows();
    ASSERT_EQ(rows.size(), 2);
    QStringList keptSongs;
    std::set<int> ids;
    for (const CTreeWidgetItem* row : rows) {
        EXPECT_EQ(row->TimeRecorded(), QStringLiteral("00:21")) << row->Path().toStdString();
        EXPECT_TRUE(row->Path().endsWith(QStringLiteral(".mp3")));
        keptSongs << row->Path();
        ids.insert(row->MusicId());
    }
    keptSongs.sort();
    // The short song is gone with its file.
    EXPECT_EQ(recordingtest::FilesIn(m_folder, {"mp3"}), keptSongs);

    // The sample of each kept song went to the list, which queued the
    // song's identification (the task drops the sample once it has run);
    // the abandoned sample of the short song is gone.
    ASSERT_EQ(samples.count(), 2);
    QStringList handed;
    for (const QList<QVariant>& sample : samples) handed << sample.at(0).toString();
    for (const QString& wav : recordingtest::FilesIn(m_folder, {"wav"}))
        EXPECT_TRUE(handed.contains(wav)) << wav.toStdString();
    std::set<int> queued;
    for (const QList<QVariant>& report : notified)
        if (report.at(1).toInt() == DownloadTask_WAITING) queued.insert(report.at(0).toInt());
    EXPECT_EQ(queued, ids);

    // The recording view lists both as being identified.
    const auto& items = m_window->RecordingWidget()->Items();
    ASSERT_EQ(items.size(), 2);
    for (const auto& item : items) {
        EXPECT_EQ(item.kind, CRecordSession::Kind_Identifying);
        EXPECT_EQ(ids.count(item.musicId), 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(SoundServers, RecordingEndToEnd,
                         testing::Values(SoundServer::PulseAudio, SoundServer::PipeWire),
                         [](const testing::TestParamInfo<SoundServer>& server) {
                             return server.param == SoundServer::PipeWire ? "PipeWire"
                                                                          : "PulseAudio";
                         });

}  // namespace
