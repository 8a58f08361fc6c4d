// "Show in Folder" against a private session bus: a stand-in file manager
// answers ShowItems; without it the open-folder command (replaced by a
// script) opens the folder. No real file manager is ever reached: the bus
// has no service files, and the command is the test's own.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QThread>

#include <memory>

#include "library/showinfolder.h"
#include <QUrl>
#include "privatebus.h"
#include "privatehome.h"
#include "waitfor.h"

namespace {

// A session bus of the test's own, started before anything uses the bus
// and stopped by its process id.
class PrivateBus : public testing::Environment {
public:
    void SetUp() override {
        m_bus = std::make_unique<testsupport::PrivateSessionBus>();
        ASSERT_TRUE(m_bus->ok()) << "dbus-daemon did not start";
        s_address = QString::fromStdString(m_bus->address());
    }
    void TearDown() override { m_bus.reset(); }
    static QString Address() { return s_address; }

private:
    static inline QString s_address;
    std::unique_ptr<testsupport::PrivateSessionBus> m_bus;
};

const auto* const g_bus = testing::AddGlobalTestEnvironment(new PrivateBus);

// The stand-in: records every ShowItems call. Lives on a thread of its own,
// so that it answers while the caller waits for the reply.
class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QList<QStringList> Calls() {
        QMutexLocker lock(&m_mutex);
        return m_calls;
    }
public Q_SLOTS:
    void ShowItems(const QStringList& uris, const QString& startupId) {
        QMutexLocker lock(&m_mutex);
        m_calls << (QStringList(uris) << startupId);
    }

private:
    QMutex m_mutex;
    QList<QStringList> m_calls;
};

class ShowInFolder : public testing::Test {
protected:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "showinfoldertest";
        static char* argv[] = {name, nullptr};
        static auto* app = new QApplication(argc, argv);
        (void)app;
        m_dir = QString::fromStdString(testsupport::makeTempDir("show-in-folder"));
        m_song = m_dir + QStringLiteral("/My Song.mp3");
        QFile song(m_song);
        ASSERT_TRUE(song.open(QIODevice::WriteOnly));
        // The open-folder command: writes its argument into a file, whole
        // when it appears.
        m_script = m_dir + QStringLiteral("/open-folder");
        QFile script(m_script);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nd=$(dirname \"$0\")\nprintf '%s' \"$1\" > \"$d/opening\" && mv \"$d/opening\" \"$d/opened\"\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv(kOpenFolderCommandVariable, m_script.toUtf8());
    }
    void TearDown() override {
        StopFileManager();
        qunsetenv(kOpenFolderCommandVariable);
        testsupport::removeTree(m_dir.toStdString());
    }

    void StartFileManager() {
        m_thread = std::make_unique<QThread>();
        m_manager = new FakeFileManager;
        m_manager->moveToThread(m_thread.get());
        QObject::connect(m_thread.get(), &QThread::finished, m_manager, &QObject::deleteLater);
        m_thread->start();
        m_connection = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(PrivateBus::Address(), QStringLiteral("file-manager")));
        ASSERT_TRUE(m_connection->isConnected());
        ASSERT_TRUE(m_connection->registerObject(QStringLiteral("/org/freedesktop/FileManager1"),
                                                 m_manager, QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(m_connection->registerService(QStringLiteral("org.freedesktop.FileManager1")));
    }
    void StopFileManager() {
        if (!m_connection) return;
        m_connection->unregisterService(QStringLiteral("org.freedesktop.FileManager1"));
        m_connection->unregisterObject(QStringLiteral("/org/freedesktop/FileManager1"));
        m_connection.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("file-manager"));
        m_thread->quit();
        m_thread->wait();
        m_thread.reset();
        m_manager = nullptr;
    }
    // What the open-folder command was given, once it ran (empty if not).
    QString Opened(int timeoutMs) const {
        QFile opened(m_dir + QStringLiteral("/opened"));
        testsupport::WaitFor([&] { return opened.exists(); }, std::chrono::milliseconds(timeoutMs));
        return opened.open(QIODevice::ReadOnly) ? QString::fromUtf8(opened.readAll()) : QString();
    }

    QString m_dir;
    QString m_song;
    QString m_script;
    std::unique_ptr<QThread> m_thread;
    FakeFileManager* m_manager = nullptr;
    std::unique_ptr<QDBusConnection> m_connection;
};

TEST_F(ShowInFolder, TheFileManagerOnTheBusShowsTheFileSelected) {
    ASSERT_EQ(qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"), PrivateBus::Address());
    StartFileManager();
    EXPECT_TRUE(ShowFileInFolder(m_song));
    const QList<QStringList> calls = m_manager->Calls();
    ASSERT_EQ(calls.size(), 1);
    EXPECT_EQ(calls[0], QStringList({QUrl::fromLocalFile(m_song).toString(), QString()}));
    EXPECT_TRUE(calls[0][0].startsWith(QStringLiteral("file:///")));
    EXPECT_TRUE(Opened(300).isEmpty()) << "the folder was opened as well";
}

TEST_F(ShowInFolder, WithoutAFileManagerTheFolderIsOpened) {
    EXPECT_TRUE(ShowFileInFolder(m_song));
    EXPECT_EQ(Opened(5000), m_dir);

    qputenv(kOpenFolderCommandVariable, QByteArray("/nonexistent/open-folder"));
    EXPECT_FALSE(ShowFileInFolder(m_song));
}

}  // namespace

#include "showinfolder_test.moc"
