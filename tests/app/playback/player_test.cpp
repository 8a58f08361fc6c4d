// The player with off-screen widgets: queue, buttons, seeking, volume,
// "Recently Played", missing files, the recording guard and deleted songs,
// played through the real media engine into a private sound server.
#include <QDate>
#include <QFile>
#include <QListWidget>
#include <QSignalSpy>
#include <QSlider>
#include <algorithm>

#include "download/downloadqueue.h"
#include "playback/popupplaylist.h"
#include "playertest.h"

namespace {

using Answer = uitest::QuestionAnswer;
using playertest::PlayerFixture;

const auto* const g_sound = testing::AddGlobalTestEnvironment(new playertest::SoundServer);

class Player : public PlayerFixture {
protected:
    // Three songs of the given length, 1 to 3, shown in that order (the
    // newest first).
    void AddThree(double seconds) {
        AddPlayable(3, QStringLiteral("Gamma"), seconds, {}, {},
                    QStringLiteral("01/01/2020 10:00"));
        AddPlayable(2, QStringLiteral("Beta"), seconds, {}, {}, QStringLiteral("01/02/2020 10:00"));
        AddPlayable(1, QStringLiteral("Alpha"), seconds, QStringLiteral("Ann"), {},
                    QStringLiteral("01/03/2020 10:00"));
    }
};

TEST_F(Player, NextOnTheLastSongPlaysTheFirstAndPreviousOnTheFirstPlaysTheLast) {
    AddThree(3.0);
    Build();
    ASSERT_EQ(VisibleIds(), (std::vector<int>{1, 2, 3}));

    m_player->StartPlay(m_list->VisibleRows(), 2);
    ASSERT_TRUE(WaitPlaying(3));
    EXPECT_TRUE(Row(3)->IsPlaying());
    EXPECT_EQ(m_info->TitleLabel()->text(), QStringLiteral("Gamma"));
    EXPECT_EQ(m_toolBar->StatusLabel()->text(), QStringLiteral("Playing"));
    EXPECT_EQ(m_toolBar->PlayButton()->toolTip(), QStringLiteral("Pause"));
    EXPECT_TRUE(m_toolBar->NextButton()->isEnabled());
    EXPECT_TRUE(m_toolBar->PreviousButton()->isEnabled());

    Click(m_toolBar->NextButton());
    EXPECT_EQ(Queue()->CurrentIndex(), 0);
    EXPECT_FALSE(Row(3)->IsPlaying());
    EXPECT_TRUE(Row(1)->IsPlaying());
    ASSERT_TRUE(WaitPlaying(1));
    EXPECT_EQ(m_info->TitleLabel()->text(), QStringLiteral("Alpha"));
    EXPECT_EQ(m_info->ArtistLabel()->text(), QStringLiteral("Ann"));

    Click(m_toolBar->PreviousButton());
    EXPECT_EQ(Queue()->CurrentIndex(), 2);
    ASSERT_TRUE(WaitPlaying(3));
    EXPECT_FALSE(Row(1)->IsPlaying());
    EXPECT_EQ(QueueIds(), (std::vector<int>{1, 2, 3}));
}

TEST_F(Player, ASongThatEndsIsFollowedByTheNextAndTheLastByTheFirst) {
    AddPlayable(1, QStringLiteral("Short one"), 0.8);
    AddPlayable(2, QStringLiteral("Short two"), 0.8);
    Build();
    const QList<CTreeWidgetItem*> rows{Row(1), Row(2)};
    m_player->StartPlay(rows, 0);
    ASSERT_EQ(m_player->PlayingRow(), Row(1));
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_player->PlayingRow() == Row(2); }, 8000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_player->PlayingRow() == Row(1); }, 8000));
    EXPECT_EQ(m_player->PlayState(), CPlayerController::State_Playing);
}

