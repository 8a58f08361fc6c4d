// The recording session without a window, against a private sound server:
// how songs are judged by their length, one file without splitting, the
// start (playback is asked to stop first, a vanished input gives way to
// input 0), and the engine's errors, each ending the session with a message
// for the user. The bridge's own duties (copies made on the engine thread,
// abandoned samples deleted there at once) are checked without sound.
#include <gtest/gtest.h>

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "capdev.h"
#include "config.h"
#include "coreapp.h"
#include "library/library.h"
#include "library/playqueue.h"
#include "logcapture.h"
#include "pulsedaemon.h"
#include "recording/recordsession.h"
#include "recording/spectrumfeed.h"
#include "recordingtest.h"

namespace {

using recordingtest::Stretch;

class SessionTest : public testing::Test {
protected:
    void SetUp() override {
        testsupport::CoreApp();
        ASSERT_TRUE(m_pulse.ok()) << m_pulse.error();
        ASSERT_TRUE(m_dir.isValid());
        m_folder = m_dir.filePath(QStringLiteral("rec"));
        m_config = CConfig::instance();
        recordingtest::RecordFromSpeakers(m_config, m_folder);
        m_library = std::make_unique<CLibrary>(m_config);
        ASSERT_EQ(m_library->Open(m_dir.filePath(QStringLiteral("music.db"))), 0);
        m_session = std::make_unique<CRecordSession>(m_config, m_library.get(), &m_spectrum);
        QObject::connect(m_session.get(), &CRecordSession::RecordStateChanged, m_session.get(),
                         [this](RecordState state) { m_states << int(state); });
    }
    void TearDown() override {
        m_session.reset();
        m_library.reset();
    }

    // Records the songs as played into the speakers, then stops; waits
    // until every closed file was judged.
    void RecordSongs(const QList<Stretch>& songs) {
        const QString wav = m_dir.filePath(QStringLiteral("songs.wav"));
        ASSERT_TRUE(recordingtest::WriteSongs(wav, songs));
        QSignalSpy ended(m_session.get(), &CRecordSession::SongEnded);
        ASSERT_TRUE(m_session->StartRecording());
        ASSERT_EQ(m_session->State(), RecordState::Waiting);
        ASSERT_TRUE(recordingtest::Play(wav, QStringLiteral("speakers")));
        m_session->SignalStopRecord();
        ASSERT_EQ(m_session->State(), RecordState::Idle);
        int loud = 0;
        for (const Stretch& s : songs) loud += s.hz > 0 ? 1 : 0;
        const int files = m_config->GetSplitMode() != 0 ? loud : 1;
        ASSERT_TRUE(QTest::qWaitFor([&] { return ended.count() == files; }, 5000))
            << ended.count() << " of " << files;
    }

    // The text of the next message the spy caught that was not read yet
    // (the session asks the window to show it), waiting up to timeoutMs;
    // empty when none came.
    QString NextMessage(QSignalSpy& messages, int timeoutMs = 5000) {
        const qsizetype next = m_messagesRead++;
        if (!QTest::qWaitFor([&] { return messages.count() > next; }, timeoutMs)) return QString();
        return messages.at(next).at(0).toString();
    }

    // An engine error as the encoder thread reports it.
    void ReportFromEngineThread(int code, const void* detail) {
        std::thread engine([&] { m_session->OnEngineEvent(RecordError, code, detail); });
        engine.join();
    }

    QList<CTreeWidgetItem*> Songs() const {
        const std::vector<CTreeWidgetItem*> rows = m_library->Members(List_AllRecordings);
        return QList<CTreeWidgetItem*>(rows.begin(), rows.end());
    }

    testsupport::PulseDaemon m_pulse;
    QTemporaryDir m_dir;
    QString m_folder;
    CConfig* m_config = nullptr;
    CSpectrumFeed m_spectrum;
    std::unique_ptr<CLibrary> m_library;
    std::unique_ptr<CRecordSession> m_session;
    QList<int> m_states;
    qsizetype m_messagesRead = 0;
};

TEST_F(SessionTest, SongsNotLongerThanTheFilterTimeAreDeletedWithTheirFiles) {
    m_config->SetFilterTime(10);
    QSignalSpy filed(m_session.get(), &CRecordSession::SongFiled);
    // 10 s and 11 s of sound; the second file is closed by the stop, its
    // end reaches the window after the session is idle.
    RecordSongs({{10.5, 440}, {2.0, 0}, {11.5, 550}});
    EXPECT_EQ(m_states, (QList<int>{2, 1, 2, 1, 0}));

    EXPECT_EQ(m_library->ListCount(List_NewlyRecordings), 1);
    const QList<CTreeWidgetItem*> rows = Songs();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0]->TimeRecorded(), QStringLiteral("00:11"));
    EXPECT_EQ(recordingtest::FilesIn(m_folder, {"mp3", "wav"}), QStringList{rows[0]->Path()});
    // The kept song is queued for playing, its information not fetched.
    EXPECT_TRUE(m_library->PlayQueue()->Contains(rows[0]));
    ASSERT_EQ(filed.count(), 1);
    EXPECT_EQ(filed[0][1].toInt(), int(CRecordSession::Kind_NoInfo));
}

TEST_F(SessionTest, WithoutSplittingTheWholeSessionIsOneSong) {
    m_config->SetSplitMode(0);
    RecordSongs({{2.5, 440}, {2.0, 0}, {2.5, 550}});
    EXPECT_EQ(m_states, (QList<int>{2, 1, 0}));
    const QList<CTreeWidgetItem*> rows = Songs();
    ASSERT_EQ(rows.size(), 1);
    // The silence inside is part of the song.
    const QString time = rows[0]->TimeRecorded();
    EXPECT_TRUE(time == QStringLiteral("00:06") || time == QStringLiteral("00:07")) << time.toStdString();
    EXPECT_EQ(recordingtest::FilesIn(m_folder, {"mp3", "wav"}).size(), 1);
}

