// recdeck started as a process: single instance, log banners, window on an
// X server, termination by signal, the font of the program's folder, a
// library file that cannot be used.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <csignal>
#include <functional>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "librarytest.h"
#include "privatehome.h"
#include "privatexserver.h"
#include "waitfor.h"

namespace {

const char kStartBanner[] = "Recorder Application start ####";
const char kExitBanner[] = "Recorder Application exit ####";
// Logged once the event loop runs.
const char kStarted[] = "main: start-up done";
const char kLockName[] = "tavra{05CA3FED-B449-4e0b-83F5-7FD612E378E9}.lock";

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "recdecktest";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    return *app;
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
    return testsupport::WaitFor(done, std::chrono::milliseconds(timeoutMs));
}

QString BinDir() {
    return qEnvironmentVariable("TUNECAP_BIN_DIR");
}

// A HOME with its own XDG folders for the programs one test starts.
class RunHome {
public:
    RunHome() : m_root(QString::fromStdString(testsupport::makeTempDir("recdeck-run"))) {
        QDir().mkpath(Runtime());
        chmod(QFile::encodeName(Runtime()).constData(), 0700);
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(QStringLiteral("HOME"), m_root);
        m_env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_root + QStringLiteral("/.config"));
        m_env.insert(QStringLiteral("XDG_DATA_HOME"), m_root + QStringLiteral("/.local/share"));
        m_env.insert(QStringLiteral("XDG_CACHE_HOME"), m_root + QStringLiteral("/.cache"));
        m_env.insert(QStringLiteral("XDG_STATE_HOME"), m_root + QStringLiteral("/.local/state"));
        m_env.insert(QStringLiteral("XDG_RUNTIME_DIR"), Runtime());
    }
    ~RunHome() { testsupport::removeTree(m_root.toStdString()); }

    QString Root() const { return m_root; }
    QString Runtime() const { return m_root + QStringLiteral("/runtime"); }
    // The log in the application data folder.
    QString LogPath() const {
        return m_root + QStringLiteral("/.local/share/Tavra/Tunecap/tunecap.log");
    }
    QByteArray Log() const {
        QFile file(LogPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // What the programs wrote to their standard error.
    QByteArray Errors() const {
        QFile file(m_root + QStringLiteral("/stderr.txt"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QProcessEnvironment& Env() { return m_env; }
    // The programs started from here show their windows on that X server.
    void UseDisplay(const QString& display) {
        m_env.insert(QStringLiteral("DISPLAY"), display);
        m_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    }

    // Starts a program with this HOME; its output is discarded.
    std::unique_ptr<QProcess> Start(const QString& program) {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(m_env);
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setStandardErrorFile(m_root + QStringLiteral("/stderr.txt"),
                                      QIODevice::Append);
        process->start(program, {});
        EXPECT_TRUE(process->waitForStarted(5000)) << program.toStdString();
        return process;
    }

private:
    QString m_root;
    QProcessEnvironment m_env;
};

int Count(const QByteArray& text, const char* what) {
    return int(text.count(what));
}

// Sends SIGTERM and returns the exit code; -1000 when it did not end in time
// (the process is then killed).
int Terminate(QProcess* process, int timeoutMs = 10000) {
    ::kill(pid_t(process->processId()), SIGTERM);
    if (!process->waitForFinished(timeoutMs)) {
        process->kill();
        process->waitForFinished(2000);
        return -1000;
    }
    return process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -2000;
}

// Runs xdotool on the display; its output, empty when it did not finish.
QByteArray Xdotool(const QString& display, const QStringList& arguments) {
    QProcess xdotool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    xdotool.setProcessEnvironment(env);
    xdotool.start(QStringLiteral("xdotool"), arguments);
    if (!xdotool.waitForFinished(5000)) return QByteArray();
    return xdotool.readAllStandardOutput().trimmed();
}

// Window ids that xdotool finds with the exact name on the display.
QByteArray FindWindows(const QString& display, const QString& name) {
    return Xdotool(display, {QStringLiteral("search"), QStringLiteral("--name"),
                             QStringLiteral("^%1$").arg(name)});
}

TEST(Recdeck, SecondInstanceExitsWithOneAndLeavesTheLogUntouched) {
    App();
    RunHome home;
    const QString recdeck = BinDir() + QStringLiteral("/recdeck");
    auto first = home.Start(recdeck);
    ASSERT_TRUE(WaitFor([&] { return Count(home.Log(), kStarted) == 1; }, 15000))
        << home.Log().toStdString() << home.Errors().toStdString();
    // However long the first copy has run, its lock holds.
    QFile lock(home.Runtime() + QLatin1Char('/') + QLatin1String(kLockName));
    ASSERT_TRUE(lock.open(QIODevice::ReadWrite));
    ASSERT_TRUE(lock.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                 QFileDevice::FileModificationTime));
    lock.close();
    const QByteArray before = home.Log();
    EXPECT_EQ(Count(before, kStartBanner), 1);

    auto second = home.Start(recdeck);
    ASSERT_TRUE(second->waitForFinished(10000));
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 1);
    EXPECT_EQ(first->state(), QProcess::Running);
    WaitFor([&] { return home.Log() != before; }, 200);  // nothing more is logged
    EXPECT_EQ(home.Log(), before);

    EXPECT_EQ(Terminate(first.get()), 0);
    const QByteArray log = home.Log();
    EXPECT_EQ(Count(log, kExitBanner), 1);
    EXPECT_GT(log.indexOf(kExitBanner), log.indexOf(kStartBanner));

    // The lock went with the first copy: the next one runs.
    auto third = home.Start(recdeck);
    EXPECT_TRUE(WaitFor([&] { return Count(home.Log(), kStartBanner) == 2; }, 15000));
    EXPECT_EQ(Terminate(third.get()), 0);
}

TEST(Recdeck, LockLeftByAKilledRunDoesNotBlockTheNextStart) {
    App();
    RunHome home;
    const QString recdeck = BinDir() + QStringLiteral("/recdeck");
    auto crashed = home.Start(recdeck);
    ASSERT_TRUE(WaitFor([&] { return Count(home.Log(), kStartBanner) == 1; }, 15000));
    crashed->kill();
    ASSERT_TRUE(crashed->waitForFinished(5000));
    ASSERT_TRUE(QFile::exists(home.Runtime() + QLatin1Char('/') + QLatin1String(kLockName)));

    auto next = home.Start(recdeck);
    EXPECT_TRUE(WaitFor([&] { return Count(home.Log(), kStartBanner) == 2; }, 15000))
        << home.Log().toStdString() << home.Errors().toStdString();
    EXPECT_EQ(next->state(), QProcess::Running);
    EXPECT_EQ(Terminate(next.get()), 0);
}

TEST(Recdeck, ShowsItsWindowOnAnXServerAndEndsOnSigterm) {
    App();
    uitest::PrivateXServer server;
    ASSERT_FALSE(server.Display().isEmpty()) << "Xvfb did not start";
    RunHome home;
    home.UseDisplay(server.Display());
    // The bin folder holds no "font/segoeui.ttf": the program starts anyway.
    ASSERT_FALSE(QFile::exists(BinDir() + QStringLiteral("/font/segoeui.ttf")));
    auto recdeck = home.Start(BinDir() + QStringLiteral("/recdeck"));

    EXPECT_TRUE(WaitFor([&] { return !FindWindows(server.Display(), "Tavra Tunecap").isEmpty(); },
                        15000))
        << home.Errors().toStdString();
    ASSERT_TRUE(WaitFor([&] { return Count(home.Log(), kStartBanner) == 1; }, 5000));
    EXPECT_FALSE(home.Log().contains("application font"));
    // With the engine beside the program, its instance is created.
    if (QFile::exists(BinDir() + QStringLiteral("/libcapdev.so"))) {
        EXPECT_FALSE(home.Log().contains("AudioDevCreate failed!"));
    }
    EXPECT_EQ(recdeck->state(), QProcess::Running);

    EXPECT_EQ(Terminate(recdeck.get()), 0);
    EXPECT_EQ(Count(home.Log(), kExitBanner), 1);
    EXPECT_TRUE(home.Log().contains("CMainUI::closeEvent event->accept()"));
}

// Notes saved under the library's name, and a library of 2,000 songs in a
// playlist with one damaged page: the box says so, the run ends with -1 and
// the file stays byte for byte as it was. The box ends on Escape and on
// SIGTERM alike.
TEST(Recdeck, AnUnusableLibraryEndsTheRunWithMinusOneAndStaysAsItWas) {
    App();
    uitest::PrivateXServer server;
    ASSERT_FALSE(server.Display().isEmpty()) << "Xvfb did not start";
    for (const bool damaged : {false, true}) {
        RunHome home;
        home.UseDisplay(server.Display());
        const QString folder = home.Root() + QStringLiteral("/.local/share/Tavra/Tunecap");
        ASSERT_TRUE(QDir().mkpath(folder));
        const QString path = folder + QStringLiteral("/music.db");
        if (damaged) {
            ASSERT_EQ(DB_OpenFile(path), 0);
            librarytest::AddSongsToList(2000, List_FirstPlaylist, folder);
            DB_Close();
            ASSERT_TRUE(librarytest::DamageLastLeaf(path, "MusicInfo"));
        } else {
            QFile notes(path);
            ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
            notes.write(QByteArray("My notes, saved under the wrong name.\n").repeated(100));
        }
        auto digest = [&path] {
            QFile library(path);
            if (!library.open(QIODevice::ReadOnly)) return QByteArray();
            return QCryptographicHash::hash(library.readAll(), QCryptographicHash::Sha256);
        };
        const QByteArray before = digest();

        auto recdeck = home.Start(BinDir() + QStringLiteral("/recdeck"));
        QByteArray box;
        EXPECT_TRUE(WaitFor(
            [&] { return !(box = FindWindows(server.Display(), "Cannot open database")).isEmpty(); },
            15000))
            << home.Log().toStdString() << home.Errors().toStdString();
        EXPECT_TRUE(home.Log().contains("Cannot open database!"));
        EXPECT_FALSE(home.Log().contains(kStarted)) << "the main window was built";
        EXPECT_EQ(recdeck->state(), QProcess::Running) << "ended before the box was answered";

        if (damaged) {
            EXPECT_EQ(Terminate(recdeck.get()), 255);  // -1
        } else {
            ASSERT_FALSE(box.isEmpty());
            Xdotool(server.Display(), {QStringLiteral("key"), QStringLiteral("--window"),
                                       QString::fromLatin1(box.split('\n').first()),
                                       QStringLiteral("Escape")});
            ASSERT_TRUE(recdeck->waitForFinished(10000));
            EXPECT_EQ(recdeck->exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(recdeck->exitCode(), 255);  // -1
        }
        EXPECT_EQ(digest(), before);
        EXPECT_EQ(QDir(folder).entryList({QStringLiteral("music.db*")}, QDir::Files),
                  QStringList({QStringLiteral("music.db")}));
        EXPECT_FALSE(home.Log().contains(kExitBanner));
    }
}

TEST(Recdeck, FontInTheProgramFolderBecomesTheApplicationFont) {
    App();
    const QString font = QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
    ASSERT_TRUE(QFile::exists(font)) << "fonts-dejavu-core is not installed";
    RunHome home;
    // A program folder of its own: the program and its libraries, and the font.
    const QString folder = home.Root() + QStringLiteral("/program");
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/font")));
    const QDir bin(BinDir());
    for (const QString& name :
         bin.entryList({QStringLiteral("recdeck"), QStringLiteral("*.so*")}, QDir::Files))
        ASSERT_TRUE(QFile::copy(bin.filePath(name), folder + QLatin1Char('/') + name));
    ASSERT_TRUE(QFile::copy(font, folder + QStringLiteral("/font/segoeui.ttf")));

    auto recdeck = home.Start(folder + QStringLiteral("/recdeck"));
    EXPECT_TRUE(WaitFor([&] { return home.Log().contains("main: application font DejaVu Sans"); },
                        15000))
        << home.Log().toStdString() << home.Errors().toStdString();
    EXPECT_EQ(Terminate(recdeck.get()), 0);
}

}  // namespace
