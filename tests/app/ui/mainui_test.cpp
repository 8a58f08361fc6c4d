#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "deletedialog.h"
#include "download/downloadqueue.h"
#include "library/librarypage.h"
#include "library/musicdb.h"
#include "library/playqueue.h"
#include "library/showlistwidget.h"
#include "library/treelib.h"
#include "library/treewidgetitem.h"
#include "mainui.h"
#include "playback/mprisservice.h"
#include "playback/playercontroller.h"
#include "playback/playinfogroup.h"
#include "playback/popupplaylist.h"
#include "privatehome.h"
#include "pulsedaemon.h"
#include "readywidget.h"
#include "recording/recordsession.h"
#include "recordingtest.h"
#include "recording/recordingwidget.h"
#include "statusbar.h"
#include "toolbar.h"
#include "uiapp.h"
#include "updates/bugreportdialog.h"

namespace {

class MainUITest : public testing::Test {
protected:
    void SetUp() override {
        uitest::App();
        QApplication::setApplicationName(QStringLiteral("Tavra Tunecap"));
        // The window is built once the library is open, as at start-up.
        m_dir = QString::fromStdString(testsupport::makeTempDir("mainui-test"));
        ASSERT_EQ(DB_OpenFile(m_dir + QStringLiteral("/music.db")), 0);
        recordingtest::RecordFromSpeakers(CConfig::instance(), m_dir + QStringLiteral("/rec"));
        // One file for the whole session: a song stays in progress.
        CConfig::instance()->SetSplitMode(0);
        m_window = std::make_unique<CMainUI>(uitest::OpenLibrary(m_dir + QStringLiteral("/music.db")));
        m_window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
    }
    void TearDown() override {
        m_window.reset();
        EXPECT_FALSE(DB_IsOpen()) << "the recordings list closes the library";
        testsupport::removeTree(m_dir.toStdString());
    }

    // Closes the window; the question dialog, when one shows, is answered
    // with the button of the given text and its text is kept.
    bool CloseAnswering(const QString& button) {
        uitest::QuestionAnswer answer(button, 2000);
        const bool closed = m_window->close();
        m_asked = answer.Seen();
        m_question = answer.Text();
        return closed;
    }

    // A session recording the speakers' monitor, waiting for a song.
    void StartSession() {
        ASSERT_TRUE(m_pulse.ok()) << m_pulse.error();
        ASSERT_TRUE(m_window->RecordSession()->StartRecording());
        ASSERT_EQ(m_window->RecordSession()->State(), RecordState::Waiting);
    }
    // A song is being written and has its library entry (one second in).
    void StartSong() {
        StartSession();
        const QString tone = m_dir + QStringLiteral("/tone.wav");
        ASSERT_TRUE(recordingtest::WriteSongs(tone, {{1.5, 440}}));
        ASSERT_TRUE(recordingtest::Play(tone));
        CShowListWidget* list = m_window->LibraryPage()->ShowList();
        ASSERT_TRUE(QTest::qWaitFor([&] { return list->Library()->NewRecordRow() != nullptr; }, 5000));
        ASSERT_EQ(m_window->RecordSession()->State(), RecordState::SongInProgress);
    }