TEST_F(Player, SongsThatFailOneAfterAnotherStopThePlayerOnceEachFailed) {
    AddThree(8.0);
    Build();
    m_player->StartPlay(m_list->VisibleRows(), 0);
    ASSERT_TRUE(WaitPlaying(1));

    // A song that fails is followed by the next; one that plays to its end
    // starts the count again.
    m_engine->Report(3000, 4);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_player->PlayingRow() == Row(2); }, 3000));
    m_engine->Report(10000, 3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_player->PlayingRow() == Row(3); }, 3000));
    for (int id : {1, 2}) {
        m_engine->Report(100, 4);
        ASSERT_TRUE(QTest::qWaitFor([&] { return m_player->PlayingRow() == Row(id); }, 3000)) << id;
    }
    // The third failure in a row: every song of the queue failed.
    m_engine->Report(100, 4);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return m_player->PlayState() == CPlayerController::State_Stopped; }, 3000));
    uitest::Watch([&] { return m_player->PlayingRow() != nullptr; }, 300);  // nothing starts
    EXPECT_EQ(m_player->PlayingRow(), nullptr);
    EXPECT_EQ(QueueIds(), (std::vector<int>{1, 2, 3})) << "the queue stays for the user";
}

TEST_F(Player, OneSelectedSongQueuesEveryShownSongWithItsFileAndStartsThere) {
    AddThree(3.0);
    AddPlayable(4, QStringLiteral("Lost"), 0, {}, {}, QStringLiteral("01/04/2020 10:00"));
    Build();
    ASSERT_EQ(VisibleIds(), (std::vector<int>{4, 1, 2, 3}));
    EXPECT_TRUE(m_toolBar->PlayButton()->isEnabled());
    EXPECT_FALSE(m_toolBar->NextButton()->isEnabled());

    Select({2});
    Click(m_toolBar->PlayButton());
    EXPECT_EQ(QueueIds(), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(Queue()->CurrentIndex(), 1);
    EXPECT_TRUE(Row(4)->IsMissing());
    ASSERT_TRUE(WaitPlaying(2));
    EXPECT_EQ(Queue()->ListId(), List_AllRecordings);

    // Several selected songs are the queue by themselves.
    Select({3, 1});
    m_player->StartNewPlay();
    EXPECT_EQ(QueueIds(), (std::vector<int>{1, 3}));
    EXPECT_EQ(m_player->PlayingRow(), Row(1));

    // A double click on a queued song plays the queue from there; on a song
    // outside the queue, that song alone.
    m_player->PlayMusic(Row(3));
    EXPECT_EQ(QueueIds(), (std::vector<int>{1, 3}));
    EXPECT_EQ(m_player->PlayingRow(), Row(3));
    m_player->PlayMusic(Row(2));
    EXPECT_EQ(QueueIds(), (std::vector<int>{2}));
    ASSERT_TRUE(WaitPlaying(2));
}

TEST_F(Player, PauseHoldsTheSongAndPlayResumesIt) {
    AddPlayable(1, QStringLiteral("Long"), 6.0);
    Build();
    Select({1});
    Click(m_toolBar->PlayButton());
    ASSERT_TRUE(WaitPlaying(1));

    Click(m_toolBar->PlayButton());
    EXPECT_EQ(m_player->PlayState(), CPlayerController::State_Paused);
    EXPECT_EQ(m_toolBar->StatusLabel()->text(), QStringLiteral("Paused"));
    EXPECT_EQ(m_toolBar->PlayButton()->toolTip(), QStringLiteral("Play"));
    // The engine made its last report in the pause; what it queued before
    // is handled before a call queued now.
    bool handled = false;
    QMetaObject::invokeMethod(m_player.get(), [&] { handled = true; }, Qt::QueuedConnection);
    ASSERT_TRUE(QTest::qWaitFor([&] { return handled; }));
    const int held = m_player->Position();
    uitest::Watch([&] { return m_player->Position() > held + 100; }, 700);
    EXPECT_LE(m_player->Position(), held + 100) << "the engine kept playing while paused";

    Click(m_toolBar->PlayButton());
    EXPECT_EQ(m_player->PlayState(), CPlayerController::State_Playing);
    EXPECT_EQ(m_player->PlayingRow(), Row(1)) << "resumed, not started again";
    // Past a second and a bit (2000 of 10000 of 6 s), the time labels show
    // it: elapsed, and "-" remaining of the 6 seconds.
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return m_player->Position() > std::max(held + 500, 2000); }, 5000));
    EXPECT_NE(m_info->ElapsedLabel()->text(), QStringLiteral("00:00"));
    EXPECT_TRUE(m_info->RemainingLabel()->text().startsWith(QStringLiteral("-00:0")));
}

