// A look at the program as a new user meets it, on a private X server: every
// page of the main window, its menus, the mini window, every page of the
// preferences, the bug report dialog and the messages of the update check
// and the close sequence are shown once. A picture of each is kept in the
// build folder's "screenshots" (for review; not part of the sources), and
// none may show a text cut off.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include <cstdlib>
#include <memory>

#include "config.h"
#include "deletedialog.h"
#include "loopbackhttp.h"
#include "mainui.h"
#include "preferences/generalpage.h"
#include "preferences/preferencesdialog.h"
#include "privatexserver.h"
#include "pulsedaemon.h"
#include "recording/recordsession.h"
#include "recordingtest.h"
#include "library/librarypage.h"
#include "library/showlistwidget.h"
#include "toolbar.h"
#include "uiapp.h"
#include "updates/bugreportdialog.h"
#include "updates/updatenotifier.h"

namespace {

// Room a text needs beside its own width in a push or tool button.
constexpr int kButtonPadding = 8;

// The texts under root that are shown cut off: "class name 'text'".
QStringList CutTexts(QWidget* root) {
    QStringList cut;
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* w : widgets) {
        if (!w->isVisible() || w->width() <= 0) continue;
        QString text;
        int needWidth = 0;
        int needHeight = 0;
        const QFontMetrics fm = w->fontMetrics();
        if (auto* label = qobject_cast<QLabel*>(w)) {
            if (label->text().isEmpty() || label->wordWrap()) continue;
            text = label->text();
            needWidth = label->sizeHint().width();
            needHeight = label->sizeHint().height();
        } else if (qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w)) {
            text = static_cast<QAbstractButton*>(w)->text();
            needWidth = w->sizeHint().width();
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            if (button->text().isEmpty()) continue;
            auto* tool = qobject_cast<QToolButton*>(w);
            if (tool && tool->toolButtonStyle() == Qt::ToolButtonIconOnly) continue;
            text = button->text();
            needWidth =
                fm.horizontalAdvance(QString(text).remove(QLatin1Char('&'))) + kButtonPadding;
            if (!button->icon().isNull() &&
                !(tool && tool->toolButtonStyle() == Qt::ToolButtonTextUnderIcon))
                needWidth += button->iconSize().width() + 4;
        } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
            text = combo->currentText();
            if (text.isEmpty()) continue;
            // The arrow takes about a line's height.
            needWidth = fm.horizontalAdvance(text) + fm.height() + kButtonPadding;
        } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
            text = group->title();
            if (text.isEmpty()) continue;
            needWidth = fm.horizontalAdvance(text) + kButtonPadding;
        } else {
            continue;
        }
        if (w->width() < needWidth || (needHeight > 0 && w->height() < needHeight))
            cut << QStringLiteral("%1 '%2' (%3x%4, needs %5x%6)")
                       .arg(QLatin1String(w->metaObject()->className()), text)
                       .arg(w->width())
                       .arg(w->height())
                       .arg(needWidth)
                       .arg(needHeight);
    }
    return cut;
}

// The texts of a menu whose entries do not fit its width.
QStringList CutMenuTexts(QMenu* menu) {
    QStringList cut;
    for (QAction* action : menu->actions()) {
        if (action->isSeparator() || !action->isVisible()) continue;
        const QRect place = menu->actionGeometry(action);
        if (place.width() < menu->fontMetrics().horizontalAdvance(action->text()))
            cut << action->text();
    }
    return cut;
}

class TourTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        s_server = new uitest::PrivateXServer;
        if (s_server->Display().isEmpty()) return;
        setenv("DISPLAY", qPrintable(s_server->Display()), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        uitest::App();
        QApplication::setApplicationName(QStringLiteral("Tavra Tunecap"));
        QApplication::setApplicationVersion(QStringLiteral("1.0.0.1"));
        s_shots = QString::fromLatin1(TUNECAP_SCREENSHOT_DIR);
        QDir().mkpath(s_shots);
    }
    static void TearDownTestSuite() {
        delete s_server;
        s_server = nullptr;
    }
    void SetUp() override {
        ASSERT_FALSE(s_server->Display().isEmpty()) << "Xvfb did not start";
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
        ASSERT_TRUE(m_library.ok());
        m_window = std::make_unique<CMainUI>();
        m_window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
    }
    void TearDown() override {
        m_window->ToolBar()->ShowRecordState(CToolBar::State_Idle);
        m_window.reset();
    }

    // Keeps a picture of widget and checks its texts.
    void Look(QWidget* widget, const QString& name) {
        QTest::qWait(50);  // let layouts and paints settle
        EXPECT_TRUE(widget->grab().save(s_shots + QLatin1Char('/') + name + QStringLiteral(".png")))
            << name.toStdString();
        const QStringList cut = CutTexts(widget);
        EXPECT_TRUE(cut.isEmpty())
            << name.toStdString() << ": " << cut.join(QStringLiteral("; ")).toStdString();
        ++m_looks;
    }
    void LookAtMenu(QMenu* menu, const QString& name) {
        menu->popup(m_window->mapToGlobal(QPoint(40, 40)));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
        Look(menu, name);
        EXPECT_TRUE(CutMenuTexts(menu).isEmpty()) << name.toStdString();
        menu->hide();
    }
    // Looks at the next modal dialog and closes it with the button of the
    // given text (or rejects it when there is none).
    std::unique_ptr<uitest::ModalAnswer> LookAtNextModal(const QString& name,
                                                         const QString& button) {
        return std::make_unique<uitest::ModalAnswer>(
            [this, name, button](QWidget* modal) {
                Look(modal, name);
                if (!uitest::ClickButton(modal, button)) static_cast<QDialog*>(modal)->reject();
            },
            10000);
    }

    static uitest::PrivateXServer* s_server;
    static QString s_shots;
    // The window records from this server's "Speakers" for the close question.
    testsupport::PulseDaemon m_pulse{testsupport::SoundServer::PulseAudio};
    QTemporaryDir m_songs;
    uitest::TestLibrary m_library;  // opened before the window, as at start-up
    std::unique_ptr<CMainUI> m_window;
    int m_looks = 0;
};
uitest::PrivateXServer* TourTest::s_server = nullptr;
QString TourTest::s_shots;

