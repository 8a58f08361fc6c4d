// The update check against a loopback server of the test (never the real
// service), its schedule and messages through the main window, and the web
// pages of the menu (caught before they reach a browser).
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <cstdlib>
#include <memory>

#include "browser.h"
#include "config.h"
#include "deletedialog.h"
#include "loopbackhttp.h"
#include "mainui.h"
#include "toolbar.h"
#include "uiapp.h"
#include "updates/updatecheck.h"
#include "updates/updatenotifier.h"

namespace {

QByteArray Answer(const char* version, const char* url = nullptr) {
    QByteArray body = QByteArray("{\"version\": \"") + version + "\"";
    if (url) body += QByteArray(", \"url\": \"") + url + "\"";
    return body + "}";
}

class UpdateTest : public testing::Test {
protected:
    void SetUp() override {
        uitest::App();
        QApplication::setApplicationName(QStringLiteral("Tavra Tunecap"));
        QApplication::setApplicationVersion(QStringLiteral("1.2.3.4"));
        // After the application object: the server needs its event loop.
        m_server = std::make_unique<uitest::LoopbackHttp>();
        ASSERT_TRUE(m_server->ok());
        setenv("TUNECAP_UPDATE_URL", qPrintable(m_server->Url(QStringLiteral("/update.json"))), 1);
        m_config = CConfig::instance();
        m_config->SetUseProxy(0);
        m_config->SetProxyType(-1);
    }
    void TearDown() override { setenv("TUNECAP_UPDATE_URL", "http://127.0.0.1:9/update.json", 1); }

    // Runs one check and returns its signal's arguments.
    QList<QVariant> Check(CUpdateCheck* check) {
        QSignalSpy finished(check, &CUpdateCheck::Finished);
        EXPECT_TRUE(check->Start());
        EXPECT_TRUE(check->IsRunning());
        EXPECT_FALSE(check->Start());  // one at a time
        EXPECT_TRUE(finished.wait(10000));
        return finished.isEmpty() ? QList<QVariant>() : finished.takeFirst();
    }

