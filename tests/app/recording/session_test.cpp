// The recording session inside the main window against a private sound
// server: how songs are judged by their length, one file without splitting,
// the start (playback is asked to stop first, a vanished input gives way to
// input 0), and the engine's errors, each ending the session with a message
// the user understands. The bridge's own duties (copies made on the engine
// thread, abandoned samples deleted there at once) are checked without sound.
#include <gtest/gtest.h>

#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "capdev.h"
#include "config.h"
#include "library/librarypage.h"
#include "library/playqueue.h"
#include "library/showlistwidget.h"
#include "mainui.h"
#include "pulsedaemon.h"
#include "recording/recordsession.h"
#include "recordingtest.h"
#include "recordingwidget.h"
#include "toolbar.h"
#include "uiapp.h"

namespace {

using recordingtest::Stretch;

class SessionTest : public testing::Test {
protected:
    void SetUp() override {
        uitest::App();
        ASSERT_TRUE(m_pulse.ok()) << m_pulse.error();
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(m_library.ok());
        m_folder = m_dir.filePath(QStringLiteral("rec"));
        m_config = CConfig::instance();
        recordingtest::RecordFromSpeakers(m_config, m_folder);
        m_window = std::make_unique<CMainUI>();
        m_window->show();
        m_session = m_window->RecordSession();
        m_list = m_window->LibraryPage()->ShowList();
        // The tool bar's state after each change the session made.
        QObject::connect(m_session, &CRecordSession::RecordStateChanged, m_window.get(),
                         [this] { m_states << m_window->ToolBar()->GetRecordState(); });
    }
    void TearDown() override { m_window.reset(); }

    // Records the songs as played into the speakers, then stops; waits
    // until every closed file was judged.
    void RecordSongs(const QList<Stretch>& songs) {
        const QString wav = m_dir.filePath(QStringLiteral("songs.wav"));
        ASSERT_TRUE(recordingtest::WriteSongs(wav, songs));
        QSignalSpy ended(m_session, &CRecordSession::SongEnded);
        QTest::mouseClick(m_window->ToolBar()->RecordButton(), Qt::LeftButton);
        ASSERT_EQ(m_session->State(), CRecordSession::State_Waiting);
        ASSERT_TRUE(recordingtest::Play(wav, QStringLiteral("speakers")));
        QTest::mouseClick(m_window->ToolBar()->StopButton(), Qt::LeftButton);
        ASSERT_EQ(m_session->State(), CRecordSession::State_Idle);
        int loud = 0;
        for (const Stretch& s : songs) loud += s.hz > 0 ? 1 : 0;
        const int files = m_config->GetSplitMode() != 0 ? loud : 1;
        ASSERT_TRUE(QTest::qWaitFor([&] { return ended.count() == files; }, 5000))
            << ended.count() << " of " << files;
    }

    // Answers the next modal question that shows within timeoutMs (closing
    // it) and keeps its text and buttons.
    std::unique_ptr<uitest::ModalAnswer> AnswerNextQuestion(int timeoutMs = 5000) {
        m_question.clear();
        m_buttons.clear();
        return std::make_unique<uitest::ModalAnswer>([this](QWidget* modal) {
            if (auto* text = modal->findChild<QLabel*>(QStringLiteral("questionText")))
                m_question = text->text();
            const QList<QPushButton*> buttons = modal->findChildren<QPushButton*>();
            for (QPushButton* b : buttons) m_buttons << b->text();
            static_cast<QDialog*>(modal)->reject();
        }, timeoutMs);
    }

    // An engine error as the encoder thread reports it.
    void ReportFromEngineThread(int code, const void* detail) {
        std::thread engine([&] { m_session->OnEngineEvent(RecordError, code, detail); });
        engine.join();
    }

