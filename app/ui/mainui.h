#pragma once

#include <QPointer>

#include <memory>

#include "chrome/mywindowframe.h"
#include "recording/recordstate.h"

class CBugReport;
class CConfig;
class CDownloadQueue;
class CMprisService;
class CPlayInfoGroup;
class CPlayerController;
class CPlayerView;
class CPopupPlayList;
class CPreferencesDialog;
class CRecordSchedule;
class CRecordSession;
class CLibrary;
class CLibraryPage;
class CReadyWidget;
class CRecordingWidget;
class CSpectrumFeed;
class CStatusBar;
class CToolBar;
class CTreeWidgetItem;
class CUpdateNotifier;
class QAction;
class QMenu;
class QStackedWidget;
class QTimer;
class wavfile_widget;

// The main window: title bar with the program menu, the status bar on top,
// the centre with the library page, the recording view and the start page,
// and the tool bar with the tray icon at the bottom. It owns the recording
// session (and through it the one capture engine instance) for the life of
// the window, shows the session's state and forwards its recording slots to
// it.
//
// GUI thread only.
class CMainUI : public CMyWindowFrame {
    Q_OBJECT
public:
    // Pages of the centre, in this order.
    enum Page { Page_Library = 0, Page_Recording = 1, Page_Start = 2 };

    // The Windows version value (major × 10 + minor) that the close sequence
    // and the first recording compare with 61. This program always behaves
    // as on a current system.
    static constexpr int kOsVersionValue = 100;

    // Shows and owns the open library (CLibrary::Open). Creates the settings
    // object on first use and the recording session with the engine
    // instance (a failure is logged, and the window runs without
    // recording).
    explicit CMainUI(std::unique_ptr<CLibrary> library, QWidget* parent = nullptr);
    ~CMainUI() override;

    // The engine instance; null when creation failed or no engine is built in.
    void* AudioDev() const;
    // The recording session: engine, state, the judging of every song.
    CRecordSession* RecordSession() const { return m_session.get(); }
    // The library the window shows.
    CLibrary* Library() const { return m_library.get(); }
    CToolBar* ToolBar() const { return m_toolBar; }
    CStatusBar* StatusBar() const { return m_statusBar; }
    QStackedWidget* Centre() const { return m_centre; }
    // Page 0: the library tree beside the recordings list. The library
    // database must be open before the window is built.
    CLibraryPage* LibraryPage() const { return m_libraryPage; }
    CRecordingWidget* RecordingWidget() const { return m_recordingWidget; }
    // The song information downloads (the task manager when the program has
    // the music information service, else the list's waiting queue).
    CDownloadQueue* Downloads() const;
    QMenu* MainMenu() const { return m_menu; }
    QTimer* StartTaskTimer() const { return m_startTaskTimer; }
    QTimer* StopTaskTimer() const { return m_stopTaskTimer; }
    // The scheduled recording that the two task timers drive.
    CRecordSchedule* Schedule() const { return m_schedule; }
    // The live spectrum in the tool bar.
    wavfile_widget* Waveform() const { return m_waveform; }
    // The player, its panel in the tool bar, the pop-up queue and the
    // desktop media controls.
    CPlayerController* Player() const { return m_player; }
    // Where the player asks its questions and shows itself; the recording
    // session sets where the songs of the session come from.
    CPlayerView* PlayerView() const { return m_playerView; }
    CPlayInfoGroup* PlayInfo() const { return m_playInfo; }
    CPopupPlayList* PopupPlayList() const { return m_popupPlayList; }
    CMprisService* Mpris() const { return m_mpris; }
    // 1 until the first recording from computer audio since start.
    int FirstRecordingFlag() const;
    // The session's recording state.
    RecordState RecordingState() const;
    // Whether a bug report is being sent (its archive is being made); the
    // close sequence asks first.
    bool IsSendingBugReport() const;
    CBugReport* BugReporter() const { return m_bugReport; }
    CUpdateNotifier* Updates() const { return m_updates; }
    // The automatic update check, once the window is shown: runs when the
    // update schedule says so.
    void StartupUpdateCheck();
    // Closes the window for a termination signal (the desktop session ends):
    // open dialogs close first, nothing is asked, and a song in progress
    // ends as on Stop, so that what was recorded is kept.
    void CloseForTermination();
    // Whether the window shows only its title and tool bar.
    bool IsMiniState() const { return IsMiniMode(); }

public Q_SLOTS:
    // Recording session: forwards to CRecordSession, which receives the
    // engine's events itself.
    void StartRecording();
    void SignalStopRecord();
    void CreateNewFile(int value);
    void StartNewRecord(const QString& path);
    void EndNewRecord(const QString& path);
    void DealwithRecordErr(int code, const QString& detail);
    void DiskisFull();
    void UnknowRecordError();
    void StartAutoDownload(const QString& samplePath);
    // Scheduled recording.
    void SetTask();
    void StartRecordTask();
    void StopRecordTask();
    void SetPreferences();
    // Views.
    void ShowRecording();
    void ShowMedia();
    void ShowLibrary();
    void ChangeShowWidget(int page);
    void ChangeMiniState();
    // Library: thin forwards to the library page.
    void AddPlayList();
    void DeleteMusicList();
    void DragItemToList(const QString& ids, int listId);
    void DeleteMusic();
    // The tag editor for the song.
    void EditMusic(CTreeWidgetItem* row);
    // Export to iTunes: the selected songs (every shown one when none is
    // selected), or every song shown.
    void AddToiTunes();
    void AddAllMusicToiTunes();
    void ChooseAudioSource();
    // Player: thin forwards to the player (CPlayerController).
    void StartPlay(const QList<CTreeWidgetItem*>& rows, int index);
    void StartPlay(const QList<CTreeWidgetItem*>& rows);
    void StartLastPlay();
    void StartPalyRecord();
    void StartNewPlay(int index);
    void StartNewPlay();
    void StartPlayAllList();
    void PlayNext();
    void PlayLast();
    void PlayMusic(CTreeWidgetItem* row);
    void PlayRecordingList(CTreeWidgetItem* row);
    // The pop-up play queue: opens (or closes) above the player's panel;
    // a double click on an entry plays it.
    void ShowPopPlayList();
    void PopItemDoubleClick(CTreeWidgetItem* row);
    void PopWidgetHide();
    // Web pages, opened in the user's browser.
    void OnlineHelp();
    void HomePage();
    void Support();
    void EulaHelp();
    void OpenFaceBook();
    void OpenTwiiter();
    // Updates, bug report, about box.
    void BugReport();
    void UpdataSoft();
    void About();

protected:
    // The close sequence: asks before losing a song in progress, stops the
    // engine, asks while a bug report is being sent.
    void closeEvent(QCloseEvent* event) override;

private:
    bool m_terminating = false;  // CloseForTermination is closing the window