TEST_F(Player, TheSeekHappensOnce200MillisecondsAfterTheLastSliderMove) {
    AddPlayable(1, QStringLiteral("Long"), 8.0);
    Build();
    m_player->StartPlay({Row(1)}, 0);
    ASSERT_TRUE(WaitPlaying(1));
    m_engine->seeks.clear();

    CSlider* slider = m_info->Slider();
    const int y = slider->height() / 2;
    auto at = [&](double share) { return QPoint(int(slider->width() * share), y); };
    auto move = [&](double share) {
        QMouseEvent event(QEvent::MouseMove, at(share), slider->mapToGlobal(at(share)),
                          Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(slider, &event);
    };
    QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, at(0.25));
    EXPECT_TRUE(m_info->IsHeld());
    qint64 lastMove = m_engine->Now();
    for (double share : {0.4, 0.55, 0.7}) {
        QTest::qWait(60);
        const bool early = m_engine->Now() - lastMove < 150;
        if (early) {
            EXPECT_TRUE(m_engine->seeks.empty()) << "seeked while the slider moved";
        }
        move(share);
        lastMove = m_engine->Now();
    }
    QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier, at(0.7));
    const int target = slider->value();
    EXPECT_GT(target, 6000);
    EXPECT_LT(target, 8000);
    // Released, but the seek is still to come: progress leaves the slider.
    EXPECT_TRUE(m_info->IsHeld());

    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_engine->seeks.empty(); }, 2000));
    uitest::Watch([&] { return m_engine->seeks.size() > 1; }, 400);  // no second seek
    ASSERT_EQ(m_engine->seeks.size(), 1u);
    EXPECT_EQ(m_engine->seeks[0], target);
    EXPECT_GE(m_engine->seekTimes[0] - lastMove, CPlayInfoGroup::kSeekDelayMs - 10);
    EXPECT_FALSE(m_info->IsHeld());
    // The engine plays on from there, and the slider follows it.
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_player->Position() > target; }, 3000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return slider->value() > target; }, 3000));
}

TEST_F(Player, VolumeOfTheSliderReachesTheEngineHalvedOnlyWhileNotRecording) {
    Config()->SetVolumeValue(120);
    AddPlayable(1, QStringLiteral("Song"), 3.0);
    Build();
    ASSERT_FALSE(m_engine->volumes.empty());
    EXPECT_EQ(m_engine->volumes.back(), 60) << "the stored volume from the start";

    m_toolBar->VolumeSlider()->setValue(150);
    EXPECT_EQ(m_engine->volumes.back(), 75);
    EXPECT_EQ(m_player->Volume(), 75);
    EXPECT_EQ(Config()->GetVolumeValue(), 150);
    m_toolBar->VolumeUp();
    EXPECT_EQ(m_engine->volumes.back(), 100);
    m_toolBar->VolumeDown();
    EXPECT_EQ(m_engine->volumes.back(), 0);

    // During a recording the slider is the capture's, not the player's.
    SetRecording(RecordState::Waiting);
    const size_t calls = m_engine->volumes.size();
    QSignalSpy capture(m_toolBar.get(), &CToolBar::RecordingVolumeChanged);
    m_toolBar->VolumeSlider()->setValue(100);
    EXPECT_EQ(m_engine->volumes.size(), calls);
    ASSERT_EQ(capture.size(), 1);
    EXPECT_EQ(capture[0][0].toInt(), 100);
    SetRecording(RecordState::Idle);
}