    testsupport::PulseDaemon m_pulse;
    QTemporaryDir m_dir;
    uitest::TestLibrary m_library;
    QString m_folder;
    CConfig* m_config = nullptr;
    std::unique_ptr<CMainUI> m_window;
    CRecordSession* m_session = nullptr;
    CShowListWidget* m_list = nullptr;
    QList<int> m_states;
    QString m_question;
    QStringList m_buttons;
};

TEST_F(SessionTest, SongsNotLongerThanTheFilterTimeAreDeletedWithTheirFiles) {
    m_config->SetFilterTime(10);
    // 10 s and 11 s of sound; the second file is closed by the stop, its
    // end reaches the window after the session is idle.
    RecordSongs({{10.5, 440}, {2.0, 0}, {11.5, 550}});
    EXPECT_EQ(m_states, (QList<int>{2, 1, 2, 1, 0}));

    ASSERT_EQ(m_list->ListCount(List_AllRecordings), 1);
    EXPECT_EQ(m_list->ListCount(List_NewlyRecordings), 1);
    const QList<CTreeWidgetItem*> rows = m_list->VisibleRows();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0]->TimeRecorded(), QStringLiteral("00:11"));
    EXPECT_EQ(recordingtest::FilesIn(m_folder, {"mp3", "wav"}), QStringList{rows[0]->Path()});
    // The kept song is queued for playing and shown in the recording view
    // as one whose information is not fetched.
    EXPECT_TRUE(m_list->PlayQueue()->Contains(rows[0]));
    const auto& shown = m_window->RecordingWidget()->Items();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].musicId, rows[0]->MusicId());
    EXPECT_EQ(shown[0].kind, CRecordSession::Kind_NoInfo);
    EXPECT_EQ(shown[0].time, QStringLiteral("00:11"));
    EXPECT_TRUE(m_window->ToolBar()->PlayButton()->isEnabled());
}

TEST_F(SessionTest, WithoutSplittingTheWholeSessionIsOneSong) {
    m_config->SetSplitMode(0);
    RecordSongs({{2.5, 440}, {2.0, 0}, {2.5, 550}});
    EXPECT_EQ(m_states, (QList<int>{2, 1, 0}));
    ASSERT_EQ(m_list->ListCount(List_AllRecordings), 1);
    const QList<CTreeWidgetItem*> rows = m_list->VisibleRows();
    ASSERT_EQ(rows.size(), 1);
    // The silence inside is part of the song.
    const QString time = rows[0]->TimeRecorded();
    EXPECT_TRUE(time == QStringLiteral("00:06") || time == QStringLiteral("00:07")) << time.toStdString();
    EXPECT_EQ(recordingtest::FilesIn(m_folder, {"mp3", "wav"}).size(), 1);
}

TEST_F(SessionTest, StartStopsPlaybackFirstAndAVanishedInputGivesWayToInputZero) {
    m_config->SetDeviceId(QStringLiteral("USB Microphone"));
    std::string sourceAtRequest = "not asked";
    int stateAtRequest = -1;
    QObject::connect(m_session, &CRecordSession::PlaybackStopRequested, m_window.get(), [&] {
        sourceAtRequest = m_pulse.recordingSource();
        stateAtRequest = m_session->State();
    });
    ASSERT_TRUE(m_session->StartRecording());
    // Asked while nothing recorded yet.
    EXPECT_EQ(sourceAtRequest, "");
    EXPECT_EQ(stateAtRequest, CRecordSession::State_Idle);
    EXPECT_EQ(m_pulse.recordingSource(), "speakers.monitor");
    const QString first = QString::fromUtf8(AudioDevGetInputName(m_session->AudioDev(), 0));
    EXPECT_EQ(first, QStringLiteral("Monitor of Speakers"));
    EXPECT_EQ(m_config->GetDeviceId(), first);
    EXPECT_EQ(m_window->Centre()->currentIndex(), CMainUI::Page_Recording);
    EXPECT_TRUE(m_window->RecordingWidget()->IsAnimating());

    // A second start while the session runs is refused by the engine and
    // only logged: no question, the session goes on.
    {
        uitest::LogCapture log;
        auto none = AnswerNextQuestion();
        EXPECT_FALSE(m_session->StartRecording());
        uitest::Watch([&] { return none->Seen(); }, 300);
        EXPECT_FALSE(none->Seen());
        EXPECT_TRUE(log.Contains(QStringLiteral("AudioDevStartRecord failed err: -6")));
    }
    EXPECT_EQ(m_session->State(), CRecordSession::State_Waiting);
    m_session->SignalStopRecord();
    EXPECT_TRUE(m_pulse.recordingSource().empty());
    EXPECT_FALSE(m_window->RecordingWidget()->IsAnimating());
}

