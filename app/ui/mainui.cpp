#include "mainui.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QBoxLayout>
#include <QIcon>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QUrl>

#include "config.h"
#include "deletedialog.h"
#include "download/downloadqueue.h"
#include "editing/songediting.h"
#include "itunes/addtoitunesdialog.h"
#include "library/library.h"
#include "library/librarypage.h"
#include "library/playqueue.h"
#include "library/showlistwidget.h"
#include "library/treelib.h"
#include "playback/mediaengine.h"
#include "playback/mprisservice.h"
#include "playback/playercontroller.h"
#include "playback/playerview.h"
#include "playback/playinfogroup.h"
#include "playback/popupplaylist.h"
#include "library/treewidgetitem.h"
#include "preferences/preferencesdialog.h"
#include "readywidget.h"
#include "recording/recordschedule.h"
#include "recording/installextrasdialog.h"
#include "recording/recordsession.h"
#include "recording/spectrumfeed.h"
#include "recording/shutdownquestion.h"
#include "recording/wavfile_widget.h"
#include "recording/recordingwidget.h"
#include "res/pictures.h"
#include "statusbar.h"
#include "toolbar.h"
#include "updates/bugreport.h"
#include "updates/bugreportdialog.h"
#include "updates/updatenotifier.h"

#ifdef RECDECK_WITH_CAPDEV
#include "capdev.h"
#endif
#ifdef RECDECK_WITH_DOWNLOADS
#include "download/taskmanager.h"
#endif

namespace {
constexpr int kWindowWidth = 924;
constexpr int kWindowHeight = 610;

// A web page the program opens; the environment variable, when set,
// replaces the address.
struct WebPage {
    const char* environment;
    const char* address;
};
const WebPage kHelpPage{"TUNECAP_URL_HELP", "https://www.tavra.example/tunecap/help"};
const WebPage kHomePage{"TUNECAP_URL_HOME", "https://www.tavra.example/tunecap"};
const WebPage kSupportPage{"TUNECAP_URL_SUPPORT", "https://www.tavra.example/support"};
const WebPage kEulaPage{"TUNECAP_URL_EULA", "https://www.tavra.example/tunecap/eula"};
const WebPage kFacebookPage{"TUNECAP_URL_FACEBOOK", "https://www.tavra.example/facebook"};
const WebPage kTwitterPage{"TUNECAP_URL_TWITTER", "https://www.tavra.example/twitter"};

void OpenWebPage(const char* slot, const WebPage& page) {
    QString address = qEnvironmentVariable(page.environment);
    if (address.isEmpty()) address = QString::fromLatin1(page.address);
    qDebug("CMainUI::%s open: %s", slot, qUtf8Printable(address));
    if (!QDesktopServices::openUrl(QUrl(address)))
        qWarning("CMainUI::%s cannot open the browser", slot);
}
}  // namespace