TEST_F(SessionTest, StartStopsPlaybackFirstAndAVanishedInputGivesWayToInputZero) {
    m_config->SetDeviceId(QStringLiteral("USB Microphone"));
    std::string sourceAtRequest = "not asked";
    RecordState stateAtRequest = RecordState::Waiting;
    QObject::connect(m_session.get(), &CRecordSession::PlaybackStopRequested, m_session.get(), [&] {
        sourceAtRequest = m_pulse.recordingSource();
        stateAtRequest = m_session->State();
    });
    ASSERT_TRUE(m_session->StartRecording());
    // Asked while nothing recorded yet.
    EXPECT_EQ(sourceAtRequest, "");
    EXPECT_EQ(stateAtRequest, RecordState::Idle);
    EXPECT_EQ(m_pulse.recordingSource(), "speakers.monitor");
    const QString first = QString::fromUtf8(AudioDevGetInputName(m_session->AudioDev(), 0));
    EXPECT_EQ(first, QStringLiteral("Monitor of Speakers"));
    EXPECT_EQ(m_config->GetDeviceId(), first);

    // A second start while the session runs is refused by the engine and
    // only logged: no question, the session goes on.
    {
        testsupport::LogCapture log;
        QSignalSpy messages(m_session.get(), &CRecordSession::MessageRequested);
        EXPECT_FALSE(m_session->StartRecording());
        EXPECT_TRUE(messages.isEmpty());
        EXPECT_TRUE(log.Contains(QStringLiteral("AudioDevStartRecord failed err: -6")));
    }
    EXPECT_EQ(m_session->State(), RecordState::Waiting);
    m_session->SignalStopRecord();
    EXPECT_TRUE(m_pulse.recordingSource().empty());
}

TEST_F(SessionTest, WriteErrorOnANearlyFullDiskRunsDiskisFull) {
    QString askedFolder;
    qint64 freeBytes = 10LL * 1024 * 1024;
    m_session->SetFreeSpaceQuery([&](const QString& folder) {
        askedFolder = folder;
        return freeBytes;
    });
    ASSERT_TRUE(m_session->StartRecording());
    QSignalSpy full(m_session.get(), &CRecordSession::DiskFullReported);
    QSignalSpy messages(m_session.get(), &CRecordSession::MessageRequested);
    ReportFromEngineThread(AUDIODEV_ERR_WRITE, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return full.count() == 1; }, 3000));
    EXPECT_EQ(askedFolder, m_folder);
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(m_session->State(), RecordState::Idle);
    EXPECT_TRUE(m_pulse.recordingSource().empty());

    // With room left the write failure is reported as such.
    freeBytes = CRecordSession::kDiskFullBytes + 1;
    ASSERT_TRUE(m_session->StartRecording());
    ReportFromEngineThread(AUDIODEV_ERR_WRITE, nullptr);
    const QString message = NextMessage(messages, 3000);
    EXPECT_TRUE(message.startsWith(QStringLiteral("Writing the recording to\n") + m_folder))
        << message.toStdString();
    EXPECT_EQ(full.count(), 1);
    EXPECT_EQ(m_session->State(), RecordState::Idle);
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
    QSignalSpy messages(m_session.get(), &CRecordSession::MessageRequested);
    ASSERT_EQ(m_pulse.pactl("unload-module " + module.substr(0, module.find('\n'))), 0);
    EXPECT_EQ(NextMessage(messages), QStringLiteral("Failed to find Monitor of Gadget, \n"
                                                    "please make sure it is connected well."));
    EXPECT_EQ(m_session->State(), RecordState::Idle);
    // The song before the loss was closed and kept.
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_library->ListCount(List_AllRecordings) == 1; }, 3000));
    EXPECT_EQ(recordingtest::FilesIn(m_folder, {"mp3"}).size(), 1);

    // The name is read as text up to its end, never as a fixed block.
    const char name[] = "Microphone";
    auto* heap = new char[sizeof name];
    std::memcpy(heap, name, sizeof name);
    ReportFromEngineThread(AUDIODEV_ERR_NO_DEVICE, heap);
    delete[] heap;
    EXPECT_EQ(NextMessage(messages, 3000), QStringLiteral("Failed to find Microphone, \n"
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
    QSignalSpy messages(m_session.get(), &CRecordSession::MessageRequested);
    ASSERT_TRUE(recordingtest::Play(tone, QStringLiteral("speakers")));
    const QString message = NextMessage(messages);
    EXPECT_TRUE(message.startsWith(QStringLiteral("Cannot create a recording file in\n") + folder))
        << message.toStdString();
    EXPECT_EQ(m_session->State(), RecordState::Idle);
    EXPECT_TRUE(m_pulse.recordingSource().empty());
    EXPECT_EQ(m_library->ListCount(List_AllRecordings), 0);
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
    QSignalSpy samples(m_session.get(), &CRecordSession::AutoDownloadStarted);
    QSignalSpy ends(m_session.get(), &CRecordSession::RecordEndded);

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

    // On the user-interface thread: with no song being recorded the library
    // deletes the sample, and a closed file without a library entry goes.
    EXPECT_TRUE(QFile::exists(complete));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !QFile::exists(complete) && !QFile::exists(closed); },
                                2000));
    EXPECT_EQ(m_session->State(), RecordState::Idle);
    EXPECT_TRUE(m_states.isEmpty());
}

}  // namespace