    std::unique_ptr<uitest::LoopbackHttp> m_server;
    CConfig* m_config = nullptr;
};

TEST(UpdateVersions, CompareNumberByNumber) {
    EXPECT_EQ(CUpdateCheck::CompareVersions("1.2.3.4", "1.2.3.4"), 0);
    EXPECT_EQ(CUpdateCheck::CompareVersions("1.2", "1.2.0.0"), 0);
    EXPECT_EQ(CUpdateCheck::CompareVersions("1.10.0.0", "1.9.9.9"), 1);
    EXPECT_EQ(CUpdateCheck::CompareVersions("1.2.3", "1.2.3.1"), -1);
    EXPECT_EQ(CUpdateCheck::CompareVersions("2", "10"), -1);
    EXPECT_EQ(CUpdateCheck::CompareVersions("1.0.0.1", ""), 1);
}

TEST_F(UpdateTest, AnswersTellNewerSameOrFailedAndOnlyWebPagesAreTaken) {
    CUpdateCheck check(m_config, QStringLiteral("1.2.3.4"));
    EXPECT_EQ(check.Address(), QUrl(m_server->Url(QStringLiteral("/update.json"))));

    m_server->SetReply(200, Answer("1.3.0.0", "https://downloads.example/tunecap-1.3"));
    QList<QVariant> result = Check(&check);
    ASSERT_EQ(result.size(), 3);
    EXPECT_EQ(result[0].toInt(), CUpdateCheck::Result_Newer);
    EXPECT_EQ(result[1].toString(), QStringLiteral("1.3.0.0"));
    EXPECT_EQ(result[2].toUrl(), QUrl(QStringLiteral("https://downloads.example/tunecap-1.3")));
    ASSERT_EQ(m_server->Requests().size(), 1);
    const QByteArray head = m_server->Requests().first();
    EXPECT_TRUE(head.startsWith("GET /update.json HTTP/1.1")) << head.toStdString();
    EXPECT_TRUE(head.contains("User-Agent: Tavra Tunecap/1.2.3.4")) << head.toStdString();

    // A page that is no web page gives way to the program's own.
    m_server->SetReply(200, Answer("2.0", "file:///etc/passwd"));
    result = Check(&check);
    EXPECT_EQ(result[0].toInt(), CUpdateCheck::Result_Newer);
    EXPECT_EQ(result[2].toUrl(), QUrl(QLatin1String(CUpdateCheck::kDownloadPage)));

    for (const char* version : {"1.2.3.4", "1.2.3", "1.0.9.9"}) {
        m_server->SetReply(200, Answer(version));
        EXPECT_EQ(Check(&check).value(0).toInt(), CUpdateCheck::Result_UpToDate) << version;
    }
    for (const QByteArray& body :
         {QByteArray("not json"), QByteArray("{\"name\": 1}"), QByteArray()}) {
        m_server->SetReply(200, body);
        EXPECT_EQ(Check(&check).value(0).toInt(), CUpdateCheck::Result_Failed)
            << body.toStdString();
    }
    m_server->SetReply(404, Answer("9.0"));
    EXPECT_EQ(Check(&check).value(0).toInt(), CUpdateCheck::Result_Failed);

    // Nothing listening.
    setenv("TUNECAP_UPDATE_URL", "http://127.0.0.1:9/update.json", 1);
    EXPECT_EQ(Check(&check).value(0).toInt(), CUpdateCheck::Result_Failed);
}

TEST_F(UpdateTest, AddressIsASettingAndTheProxyIsUsed) {
    // Without the environment variable, the setting names the address.
    unsetenv("TUNECAP_UPDATE_URL");
    {
        QSettings file(m_config->SettingsFile(), QSettings::IniFormat);
        file.setValue(QStringLiteral("Update_Url"), m_server->Url(QStringLiteral("/from-setting")));
    }
    CUpdateCheck check(m_config, QStringLiteral("1.2.3.4"));
    EXPECT_EQ(check.Address(), QUrl(m_server->Url(QStringLiteral("/from-setting"))));

    // Through the proxy of the connection settings: the loopback server
    // plays the proxy, so the request names the whole address.
    setenv("TUNECAP_UPDATE_URL", "http://updates.invalid/update.json", 1);
    m_config->SetUseProxy(1);
    m_config->SetProxyType(0);
    m_config->SetProxyHost(QStringLiteral("127.0.0.1"));
    m_config->SetProxyPort(m_server->port());
    m_server->SetReply(200, Answer("1.2.3.4"));
    EXPECT_EQ(Check(&check).value(0).toInt(), CUpdateCheck::Result_UpToDate);
    ASSERT_FALSE(m_server->Requests().isEmpty());
    EXPECT_TRUE(m_server->Requests().last().startsWith("GET http://updates.invalid/update.json"))
        << m_server->Requests().last().toStdString();
}

class UpdateWindowTest : public UpdateTest {
protected:
    void SetUp() override {
        UpdateTest::SetUp();
        ASSERT_TRUE(m_library.ok());
        m_window = std::make_unique<CMainUI>(m_library.Take());
        m_window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
    }
    void TearDown() override {
        m_window.reset();
        UpdateTest::TearDown();
    }
    // Waits for the message of the update check and answers it with the
    // button of the given text; returns the message's text.
    QString Answered(const QString& button) {
        QString text;
        uitest::ModalAnswer answer(
            [&](QWidget* modal) {
                auto* dialog = qobject_cast<CDeleteDialog*>(modal);
                ASSERT_NE(dialog, nullptr);
                text = dialog->Text();
                if (uitest::ClickButton(dialog, button)) return;
                ADD_FAILURE() << "no button " << button.toStdString();
                static_cast<QDialog*>(dialog)->reject();
            },
            10000);
        EXPECT_TRUE(QTest::qWaitFor([&answer] { return answer.Seen(); }, 10000));
        return text;
    }