CMainUI::CMainUI(std::unique_ptr<CLibrary> library, QWidget* parent)
    : CMyWindowFrame(parent), m_library(std::move(library)) {
    LoadPictures();
    setObjectName(QStringLiteral("CMainUI"));

    m_config = CConfig::instance();

    m_startTaskTimer = new QTimer(this);
    m_startTaskTimer->setSingleShot(true);
    connect(m_startTaskTimer, &QTimer::timeout, this, &CMainUI::StartRecordTask);
    m_stopTaskTimer = new QTimer(this);
    m_stopTaskTimer->setSingleShot(true);
    connect(m_stopTaskTimer, &QTimer::timeout, this, &CMainUI::StopRecordTask);
    m_schedule = new CRecordSchedule(m_config, m_startTaskTimer, m_stopTaskTimer, this);

    m_updates = new CUpdateNotifier(m_config, QApplication::applicationVersion(), this);
    m_bugReport = new CBugReport(m_config, QApplication::applicationVersion(), this);
    setWindowTitle(QApplication::applicationName());
    setWindowIcon(QIcon(QStringLiteral(":/prefix/res/about_icon.png")));

    m_spectrum = new CSpectrumFeed(this);
    BuildContent();
    // The session creates the engine instance; it feeds the spectrum and
    // files songs into the library.
    m_session = std::make_unique<CRecordSession>(m_config, m_library.get(), m_spectrum);
    BuildPlayer();

    setMinimumSize(kWindowWidth, kWindowHeight);
    resize(kWindowWidth, kWindowHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    Wire();
    if (m_library->Incomplete()) {
        auto* box = new QMessageBox(
            QMessageBox::Warning, tr("Library"),
            tr("Part of the library could not be read.\nIt is shown as far as it could be read "
               "and kept unchanged: nothing is saved to it until the program starts again."),
            QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        QTimer::singleShot(0, box, [box] { box->open(); });
    }
}

CMainUI::~CMainUI() {
    // The tasks and the music information service end while the library
    // they write to is still open.
    if (m_downloads) {
        m_library->SetDownloadQueue(nullptr);
        delete m_downloads;
        m_downloads = nullptr;
    }
    // The player goes before the widgets it shows itself in.
    delete m_mpris;
    m_mpris = nullptr;
    delete m_player;
    m_player = nullptr;
    // The engine stops and goes before the spectrum it feeds.
    m_session.reset();
    // The views point at the library's rows: they go before it.
    delete m_centre;
    m_centre = nullptr;
    delete m_popupPlayList;
    m_popupPlayList = nullptr;
}

void* CMainUI::AudioDev() const {
    return m_session ? m_session->AudioDev() : nullptr;
}

int CMainUI::FirstRecordingFlag() const {
    return m_session ? m_session->FirstRecordingFlag() : 1;
}

RecordState CMainUI::RecordingState() const {
    return m_session ? m_session->State() : RecordState::Idle;
}

void CMainUI::BuildContent() {
    m_menu = new QMenu(this);
    m_settingsAction = m_menu->addAction(tr("Settings"));
    m_menu->addSeparator();
    m_helpAction = m_menu->addAction(tr("Online Help"));
    m_homePageAction = m_menu->addAction(tr("Home Page"));
    m_supportAction = m_menu->addAction(tr("Support"));
    m_menu->addSeparator();
    m_updateAction = m_menu->addAction(tr("Check for Updates"));
    m_bugReportAction = m_menu->addAction(tr("Bug Report"));
    m_menu->addSeparator();
    m_aboutAction = m_menu->addAction(tr("About"));
    TitleBar()->SetMenu(m_menu);

    m_statusBar = new CStatusBar(this);

    m_centre = new QStackedWidget(this);
    m_centre->setObjectName(QStringLiteral("centre"));
    m_libraryPage = new CLibraryPage(m_library.get(), m_config, m_centre);
    m_recordingWidget = new CRecordingWidget(m_library.get(), m_centre);
    m_readyWidget = new CReadyWidget(m_centre);
    m_centre->insertWidget(Page_Library, m_libraryPage);
    m_centre->insertWidget(Page_Recording, m_recordingWidget);
    m_centre->insertWidget(Page_Start, m_readyWidget);
    m_centre->setCurrentIndex(Page_Start);

    m_toolBar = new CToolBar(m_config, this);
    auto* waveformLayout = new QHBoxLayout(m_toolBar->WaveformArea());
    waveformLayout->setContentsMargins(0, 0, 0, 0);
    m_waveform = new wavfile_widget(m_spectrum, m_toolBar->WaveformArea());
    waveformLayout->addWidget(m_waveform);

    ContentLayout()->addWidget(m_statusBar);
    ContentLayout()->addWidget(m_centre, 1);
    ContentLayout()->addWidget(m_toolBar);
}

void CMainUI::BuildPlayer() {
    auto* area = new QHBoxLayout(m_toolBar->PlayInfoArea());
    area->setContentsMargins(0, 0, 0, 0);
    m_playInfo = new CPlayInfoGroup(m_toolBar->PlayInfoArea());
    area->addWidget(m_playInfo);

    CShowListWidget* list = m_libraryPage->ShowList();
    m_playerView = new CPlayerView(list, m_toolBar, m_playInfo, this, this);
    m_player = new CPlayerController(m_library->PlayQueue(), m_playerView, nullptr, this);
    m_playerView->SetStopRecording([this] { SignalStopRecord(); });
    m_playerView->Bind(m_player);
    m_popupPlayList = new CPopupPlayList(m_library->PlayQueue(), this);

    m_mpris = new CMprisService(m_player, this);
    m_mpris->Register();
}

void CMainUI::Wire() {
    connect(m_settingsAction, &QAction::triggered, this, &CMainUI::SetPreferences);
    connect(m_homePageAction, &QAction::triggered, this, &CMainUI::HomePage);
    connect(m_supportAction, &QAction::triggered, this, &CMainUI::Support);
    connect(m_helpAction, &QAction::triggered, this, &CMainUI::OnlineHelp);
    connect(m_aboutAction, &QAction::triggered, this, &CMainUI::About);
    connect(m_bugReportAction, &QAction::triggered, this, &CMainUI::BugReport);
    connect(m_updateAction, &QAction::triggered, this, &CMainUI::UpdataSoft);

    connect(TitleBar(), &CTitleBar::MiniStateChanged, this, &CMainUI::ChangeMiniState);

    connect(m_toolBar->RecordButton(), &QPushButton::clicked, this, &CMainUI::StartRecording);
    connect(m_toolBar->TrayRecordAction(), &QAction::triggered, this, &CMainUI::StartRecording);
    connect(m_toolBar->StopButton(), &QPushButton::clicked, this, &CMainUI::SignalStopRecord);
    connect(m_toolBar->TrayStopAction(), &QAction::triggered, this, &CMainUI::SignalStopRecord);
    connect(m_toolBar->TrayLibraryAction(), &QAction::triggered, this, &CMainUI::ShowLibrary);
    connect(m_toolBar->TraySettingsAction(), &QAction::triggered, this, &CMainUI::SetPreferences);
    connect(m_toolBar->TrayExitAction(), &QAction::triggered, this, &QWidget::close);

    CTreeLib* tree = m_libraryPage->TreeLib();
    CShowListWidget* list = m_libraryPage->ShowList();
    m_libraryPage->SetRecordStateSource([this] { return RecordingState(); });
    connect(tree, &CTreeLib::deleteActionTrigger, this, &CMainUI::DeleteMusicList);
    connect(tree, &CTreeLib::DragItemToList, this, &CMainUI::DragItemToList);
    connect(tree, &CTreeLib::PlayListRequested, this, &CMainUI::StartPlayAllList);
    connect(tree, &CTreeLib::AddListToiTunesRequested, this, &CMainUI::AddAllMusicToiTunes);
    connect(list, &CShowListWidget::PlayMusicRequested, this, &CMainUI::PlayMusic);
    connect(m_playInfo, &CPlayInfoGroup::PlayListRequested, this, &CMainUI::ShowPopPlayList);
    connect(m_popupPlayList, &CPopupPlayList::itemDoubleClicked, this, &CMainUI::PopItemDoubleClick);
    connect(m_popupPlayList, &CPopupPlayList::aboutHide, this, &CMainUI::PopWidgetHide);
    connect(m_mpris, &CMprisService::RaiseRequested, this, &CMainUI::ShowLibrary);
    connect(m_mpris, &CMprisService::QuitRequested, this, &QWidget::close);
    connect(m_mpris, &CMprisService::VolumeRequested, m_toolBar,
            [this](double volume) { m_toolBar->SetVolume(qRound(volume * 200)); });
    connect(list, &CShowListWidget::AddToiTunesRequested, this, &CMainUI::AddToiTunes);

    connect(m_statusBar->AddPlayListButton(), &QPushButton::clicked, this, &CMainUI::AddPlayList);
    connect(m_statusBar->AddToiTunesButton(), &QPushButton::clicked, this, &CMainUI::AddToiTunes);
    connect(m_statusBar->SchedulerButton(), &QPushButton::clicked, this, &CMainUI::SetTask);
    connect(m_statusBar->RecordingButton(), &QPushButton::pressed, this, &CMainUI::ShowRecording);
    connect(m_statusBar->MediaButton(), &QPushButton::pressed, this, &CMainUI::ShowMedia);
    connect(m_statusBar->AudioSourceButton(), &QPushButton::clicked, this,
            &CMainUI::ChooseAudioSource);
    connect(m_readyWidget, &CReadyWidget::SetRudioResource, this, &CMainUI::ChooseAudioSource);
    connect(m_readyWidget, &CReadyWidget::StartRecordingClicked, this, &CMainUI::StartRecording);

    WireDownloads();

    m_schedule->SetRecordStateSource([this] { return RecordingState(); });
    connect(m_schedule, &CRecordSchedule::ToolTipChanged, m_statusBar->SchedulerButton(),
            &QWidget::setToolTip);
    connect(m_schedule, &CRecordSchedule::StartRecordingRequested, this, &CMainUI::StartRecording);
    connect(m_schedule, &CRecordSchedule::StopRecordingRequested, this, &CMainUI::SignalStopRecord);
    connect(m_schedule, &CRecordSchedule::ShutdownRequested, this,
            [this](int seconds) { AskShutdown(this, seconds); });

    WireRecording();
}

void CMainUI::WireRecording() {
    CRecordSession* session = m_session.get();
    CLibrary* library = m_library.get();
    // The tool bar and the player read the session's state.
    m_toolBar->SetRecordStateSource([session] { return session->State(); });
    m_playerView->SetRecordStateSource([session] { return session->State(); });
    connect(session, &CRecordSession::RecordStateChanged, m_toolBar, &CToolBar::ShowRecordState);
    connect(session, &CRecordSession::RecordStateChanged, m_player,
            &CPlayerController::RefreshControls);
    // What the session has to tell: shown without holding up the engine's
    // reports that led to it.
    connect(session, &CRecordSession::MessageRequested, this, [this](const QString& text) {
        auto* message = new CDeleteDialog(text, this);
        message->setAttribute(Qt::WA_DeleteOnClose);
        message->AddButton(tr("Ok"), QDialogButtonBox::AcceptRole, true);
        message->open();
    });
    connect(session, &CRecordSession::DiskFullReported, this, [this] {
        auto* message = new CDeleteDialog(tr("There is not enough disk space.\nPlease clean up the "
                                             "disk and \ncontinue to record music."),
                                          this);
        message->setAttribute(Qt::WA_DeleteOnClose);
        message->AddButton(tr("Cancel"), QDialogButtonBox::RejectRole);
        message->AddButton(tr("Ok"), QDialogButtonBox::AcceptRole, true);
        message->open();
    });
    session->SetDeviceInstaller([this, session] {
        CInstallExtrasDialog install(session->AudioDev(), this);
        return install.exec() == 1;
    });
    connect(session, &CRecordSession::RecordingTimeChanged, m_toolBar,
            &CToolBar::ShowRecordingTime);
    connect(m_toolBar, &CToolBar::RecordingVolumeChanged, session, &CRecordSession::SetVolume);
    // A recording starts with playback stopped and the play queue empty; a
    // kept song joins the queue only while nothing plays.
    connect(session, &CRecordSession::PlaybackStopRequested, m_player,
            &CPlayerController::StopAndClearQueue);
    session->SetPlayingSource(
        [this] { return m_player->PlayState() != CPlayerController::State_Stopped; });
    // "Play" on the recording view plays this session's kept songs, newest
    // first, as the view lists them.
    m_playerView->SetSessionRowsSource([this, library] {
        QList<CTreeWidgetItem*> rows;
        for (const CRecordingWidget::AnimItem& item : m_recordingWidget->Items())
            if (CTreeWidgetItem* row = library->FindRow(item.musicId)) rows << row;
        return rows;
    });
    connect(session, &CRecordSession::SessionStarted, this, [this] {
        ShowRecording();
        m_recordingWidget->ClearItems();
        m_recordingWidget->StartAnimation();
    });
    connect(session, &CRecordSession::SessionStopped, this, [this] {
        m_recordingWidget->StopAnimation();
        UpdatePlayButton();
        // A scheduled recording ends with any stop.
        m_schedule->RecordingStopped();
    });
    connect(session, &CRecordSession::SongBegun, m_recordingWidget,
            &CRecordingWidget::ResetCoverAnimation);
    connect(session, &CRecordSession::SongEnded, m_recordingWidget,
            &CRecordingWidget::ResetCoverAnimation);
    connect(session, &CRecordSession::IdentificationStarted, m_recordingWidget,
            &CRecordingWidget::StartDownloadAnimation);
    connect(session, &CRecordSession::IdentificationStarted, ToolBar(),
            &CToolBar::StartDownloadAnimation);
    connect(session, &CRecordSession::SongFiled, this, [this](CTreeWidgetItem* row, int kind) {
        m_recordingWidget->AddAnimItem(row, kind);
        // A song that ends after the stop.
        if (m_session->State() == RecordState::Idle) UpdatePlayButton();
    });
    connect(library, &CLibrary::MusicItemInfoChanged, m_recordingWidget,
            &CRecordingWidget::ReflashItem);
    connect(library, &CLibrary::AutoDownloadFinished, m_recordingWidget,
            &CRecordingWidget::AutoDownloadFinish);
    connect(library, &CLibrary::AutoDownloadFinished, ToolBar(), &CToolBar::AutoDownloadFinish);
    connect(library, &CLibrary::MusicItemDeleted, m_recordingWidget,
            &CRecordingWidget::RemoveItem);
}

void CMainUI::UpdatePlayButton() {
    if (m_session->State() != RecordState::Idle) return;
    CShowListWidget* list = m_libraryPage->ShowList();
    if (m_library->ListCount(list->CurrentListId()) > 0 || !m_library->PlayQueue()->IsEmpty())
        m_toolBar->PlayButton()->setEnabled(true);
}

void CMainUI::WireDownloads() {
    CShowListWidget* list = m_libraryPage->ShowList();
    CLibrary* library = m_library.get();
#ifdef RECDECK_WITH_DOWNLOADS
    auto* manager = new CTaskManager(m_config);
    manager->SetPlayingCheck([library](int musicId) {
        const CTreeWidgetItem* row = library->FindRow(musicId);
        return row && row->IsPlaying();
    });
    m_downloads = manager;
    // The library starts the music information service when it gets the
    // queue.
    library->SetDownloadQueue(manager);
#endif
    CRecordingWidget* view = m_recordingWidget;
    connect(library, &CLibrary::NewRecordFiled, view, &CRecordingWidget::AddCoverTile);
    connect(library, &CLibrary::MusicItemInfoChanged, view, &CRecordingWidget::UpdateCoverTile);
    connect(library, &CLibrary::AutoDownloadFinished, view, &CRecordingWidget::UpdateCoverTile);
    connect(library, &CLibrary::MusicItemDeleted, view, &CRecordingWidget::RemoveCoverTile);
    // After the library has taken the state into the row.
    connect(library->DownloadQueue(), &CDownloadQueue::TaskNotified, view,
            [view, library](int musicId, int) { view->UpdateCoverTile(library->FindRow(musicId)); });
    connect(view, &CRecordingWidget::PlayMusic, this, &CMainUI::PlayMusic);
    connect(view, &CRecordingWidget::EditMusic, this, &CMainUI::EditMusic);
    connect(view, &CRecordingWidget::DeleteMusic, this, [list](CTreeWidgetItem* row) {
        // Asks as the list's own "Delete" does.
        if (list->SetCurrentRow(row)) list->DeleteSelection();
    });
    connect(view, &CRecordingWidget::CoverChosen, library,
            [library](CTreeWidgetItem* row, int index) { ChooseShownCover(library, row, index); });
}

CDownloadQueue* CMainUI::Downloads() const {
    return m_library->DownloadQueue();
}

void CMainUI::EditMusic(CTreeWidgetItem* row) {
    m_libraryPage->ShowList()->EditTagsMusic(row);
}

void CMainUI::CloseForTermination() {
    m_terminating = true;
    // Their event loops return first; nothing waits for an answer.
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window != this && window->isVisible()) window->close();
    close();
}

void CMainUI::closeEvent(QCloseEvent* event) {
    const RecordState state = m_session->State();
    if (m_terminating) {
        if (state != RecordState::Idle) {
            m_session->SignalStopRecord();
            // The engine's last reports (the song's end) are filed now:
            // the event loop ends with this window.
            QCoreApplication::sendPostedEvents(m_session.get());
        }
        qDebug("CMainUI::closeEvent event->accept() on a termination signal");
        event->accept();
        return;
    }
    if (state == RecordState::SongInProgress) {
        CDeleteDialog question(tr("Are you sure to quit the programme?\n"
                                  "Unfinished recording will be lost if you quit now!"),
                               this);
        question.AddButton(tr("No"), QDialogButtonBox::RejectRole, true);
        question.AddButton(tr("Quit"), QDialogButtonBox::AcceptRole);
        if (question.Ask() != QDialogButtonBox::AcceptRole) {
            event->ignore();
            return;
        }
        m_session->AbandonSession();
    } else if (state == RecordState::Waiting) {
        m_session->SignalStopRecord();
    }

    if (IsSendingBugReport()) {
        CDeleteDialog question(tr("Are you sure to quit the programme?\n"
                                  "It is sending bug report mail!"),
                               this);
        question.AddButton(tr("No"), QDialogButtonBox::RejectRole, true);
        question.AddButton(tr("Quit"), QDialogButtonBox::AcceptRole);
        if (question.Ask() != QDialogButtonBox::AcceptRole) {
            event->ignore();
            return;
        }
    }

    // Older systems could leave the recorded source muted after capture
    // from computer audio. kOsVersionValue says this is a current system, so
    // the warning is never shown; the path stays for the value's sake.
    if (m_session->FirstRecordingFlag() == 0 && kOsVersionValue < 61 && m_config->GetShowMute() != 0) {
        CDeleteDialog warning(tr("To exit the program may possibly make the sourece audio mute.\n"
                                 "If does, please restart the player.\n"),
                              this);
        warning.AddButton(tr("Ok"), QDialogButtonBox::AcceptRole, true);
        warning.ShowDontAskAgain();
        warning.Ask();
        if (warning.DontAskAgain()) m_config->SetShowMute(0);
    }

    qDebug("CMainUI::closeEvent event->accept()");
    event->accept();
}

void CMainUI::NotAvailable(const char* slot) {
    qDebug("CMainUI::%s is not available yet", slot);
}

void CMainUI::StartRecording() {
    m_session->StartRecording();
}

void CMainUI::SignalStopRecord() {
    m_session->SignalStopRecord();
}

void CMainUI::CreateNewFile(int value) {
    m_session->CreateNewFile(value);
}

void CMainUI::StartNewRecord(const QString& path) {
    m_session->StartNewRecord(path);
}

void CMainUI::EndNewRecord(const QString& path) {
    m_session->EndNewRecord(path);
}

void CMainUI::DealwithRecordErr(int code, const QString& detail) {
    m_session->DealwithRecordErr(code, detail);
}

void CMainUI::DiskisFull() {
    m_session->DiskisFull();
}

void CMainUI::UnknowRecordError() {
    m_session->UnknowRecordError();
}

void CMainUI::StartAutoDownload(const QString& samplePath) {
    m_session->StartAutoDownload(samplePath);
}

void CMainUI::SetTask() {
    qDebug("CMainUI::SetTask");
    if (OpenPreferences(CPreferencesDialog::Open_Scheduler) == 1) m_schedule->Arm();
}

void CMainUI::StartRecordTask() {
    qDebug("CMainUI::StartRecordTask");
    m_schedule->StartRecordTask();
}

void CMainUI::StopRecordTask() {
    qDebug("CMainUI::StopRecordTask");
    m_schedule->StopRecordTask();
}

void CMainUI::SetPreferences() {
    OpenPreferences(CPreferencesDialog::Open_Settings);
}

int CMainUI::OpenPreferences(int choice) {
    if (m_preferences) {
        m_preferences->raise();
        m_preferences->activateWindow();
        return 0;
    }
    CPreferencesDialog dialog(AudioDev(), m_schedule, choice, this);
    m_preferences = &dialog;
    return dialog.exec();
}

void CMainUI::ShowRecording() {
    m_centre->setCurrentIndex(Page_Recording);
    m_statusBar->ShowRecordingView();
}

void CMainUI::ShowMedia() {
    m_centre->setCurrentIndex(Page_Library);
    m_statusBar->ShowMediaView();
}

void CMainUI::ShowLibrary() {
    if (IsMiniMode()) ChangeMiniState();
    showNormal();
    raise();
    activateWindow();
    ShowMedia();
}

void CMainUI::ChangeShowWidget(int page) {
    if (page < 0 || page >= m_centre->count()) return;
    m_centre->setCurrentIndex(page);
}

void CMainUI::ChangeMiniState() {
    // The mini mode's song takes its place before the height is fixed.
    ToolBar()->SetMiniMode(!IsMiniMode());
    SetMiniMode(!IsMiniMode(), {m_statusBar, m_centre});
}

void CMainUI::AddPlayList() {
    m_libraryPage->AddPlayList();
}

void CMainUI::DeleteMusicList() {
    m_libraryPage->DeleteMusicList();
}

void CMainUI::DragItemToList(const QString& ids, int listId) {
    if (m_libraryPage->DragItemToList(ids, listId) > 0) m_toolBar->PlayButton()->setEnabled(true);
}

void CMainUI::DeleteMusic() {
    m_libraryPage->ShowList()->DeleteSelection();
}

void CMainUI::AddToiTunes() {
    CAddToiTunesDialog::Export(this, m_library.get(),
                               m_libraryPage->ShowList()->SelectedOrVisibleRows());
}

void CMainUI::AddAllMusicToiTunes() {
    CAddToiTunesDialog::Export(this, m_library.get(), m_libraryPage->ShowList()->VisibleRows());
}

void CMainUI::ChooseAudioSource() {
    OpenPreferences(CPreferencesDialog::Open_AudioSource);
}

void CMainUI::StartPlay(const QList<CTreeWidgetItem*>& rows, int index) {
    m_player->StartPlay(rows, index);
}

void CMainUI::StartPlay(const QList<CTreeWidgetItem*>& rows) {
    m_player->StartPlay(rows, -1);
}

void CMainUI::StartLastPlay() {
    m_player->StartLastPlay();
}

void CMainUI::StartPalyRecord() {
    m_player->StartPalyRecord();
}

void CMainUI::StartNewPlay(int index) {
    m_player->StartNewPlay(index);
}

void CMainUI::StartNewPlay() {
    m_player->StartNewPlay(-1);
}

void CMainUI::StartPlayAllList() {
    m_player->StartPlayAllList();
}

void CMainUI::PlayNext() {
    m_player->PlayNext();
}

void CMainUI::PlayLast() {
    m_player->PlayLast();
}

void CMainUI::PlayMusic(CTreeWidgetItem* row) {
    m_player->PlayMusic(row);
}

void CMainUI::PlayRecordingList(CTreeWidgetItem* row) {
    m_player->PlayRecordingList(row);
}

void CMainUI::ShowPopPlayList() {
    if (m_popupPlayList->isVisible()) {
        m_popupPlayList->HideAnimated();
        return;
    }
    m_playInfo->PlayListButton()->setDown(true);
    m_popupPlayList->PopupAt(m_playInfo->mapToGlobal(QPoint(0, 0)));
}

void CMainUI::PopItemDoubleClick(CTreeWidgetItem* row) {
    m_popupPlayList->hide();
    PlayMusic(row);
}

void CMainUI::PopWidgetHide() {
    m_playInfo->PlayListButton()->setDown(false);
}

void CMainUI::OnlineHelp() {
    OpenWebPage("OnlineHelp", kHelpPage);
}

void CMainUI::HomePage() {
    OpenWebPage("HomePage", kHomePage);
}

void CMainUI::Support() {
    OpenWebPage("Support", kSupportPage);
}

void CMainUI::EulaHelp() {
    OpenWebPage("EulaHelp", kEulaPage);
}

void CMainUI::OpenFaceBook() {
    OpenWebPage("OpenFaceBook", kFacebookPage);
}

void CMainUI::OpenTwiiter() {
    OpenWebPage("OpenTwiiter", kTwitterPage);
}

bool CMainUI::IsSendingBugReport() const {
    return m_bugReport->IsSending();
}

void CMainUI::BugReport() {
    CBugReportDialog::Run(this, m_config, m_bugReport);
}

void CMainUI::UpdataSoft() {
    m_updates->CheckNow();
}

void CMainUI::StartupUpdateCheck() {
    m_updates->RunScheduled();
}

void CMainUI::About() {
    QString version = QApplication::applicationVersion();
    QString text = QApplication::applicationName();
    if (!version.isEmpty()) text += tr("\nVersion %1").arg(version);
    QMessageBox box(QMessageBox::NoIcon, tr("About"), text, QMessageBox::Ok, this);
    box.setIconPixmap(windowIcon().pixmap(64, 64));
    box.exec();
}
