// The scheduled recording: the scheduler page, the two task timers, the
// "Tomorrow" rule, the end of a task by any stop, and the shutdown question
// with its countdown. Driven through the main window; the power-off command
// is replaced by one that leaves a mark, and nothing reaches a real sound
// server (the preferences list the inputs of a private daemon).
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>

#include <cstdlib>
#include <functional>
#include <memory>

#include "config.h"
#include "mainui.h"
#include "preferences/preferencesdialog.h"
#include "preferences/settaskdialog.h"
#include "pulsedaemon.h"
#include "recording/poweroff.h"
#include "recording/recordschedule.h"
#include "recording/recordsession.h"
#include "recordingtest.h"
#include "recording/shutdownquestion.h"
#include "statusbar.h"
#include "toolbar.h"
#include "uiapp.h"

namespace {

// The scheduler page as the user leaves it before pressing a button.
struct TaskChoice {
    bool scheduled = true;
    QTime start;
    QTime duration;
    bool shutdown = false;
};

class ScheduleTest : public testing::Test {
protected:
    void SetUp() override {
        uitest::App();
        ASSERT_TRUE(m_pulse.ok()) << m_pulse.error();
        ASSERT_TRUE(m_marks.isValid());
        m_mark = m_marks.filePath(QStringLiteral("powered-off"));
        const QByteArray command = "touch '" + QFile::encodeName(m_mark) + "'";
        setenv(kPowerOffCommandVariable, command.constData(), 1);
        m_config = CConfig::instance();
        // A task records the speakers' monitor of the private server.
        recordingtest::RecordFromSpeakers(m_config, m_marks.filePath(QStringLiteral("rec")));
        m_config->SetFilterTime(1);
        m_config->SetAfterRecord(1);
        ASSERT_TRUE(m_library.ok());
        m_window = std::make_unique<CMainUI>(m_library.Take());
        m_window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
    }
    void TearDown() override {
        m_window.reset();
        setenv(kPowerOffCommandVariable, "false", 1);
    }

    // Presses the scheduler button and, in the preferences that open, sets
    // the scheduler page as given and presses "Save" (or "Cancel").
    void Schedule(const TaskChoice& choice, bool save = true) {
        m_pageTitle.clear();
        uitest::ModalAnswer answer([this, choice, save](QWidget* modal) {
            auto* dialog = qobject_cast<CPreferencesDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            m_pageTitle = dialog->windowTitle();
            auto* page = qobject_cast<CSetTaskDialog*>(dialog->Page(dialog->CurrentPage()));
            ASSERT_NE(page, nullptr);
            if (page->TaskBox()->isChecked() != choice.scheduled)
                QTest::mouseClick(page->TaskBox(), Qt::LeftButton, {}, QPoint(4, 4));
            EXPECT_EQ(page->TaskGroup()->isEnabled(), choice.scheduled);
            if (choice.start.isValid()) page->StartEdit()->setTime(choice.start);
            if (choice.duration.isValid()) page->DurationEdit()->setTime(choice.duration);
            page->ShutdownBox()->setChecked(choice.shutdown);
            QTest::mouseClick(save ? dialog->SaveButton() : dialog->CancelButton(),
                              Qt::LeftButton);
        });
        QTest::mouseClick(m_window->StatusBar()->SchedulerButton(), Qt::LeftButton);
        ASSERT_TRUE(answer.Seen());
    }

    QString ToolTip() const { return m_window->StatusBar()->SchedulerButton()->toolTip(); }
    bool PoweredOff() const { return QFile::exists(m_mark); }

