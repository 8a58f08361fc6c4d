#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QStackedWidget>
#include <QSystemTrayIcon>
#include <QTime>

#include "config.h"
#include "toolbar.h"
#include "uiapp.h"

namespace {

QImage IconImage(const QIcon& icon) {
    return icon.pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
}

class ToolBarTest : public testing::Test {
protected:
    void SetUp() override {
        uitest::App();
        m_config = CConfig::instance();
        m_config->SetVolumeValue(150);
        m_bar = std::make_unique<CToolBar>(m_config);
        m_bar->SetRecordStateSource([this] { return m_state; });
    }

    // The session's state changes to state, and the bar shows it.
    void Show(RecordState state) {
        const RecordState previous = std::exchange(m_state, state);
        m_bar->ShowRecordState(state, previous);
    }

    CConfig* m_config = nullptr;
    RecordState m_state = RecordState::Idle;
    std::unique_ptr<CToolBar> m_bar;
};

TEST_F(ToolBarTest, TrayMenuOffersStopInsteadOfRecordDuringASession) {
    const QMenu* menu = m_bar->TrayMenu();
    EXPECT_EQ(menu->styleSheet(),
              QStringLiteral("QMenu{font-size: 12px;color: #000000;font-weight: normal;}"));
    EXPECT_EQ(m_bar->TrayIcon()->contextMenu(), menu);
    const QStringList idle = {"Settings", "-", "Record", "-", "Library", "Exit"};
    const QStringList recording = {"Settings", "-", "Stop", "-", "Library", "Exit"};
    EXPECT_EQ(uitest::MenuTexts(menu), idle);

    Show(RecordState::Waiting);
    EXPECT_EQ(uitest::MenuTexts(menu), recording);
    EXPECT_EQ(m_bar->RecordStopStack()->currentIndex(), 1);
    EXPECT_EQ(m_bar->RecordStopStack()->toolTip(), QStringLiteral("Stop"));
    EXPECT_FALSE(m_bar->PlayButton()->isEnabled());

    // A second start of the same session changes nothing in the menu.
    Show(RecordState::Waiting);
    EXPECT_EQ(uitest::MenuTexts(menu), recording);

    Show(RecordState::SongInProgress);
    Show(RecordState::Idle);
    EXPECT_EQ(uitest::MenuTexts(menu), idle);
    EXPECT_EQ(m_bar->RecordStopStack()->currentIndex(), 0);
    EXPECT_EQ(m_bar->RecordStopStack()->toolTip(), QStringLiteral("Start"));
    EXPECT_EQ(m_bar->StatusLabel()->text(), QStringLiteral("Ready"));
    Show(RecordState::Idle);
    EXPECT_EQ(uitest::MenuTexts(menu), idle);
}

TEST_F(ToolBarTest, TrayIconAlternatesOncePerSecondWhileASongIsWritten) {
    const QImage normal = IconImage(QIcon(QStringLiteral(":/prefix/res/normal_Tray_Icon.png")));
    const QImage recording =
        IconImage(QIcon(QStringLiteral(":/prefix/res/recording_Tray_Icon.png")));
    ASSERT_FALSE(normal.isNull());
    ASSERT_FALSE(recording.isNull());
    ASSERT_NE(normal, recording);
    EXPECT_EQ(IconImage(m_bar->TrayIcon()->icon()), normal);

    Show(RecordState::Waiting);
    // Waiting: the time stays at zero and blinks red on odd seconds.
    m_bar->ShowRecordingTime(QTime(0, 0, 1));
    EXPECT_EQ(m_bar->TimeLabel()->text(), QStringLiteral("00:00:00"));
    EXPECT_EQ(m_bar->TimeLabel()->styleSheet(), QStringLiteral("QLabel{color: #FF0000}"));
    m_bar->ShowRecordingTime(QTime(0, 0, 2));
    EXPECT_EQ(m_bar->TimeLabel()->styleSheet(), QStringLiteral("QLabel{color: #522253}"));
    EXPECT_EQ(IconImage(m_bar->TrayIcon()->icon()), normal);

    Show(RecordState::SongInProgress);
    EXPECT_EQ(m_bar->StatusLabel()->text(), QStringLiteral("Recording"));
    for (int second = 1; second <= 4; ++second) {
        m_bar->ShowRecordingTime(QTime(0, 0, second));
        const bool odd = second % 2 != 0;
        EXPECT_EQ(IconImage(m_bar->TrayIcon()->icon()), odd ? normal : recording) << second;
        EXPECT_EQ(m_bar->TimeLabel()->text(), QStringLiteral("00:00:0%1").arg(second));
    }
    // Ends on an even second, showing the recording icon; the song's end
    // brings the normal icon back.
    ASSERT_EQ(IconImage(m_bar->TrayIcon()->icon()), recording);
    Show(RecordState::Waiting);
    EXPECT_EQ(IconImage(m_bar->TrayIcon()->icon()), normal);
    EXPECT_EQ(m_bar->StatusLabel()->text(), QStringLiteral("Ready"));

    // A stop in the middle of an even second also restores it.
    Show(RecordState::SongInProgress);
    m_bar->ShowRecordingTime(QTime(0, 0, 1));
    m_bar->ShowRecordingTime(QTime(0, 0, 2));
    ASSERT_EQ(IconImage(m_bar->TrayIcon()->icon()), recording);
    Show(RecordState::Idle);
    EXPECT_EQ(IconImage(m_bar->TrayIcon()->icon()), normal);
    EXPECT_EQ(m_bar->TimeLabel()->text(), QStringLiteral("00:00:00"));
}

TEST_F(ToolBarTest, VolumeIsStoredAndGoesToThePlayerWhenIdleAndToTheEngineWhileRecording) {
    QSlider* slider = m_bar->VolumeSlider();
    EXPECT_EQ(slider->minimum(), 0);
    EXPECT_EQ(slider->maximum(), 200);
    EXPECT_EQ(slider->value(), 150);

    QSignalSpy player(m_bar.get(), &CToolBar::PlaybackVolumeChanged);
    QSignalSpy engine(m_bar.get(), &CToolBar::RecordingVolumeChanged);
    slider->setValue(100);
    EXPECT_EQ(m_config->GetVolumeValue(), 100);
    ASSERT_EQ(player.size(), 1);
    EXPECT_EQ(player.at(0).at(0).toInt(), 50);
    EXPECT_EQ(engine.size(), 0);

    Show(RecordState::Waiting);
    m_bar->VolumeUp();
    EXPECT_EQ(slider->value(), 200);
    EXPECT_EQ(m_config->GetVolumeValue(), 200);
    ASSERT_EQ(engine.size(), 1);
    EXPECT_EQ(engine.at(0).at(0).toInt(), 200);

    m_bar->VolumeDown();
    m_bar->VolumeDown();  // already 0: stored and passed on again
    EXPECT_EQ(m_config->GetVolumeValue(), 0);
    ASSERT_EQ(engine.size(), 3);
    EXPECT_EQ(engine.at(2).at(0).toInt(), 0);
    EXPECT_EQ(player.size(), 1);

    m_bar->SetVolume(500);
    EXPECT_EQ(m_config->GetVolumeValue(), 200);
}

TEST_F(ToolBarTest, DraggedVolumeIsFollowedAtOnceAndStoredOnRelease) {
    QSlider* slider = m_bar->VolumeSlider();
    QSignalSpy player(m_bar.get(), &CToolBar::PlaybackVolumeChanged);
    slider->setSliderDown(true);
    slider->setValue(40);
    slider->setValue(60);
    EXPECT_EQ(player.size(), 2);
    EXPECT_EQ(m_config->GetVolumeValue(), 150);
    slider->setSliderDown(false);
    EXPECT_EQ(m_config->GetVolumeValue(), 60);
}

}  // namespace