// The check itself finds a squeezed text.
TEST_F(TourTest, ASqueezedTextIsFound) {
    QWidget box;
    auto* label = new QLabel(QStringLiteral("A text far longer than its place"), &box);
    label->setGeometry(0, 0, 40, 20);
    auto* check = new QCheckBox(QStringLiteral("Another long text"), &box);
    check->setGeometry(0, 30, 400, 20);
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    const QStringList cut = CutTexts(&box);
    ASSERT_EQ(cut.size(), 1);
    EXPECT_TRUE(cut.first().contains(QStringLiteral("A text far longer")))
        << cut.first().toStdString();
}

TEST_F(TourTest, MainWindowItsMenusAndTheMiniWindow) {
    Look(m_window.get(), QStringLiteral("main-start"));
    m_window->ShowRecording();
    Look(m_window.get(), QStringLiteral("main-recording"));
    m_window->ShowMedia();
    Look(m_window.get(), QStringLiteral("main-library"));
    LookAtMenu(m_window->MainMenu(), QStringLiteral("menu-main"));
    LookAtMenu(m_window->ToolBar()->TrayMenu(), QStringLiteral("menu-tray"));
    m_window->ChangeMiniState();
    Look(m_window.get(), QStringLiteral("main-mini"));
    m_window->ChangeMiniState();
    // A song being written: the tool bar and tray look of a recording, and
    // the question the close asks.
    ASSERT_TRUE(m_pulse.ok()) << m_pulse.error();
    recordingtest::RecordFromSpeakers(CConfig::instance(), m_songs.filePath(QStringLiteral("rec")));
    CConfig::instance()->SetSplitMode(0);
    ASSERT_TRUE(m_window->RecordSession()->StartRecording());
    const QString tone = m_songs.filePath(QStringLiteral("tone.wav"));
    ASSERT_TRUE(recordingtest::WriteSongs(tone, {{1.5, 440}}));
    ASSERT_TRUE(recordingtest::Play(tone));
    CShowListWidget* list = m_window->LibraryPage()->ShowList();
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->NewRecordRow() != nullptr; }, 5000));
    Look(m_window.get(), QStringLiteral("main-recording-song"));

    auto about = LookAtNextModal(QStringLiteral("dialog-about"), QStringLiteral("OK"));
    m_window->About();
    EXPECT_TRUE(about->Seen());
    auto question = LookAtNextModal(QStringLiteral("dialog-close-question"), QStringLiteral("No"));
    EXPECT_FALSE(m_window->close());
    EXPECT_TRUE(question->Seen());
    EXPECT_EQ(m_looks, 9);
}

TEST_F(TourTest, EveryPreferencesPage) {
    CPreferencesDialog dialog(m_window->AudioDev(), m_window->Schedule(),
                              CPreferencesDialog::Open_Settings, m_window.get());
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    const QStringList names = {"general", "audio-source", "scheduler",
                               "control", "format",       "connection"};
    for (int page = 0; page < CPreferencesDialog::Page_Count; ++page) {
        dialog.PageAction(page)->trigger();
        ASSERT_EQ(dialog.CurrentPage(), page);
        Look(&dialog, QStringLiteral("preferences-") + names[page]);
    }
    // The update controls the other way round.
    dialog.PageAction(CPreferencesDialog::Page_General)->trigger();
    dialog.GeneralPage()->AutoUpdateBox()->click();
    Look(&dialog, QStringLiteral("preferences-general-update-toggled"));
    dialog.reject();
}

TEST_F(TourTest, BugReportAndUpdateMessages) {
    CBugReportDialog form(CConfig::instance(), m_window.get());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    Look(&form, QStringLiteral("dialog-bug-report"));
    form.MailEdit()->setText(QStringLiteral("not an address"));
    form.SendButton()->click();
    Look(&form, QStringLiteral("dialog-bug-report-hint"));
    form.reject();

    uitest::LoopbackHttp server;
    ASSERT_TRUE(server.ok());
    setenv("TUNECAP_UPDATE_URL", qPrintable(server.Url(QStringLiteral("/update.json"))), 1);
    server.SetReply(200, "{\"version\": \"1.0.0.1\"}");
    auto upToDate = LookAtNextModal(QStringLiteral("message-up-to-date"), QStringLiteral("Ok"));
    m_window->UpdataSoft();
    EXPECT_TRUE(QTest::qWaitFor([&] { return upToDate->Seen(); }, 10000));
    server.SetReply(200, "{\"version\": \"1.1.0.0\"}");
    auto newer = LookAtNextModal(QStringLiteral("message-new-version"), QStringLiteral("Later"));
    m_window->UpdataSoft();
    EXPECT_TRUE(QTest::qWaitFor([&] { return newer->Seen(); }, 10000));
    server.SetReply(503, QByteArray());
    auto failed = LookAtNextModal(QStringLiteral("message-update-failed"), QStringLiteral("Ok"));
    m_window->UpdataSoft();
    EXPECT_TRUE(QTest::qWaitFor([&] { return failed->Seen(); }, 10000));
    setenv("TUNECAP_UPDATE_URL", "http://127.0.0.1:9/update.json", 1);
}

}  // namespace