    testsupport::PulseDaemon m_pulse;
    QTemporaryDir m_marks;
    QString m_mark;
    CConfig* m_config = nullptr;
    uitest::TestLibrary m_library;  // opened before the window, as at start-up
    std::unique_ptr<CMainUI> m_window;
    QString m_pageTitle;
};

TEST_F(ScheduleTest, APassedStartTimeIsScheduledForTomorrow) {
    m_window->Schedule()->SetClock([] { return QTime(23, 59, 30); });
    Schedule({true, QTime(23, 59, 0), QTime(1, 0, 0), false});
    EXPECT_EQ(m_pageTitle, QStringLiteral("Scheduler Preferences"));
    EXPECT_EQ(m_config->GetTaskStart(), QTime(23, 59, 0));
    EXPECT_EQ(m_config->GetTaskDuration(), QTime(1, 0, 0));
    EXPECT_EQ(ToolTip(), QStringLiteral("   A recording task is running\nTomorrow 23:59:00-00:59:00"));
    QTimer* start = m_window->StartTaskTimer();
    ASSERT_TRUE(start->isActive());
    // 23 h 59 min 30 s.
    EXPECT_EQ(start->interval(), ((23 * 60 + 59) * 60 + 30) * 1000);
    EXPECT_GT(start->remainingTime(), 86000000);

    // Later the same day: today, without "Tomorrow".
    m_window->Schedule()->SetClock([] { return QTime(8, 0, 0); });
    Schedule({true, QTime(9, 30, 0), QTime(0, 45, 15), false});
    EXPECT_EQ(ToolTip(), QStringLiteral("A recording task is running\n     09:30:00-10:15:15"));
    EXPECT_EQ(start->interval(), 90 * 60 * 1000);

    // Cancel changes nothing.
    Schedule({true, QTime(10, 0, 0), QTime(0, 1, 0), true}, false);
    EXPECT_EQ(m_config->GetTaskStart(), QTime(9, 30, 0));
    EXPECT_EQ(m_config->GetAfterRecord(), 1);
    EXPECT_EQ(start->interval(), 90 * 60 * 1000);

    // Saved unticked: no task, no timer.
    Schedule({false, QTime(), QTime(), false});
    EXPECT_EQ(ToolTip(), QStringLiteral("Recording task scheduler"));
    EXPECT_FALSE(start->isActive());
    EXPECT_FALSE(m_window->StopTaskTimer()->isActive());
    EXPECT_TRUE(m_window->Schedule()->NoTaskScheduled());
}

TEST_F(ScheduleTest, TaskStartsRecordingAtItsTimeAndStopsItAfterItsDuration) {
    CRecordSchedule* schedule = m_window->Schedule();
    QSignalSpy started(schedule, &CRecordSchedule::StartRecordingRequested);
    QSignalSpy stopped(schedule, &CRecordSchedule::StopRecordingRequested);
    const QTime now = QTime::currentTime();
    // Two seconds from now, one second long (a start that would cross
    // midnight is not worth the wait).
    if (now.secsTo(QTime(23, 59, 50)) < 0) GTEST_SKIP() << "too close to midnight";
    Schedule({true, now.addSecs(2), QTime(0, 0, 1), false});
    EXPECT_EQ(schedule->GetState(), CRecordSchedule::State_Waiting);

    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return started.count() == 1; }, 5000));
    EXPECT_GE(clock.elapsed(), 900);
    EXPECT_EQ(schedule->GetState(), CRecordSchedule::State_Running);
    // The task's recording runs on the engine.
    EXPECT_EQ(m_window->RecordSession()->State(), RecordState::Waiting);
    EXPECT_FALSE(m_pulse.recordingSource().empty());
    EXPECT_TRUE(m_window->StopTaskTimer()->isActive());
    EXPECT_EQ(m_window->StopTaskTimer()->interval(), 1000);

    ASSERT_TRUE(QTest::qWaitFor([&] { return stopped.count() == 1; }, 4000));
    EXPECT_EQ(m_window->RecordSession()->State(), RecordState::Idle);
    EXPECT_TRUE(m_pulse.recordingSource().empty());
    EXPECT_EQ(schedule->GetState(), CRecordSchedule::State_NoTask);
    EXPECT_TRUE(schedule->NoTaskScheduled());
    EXPECT_EQ(ToolTip(), QStringLiteral("Recording task scheduler"));
    EXPECT_FALSE(PoweredOff());
}

