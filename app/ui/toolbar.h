#pragma once

#include <QFrame>
#include <QIcon>
#include <QTime>

#include <functional>

#include "recording/recordstate.h"

class CConfig;
class CTreeWidgetItem;
class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QSlider;
class QStackedWidget;
class QSystemTrayIcon;

// Bottom control bar of the main window: the record/stop button, the play
// controls, the volume slider with its two buttons, the recording time and
// status labels and the place of the live waveform. It also owns the tray
// icon and its menu. It shows the recording session's state and time
// (CRecordSession keeps them) and routes the volume by the state shown.
//
// GUI thread only.
class CToolBar : public QFrame {
    Q_OBJECT
public:
    // config: the settings object (Volume_Value); not owned.
    explicit CToolBar(CConfig* config, QWidget* parent = nullptr);
    ~CToolBar() override;

    // Where the recording state comes from (the session); idle until set.
    void SetRecordStateSource(std::function<RecordState()> source);

    // Enables or disables previous, play and next together.
    void SetPlayControlsEnabled(bool enabled);

    QPushButton* RecordButton() const { return m_recordButton; }
    QPushButton* StopButton() const { return m_stopButton; }
    // Shows the record page (0) or the stop page (1).
    QStackedWidget* RecordStopStack() const { return m_recordStop; }
    QPushButton* PreviousButton() const { return m_previousButton; }
    QPushButton* PlayButton() const { return m_playButton; }
    QPushButton* NextButton() const { return m_nextButton; }
    QSlider* VolumeSlider() const { return m_volume; }
    QLabel* TimeLabel() const { return m_timeLabel; }
    QLabel* StatusLabel() const { return m_statusLabel; }
    // Empty area where the live waveform is placed.
    QWidget* WaveformArea() const { return m_waveformArea; }
    // Empty area where the player's panel is placed.
    QWidget* PlayInfoArea() const { return m_playInfoArea; }
    // The last identified song of the mini window mode: its cover, title
    // and artist. Shown only in that mode.
    QWidget* MiniSong() const { return m_miniSong; }
    QLabel* MiniCover() const { return m_miniCover; }
    QLabel* MiniTitle() const { return m_miniTitle; }
    QLabel* MiniArtist() const { return m_miniArtist; }

    QSystemTrayIcon* TrayIcon() const { return m_tray; }
    QMenu* TrayMenu() const { return m_trayMenu; }
    QAction* TrayRecordAction() const { return m_recordAction; }
    QAction* TrayStopAction() const { return m_stopAction; }
    QAction* TrayLibraryAction() const { return m_libraryAction; }
    QAction* TraySettingsAction() const { return m_settingsAction; }
    QAction* TrayExitAction() const { return m_exitAction; }
    // True while the tray shows the recording icon.
    bool TrayShowsRecordingIcon() const { return m_trayRecording; }

public Q_SLOTS:
    // Shows the session's change of recording state, from previous:
    // - waiting from idle (a session started): stop button with tooltip
    //   "Stop", tray menu "Stop" instead of "Record", time label
    //   "00:00:00", play controls disabled;
    // - song in progress: status "Recording", time label reset;
    // - waiting from a song (its file was closed): tray icon normal,
    //   status "Ready";
    // - idle (the session stopped): tray icon normal, tray menu "Record"
    //   instead of "Stop", record button with tooltip "Start", status
    //   "Ready", time label "00:00:00".
    void ShowRecordState(RecordState state, RecordState previous);
    // The session's second: while a song is written the tray icon
    // alternates (recording icon on even seconds) and the time shows as
    // hh:mm:ss; while waiting "00:00:00" blinks red on odd seconds.
    void ShowRecordingTime(const QTime& elapsed);
    // Stores the volume (0..200) as Volume_Value and hands it on: to the
    // player while idle, to the engine during a session.
    void SetVolume(int value);
    void VolumeDown();
    void VolumeUp();
    // Shows or hides the mini mode's song.
    void SetMiniMode(bool mini);
    // A song of the session is being identified: the mini cover shows the
    // downloading picture until the identification ends.
    void StartDownloadAnimation();
    // An identification ended: when it succeeded (the row's download state
    // is DownloadTask_SUCESS) the mini mode shows the song's title, artist
    // and shown cover; otherwise its texts are cleared and the cover is the
    // default picture.
    void AutoDownloadFinish(CTreeWidgetItem* row);

Q_SIGNALS:
    // The player's volume in percent (value × 100 / 200), while idle.
    void PlaybackVolumeChanged(int percent);
    // The engine's monitor volume (0..200), during a session.
    void RecordingVolumeChanged(int value);

private:
    void EnterWaiting();
    void EnterSongInProgress();
    void SongEnded();
    void EnterIdle();
    RecordState CurrentRecordState() const;
    QPushButton* MakeButton(const char* name, const QString& icon, const QString& tip, int size);
    void SetTrayRecordingIcon(bool recording);
    void SetTimeColour(const char* colour);
    void SetMiniCover(const QString& path);
    // Cuts the mini mode's texts to the room their labels have.
    void ElideMiniTexts();
    bool eventFilter(QObject* watched, QEvent* event) override;

    CConfig* m_config;
    std::function<RecordState()> m_recordState;

    QStackedWidget* m_recordStop = nullptr;
    QPushButton* m_recordButton = nullptr;
    QPushButton* m_stopButton = nullptr;
    QPushButton* m_previousButton = nullptr;
    QPushButton* m_playButton = nullptr;
    QPushButton* m_nextButton = nullptr;
    QPushButton* m_volumeDownButton = nullptr;
    QPushButton* m_volumeUpButton = nullptr;
    QSlider* m_volume = nullptr;
    QLabel* m_timeLabel = nullptr;
    QLabel* m_statusLabel = nullptr;
    QWidget* m_waveformArea = nullptr;
    QWidget* m_playInfoArea = nullptr;
    QWidget* m_miniSong = nullptr;
    QLabel* m_miniCover = nullptr;
    QLabel* m_miniTitle = nullptr;
    QLabel* m_miniArtist = nullptr;
    QString m_miniTitleText;   // whole, before cutting
    QString m_miniArtistText;

    QIcon m_normalIcon;
    QIcon m_recordingIcon;
    bool m_trayRecording = false;
    QSystemTrayIcon* m_tray = nullptr;
    QMenu* m_trayMenu = nullptr;
    QAction* m_recordAction = nullptr;
    QAction* m_stopAction = nullptr;
    QAction* m_libraryAction = nullptr;
    QAction* m_settingsAction = nullptr;
    QAction* m_exitAction = nullptr;
};