TEST_F(SessionTest, WriteErrorOnANearlyFullDiskRunsDiskisFull) {
    QString askedFolder;
    qint64 freeBytes = 10LL * 1024 * 1024;
    m_session->SetFreeSpaceQuery([&](const QString& folder) {
        askedFolder = folder;
        return freeBytes;
    });
    ASSERT_TRUE(m_session->StartRecording());
    {
        uitest::LogCapture log;
        auto answer = AnswerNextQuestion();
        ReportFromEngineThread(AUDIODEV_ERR_WRITE, nullptr);
        ASSERT_TRUE(QTest::qWaitFor([&] { return answer->Seen(); }, 3000));
        EXPECT_TRUE(log.Contains(QStringLiteral("CRecordSession::DiskisFull")));
    }
    EXPECT_EQ(askedFolder, m_folder);
    EXPECT_EQ(m_question, QStringLiteral("There is not enough disk space.\nPlease clean up the disk "
                                         "and \ncontinue to record music."));
    EXPECT_EQ(m_buttons, (QStringList{"Cancel", "Ok"}));
    EXPECT_EQ(m_session->State(), CRecordSession::State_Idle);
    EXPECT_TRUE(m_pulse.recordingSource().empty());

    // With room left the write failure is reported as such.
    freeBytes = CRecordSession::kDiskFullBytes + 1;
    ASSERT_TRUE(m_session->StartRecording());
    auto answer = AnswerNextQuestion();
    ReportFromEngineThread(AUDIODEV_ERR_WRITE, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return answer->Seen(); }, 3000));
    EXPECT_TRUE(m_question.startsWith(QStringLiteral("Writing the recording to\n") + m_folder))
        << m_question.toStdString();
    EXPECT_EQ(m_buttons, QStringList{"Ok"});
    EXPECT_EQ(m_session->State(), CRecordSession::State_Idle);
}

TEST_F(SessionTest, LostInputEndsTheSessionWithItsNameAndKeepsWhatCameBefore) {
    std::string module;
    ASSERT_EQ(m_pulse.pactl("load-module module-null-sink sink_name=gadget "
                            "sink_properties=device.description=Gadget",
                            &module),
              0);
    m_config->SetDeviceId(QStringLiteral("Monitor of Gadget"));
    const QString tone = m_dir.filePath(QStringLiteral("tone.wav"));
    ASSERT_TRUE(recordingtest::WriteSongs(tone, {{2.5, 440}}));
    ASSERT_TRUE(m_session->StartRecording());
    ASSERT_TRUE(recordingtest::Play(tone, QStringLiteral("gadget")));
    auto answer = AnswerNextQuestion();
    ASSERT_EQ(m_pulse.pactl("unload-module " + module.substr(0, module.find('\n'))), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return answer->Seen(); }, 5000));
    EXPECT_EQ(m_question, QStringLiteral("Failed to find Monitor of Gadget, \n"
                                         "please make sure it is connected well."));
    EXPECT_EQ(m_session->State(), CRecordSession::State_Idle);
    EXPECT_EQ(m_window->ToolBar()->GetRecordState(), CToolBar::State_Idle);
    // The song before the loss was closed and kept.
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_list->ListCount(List_AllRecordings) == 1; }, 3000));
    EXPECT_EQ(recordingtest::FilesIn(m_folder, {"mp3"}).size(), 1);

    // The name is read as text up to its end, never as a fixed block.
    const char name[] = "Microphone";
    auto* heap = new char[sizeof name];
    std::memcpy(heap, name, sizeof name);
    auto again = AnswerNextQuestion();
    ReportFromEngineThread(AUDIODEV_ERR_NO_DEVICE, heap);
    delete[] heap;
    ASSERT_TRUE(QTest::qWaitFor([&] { return again->Seen(); }, 3000));
    EXPECT_EQ(m_question, QStringLiteral("Failed to find Microphone, \n"
                                         "please make sure it is connected well."));
}