    uitest::TestLibrary m_library;  // opened before the window, as at start-up
    std::unique_ptr<CMainUI> m_window;
};

TEST_F(UpdateWindowTest, ScheduledCheckRunsWhenDueAndOffersTheNewVersion) {
    const QDate today(2024, 3, 6);  // a Wednesday
    // Off: nothing is asked and the date stays.
    m_config->SetAutoUpdate(0);
    m_config->SetUpdateDate(2024, 3, 1);
    EXPECT_FALSE(m_window->Updates()->RunScheduled(today));
    // Weekly runs on Mondays only.
    m_config->SetAutoUpdate(3);
    EXPECT_FALSE(m_window->Updates()->RunScheduled(today));
    uitest::Watch([&] { return !m_server->Requests().isEmpty(); }, 50);
    EXPECT_TRUE(m_server->Requests().isEmpty());
    EXPECT_EQ(m_config->GetUpdateDay(), 1);

    // Daily: due, the date is stored, and a newer version is offered.
    uitest::Browser browser;
    m_config->SetAutoUpdate(2);
    m_server->SetReply(200, Answer("1.3.0.0", "https://downloads.example/new"));
    EXPECT_TRUE(m_window->Updates()->RunScheduled(today));
    EXPECT_EQ(m_config->GetUpdateYear(), 2024);
    EXPECT_EQ(m_config->GetUpdateMonth(), 3);
    EXPECT_EQ(m_config->GetUpdateDay(), 6);
    EXPECT_EQ(Answered(QStringLiteral("Download")),
              QStringLiteral("A new version of Tavra Tunecap is available: 1.3.0.0.\n"
                             "Do you want to download it now?"));
    ASSERT_EQ(browser.Opened().size(), 1);
    EXPECT_EQ(browser.Opened().first(), QUrl(QStringLiteral("https://downloads.example/new")));
    EXPECT_EQ(m_server->Requests().size(), 1);
    // Not twice on one day.
    EXPECT_FALSE(m_window->Updates()->RunScheduled(today));

    // An automatic check that finds nothing new says nothing.
    m_server->SetReply(200, Answer("1.2.3.4"));
    EXPECT_TRUE(m_window->Updates()->RunScheduled(today.addDays(1)));
    QSignalSpy finished(m_window->Updates()->Check(), &CUpdateCheck::Finished);
    ASSERT_TRUE(finished.wait(10000));
    uitest::Watch([] { return QApplication::activeModalWidget() != nullptr; }, 100);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(UpdateWindowTest, CheckForUpdatesReportsEveryOutcome) {
    QAction* entry = nullptr;
    for (QAction* action : m_window->MainMenu()->actions())
        if (action->text() == QStringLiteral("Check for Updates")) entry = action;
    ASSERT_NE(entry, nullptr);

    m_server->SetReply(200, Answer("1.2.3.4"));
    entry->trigger();
    EXPECT_EQ(Answered(QStringLiteral("Ok")), QStringLiteral("Tavra Tunecap is up to date."));

    m_server->SetReply(500, QByteArray());
    entry->trigger();
    EXPECT_EQ(Answered(QStringLiteral("Ok")),
              QStringLiteral("Cannot check for updates now.\nPlease check your network "
                             "connection and try again later."));

    uitest::Browser browser;
    m_server->SetReply(200, Answer("7.0"));
    entry->trigger();
    EXPECT_TRUE(Answered(QStringLiteral("Later")).contains(QStringLiteral("7.0")));
    EXPECT_TRUE(browser.Opened().isEmpty());
    EXPECT_EQ(m_server->Requests().size(), 3);
}

TEST_F(UpdateWindowTest, MenuPagesOpenInTheBrowser) {
    uitest::Browser browser;
    QStringList opened;
    for (QAction* action : m_window->MainMenu()->actions()) {
        const QString text = action->text();
        if (text == QStringLiteral("Online Help") || text == QStringLiteral("Home Page") ||
            text == QStringLiteral("Support"))
            action->trigger();
    }
    m_window->EulaHelp();
    for (const QUrl& url : browser.Opened()) opened << url.toString();
    EXPECT_EQ(opened,
              QStringList({"https://www.tavra.example/tunecap/help",
                           "https://www.tavra.example/tunecap", "https://www.tavra.example/support",
                           "https://www.tavra.example/tunecap/eula"}));
}

}  // namespace