    testsupport::PulseDaemon m_pulse{testsupport::SoundServer::PulseAudio};
    QString m_dir;
    std::unique_ptr<CMainUI> m_window;
    QString m_question;
    bool m_asked = false;
};

TEST_F(MainUITest, WindowHasItsTitleSizePagesAndMenus) {
    EXPECT_EQ(m_window->windowTitle(), QStringLiteral("Tavra Tunecap"));
    EXPECT_FALSE(m_window->windowIcon().isNull());
    EXPECT_TRUE(m_window->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(m_window->minimumSize(), QSize(924, 610));
    EXPECT_EQ(m_window->size(), QSize(924, 610));

    QStackedWidget* centre = m_window->Centre();
    ASSERT_EQ(centre->count(), 3);
    EXPECT_EQ(centre->widget(CMainUI::Page_Library), m_window->LibraryPage());
    EXPECT_NE(qobject_cast<CRecordingWidget*>(centre->widget(CMainUI::Page_Recording)), nullptr);
    EXPECT_NE(qobject_cast<CReadyWidget*>(centre->widget(CMainUI::Page_Start)), nullptr);
    EXPECT_EQ(centre->currentIndex(), CMainUI::Page_Start);

    const QStringList menu = {"Settings", "-", "Online Help", "Home Page", "Support", "-",
                              "Check for Updates", "Bug Report", "-", "About"};
    EXPECT_EQ(uitest::MenuTexts(m_window->MainMenu()), menu);
    EXPECT_EQ(m_window->TitleBar()->MenuButton()->menu(), m_window->MainMenu());

    CStatusBar* status = m_window->StatusBar();
    EXPECT_EQ(status->AudioSourceButton()->text(), QStringLiteral("Audio Source"));
    EXPECT_EQ(status->SchedulerButton()->toolTip(), QStringLiteral("Recording task scheduler"));
    EXPECT_EQ(status->AddPlayListButton()->text(), QStringLiteral("Add PlayList"));
    EXPECT_EQ(status->AddToiTunesButton()->text(), QStringLiteral("Add to iTunes"));
    EXPECT_EQ(status->RecordingButton()->text(), QStringLiteral("Recording"));
    EXPECT_EQ(status->MediaButton()->text(), QStringLiteral("Media"));
    EXPECT_EQ(m_window->FirstRecordingFlag(), 1);
}

TEST_F(MainUITest, RecordingAndMediaButtonsSwitchTheCentre) {
    CStatusBar* status = m_window->StatusBar();
    QTest::mouseClick(status->RecordingButton(), Qt::LeftButton);
    EXPECT_EQ(m_window->Centre()->currentIndex(), CMainUI::Page_Recording);
    EXPECT_TRUE(status->RecordingButton()->isChecked());
    EXPECT_FALSE(status->MediaButton()->isChecked());
    EXPECT_FALSE(status->AddPlayListButton()->isEnabled());
    EXPECT_FALSE(status->AddToiTunesButton()->isEnabled());

    QTest::mouseClick(status->MediaButton(), Qt::LeftButton);
    EXPECT_EQ(m_window->Centre()->currentIndex(), CMainUI::Page_Library);
    EXPECT_FALSE(status->RecordingButton()->isChecked());
    EXPECT_TRUE(status->MediaButton()->isChecked());
    EXPECT_TRUE(status->AddPlayListButton()->isEnabled());
    // A click on the view already shown leaves it shown and checked.
    QTest::mouseClick(status->MediaButton(), Qt::LeftButton);
    EXPECT_TRUE(status->MediaButton()->isChecked());
    EXPECT_EQ(m_window->Centre()->currentIndex(), CMainUI::Page_Library);

    // The tray's "Library" brings the window back on the library page.
    m_window->ShowRecording();
    m_window->showMinimized();
    m_window->ToolBar()->TrayLibraryAction()->trigger();
    EXPECT_FALSE(m_window->isMinimized());
    EXPECT_EQ(m_window->Centre()->currentIndex(), CMainUI::Page_Library);
}

TEST_F(MainUITest, MiniModeKeepsTitleAndToolBarAndComesBackAtFullSize) {
    QTest::mouseClick(m_window->TitleBar()->MiniButton(), Qt::LeftButton);
    ASSERT_TRUE(m_window->IsMiniState());
    EXPECT_FALSE(m_window->Centre()->isVisible());
    EXPECT_FALSE(m_window->StatusBar()->isVisible());
    EXPECT_TRUE(m_window->ToolBar()->isVisible());
    EXPECT_LT(m_window->height(), 610);
    EXPECT_GE(m_window->height(), m_window->ToolBar()->height() + m_window->TitleBar()->height());

    // The tray's "Library" leaves the mini mode.
    m_window->ToolBar()->TrayLibraryAction()->trigger();
    EXPECT_FALSE(m_window->IsMiniState());
    EXPECT_TRUE(m_window->Centre()->isVisible());
    EXPECT_EQ(m_window->minimumSize(), QSize(924, 610));
    EXPECT_GE(m_window->height(), 610);
}

TEST_F(MainUITest, IdentifiedSongShowsInTheMiniModeAndOnTheDiscAndAFailureClearsBoth) {
    CToolBar* bar = m_window->ToolBar();
    m_window->ShowRecording();
    CRecordingWidget* view = m_window->RecordingWidget();
    // A point of the disc's label, between its centre dot and its edge.
    const auto labelColour = [&] {
        const QImage shown = view->grab().toImage();
        const int side = int(qMin(view->width(), 210) * 0.8);
        return shown.pixelColor(view->width() / 2 - side / 10, 115);
    };
    const QColor plainLabel = labelColour();
    EXPECT_FALSE(bar->MiniSong()->isVisible());
    const int fullWidth = m_window->width();
    m_window->ChangeMiniState();
    ASSERT_TRUE(bar->MiniSong()->isVisible());
    const auto centreColour = [&] {
        const QImage shown = bar->MiniCover()->pixmap().toImage();
        return shown.pixelColor(shown.width() / 2, shown.height() / 2);
    };
    const QColor defaultColour = centreColour();

    QImage picture(64, 64, QImage::Format_RGB32);
    picture.fill(QColor(200, 0, 0));
    const QString coverPath = m_dir + QStringLiteral("/cover.png");
    ASSERT_TRUE(picture.save(coverPath));
    SongRecord record;
    record.MusicId = 1;
    SetTagText(record.tags.songName, QStringLiteral("A Song With A Long Name That The Bar Cuts Short"));
    SetTagText(record.tags.artist, QStringLiteral("The Band"));
    CTreeWidgetItem row(1);
    row.SetFromRecord(record);
    row.SetCoverPath(coverPath);

    // What the session and the recordings list report, through the window's wiring.
    Q_EMIT m_window->RecordSession()->IdentificationStarted();
    EXPECT_NE(centreColour(), defaultColour) << "the downloading picture";
    row.SetDownloadState(DownloadTask_SUCESS);
    Q_EMIT m_window->Library()->AutoDownloadFinished(&row);
    EXPECT_TRUE(bar->MiniTitle()->text().startsWith(QStringLiteral("A Song")));
    EXPECT_TRUE(bar->MiniTitle()->text().endsWith(QChar(0x2026)));
    // Cut to its room, not beyond it.
    EXPECT_LE(bar->MiniTitle()->fontMetrics().horizontalAdvance(bar->MiniTitle()->text()),
              bar->MiniTitle()->width());
    EXPECT_GT(bar->MiniTitle()->width(), 20);
    EXPECT_EQ(bar->MiniArtist()->text(), QStringLiteral("The Band"));
    EXPECT_EQ(centreColour(), QColor(200, 0, 0));
    // The mini height holds it; the full window hides it again.
    EXPECT_GE(m_window->height(), bar->height() + m_window->TitleBar()->height());
    m_window->ChangeMiniState();
    EXPECT_FALSE(bar->MiniSong()->isVisible());
    EXPECT_EQ(m_window->width(), fullWidth) << "a mini mode that had to widen the window";
    EXPECT_EQ(labelColour(), QColor(200, 0, 0)) << "the cover on the disc's label";

    row.SetDownloadState(DownloadTask_FAILED);
    Q_EMIT m_window->Library()->AutoDownloadFinished(&row);
    EXPECT_TRUE(bar->MiniTitle()->text().isEmpty());
    EXPECT_TRUE(bar->MiniArtist()->text().isEmpty());
    EXPECT_EQ(centreColour(), defaultColour);
    EXPECT_EQ(labelColour(), plainLabel) << "no cover left on the disc";
}

TEST_F(MainUITest, ClosingWhileIdleOrWaitingForASongAsksNothing) {
    const QString engineStopped = QStringLiteral("AudioDevStopRecord res: 0");
    StartSession();
    {
        uitest::LogCapture log;
        EXPECT_TRUE(CloseAnswering(QStringLiteral("No")));
        EXPECT_FALSE(m_asked);
        EXPECT_FALSE(m_window->isVisible());
        // The engine was stopped and the tool bar is back to idle.
        EXPECT_EQ(m_window->RecordSession()->State(), RecordState::Idle);
        EXPECT_TRUE(m_pulse.recordingSource().empty());
        EXPECT_TRUE(log.Contains(engineStopped));
        EXPECT_TRUE(log.Contains(QStringLiteral("CMainUI::closeEvent event->accept()")));
    }
    {
        uitest::LogCapture log;
        m_window->show();
        EXPECT_TRUE(CloseAnswering(QStringLiteral("No")));
        EXPECT_FALSE(m_asked);
        EXPECT_FALSE(log.Contains(engineStopped));
    }
}

TEST_F(MainUITest, ClosingWhileASongIsWrittenAsksAndNoKeepsTheWindowRecording) {
    CToolBar* bar = m_window->ToolBar();
    CRecordSession* session = m_window->RecordSession();
    StartSong();

    {
        uitest::LogCapture log;
        EXPECT_FALSE(CloseAnswering(QStringLiteral("No")));
        EXPECT_FALSE(log.Contains(QStringLiteral("AudioDevStopRecord")));
        EXPECT_FALSE(log.Contains(QStringLiteral("event->accept()")));
    }
    EXPECT_TRUE(m_asked);
    EXPECT_EQ(m_question, QStringLiteral("Are you sure to quit the programme?\n"
                                         "Unfinished recording will be lost if you quit now!"));
    EXPECT_TRUE(m_window->isVisible());
    EXPECT_EQ(session->State(), RecordState::SongInProgress);
    EXPECT_TRUE(session->RecordingTimer()->isActive());
    EXPECT_FALSE(m_pulse.recordingSource().empty());

    EXPECT_TRUE(CloseAnswering(QStringLiteral("Quit")));
    EXPECT_TRUE(m_asked);
    EXPECT_FALSE(m_window->isVisible());
    EXPECT_EQ(session->State(), RecordState::Idle);
    EXPECT_FALSE(session->RecordingTimer()->isActive());
    EXPECT_EQ(bar->TrayRecordAction()->text(), QStringLiteral("Record"));
    EXPECT_TRUE(bar->TrayMenu()->actions().contains(bar->TrayRecordAction()));
}

TEST_F(MainUITest, QuittingWhileASongIsWrittenDeletesTheSongFromTheLibrary) {
    CShowListWidget* list = m_window->LibraryPage()->ShowList();
    StartSong();
    const int musicId = list->Library()->NewRecordRow()->MusicId();
    const QString song = list->Library()->NewRecordRow()->Path();
    ASSERT_TRUE(QFile::exists(song));

    EXPECT_TRUE(CloseAnswering(QStringLiteral("Quit")));
    // What the stopped engine still reports changes nothing.
    uitest::Watch([&] { return list->Library()->NewRecordRow() != nullptr || QFile::exists(song); }, 300);
    EXPECT_FALSE(QFile::exists(song));
    EXPECT_EQ(list->Library()->NewRecordRow(), nullptr);
    EXPECT_EQ(list->Library()->ListCount(1), 0);
    EXPECT_TRUE(recordingtest::FilesIn(m_dir + QStringLiteral("/rec"), {"mp3", "wav"}).isEmpty());
    SongRecord record;
    EXPECT_EQ(DB_GetMusicInfo(musicId, &record), 0);
}

TEST_F(MainUITest, ATerminationSignalClosesTheOpenDialogsAsksNothingAndKeepsTheSong) {
    CShowListWidget* list = m_window->LibraryPage()->ShowList();
    CConfig::instance()->SetFilterMode(0);  // songs of any length are kept
    StartSong();
    const int musicId = list->Library()->NewRecordRow()->MusicId();
    const QString song = list->Library()->NewRecordRow()->Path();

    // A question is open when the desktop session ends.
    CDeleteDialog question(QStringLiteral("Delete?"), m_window.get());
    question.AddButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole, true);
    QTimer::singleShot(0, m_window.get(), &CMainUI::CloseForTermination);
    question.Ask();
    EXPECT_FALSE(m_window->isVisible());
    EXPECT_EQ(m_window->RecordSession()->State(), RecordState::Idle);
    // The song ends as on Stop: its file and its library entry stay.
    EXPECT_TRUE(QFile::exists(song));
    EXPECT_EQ(list->Library()->NewRecordRow(), nullptr);
    SongRecord record;
    EXPECT_EQ(DB_GetMusicInfo(musicId, &record), 1);
}

TEST_F(MainUITest, TheSessionsMessagesAreShownWithoutHoldingItUp) {
    CRecordSession* session = m_window->RecordSession();
    {
        uitest::QuestionAnswer ok(QStringLiteral("Ok"));
        Q_EMIT session->DiskFullReported();
        ASSERT_TRUE(QTest::qWaitFor([&ok] { return ok.Seen(); }, 5000));
        EXPECT_EQ(ok.Text(), QStringLiteral("There is not enough disk space.\nPlease clean up the "
                                            "disk and \ncontinue to record music."));
    }
    uitest::QuestionAnswer ok(QStringLiteral("Ok"));
    Q_EMIT session->MessageRequested(QStringLiteral("The recording stopped because of an error (-5)."));
    ASSERT_TRUE(QTest::qWaitFor([&ok] { return ok.Seen(); }, 5000));
    EXPECT_EQ(ok.Text(), QStringLiteral("The recording stopped because of an error (-5)."));
}

TEST_F(MainUITest, LibraryPageHoldsTheTreeAndTheListAndAddsPlaylists) {
    CTreeLib* tree = m_window->LibraryPage()->TreeLib();
    CShowListWidget* list = m_window->LibraryPage()->ShowList();
    EXPECT_EQ(tree->CurrentListId(), 1);
    EXPECT_EQ(list->CurrentListId(), 1);
    ASSERT_EQ(tree->Rows().size(), 4);

    QTest::mouseClick(m_window->StatusBar()->MediaButton(), Qt::LeftButton);
    QTest::mouseClick(m_window->StatusBar()->AddPlayListButton(), Qt::LeftButton);
    ASSERT_EQ(tree->Rows().size(), 5);
    EXPECT_EQ(tree->Rows().last()->Name(), QStringLiteral("PlayList 2"));
    EXPECT_EQ(tree->CurrentListId(), 5);
    EXPECT_EQ(list->CurrentListId(), 5);
    EXPECT_EQ(list->PlaylistMenu()->actions().size(), 2);

    // Backspace in the tree deletes the current playlist (it is empty: no
    // question) and shows the one before it.
    tree->PlayListTree()->setFocus();
    tree->PlayListTree()->closePersistentEditor(tree->Rows().last(), CListTreeItem::Column_Name);
    QTest::keyClick(tree->PlayListTree(), Qt::Key_Escape);
    QTest::keyClick(tree->PlayListTree(), Qt::Key_Backspace);
    EXPECT_EQ(tree->Rows().size(), 4);
    EXPECT_EQ(tree->CurrentListId(), 4);
    EXPECT_EQ(list->CurrentListId(), 4);
    EXPECT_EQ(list->PlaylistMenu()->actions().size(), 1);
}

TEST_F(MainUITest, ClosingWhileABugReportIsSentAsksFirst) {
    // The report is being sent from "Send" until its archive is complete.
    auto sendReport = [this] {
        uitest::ModalAnswer form([](QWidget* modal) {
            auto* dialog = qobject_cast<CBugReportDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            dialog->DescriptionEdit()->setPlainText(QStringLiteral("It stopped."));
            QTest::mouseClick(dialog->SendButton(), Qt::LeftButton);
        });
        m_window->MainMenu()->actions().at(7)->trigger();  // "Bug Report"
        ASSERT_TRUE(form.Seen());
    };
    sendReport();
    ASSERT_TRUE(m_window->IsSendingBugReport());
    EXPECT_FALSE(CloseAnswering(QStringLiteral("No")));
    EXPECT_TRUE(m_asked);
    EXPECT_EQ(m_question, QStringLiteral("Are you sure to quit the programme?\n"
                                         "It is sending bug report mail!"));
    EXPECT_TRUE(m_window->isVisible());

    // Once the archive is made, closing asks nothing.
    ASSERT_TRUE(QTest::qWaitFor([this] { return !m_window->IsSendingBugReport(); }, 10000));
    EXPECT_TRUE(CloseAnswering(QStringLiteral("Quit")));
    EXPECT_FALSE(m_asked);

    m_window->show();
    sendReport();
    ASSERT_TRUE(m_window->IsSendingBugReport());
    EXPECT_TRUE(CloseAnswering(QStringLiteral("Quit")));
    EXPECT_TRUE(m_asked);
    EXPECT_FALSE(m_window->isVisible());
}

TEST_F(MainUITest, TrayExitClosesTheWindowThroughTheCloseSequence) {
    CToolBar* bar = m_window->ToolBar();
    StartSong();
    uitest::ModalAnswer seen([](QWidget* modal) {
        static_cast<QDialog*>(modal)->reject();  // as "No"
    }, 2000);
    bar->TrayExitAction()->trigger();
    EXPECT_TRUE(seen.Seen());
    EXPECT_TRUE(m_window->isVisible());

    bar->TrayStopAction()->trigger();
    EXPECT_EQ(m_window->RecordSession()->State(), RecordState::Idle);
    bar->TrayExitAction()->trigger();
    EXPECT_FALSE(m_window->isVisible());
}

TEST_F(MainUITest, ThePlayerSitsInTheToolBarAndRunsWithoutASessionBus) {
    // Built again on a library with one song whose file is no audio, and
    // watched: the test programs have no session bus.
    m_window.reset();
    ASSERT_EQ(DB_OpenFile(m_dir + QStringLiteral("/music.db")), 0);
    SongRecord song;
    song.MusicId = 7;
    song.MusicPath = m_dir + QStringLiteral("/AU7.mp3");
    song.DateAdded = QStringLiteral("01/02/2020 10:00");
    ASSERT_EQ(DB_SetMusicInfo(song), 0);
    QFile file(song.MusicPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("no audio in here");
    file.close();
    {
        uitest::LogCapture log;
        m_window = std::make_unique<CMainUI>(uitest::OpenLibrary(m_dir + QStringLiteral("/music.db")));
        EXPECT_EQ(log.Count(QStringLiteral("session bus")), 1);
    }
    m_window->show();
    EXPECT_FALSE(m_window->Mpris()->IsRegistered());
    CToolBar* bar = m_window->ToolBar();
    EXPECT_EQ(m_window->PlayInfo()->parentWidget(), bar->PlayInfoArea());
    EXPECT_TRUE(bar->PlayButton()->isEnabled());
    EXPECT_FALSE(bar->NextButton()->isEnabled());

    // The engine refuses the file: nothing plays and the tool bar says so.
    CShowListWidget* list = m_window->LibraryPage()->ShowList();
    ASSERT_TRUE(list->SetCurrentRow(list->Library()->FindRow(7)));
    QTest::mouseClick(bar->PlayButton(), Qt::LeftButton);
    CPlayerController* player = m_window->Player();
    EXPECT_EQ(list->Library()->PlayQueue()->Count(), 1);
    EXPECT_EQ(player->PlayState(), CPlayerController::State_Stopped);
    EXPECT_FALSE(list->Library()->FindRow(7)->IsPlaying());
    EXPECT_EQ(bar->StatusLabel()->text(), QStringLiteral("Ready"));
    EXPECT_EQ(bar->PlayButton()->toolTip(), QStringLiteral("Play"));

    // The queue pops up above the panel and closes again.
    m_window->ShowPopPlayList();
    EXPECT_TRUE(m_window->PopupPlayList()->isVisible());
    EXPECT_EQ(m_window->PopupPlayList()->List()->count(), 1);
    m_window->ShowPopPlayList();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !m_window->PopupPlayList()->isVisible(); }, 2000));

    // Without a file the song cannot be played, which the user is told.
    ASSERT_TRUE(QFile::remove(song.MusicPath));
    uitest::QuestionAnswer answer(QStringLiteral("Cancel"));
    m_window->PlayMusic(list->Library()->FindRow(7));
    EXPECT_EQ(answer.Text(),
              QStringLiteral("Song playing unavailable, \noriginal file could not be found."));
    EXPECT_TRUE(list->Library()->FindRow(7)->IsMissing());
}

}  // namespace
