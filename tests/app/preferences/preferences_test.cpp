// The preferences dialog: its tool bar of pages, the opening choice of each
// caller in the main window, and Save and Cancel across the pages. The
// source page lists the inputs of a private sound server.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QStackedWidget>
#include <QTimer>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimeEdit>
#include <QToolBar>

#include <memory>

#include "config.h"
#include "mainui.h"
#include "preferences/preferencesdialog.h"
#include "preferences/setsourcedialog.h"
#include "preferences/settaskdialog.h"
#include "pulsedaemon.h"
#include "readywidget.h"
#include "recording/recordschedule.h"
#include "statusbar.h"
#include "toolbar.h"
#include "uiapp.h"

namespace {

class PreferencesTest : public testing::Test {
protected:
    void SetUp() override {
        uitest::App();
        ASSERT_TRUE(m_pulse.ok()) << m_pulse.error();
        m_config = CConfig::instance();
        m_config->SetRecordMode(0);
        m_config->SetDeviceId(QString());
        m_config->SetAfterRecord(1);
        m_config->SetTaskStart(QTime(6, 0, 0));
        m_config->SetTaskDuration(QTime(0, 30, 0));
        ASSERT_TRUE(m_library.ok());
        m_window = std::make_unique<CMainUI>(m_library.Take());
        m_window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
    }
    void TearDown() override { m_window.reset(); }

    // Clicks button and reports the preferences dialog that opened: its
    // title, its page and its tool bar, then closes it with Cancel.
    struct Opened {
        bool seen = false;
        QString title;
        int page = -1;
        QStringList tools;
    };
    template <typename Open>
    Opened OpenWith(Open open) {
        Opened opened;
        uitest::ModalAnswer answer([&opened](QWidget* modal) {
            auto* dialog = qobject_cast<CPreferencesDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            opened.title = dialog->windowTitle();
            opened.page = dialog->CurrentPage();
            for (QAction* action : dialog->ToolBar()->actions()) opened.tools << action->text();
            QTest::mouseClick(dialog->CancelButton(), Qt::LeftButton);
        });
        open();
        opened.seen = answer.Seen();
        return opened;
    }

