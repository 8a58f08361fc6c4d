#pragma once

// Shared by the player tests: the player built as the main window builds it
// (recordings list, tool bar, player's panel, view, controller) on a fresh
// library of songs that really play, through the real media engine into a
// private sound server, with every seek and volume change watched on its
// way to the engine.

#include <gtest/gtest.h>

#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <memory>
#include <thread>
#include <vector>

#include "library/musicinfomodel.h"
#include "library/playqueue.h"
#include "library/showlistwidget.h"
#include "librarytest.h"
#include "mediatest.h"
#include "playback/mediaengine.h"
#include "playback/playercontroller.h"
#include "playback/playerview.h"
#include "playback/playinfogroup.h"
#include "pulsedaemon.h"
#include "toolbar.h"
#include "uiapp.h"

namespace playertest {

// The media engine, with the seeks and volumes it was given and when.
class CWatchedEngine : public CMediaEngine {
public:
    CWatchedEngine() { m_clock.start(); }
    int SeekTo(int position) override {
        seeks.push_back(position);
        seekTimes.push_back(m_clock.elapsed());
        return CMediaEngine::SeekTo(position);
    }
    int ChangeVolume(int volume) override {
        volumes.push_back(volume);
        return CMediaEngine::ChangeVolume(volume);
    }
    int CreatePlay(int handle, Callback callback, void* user) override {
        m_callback = callback;
        m_user = user;
        return CMediaEngine::CreatePlay(handle, callback, user);
    }
    // Makes a report as the engine's thread would, for the last player:
    // for the ends that a test cannot bring about on a healthy file.
    void Report(int position, int state) {
        std::thread engineThread([this, position, state] { m_callback(position, state, m_user); });
        engineThread.join();
    }
    // Milliseconds on the clock the seek times use.
    qint64 Now() const { return m_clock.elapsed(); }

    std::vector<int> seeks;
    std::vector<qint64> seekTimes;
    std::vector<int> volumes;

private:
    QElapsedTimer m_clock;
    Callback m_callback = nullptr;
    void* m_user = nullptr;
};

// One private sound server for the whole test program, started before any
// player connects and stopped by its process id at the end.
class SoundServer : public testing::Environment {
public:
    void SetUp() override {
        s_daemon = new testsupport::PulseDaemon;
        ASSERT_TRUE(s_daemon->ok()) << s_daemon->error();
    }
    void TearDown() override {
        delete s_daemon;
        s_daemon = nullptr;
    }
    static bool Ok() { return s_daemon && s_daemon->ok(); }

private:
    static inline testsupport::PulseDaemon* s_daemon = nullptr;
};

class PlayerFixture : public librarytest::LibraryFixture {
protected:
    void SetUp() override {
        uitest::App();
        ASSERT_TRUE(SoundServer::Ok());
        LibraryFixture::SetUp();
    }
    void TearDown() override {
        m_player.reset();
        m_view.reset();
        m_info.reset();
        m_toolBar.reset();
        m_list.reset();
        LibraryFixture::TearDown();
    }

    // Stores a song whose file is a time-coded tone of the given length
    // (no file when seconds is 0).
    void AddPlayable(int id, const QString& name, double seconds, const QString& artist = {},
                     const QString& album = {}, const QString& dateAdded = LibraryDateText()) {
        SongRecord record =
            AddSong(librarytest::Song{id, name, artist, album, {}, dateAdded, {}, false});
        record.MusicPath = FilePath(QStringLiteral("AU%1.wav").arg(id));
        ASSERT_EQ(DB_UpdateMusicInfo(record), 0);
        if (seconds > 0) {
            ASSERT_TRUE(medtest::WriteWav(record.MusicPath.toStdString(),
                                          medtest::TimeCodedPcm(seconds, medtest::kRate, 1),
                                          medtest::kRate, 1));
        }
    }

    // The player as the main window builds it.
    void Build() {
        m_list = std::make_unique<CShowListWidget>(OpenLibrary(), Config());
        m_list->resize(900, 400);
        m_list->show();
        m_toolBar = std::make_unique<CToolBar>(Config());
        m_toolBar->SetRecordStateSource([this] { return m_recordState; });
        m_toolBar->show();
        m_info = std::make_unique<CPlayInfoGroup>();
        m_info->resize(320, 44);
        m_info->show();
        m_view =
            std::make_unique<CPlayerView>(m_list.get(), m_toolBar.get(), m_info.get(), nullptr);
        auto engine = std::make_unique<CWatchedEngine>();
        m_engine = engine.get();
        m_player = std::make_unique<CPlayerController>(m_list->Library()->PlayQueue(), m_view.get(),
                                                       std::move(engine));
        m_view->SetRecordStateSource([this] { return m_recordState; });
        m_view->SetStopRecording([this] {
            ++m_stopRequests;
            SetRecording(RecordState::Idle);
        });
        m_view->Bind(m_player.get());
    }

    // The recording session's state changes to state; the tool bar and the
    // player follow, as the main window wires them.
    void SetRecording(RecordState state) {
        const RecordState previous = std::exchange(m_recordState, state);
        m_toolBar->ShowRecordState(state, previous);
        m_player->RefreshControls();
    }

    CTreeWidgetItem* Row(int id) const { return m_list->Library()->FindRow(id); }
    CPlayQueue* Queue() const { return m_list->Library()->PlayQueue(); }
    // MusicIds of the queue in order.
    std::vector<int> QueueIds() const {
        std::vector<int> ids;
        for (const CTreeWidgetItem* row : Queue()->Rows()) ids.push_back(row->MusicId());
        return ids;
    }
    std::vector<int> VisibleIds() const {
        std::vector<int> ids;
        for (const CTreeWidgetItem* row : m_list->VisibleRows()) ids.push_back(row->MusicId());
        return ids;
    }
    void Select(std::initializer_list<int> ids) {
        m_list->clearSelection();
        for (int id : ids) {
            const QModelIndex index = m_list->Model()->IndexOf(Row(id));
            ASSERT_TRUE(index.isValid()) << id;
            m_list->Table()->selectionModel()->select(
                index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }
    // Waits until the song plays and the engine reported it moving.
    bool WaitPlaying(int id, int timeoutMs = 8000) {
        return QTest::qWaitFor(
            [&] {
                return m_player->PlayingRow() == Row(id) &&
                       m_player->PlayState() == CPlayerController::State_Playing &&
                       m_player->Position() > 0;
            },
            timeoutMs);
    }
    void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

    std::unique_ptr<CShowListWidget> m_list;
    std::unique_ptr<CToolBar> m_toolBar;
    std::unique_ptr<CPlayInfoGroup> m_info;
    std::unique_ptr<CPlayerView> m_view;
    std::unique_ptr<CPlayerController> m_player;
    CWatchedEngine* m_engine = nullptr;  // owned by m_player
    RecordState m_recordState = RecordState::Idle;  // as the session holds it
    int m_stopRequests = 0;
};

}  // namespace playertest