TEST_F(Player, APlayedSongIsInRecentlyPlayedWithTodaysTime) {
    AddThree(3.0);
    Build();
    EXPECT_EQ(m_list->Library()->ListCount(List_RecentlyPlayed), 0);
    m_player->StartPlay({Row(2)}, 0);
    ASSERT_EQ(m_player->PlayingRow(), Row(2));

    const QString today = QDate::currentDate().toString(QStringLiteral("MM/dd/yyyy"));
    EXPECT_TRUE(m_list->Library()->IsInList(Row(2), List_RecentlyPlayed));
    EXPECT_TRUE(Row(2)->PlayedText().startsWith(today)) << Row(2)->PlayedText().toStdString();
    SongRecord stored;
    ASSERT_EQ(DB_GetMusicInfo(2, &stored), 1);
    EXPECT_TRUE(stored.DateAdded.startsWith(QStringLiteral("01/02/2020 10:00;") + today))
        << stored.DateAdded.toStdString();
    EXPECT_FALSE(m_list->Library()->IsInList(Row(1), List_RecentlyPlayed));

    // Shown "Recently Played" gains the next song played.
    m_list->ShowList(List_RecentlyPlayed);
    EXPECT_EQ(VisibleIds(), (std::vector<int>{2}));
    m_player->StartPlay({Row(1), Row(3)}, 1);
    EXPECT_EQ(m_list->Library()->ListCount(List_RecentlyPlayed), 2);
    EXPECT_EQ(m_list->VisibleRows().size(), 2);
}

TEST_F(Player, MissingFilesAreSkippedAndTryingEndsOnceEveryEntryWasTried) {
    AddThree(3.0);
    Build();
    m_player->StartPlay(m_list->VisibleRows(), 0);
    ASSERT_TRUE(WaitPlaying(1));

    // A song whose file went away is marked and skipped.
    ASSERT_TRUE(QFile::remove(Row(2)->Path()));
    Click(m_toolBar->NextButton());
    EXPECT_TRUE(Row(2)->IsMissing());
    EXPECT_EQ(m_player->PlayingRow(), Row(3));
    EXPECT_EQ(Queue()->CurrentIndex(), 2);

    // Every file gone: each entry is tried once, then the player stops.
    for (int id : {1, 3}) ASSERT_TRUE(QFile::remove(Row(id)->Path()));
    Click(m_toolBar->NextButton());
    EXPECT_EQ(m_player->PlayState(), CPlayerController::State_Stopped);
    EXPECT_EQ(m_player->PlayingRow(), nullptr);
    for (int id : {1, 2, 3}) {
        EXPECT_TRUE(Row(id)->IsMissing()) << id;
        EXPECT_FALSE(Row(id)->IsPlaying()) << id;
    }
    EXPECT_TRUE(m_info->TitleLabel()->text().isEmpty());

    // Asked for by the user, the same tells why nothing plays.
    {
        Answer answer(QStringLiteral("Cancel"));
        Click(m_toolBar->PlayButton());
        EXPECT_TRUE(answer.Seen());
        EXPECT_EQ(answer.Text(),
                  QStringLiteral("Song playing unavailable, \noriginal file could not be found."));
    }
    {
        Answer answer(QStringLiteral("Cancel"));
        m_player->PlayMusic(Row(1));
        EXPECT_TRUE(answer.Seen());
    }
    EXPECT_EQ(m_player->PlayState(), CPlayerController::State_Stopped);
}