TEST_F(SessionTest, FolderThatCannotBeMadeEndsTheSessionWithAClearMessage) {
    // A file stands where the folder should be made.
    const QString blocker = m_dir.filePath(QStringLiteral("blocker"));
    QFile file(blocker);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const QString folder = blocker + QStringLiteral("/rec");
    m_config->SetOutputPath({folder});
    const QString tone = m_dir.filePath(QStringLiteral("tone.wav"));
    // The engine gives up after five seconds of sound it could not save.
    ASSERT_TRUE(recordingtest::WriteSongs(tone, {{6.5, 440}}));
    ASSERT_TRUE(m_session->StartRecording());
    auto answer = AnswerNextQuestion(15000);
    ASSERT_TRUE(recordingtest::Play(tone, QStringLiteral("speakers")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return answer->Seen(); }, 5000));
    EXPECT_TRUE(m_question.startsWith(QStringLiteral("Cannot create a recording file in\n") + folder))
        << m_question.toStdString();
    EXPECT_EQ(m_session->State(), CRecordSession::State_Idle);
    EXPECT_TRUE(m_pulse.recordingSource().empty());
    EXPECT_EQ(m_list->ListCount(List_AllRecordings), 0);
}

// Without sound: the engine thread's side of the bridge.
TEST_F(SessionTest, BridgeCopiesOnTheEngineThreadAndDeletesAnAbandonedSampleThere) {
    auto makeFile = [this](const char* name) {
        const QString path = m_dir.filePath(QString::fromLatin1(name));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        return path;
    };
    const QString abandoned = makeFile("song temp.wav");
    const QString complete = makeFile("other temp.wav");
    const QString closed = makeFile("short.mp3");
    QSignalSpy samples(m_session, &CRecordSession::AutoDownloadStarted);
    QSignalSpy ends(m_session, &CRecordSession::RecordEndded);

    // The engine's buffers are valid only during the call: each is
    // scribbled over as soon as the call returns.
    std::thread engine([&] {
        auto report = [this](int code, int value, const QString& path) {
            QByteArray buffer = path.toUtf8();
            m_session->OnEngineEvent(code, value, buffer.constData());
            buffer.fill('x');
        };
        report(SampleFile, 1, abandoned);
        report(SampleFile, 0, complete);
        report(FileClosed, 0, closed);
        report(7, 0, closed);  // a code this program does not know
    });
    engine.join();
    // Gone before the user-interface thread ran anything.
    EXPECT_FALSE(QFile::exists(abandoned));
    ASSERT_EQ(samples.count(), 1);
    EXPECT_EQ(samples.at(0).at(0).toString(), complete);
    ASSERT_EQ(ends.count(), 1);
    EXPECT_EQ(ends.at(0).at(0).toString(), closed);

    // On the user-interface thread: with no song being recorded the list
    // deletes the sample, and a closed file without a library entry goes.
    EXPECT_TRUE(QFile::exists(complete));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !QFile::exists(complete) && !QFile::exists(closed); },
                                2000));
    EXPECT_EQ(m_session->State(), CRecordSession::State_Idle);
    EXPECT_TRUE(m_states.isEmpty());
}

}  // namespace