    testsupport::PulseDaemon m_pulse;
    CConfig* m_config = nullptr;
    uitest::TestLibrary m_library;  // opened before the window, as at start-up
    std::unique_ptr<CMainUI> m_window;
};

TEST_F(PreferencesTest, EachCallerOpensItsPage) {
    const QStringList tools = {"General", "Audio Source", "Scheduler", "Control", "Format", "Connection"};

    Opened source = OpenWith([this] {
        QTest::mouseClick(m_window->StatusBar()->AudioSourceButton(), Qt::LeftButton);
    });
    ASSERT_TRUE(source.seen);
    EXPECT_EQ(source.page, CPreferencesDialog::Page_AudioSource);
    EXPECT_EQ(source.title, QStringLiteral("Audio Source Preferences"));
    EXPECT_EQ(source.tools, tools);

    auto* ready = m_window->Centre()->findChild<CReadyWidget*>();
    ASSERT_NE(ready, nullptr);
    EXPECT_EQ(ready->objectName(), QStringLiteral("ReadWidget"));
    auto* headline = ready->findChild<QLabel*>(QStringLiteral("readyHeadline"));
    ASSERT_NE(headline, nullptr);
    EXPECT_EQ(headline->text(), QStringLiteral("Refresh Your Enjoyment!"));
    Opened fromStart = OpenWith([ready] { QTest::mouseClick(ready->SourceButton(), Qt::LeftButton); });
    ASSERT_TRUE(fromStart.seen);
    EXPECT_EQ(fromStart.page, CPreferencesDialog::Page_AudioSource);

    Opened scheduler = OpenWith([this] {
        QTest::mouseClick(m_window->StatusBar()->SchedulerButton(), Qt::LeftButton);
    });
    ASSERT_TRUE(scheduler.seen);
    EXPECT_EQ(scheduler.page, CPreferencesDialog::Page_Scheduler);
    EXPECT_EQ(scheduler.title, QStringLiteral("Scheduler Preferences"));

    // The Settings entries open the Control page.
    Opened settings = OpenWith([this] { m_window->ToolBar()->TraySettingsAction()->trigger(); });
    ASSERT_TRUE(settings.seen);
    EXPECT_EQ(settings.tools, tools);
    EXPECT_EQ(settings.page, CPreferencesDialog::Page_Control);
    EXPECT_EQ(settings.title, QStringLiteral("Control Preferences"));
    Opened menu = OpenWith([this] { m_window->MainMenu()->actions().first()->trigger(); });
    ASSERT_TRUE(menu.seen);
    EXPECT_EQ(menu.page, CPreferencesDialog::Page_Control);
}

TEST_F(PreferencesTest, ToolBarSwitchesPagesAndAnOpenDialogIsOnlyRaised) {
    bool second = false;
    QString afterSwitch;
    uitest::ModalAnswer answer([&](QWidget* modal) {
        auto* dialog = qobject_cast<CPreferencesDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->PageAction(CPreferencesDialog::Page_Scheduler)->trigger();
        afterSwitch = dialog->windowTitle();
        EXPECT_EQ(dialog->CurrentPage(), CPreferencesDialog::Page_Scheduler);
        EXPECT_TRUE(dialog->PageAction(CPreferencesDialog::Page_Scheduler)->isChecked());
        EXPECT_FALSE(dialog->PageAction(CPreferencesDialog::Page_AudioSource)->isChecked());
        dialog->PageAction(CPreferencesDialog::Page_Connection)->trigger();
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Connection Preferences"));
        dialog->PageAction(CPreferencesDialog::Page_Scheduler)->trigger();
        // Settings while the dialog is open: no second dialog (one would
        // block here until it closed).
        m_window->SetPreferences();
        second = QApplication::activeModalWidget() != dialog;
        QTest::mouseClick(dialog->CancelButton(), Qt::LeftButton);
    });
    m_window->ChooseAudioSource();
    ASSERT_TRUE(answer.Seen());
    EXPECT_EQ(afterSwitch, QStringLiteral("Scheduler Preferences"));
    EXPECT_FALSE(second);
}

TEST_F(PreferencesTest, SaveStoresEveryPageAndCancelNothing) {
    CRecordSchedule* schedule = m_window->Schedule();
    // Cancel: neither page stores anything.
    {
        CPreferencesDialog dialog(m_window->AudioDev(), schedule, CPreferencesDialog::Open_Scheduler);
        auto* task = qobject_cast<CSetTaskDialog*>(dialog.Page(CPreferencesDialog::Page_Scheduler));
        auto* source = qobject_cast<CSetSourceDialog*>(dialog.Page(CPreferencesDialog::Page_AudioSource));
        ASSERT_NE(task, nullptr);
        ASSERT_NE(source, nullptr);
        task->TaskBox()->setChecked(true);
        task->StartEdit()->setTime(QTime(21, 0, 0));
        source->InputBox()->setCurrentIndex(source->InputBox()->count() - 1);
        QTimer::singleShot(0, &dialog, [&dialog] {
            QTest::mouseClick(dialog.CancelButton(), Qt::LeftButton);
        });
        EXPECT_EQ(dialog.exec(), 0);
        EXPECT_EQ(m_config->GetTaskStart(), QTime(6, 0, 0));
        EXPECT_TRUE(schedule->NoTaskScheduled());
        EXPECT_EQ(m_config->GetDeviceId(), QString());
    }
    // Save: the schedule and the input are stored, the dialog ends with 1.
    {
        CPreferencesDialog dialog(m_window->AudioDev(), schedule, CPreferencesDialog::Open_AudioSource);
        auto* task = qobject_cast<CSetTaskDialog*>(dialog.Page(CPreferencesDialog::Page_Scheduler));
        auto* source = qobject_cast<CSetSourceDialog*>(dialog.Page(CPreferencesDialog::Page_AudioSource));
        task->TaskBox()->setChecked(true);
        task->StartEdit()->setTime(QTime(21, 0, 0));
        task->DurationEdit()->setTime(QTime(1, 2, 3));
        task->ShutdownBox()->setChecked(true);
        ASSERT_GT(source->InputBox()->count(), 0) << "the private server's speakers";
        const QString input = source->InputBox()->itemText(0);
        QTimer::singleShot(0, &dialog, [&dialog] {
            QTest::mouseClick(dialog.SaveButton(), Qt::LeftButton);
        });
        EXPECT_EQ(dialog.exec(), 1);
        EXPECT_EQ(m_config->GetTaskStart(), QTime(21, 0, 0));
        EXPECT_EQ(m_config->GetTaskDuration(), QTime(1, 2, 3));
        EXPECT_EQ(m_config->GetAfterRecord(), 0);
        EXPECT_FALSE(schedule->NoTaskScheduled());
        EXPECT_EQ(m_config->GetRecordMode(), 0);
        EXPECT_EQ(m_config->GetDeviceId(), input);
    }
    // Saved from Settings, a scheduled task arms no timer: only the
    // scheduler button does.
    EXPECT_FALSE(m_window->StartTaskTimer()->isActive());
    EXPECT_EQ(m_window->StatusBar()->SchedulerButton()->toolTip(),
              QStringLiteral("Recording task scheduler"));
}

}  // namespace
