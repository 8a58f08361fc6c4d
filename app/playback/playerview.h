#pragma once

#include <QObject>

#include <functional>

#include "playercontroller.h"

class CPlayInfoGroup;
class CShowListWidget;
class CToolBar;
class QWidget;

// The player's face in the main window: it answers the player's questions
// (CPlayerHost) from the recordings list, the tool bar and the question
// dialog, passes the clicks of previous, play (pause while playing) and
// next to the player, and shows the player's state: the status label ("Playing",
// "Paused", "Ready"), the play button (play or pause picture and tooltip),
// which play controls are enabled (none while a recording runs), and the
// song, times and slider of the player's panel. It also passes the list's
// changes (a filter that empties it, removed queue entries, deleted and
// changed rows) and the tool bar's playback volume to the player.
//
// Built and bound once by the main window. GUI thread only.
class CPlayerView : public QObject, public CPlayerHost {
    Q_OBJECT
public:
    // None owned; all outlive the view. dialogParent: parent of the
    // questions.
    CPlayerView(CShowListWidget* list, CToolBar* toolBar, CPlayInfoGroup* info,
                QWidget* dialogParent, QObject* parent = nullptr);

    // Connects the player with the widgets and shows its state. Once.
    void Bind(CPlayerController* player);
    // What "Yes" to the recording guard runs to stop the recording.
    void SetStopRecording(std::function<void()> stop);
    // Where the recording state comes from (the session); idle until set.
    void SetRecordStateSource(std::function<RecordState()> source);
    // Where the songs of the recording session come from.
    void SetSessionRowsSource(std::function<QList<CTreeWidgetItem*>()> source);

    // CPlayerHost
    QList<CTreeWidgetItem*> VisibleRows() const override;
    QList<CTreeWidgetItem*> SelectedRows() const override;
    int CurrentListId() const override;
    bool CheckFile(CTreeWidgetItem* row) override;
    void SetPlayingMark(CTreeWidgetItem* row, bool playing) override;
    void AddToRecentlyPlayed(CTreeWidgetItem* row) override;
    void RefreshCoverView() override;
    RecordState RecordingState() const override;
    bool AskStopRecording() override;
    void ShowUnavailable() override;
    QList<CTreeWidgetItem*> SessionRows() const override;

private:
    void ShowPlayState(int state);
    void ApplyControls();

    CShowListWidget* m_list;
    CToolBar* m_toolBar;
    CPlayInfoGroup* m_info;
    QWidget* m_dialogParent;
    CPlayerController* m_player = nullptr;
    std::function<void()> m_stopRecording;
    std::function<RecordState()> m_recordState;
    std::function<QList<CTreeWidgetItem*>()> m_sessionRows;
};