TEST_F(Player, WhileRecordingOnlyYesToTheQuestionStopsTheRecordingAndPlays) {
    AddThree(3.0);
    Build();
    SetRecording(RecordState::Waiting);
    EXPECT_FALSE(m_toolBar->PlayButton()->isEnabled()) << "play stays off while recording";

    {
        Answer answer(QStringLiteral("No"));
        m_player->PlayMusic(Row(1));
        EXPECT_TRUE(answer.Seen());
        EXPECT_EQ(answer.Text(), QStringLiteral("The programme is recording now.\n"
                                                "Do you want to stop it and start to play music?"));
    }
    EXPECT_EQ(m_player->PlayState(), CPlayerController::State_Stopped);
    EXPECT_EQ(m_recordState, RecordState::Waiting);
    EXPECT_EQ(m_stopRequests, 0);
    EXPECT_TRUE(Queue()->IsEmpty());

    // The tree's "Play" on a list asks too.
    {
        Answer answer(QStringLiteral("No"));
        m_player->StartPlayAllList();
        EXPECT_TRUE(answer.Seen());
    }
    EXPECT_EQ(m_player->PlayState(), CPlayerController::State_Stopped);

    {
        Answer answer(QStringLiteral("Yes"));
        m_player->PlayMusic(Row(1));
        EXPECT_TRUE(answer.Seen());
    }
    EXPECT_EQ(m_stopRequests, 1);
    EXPECT_EQ(m_recordState, RecordState::Idle);
    ASSERT_TRUE(WaitPlaying(1));
    EXPECT_TRUE(m_toolBar->PlayButton()->isEnabled());
}

TEST_F(Player, DeletingThePlayingSongGoesOnWithTheNextInTheSameState) {
    AddThree(4.0);
    Build();
    m_player->StartPlay(m_list->VisibleRows(), 1);
    ASSERT_TRUE(WaitPlaying(2));

    m_list->Library()->DeleteSongs({Row(2)});
    EXPECT_EQ(QueueIds(), (std::vector<int>{1, 3}));
    EXPECT_EQ(Queue()->CurrentIndex(), 1);
    ASSERT_TRUE(WaitPlaying(3));

    // Paused, the last entry deleted: the first is loaded and stays paused.
    Click(m_toolBar->PlayButton());
    m_list->Library()->DeleteSongs({Row(3)});
    EXPECT_EQ(QueueIds(), (std::vector<int>{1}));
    EXPECT_EQ(Queue()->CurrentIndex(), 0);
    EXPECT_EQ(m_player->PlayingRow(), Row(1));
    EXPECT_TRUE(Row(1)->IsPlaying());
    EXPECT_EQ(m_player->PlayState(), CPlayerController::State_Paused);
    EXPECT_EQ(m_info->TitleLabel()->text(), QStringLiteral("Alpha"));

    // The last queued song deleted: nothing is left to play.
    m_list->Library()->DeleteSongs({Row(1)});
    EXPECT_TRUE(Queue()->IsEmpty());
    EXPECT_EQ(Queue()->CurrentIndex(), -1);
    EXPECT_EQ(m_player->PlayState(), CPlayerController::State_Stopped);
    EXPECT_EQ(m_player->PlayingRow(), nullptr);
    EXPECT_FALSE(m_toolBar->NextButton()->isEnabled());
    EXPECT_FALSE(m_toolBar->PreviousButton()->isEnabled());
    EXPECT_TRUE(m_info->TitleLabel()->text().isEmpty());
}