TEST_F(ScheduleTest, RunningRecordingIsKeptAndAUserStopEndsTheTaskWithoutShutdown) {
    CRecordSchedule* schedule = m_window->Schedule();
    QSignalSpy started(schedule, &CRecordSchedule::StartRecordingRequested);
    m_window->Schedule()->SetClock([] { return QTime(12, 0, 0); });
    Schedule({true, QTime(13, 0, 0), QTime(2, 0, 0), true});
    EXPECT_EQ(m_config->GetAfterRecord(), 0);

    // A recording already runs when the start timer fires: it goes on, and
    // the task still ends on time.
    ASSERT_TRUE(m_window->RecordSession()->StartRecording());
    m_window->StartTaskTimer()->setInterval(0);
    m_window->StartTaskTimer()->start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return schedule->GetState() == CRecordSchedule::State_Running; }));
    EXPECT_EQ(started.count(), 0);
    EXPECT_FALSE(m_window->StartTaskTimer()->isActive());
    EXPECT_EQ(m_window->StopTaskTimer()->interval(), 2 * 3600 * 1000);

    // The user stops: the task is over, no shutdown question.
    uitest::ModalAnswer none([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); }, 500);
    m_window->SignalStopRecord();
    uitest::Watch([&] { return none.Seen(); }, 700);
    EXPECT_FALSE(none.Seen());
    EXPECT_FALSE(m_window->StopTaskTimer()->isActive());
    EXPECT_EQ(schedule->GetState(), CRecordSchedule::State_NoTask);
    EXPECT_TRUE(schedule->NoTaskScheduled());
    EXPECT_EQ(ToolTip(), QStringLiteral("Recording task scheduler"));
    EXPECT_FALSE(PoweredOff());
}

TEST_F(ScheduleTest, ReArmingDuringATaskKeepsItsEndAndTheNextStart) {
    CRecordSchedule* schedule = m_window->Schedule();
    QSignalSpy stopped(schedule, &CRecordSchedule::StopRecordingRequested);
    schedule->SetClock([] { return QTime(12, 0, 0); });
    Schedule({true, QTime(13, 0, 0), QTime(2, 0, 0), false});
    m_window->StartRecordTask();
    ASSERT_EQ(schedule->GetState(), CRecordSchedule::State_Running);

    // At 14:00 the user schedules 10:00 for one hour: tomorrow.
    schedule->SetClock([] { return QTime(14, 0, 0); });
    Schedule({true, QTime(10, 0, 0), QTime(1, 0, 0), false});
    EXPECT_EQ(schedule->GetState(), CRecordSchedule::State_Running);
    EXPECT_TRUE(m_window->StopTaskTimer()->isActive()) << "the running task still ends";
    EXPECT_EQ(m_window->StartTaskTimer()->interval(), 20 * 3600 * 1000);

    // The running task ends: the recording stops, tomorrow's start stands.
    m_window->StopRecordTask();
    EXPECT_EQ(stopped.count(), 1);
    EXPECT_EQ(schedule->GetState(), CRecordSchedule::State_Waiting);
    EXPECT_FALSE(schedule->NoTaskScheduled());
    EXPECT_EQ(ToolTip(), QStringLiteral("   A recording task is running\nTomorrow 10:00:00-11:00:00"));
}

// Runs a task to its end with the shutdown chosen; answer sees the shutdown
// question.
void EndTaskWithShutdown(CMainUI* window, const std::function<void(QWidget*)>& answer,
                         bool* asked) {
    CConfig::instance()->SetAfterRecord(0);
    window->Schedule()->SetNoTaskScheduled(false);
    window->StartRecordTask();
    uitest::ModalAnswer seen(answer);
    window->StopRecordTask();
    *asked = seen.Seen();
}

QString QuestionText(QWidget* modal) {
    auto* text = modal->findChild<QLabel*>(QStringLiteral("questionText"));
    return text ? text->text() : QString();
}

QPushButton* Button(QWidget* modal, const QString& text) {
    for (QPushButton* button : modal->findChildren<QPushButton*>())
        if (button->text().startsWith(text)) return button;
    return nullptr;
}