    void BuildContent();
    // The player with its panel, pop-up queue and desktop media controls.
    void BuildPlayer();
    void Wire();
    // The download task manager and the cover tiles of the recording view.
    void WireDownloads();
    void WireRecording();
    // Play is offered once the session is idle and the list on show or the
    // play queue holds songs.
    void UpdatePlayButton();
    // Shows the preferences dialog modally on the page of choice (see
    // CPreferencesDialog) and returns its result; while one is open, raises
    // it and returns 0.
    int OpenPreferences(int choice);
    static void NotAvailable(const char* slot);

    CConfig* m_config = nullptr;  // not owned
    QTimer* m_startTaskTimer = nullptr;
    QTimer* m_stopTaskTimer = nullptr;
    CRecordSchedule* m_schedule = nullptr;
    // Owned; deleted before the library it reports to.
    CDownloadQueue* m_downloads = nullptr;
    QPointer<CPreferencesDialog> m_preferences;
    CUpdateNotifier* m_updates = nullptr;  // child
    CBugReport* m_bugReport = nullptr;     // child

    QMenu* m_menu = nullptr;
    QAction* m_settingsAction = nullptr;
    QAction* m_helpAction = nullptr;
    QAction* m_homePageAction = nullptr;
    QAction* m_supportAction = nullptr;
    QAction* m_updateAction = nullptr;
    QAction* m_bugReportAction = nullptr;
    QAction* m_aboutAction = nullptr;

    CStatusBar* m_statusBar = nullptr;
    QStackedWidget* m_centre = nullptr;
    CLibraryPage* m_libraryPage = nullptr;
    CRecordingWidget* m_recordingWidget = nullptr;
    CReadyWidget* m_readyWidget = nullptr;
    CToolBar* m_toolBar = nullptr;
    CSpectrumFeed* m_spectrum = nullptr;  // fed by the session, painted by m_waveform
    wavfile_widget* m_waveform = nullptr;

    CPlayerController* m_player = nullptr;  // owned; deleted before the engine instance
    CPlayerView* m_playerView = nullptr;
    CPlayInfoGroup* m_playInfo = nullptr;
    CPopupPlayList* m_popupPlayList = nullptr;
    CMprisService* m_mpris = nullptr;  // owned; deleted before the player
    // Destroyed before the widgets it feeds (members go before children).
    std::unique_ptr<CRecordSession> m_session;
    // Goes last: every view and the session point at its rows.
    std::unique_ptr<CLibrary> m_library;
};