TEST_F(Player, StopAndClearQueueLeavesNothingLoadedOrQueued) {
    AddThree(3.0);
    Build();
    m_player->StartPlay(m_list->VisibleRows(), 0);
    ASSERT_TRUE(WaitPlaying(1));

    m_player->StopAndClearQueue();
    EXPECT_EQ(m_player->PlayState(), CPlayerController::State_Stopped);
    EXPECT_TRUE(Queue()->IsEmpty());
    EXPECT_FALSE(Row(1)->IsPlaying());
    EXPECT_EQ(m_toolBar->StatusLabel()->text(), QStringLiteral("Ready"));
    EXPECT_TRUE(m_info->TitleLabel()->text().isEmpty());
    EXPECT_EQ(m_info->ElapsedLabel()->text(), QStringLiteral("00:00"));
    EXPECT_EQ(m_info->Slider()->value(), 0);
    EXPECT_FALSE(m_toolBar->NextButton()->isEnabled());
    EXPECT_TRUE(m_toolBar->PlayButton()->isEnabled()) << "the list still has songs";
    // No report of the released song comes through afterwards.
    uitest::Watch([&] { return m_player->Position() != 0 || m_player->PlayingRow() != nullptr; }, 500);
    EXPECT_EQ(m_player->Position(), 0);
    EXPECT_EQ(m_player->PlayingRow(), nullptr);
}

TEST_F(Player, ThePlayButtonFollowsAnEmptyFilterOnlyWhileTheQueueIsEmpty) {
    AddThree(3.0);
    Build();
    EXPECT_TRUE(m_toolBar->PlayButton()->isEnabled());
    m_list->Filter(0, QStringLiteral("nothing like this"));
    EXPECT_FALSE(m_toolBar->PlayButton()->isEnabled());
    m_list->Filter(0, QString());
    EXPECT_TRUE(m_toolBar->PlayButton()->isEnabled());

    m_player->StartPlay(m_list->VisibleRows(), 0);
    m_list->Filter(0, QStringLiteral("nothing like this"));
    EXPECT_TRUE(m_toolBar->PlayButton()->isEnabled());
}

TEST_F(Player, ThePopupListsTheQueueAndADoubleClickPlaysTheEntry) {
    AddThree(3.0);
    Build();
    CPopupPlayList popup(Queue());
    QObject::connect(&popup, &CPopupPlayList::itemDoubleClicked, m_player.get(),
                     &CPlayerController::PlayMusic);
    QSignalSpy hidden(&popup, &CPopupPlayList::aboutHide);
    m_list->Library()->HandleDownloadNotify(3, DownloadTask_FAILED);
    m_player->StartPlay(m_list->VisibleRows(), 0);

    popup.PopupAt(QPoint(100, 500));
    ASSERT_TRUE(popup.isVisible());
    // Grown open: three entries tall, its bottom where it was asked.
    EXPECT_TRUE(QTest::qWaitFor([&] { return popup.height() > 100; }, 2000));
    ASSERT_TRUE(uitest::WaitForAnimations(&popup));
    EXPECT_EQ(popup.geometry().bottom(), 499);
    QListWidget* list = popup.List();
    ASSERT_EQ(list->count(), 3);
    QStringList titles;
    for (int i = 0; i < list->count(); ++i)
        titles << static_cast<CMiniListItem*>(list->itemWidget(list->item(i)))->Title();
    EXPECT_EQ(titles, (QStringList{"Alpha", "Beta", "Gamma"}));
    auto* first = static_cast<CMiniListItem*>(list->itemWidget(list->item(0)));
    auto* third = static_cast<CMiniListItem*>(list->itemWidget(list->item(2)));
    EXPECT_EQ(first->Artist(), QStringLiteral("Ann"));
    EXPECT_FALSE(first->ShowsFailedDownload());
    EXPECT_TRUE(third->ShowsFailedDownload());

    QListWidgetItem* item = list->item(2);
    list->scrollToItem(item);
    // A double click: the first click, then the second as a double click.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                      list->visualItemRect(item).center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                       list->visualItemRect(item).center());
    EXPECT_EQ(m_player->PlayingRow(), Row(3));
    EXPECT_EQ(Queue()->CurrentIndex(), 2);

    // It follows the queue while open, and closes with its animation.
    m_list->Library()->DeleteSongs({Row(2)});
    EXPECT_EQ(popup.List()->count(), 2);
    popup.HideAnimated();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !popup.isVisible(); }, 2000));
    EXPECT_EQ(hidden.size(), 1);
}

}  // namespace
