#pragma once

#include <QPointer>

#include "chrome/mywindowframe.h"

class CBugReport;
class CConfig;
class CMprisService;
class CPlayInfoGroup;
class CPlayerController;
class CPlayerView;
class CPopupPlayList;
class CPreferencesDialog;
class CRecordSchedule;
class CLibraryPage;
class CReadyWidget;
class CRecordingWidget;
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
// and the tool bar with the tray icon at the bottom. It owns the one capture
// engine instance for the life of the window.
//
// GUI thread only. The engine's events reach the window only as the five
// signals below, emitted on engine threads and therefore queued.
class CMainUI : public CMyWindowFrame {
    Q_OBJECT
public:
    // Pages of the centre, in this order.
    enum Page { Page_Library = 0, Page_Recording = 1, Page_Start = 2 };

    // The Windows version value (major × 10 + minor) that the close sequence
    // and the first recording compare with 61. This program always behaves
    // as on a current system.
    static constexpr int kOsVersionValue = 100;

    // Creates the settings object on first use and the engine instance
    // (a failure is logged, and the window runs without recording).
    explicit CMainUI(QWidget* parent = nullptr);
    ~CMainUI() override;

    // The engine instance; null when creation failed or no engine is built in.
    void* AudioDev() const { return m_audioDev; }
    CToolBar* ToolBar() const { return m_toolBar; }
    CStatusBar* StatusBar() const { return m_statusBar; }
    QStackedWidget* Centre() const { return m_centre; }
    // Page 0: the library tree beside the recordings list. The library
    // database must be open before the window is built.
    CLibraryPage* LibraryPage() const { return m_libraryPage; }
    CRecordingWidget* RecordingWidget() const { return m_recordingWidget; }
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
    int FirstRecordingFlag() const { return m_firstRecording; }
    void SetFirstRecordingFlag(int value) { m_firstRecording = value; }
    // Whether a bug report is being sent (its archive is being made); the
    // close sequence asks first.
    bool IsSendingBugReport() const;
    CBugReport* BugReporter() const { return m_bugReport; }
    CUpdateNotifier* Updates() const { return m_updates; }
    // The automatic update check, once the window is shown: runs when the
    // update schedule says so.
    void StartupUpdateCheck();
    // Whether the window shows only its title and tool bar.
    bool IsMiniState() const { return IsMiniMode(); }

Q_SIGNALS:
    // SilenceState of the engine: 0 silence in a song, 1 a new file opened.
    void NewFileCreated(int value);
    // A song file has one second of audio. path: heap copy made with new[];
    // the receiving slot owns it.
    void RecordBegined(const char* path);
    // A song file was closed. path as for RecordBegined.
    void RecordEndded(const char* path);
    // The engine stopped on an error. block: a 128-byte heap block made with
    // new[], or null; the receiving slot owns it.
    void RecordErrorAppend(int code, char* block);
    // A 20-second sample file is complete. path as for RecordBegined.
    void AutoDownloadStarted(const char* path);

public Q_SLOTS:
    // Recording session.
    void StartRecording();
    void SignalStopRecord();
    void CreateNewFile(int value);
    void StartNewRecord(const char* path);
    void EndNewRecord(const char* path);
    void DealwithRecordErr(int code, char* block);
    void DiskisFull();
    void UnknowRecordError();
    void StartAutoDownload(const char* path);
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
    void BuildContent();
    // The player with its panel, pop-up queue and desktop media controls.
    void BuildPlayer();
    void Wire();
    // Stops the engine's recording; nothing happens without an engine.
    void StopEngine();
    // Removes what belongs to the song being written when the user quits in
    // the middle of it (library record, covers, file, list item).
    void DeleteSongInProgress();
    void SetEngineVolume(int value);
    // Shows the preferences dialog modally on the page of choice (see
    // CPreferencesDialog) and returns its result; while one is open, raises
    // it and returns 0.
    int OpenPreferences(int choice);
    static void NotAvailable(const char* slot);

    CConfig* m_config = nullptr;  // not owned
    void* m_audioDev = nullptr;   // owned; AudioDevDestroy in the destructor
    QTimer* m_startTaskTimer = nullptr;
    QTimer* m_stopTaskTimer = nullptr;
    CRecordSchedule* m_schedule = nullptr;
    QPointer<CPreferencesDialog> m_preferences;
    CUpdateNotifier* m_updates = nullptr;  // child
    CBugReport* m_bugReport = nullptr;     // child
    int m_firstRecording = 1;

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
    wavfile_widget* m_waveform = nullptr;

    CPlayerController* m_player = nullptr;  // owned; deleted before the engine instance
    CPlayerView* m_playerView = nullptr;
    CPlayInfoGroup* m_playInfo = nullptr;
    CPopupPlayList* m_popupPlayList = nullptr;
    CMprisService* m_mpris = nullptr;  // owned; deleted before the player
};
