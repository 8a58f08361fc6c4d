#include "playerview.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>

#include "deletedialog.h"
#include "library/library.h"
#include "library/showlistwidget.h"
#include "playinfogroup.h"
#include "toolbar.h"

CPlayerView::CPlayerView(CShowListWidget* list, CToolBar* toolBar, CPlayInfoGroup* info,
                         QWidget* dialogParent, QObject* parent)
    : QObject(parent),
      m_list(list),
      m_toolBar(toolBar),
      m_info(info),
      m_dialogParent(dialogParent) {}

void CPlayerView::Bind(CPlayerController* player) {
    m_player = player;
    connect(m_toolBar->PreviousButton(), &QPushButton::clicked, player,
            &CPlayerController::PlayLast);
    connect(m_toolBar->PlayButton(), &QPushButton::clicked, player,
            &CPlayerController::PlayOrPause);
    connect(m_toolBar->NextButton(), &QPushButton::clicked, player, &CPlayerController::PlayNext);
    connect(player, &CPlayerController::PlayStateChanged, this, &CPlayerView::ShowPlayState);
    connect(player, &CPlayerController::ControlsChanged, this, &CPlayerView::ApplyControls);
    connect(player, &CPlayerController::TrackChanged, m_info, &CPlayInfoGroup::RefreshPlayInfo);
    connect(player, &CPlayerController::ProgressChanged, m_info,
            &CPlayInfoGroup::ReflashPlaySlider);
    connect(m_info, &CPlayInfoGroup::SeekRequested, player, &CPlayerController::SeekTo);
    connect(m_toolBar, &CToolBar::PlaybackVolumeChanged, player, &CPlayerController::ChangeVolume);
    connect(m_list, &CShowListWidget::FilterListToNull, player, &CPlayerController::DisablePlayBut);
    CLibrary* library = m_list->Library();
    connect(library, &CLibrary::QueueEntriesRemoved, player,
            &CPlayerController::AfterDeletePlayingMusic);
    connect(library, &CLibrary::MusicItemDeleted, player, &CPlayerController::RowDeleted);
    connect(library, &CLibrary::MusicItemInfoChanged, player, &CPlayerController::RowChanged);

    player->ChangeVolume(m_toolBar->VolumeSlider()->value() * 100 / 200);
    player->DisablePlayBut(m_list->VisibleRows().isEmpty());
    ShowPlayState(player->PlayState());
}

void CPlayerView::SetStopRecording(std::function<void()> stop) {
    m_stopRecording = std::move(stop);
}

void CPlayerView::SetRecordStateSource(std::function<RecordState()> source) {
    m_recordState = std::move(source);
}

void CPlayerView::SetSessionRowsSource(std::function<QList<CTreeWidgetItem*>()> source) {
    m_sessionRows = std::move(source);
}

void CPlayerView::ShowPlayState(int state) {
    const bool playing = state == CPlayerController::State_Playing;
    QPushButton* play = m_toolBar->PlayButton();
    play->setIcon(QIcon(playing ? QStringLiteral(":/prefix/res/pause.png")
                                : QStringLiteral(":/prefix/res/play.png")));
    play->setToolTip(playing ? tr("Pause") : tr("Play"));
    // While recording the status label tells about the recording.
    if (RecordingState() != RecordState::Idle) return;
    switch (state) {
        case CPlayerController::State_Playing:
            m_toolBar->StatusLabel()->setText(tr("Playing"));
            break;
        case CPlayerController::State_Paused:
            m_toolBar->StatusLabel()->setText(tr("Paused"));
            break;
        default:
            m_toolBar->StatusLabel()->setText(tr("Ready"));
            break;
    }
}

void CPlayerView::ApplyControls() {
    if (!m_player || RecordingState() != RecordState::Idle) return;
    m_toolBar->PlayButton()->setEnabled(m_player->CanPlay());
    m_toolBar->PreviousButton()->setEnabled(m_player->CanGoPrevious());
    m_toolBar->NextButton()->setEnabled(m_player->CanGoNext());
}

QList<CTreeWidgetItem*> CPlayerView::VisibleRows() const {
    return m_list->VisibleRows();
}

QList<CTreeWidgetItem*> CPlayerView::SelectedRows() const {
    return m_list->SelectedRows();
}

int CPlayerView::CurrentListId() const {
    return m_list->CurrentListId();
}

bool CPlayerView::CheckFile(CTreeWidgetItem* row) {
    return m_list->Library()->CheckFile(row);
}

void CPlayerView::SetPlayingMark(CTreeWidgetItem* row, bool playing) {
    m_list->Library()->SetPlayingMark(row, playing);
}

void CPlayerView::AddToRecentlyPlayed(CTreeWidgetItem* row) {
    m_list->Library()->AddToList({row}, List_RecentlyPlayed);
}

void CPlayerView::RefreshCoverView() {
    m_list->UpdataPicView();
}

RecordState CPlayerView::RecordingState() const {
    return m_recordState ? m_recordState() : RecordState::Idle;
}

bool CPlayerView::AskStopRecording() {
    CDeleteDialog question(tr("The programme is recording now.\n"
                              "Do you want to stop it and start to play music?"),
                           m_dialogParent);
    question.AddButton(tr("No"), QDialogButtonBox::RejectRole, true);
    question.AddButton(tr("Yes"), QDialogButtonBox::AcceptRole);
    if (question.Ask() != QDialogButtonBox::AcceptRole) return false;
    qDebug("CPlayerView::AskStopRecording stop the recording to play");
    if (m_stopRecording) m_stopRecording();
    return true;
}

void CPlayerView::ShowUnavailable() {
    CDeleteDialog message(tr("Song playing unavailable, \noriginal file could not be found."),
                          m_dialogParent);
    message.AddButton(tr("Cancel"), QDialogButtonBox::RejectRole, true);
    message.Ask();
}

QList<CTreeWidgetItem*> CPlayerView::SessionRows() const {
    return m_sessionRows ? m_sessionRows() : QList<CTreeWidgetItem*>();
}