TEST_F(ScheduleTest, ShutdownQuestionCountsDownFromSixtyAndCancelLeavesTheComputerOn) {
    QStringList texts;
    bool asked = false;
    EndTaskWithShutdown(m_window.get(), [&texts](QWidget* modal) {
        texts << QuestionText(modal);
        // One tick of the countdown, then "Cancel".
        QTimer::singleShot(1200, modal, [&texts, modal] {
            texts << QuestionText(modal);
            QPushButton* cancel = Button(modal, QStringLiteral("Cancel"));
            ASSERT_NE(cancel, nullptr);
            QTest::mouseClick(cancel, Qt::LeftButton);
        });
    }, &asked);
    ASSERT_TRUE(asked);
    ASSERT_EQ(texts.size(), 2);
    EXPECT_EQ(texts[0], QStringLiteral("Your computer will be shutdown in 60 seconds"));
    EXPECT_EQ(texts[1], QStringLiteral("Your computer will be shutdown in 59 seconds"));
    EXPECT_FALSE(PoweredOff());
    EXPECT_EQ(m_window->Schedule()->GetState(), CRecordSchedule::State_NoTask);
}

TEST_F(ScheduleTest, CountdownReachingZeroSwitchesTheComputerOff) {
    m_window->Schedule()->SetShutdownSeconds(2);
    QString first;
    bool asked = false;
    QElapsedTimer clock;
    clock.start();
    // Nobody answers.
    EndTaskWithShutdown(m_window.get(), [&first](QWidget* modal) { first = QuestionText(modal); },
                        &asked);
    ASSERT_TRUE(asked);
    EXPECT_EQ(first, QStringLiteral("Your computer will be shutdown in 2 seconds"));
    EXPECT_GE(clock.elapsed(), 1800);
    EXPECT_TRUE(PoweredOff());
}

TEST_F(ScheduleTest, ShutdownButtonSwitchesOffAndARefusedPowerOffIsReported) {
    uitest::ModalAnswer press([](QWidget* modal) {
        QPushButton* shutdown = Button(modal, QStringLiteral("Shutdown"));
        ASSERT_NE(shutdown, nullptr);
        QTest::mouseClick(shutdown, Qt::LeftButton);
    });
    EXPECT_TRUE(AskShutdown(m_window.get()));
    EXPECT_TRUE(press.Seen());
    EXPECT_TRUE(PoweredOff());

    // A power-off the system refuses: reported as failed.
    setenv(kPowerOffCommandVariable, "exit 3", 1);
    uitest::ModalAnswer again([](QWidget* modal) {
        QTest::mouseClick(Button(modal, QStringLiteral("Shutdown")), Qt::LeftButton);
    });
    EXPECT_FALSE(AskShutdown(m_window.get()));
    EXPECT_TRUE(again.Seen());
    EXPECT_FALSE(EnableShutdown());
}

TEST_F(ScheduleTest, DurationCannotBeShorterThanTheShortestKeptSong) {
    m_config->SetFilterTime(30);
    m_config->SetTaskDuration(QTime(0, 0, 15));
    m_config->SetTaskStart(QTime(7, 8, 9));
    m_config->SetAfterRecord(0);
    CSetTaskDialog page(m_window->Schedule());
    EXPECT_EQ(page.DurationEdit()->minimumTime(), QTime(0, 0, 30));
    EXPECT_EQ(page.DurationEdit()->time(), QTime(0, 0, 30));
    page.DurationEdit()->setTime(QTime(0, 0, 10));
    EXPECT_EQ(page.DurationEdit()->time(), QTime(0, 0, 30));
    EXPECT_EQ(page.DurationEdit()->displayFormat(), QStringLiteral("hh:mm:ss"));
    EXPECT_EQ(page.StartEdit()->time(), QTime(7, 8, 9));
    EXPECT_TRUE(page.ShutdownBox()->isChecked());
    // No task yet: the box is unticked and the group disabled until ticked.
    EXPECT_FALSE(page.TaskBox()->isChecked());
    EXPECT_FALSE(page.TaskGroup()->isEnabled());
    page.TaskBox()->setChecked(true);
    EXPECT_TRUE(page.TaskGroup()->isEnabled());
    page.Save();
    EXPECT_FALSE(m_window->Schedule()->NoTaskScheduled());
    EXPECT_EQ(m_config->GetTaskDuration(), QTime(0, 0, 30));

    // A scheduled task opens the page ticked.
    CSetTaskDialog again(m_window->Schedule());
    EXPECT_TRUE(again.TaskBox()->isChecked());
    EXPECT_TRUE(again.TaskGroup()->isEnabled());
    m_config->SetFilterTime(1);
}

}  // namespace
