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
#include "itunes/addtoitunesdialog.h"
#include "library/librarypage.h"
#include "library/showlistwidget.h"
#include "library/treelib.h"
#include "playback/mediaengine.h"
#include "playback/mprisservice.h"
#include "playback/playercontroller.h"
#include "playback/playerview.h"
#include "playback/playinfogroup.h"
#include "playback/popupplaylist.h"
#include "preferences/preferencesdialog.h"
#include "readywidget.h"
#include "recording/recordschedule.h"
#include "recording/shutdownquestion.h"
#include "recording/wavfile_widget.h"
#include "recordingwidget.h"
#include "res/pictures.h"
#include "statusbar.h"
#include "toolbar.h"
#include "updates/bugreport.h"
#include "updates/bugreportdialog.h"
#include "updates/updatenotifier.h"

#ifdef RECDECK_WITH_CAPDEV
#include "capdev.h"
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

CMainUI::CMainUI(QWidget* parent) : CMyWindowFrame(parent) {
    LoadPictures();
    setObjectName(QStringLiteral("CMainUI"));
    m_firstRecording = 1;

    m_config = CConfig::instance();

#ifdef RECDECK_WITH_CAPDEV
    m_audioDev = AudioDevCreate();
#endif
    if (!m_audioDev) qWarning("AudioDevCreate failed!");

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

    BuildContent();
    BuildPlayer();

    setMinimumSize(kWindowWidth, kWindowHeight);
    resize(kWindowWidth, kWindowHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    Wire();
}

CMainUI::~CMainUI() {
    // The player goes before the widgets it shows itself in.
    delete m_mpris;
    m_mpris = nullptr;
    delete m_player;
    m_player = nullptr;
#ifdef RECDECK_WITH_CAPDEV
    AudioDevDestroy(m_audioDev);
#endif
    m_audioDev = nullptr;
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
    m_libraryPage = new CLibraryPage(m_config, m_centre);
    m_recordingWidget = new CRecordingWidget(m_centre);
    m_readyWidget = new CReadyWidget(m_centre);
    m_centre->insertWidget(Page_Library, m_libraryPage);
    m_centre->insertWidget(Page_Recording, m_recordingWidget);
    m_centre->insertWidget(Page_Start, m_readyWidget);
    m_centre->setCurrentIndex(Page_Start);

    m_toolBar = new CToolBar(m_config, this);
    auto* waveformLayout = new QHBoxLayout(m_toolBar->WaveformArea());
    waveformLayout->setContentsMargins(0, 0, 0, 0);
    m_waveform = new wavfile_widget(m_toolBar->WaveformArea());
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
    m_player = new CPlayerController(list->PlayQueue(), m_playerView, nullptr, this);
    m_playerView->SetStopRecording([this] { SignalStopRecord(); });
    m_playerView->Bind(m_player);
    m_popupPlayList = new CPopupPlayList(list->PlayQueue(), this);

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

    // Emitted on engine threads: queued onto this thread, in order.
    connect(this, &CMainUI::NewFileCreated, this, &CMainUI::CreateNewFile);
    connect(this, &CMainUI::RecordBegined, this, &CMainUI::StartNewRecord);
    connect(this, &CMainUI::AutoDownloadStarted, this, &CMainUI::StartAutoDownload);
    connect(this, &CMainUI::RecordEndded, this, &CMainUI::EndNewRecord);
    connect(this, &CMainUI::RecordErrorAppend, this, &CMainUI::DealwithRecordErr);

    connect(TitleBar(), &CTitleBar::MiniStateChanged, this, &CMainUI::ChangeMiniState);

    connect(m_toolBar->RecordButton(), &QPushButton::clicked, this, &CMainUI::StartRecording);
    connect(m_toolBar->TrayRecordAction(), &QAction::triggered, this, &CMainUI::StartRecording);
    connect(m_toolBar->StopButton(), &QPushButton::clicked, this, &CMainUI::SignalStopRecord);
    connect(m_toolBar->TrayStopAction(), &QAction::triggered, this, &CMainUI::SignalStopRecord);
    connect(m_toolBar->TrayLibraryAction(), &QAction::triggered, this, &CMainUI::ShowLibrary);
    connect(m_toolBar->TraySettingsAction(), &QAction::triggered, this, &CMainUI::SetPreferences);
    connect(m_toolBar->TrayExitAction(), &QAction::triggered, this, &QWidget::close);
    // Previous, play (pause while playing) and next: CPlayerView::Bind.
    connect(m_toolBar, &CToolBar::RecordingVolumeChanged, this, &CMainUI::SetEngineVolume);

    CTreeLib* tree = m_libraryPage->TreeLib();
    CShowListWidget* list = m_libraryPage->ShowList();
    m_libraryPage->SetRecordStateSource([this] { return m_toolBar->GetRecordState(); });
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

    m_schedule->SetRecordStateSource([this] { return m_toolBar->GetRecordState(); });
    connect(m_schedule, &CRecordSchedule::ToolTipChanged, m_statusBar->SchedulerButton(),
            &QWidget::setToolTip);
    connect(m_schedule, &CRecordSchedule::StartRecordingRequested, this, &CMainUI::StartRecording);
    connect(m_schedule, &CRecordSchedule::StopRecordingRequested, this, &CMainUI::SignalStopRecord);
    connect(m_schedule, &CRecordSchedule::ShutdownRequested, this,
            [this](int seconds) { AskShutdown(this, seconds); });
}

void CMainUI::closeEvent(QCloseEvent* event) {
    const int state = m_toolBar->GetRecordState();
    if (state == CToolBar::State_SongInProgress) {
        CDeleteDialog question(tr("Are you sure to quit the programme?\n"
                                  "Unfinished recording will be lost if you quit now!"),
                               this);
        question.AddButton(tr("No"), QDialogButtonBox::RejectRole, true);
        question.AddButton(tr("Quit"), QDialogButtonBox::AcceptRole);
        if (question.Ask() != QDialogButtonBox::AcceptRole) {
            event->ignore();
            return;
        }
        StopEngine();
        DeleteSongInProgress();
        m_toolBar->EnterIdle();
    } else if (state == CToolBar::State_Waiting) {
        StopEngine();
        m_toolBar->EnterIdle();
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
    if (m_firstRecording == 0 && kOsVersionValue < 61 && m_config->GetShowMute() != 0) {
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

void CMainUI::StopEngine() {
#ifdef RECDECK_WITH_CAPDEV
    const int res = AudioDevStopRecord(m_audioDev);
    qDebug("CMainUI::StopEngine AudioDevStopRecord res: %d", res);
#endif
}

void CMainUI::DeleteSongInProgress() {
    m_libraryPage->ShowList()->DiscardNewRecord();
}

void CMainUI::SetEngineVolume(int value) {
#ifdef RECDECK_WITH_CAPDEV
    const int res = AudioDevSetVolume(m_audioDev, unsigned(value));
    if (res != 0) qDebug("CMainUI::AudioDevSetVolume failed err: %d", res);
#else
    Q_UNUSED(value);
#endif
}

void CMainUI::NotAvailable(const char* slot) {
    qDebug("CMainUI::%s is not available yet", slot);
}

void CMainUI::StartRecording() {
    NotAvailable("StartRecording");
}

void CMainUI::SignalStopRecord() {
    NotAvailable("SignalStopRecord");
    // A scheduled recording ends with any stop.
    m_schedule->RecordingStopped();
}

void CMainUI::CreateNewFile(int value) {
    qDebug("CMainUI::CreateNewFile %d is not available yet", value);
}

void CMainUI::StartNewRecord(const char* path) {
    NotAvailable("StartNewRecord");
    delete[] path;
}

void CMainUI::EndNewRecord(const char* path) {
    NotAvailable("EndNewRecord");
    delete[] path;
}

void CMainUI::DealwithRecordErr(int code, char* block) {
    qCritical("CMainUI::DealwithRecordErr error: %d", code);
    delete[] block;
}

void CMainUI::DiskisFull() {
    NotAvailable("DiskisFull");
}

void CMainUI::UnknowRecordError() {
    qDebug("CMainUI::UnknowRecordError");
}

void CMainUI::StartAutoDownload(const char* path) {
    NotAvailable("StartAutoDownload");
    delete[] path;
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
    CPreferencesDialog dialog(m_audioDev, m_schedule, choice, this);
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
    CShowListWidget* list = m_libraryPage->ShowList();
    CAddToiTunesDialog::Export(this, list, list->SelectedOrVisibleRows());
}

void CMainUI::AddAllMusicToiTunes() {
    CShowListWidget* list = m_libraryPage->ShowList();
    CAddToiTunesDialog::Export(this, list, list->VisibleRows());
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
