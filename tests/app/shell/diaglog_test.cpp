#include "diaglog.h"

#include "config.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>

#include <cstdlib>
#include <map>
#include <thread>
#include <vector>

#include "privatehome.h"

namespace {

class DiagLogTest : public ::testing::Test {
protected:
    void SetUp() override { m_dir = QString::fromStdString(testsupport::makeTempDir("tunecap-log")); }
    void TearDown() override {
        InstallLogHandlerForTesting(nullptr, nullptr);
        qInstallMessageHandler(nullptr);
        testsupport::removeTree(m_dir.toStdString());
    }

    CDiagLog::FolderSource Folder() const {
        const QString dir = m_dir;
        return [dir] { return dir; };
    }
    QString Name(int number) const {
        return number == 0 ? m_dir + "/tunecap.log" : m_dir + QStringLiteral("/tunecap %1.log").arg(number);
    }
    void Put(int number, const QByteArray& content) const {
        QFile f(Name(number));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    }
    QByteArray Get(int number) const {
        QFile f(Name(number));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    QStringList LogFiles() const {
        QStringList names = QDir(m_dir).entryList(QDir::Files, QDir::Name);
        return names;
    }

    QString m_dir;
};

TEST(DiagLogFormat, LinesCarryTimeLevelAndText) {
    const QDateTime when(QDate(2026, 6, 30), QTime(14, 5, 9, 42));
    EXPECT_EQ(CDiagLog::FormatLine(QtDebugMsg, "CMainUI::EndNewRecord file: /a", when),
              QStringLiteral("06/30 14:05:09:042 Debug: CMainUI::EndNewRecord file: /a\n"));
    EXPECT_EQ(CDiagLog::FormatLine(QtInfoMsg, "i", when), QStringLiteral("06/30 14:05:09:042 Debug: i\n"));
    EXPECT_EQ(CDiagLog::FormatLine(QtWarningMsg, "w", when), QStringLiteral("06/30 14:05:09:042 Warning: w\n"));
    EXPECT_EQ(CDiagLog::FormatLine(QtCriticalMsg, "c", when), QStringLiteral("06/30 14:05:09:042 Critical: c\n"));
    EXPECT_EQ(CDiagLog::FormatLine(QtFatalMsg, "%1 f", when), QStringLiteral("06/30 14:05:09:042 Fatal: %1 f\n"));
    EXPECT_TRUE(QRegularExpression("^\\d+\\.\\d+\\.\\d+\\.\\d+$").match(GetProductVersion()).hasMatch())
        << GetProductVersion().toStdString();
}

TEST_F(DiagLogTest, AppendsUtf8LinesAndDropsThemOnceClosed) {
    Put(0, "earlier run\n");
    CDiagLog log(Folder());
    log.SetFile(log.OpenLog());
    ASSERT_TRUE(log.IsOpen());
    log.Write(QtWarningMsg, QString::fromUtf8("Gr\xc3\xbc\xc3\x9f" "e \xe2\x99\xaa"));
    const QByteArray content = Get(0);
    EXPECT_TRUE(content.startsWith("earlier run\n"));
    EXPECT_TRUE(content.endsWith(" Warning: Gr\xc3\xbc\xc3\x9f" "e \xe2\x99\xaa\n")) << content.constData();
    log.Close();
    log.Write(QtDebugMsg, "after close");
    EXPECT_EQ(Get(0), content);
}

TEST_F(DiagLogTest, NoFolderOrNoFileMeansNothingIsWritten) {
    CDiagLog noFolder([] { return QString(); });
    EXPECT_EQ(noFolder.OpenLog(), nullptr);
    CDiagLog tooLong([] { return QStringLiteral("/tmp/") + QString(1100, QLatin1Char('n')); });
    EXPECT_EQ(tooLong.OpenLog(), nullptr);
    CDiagLog unopened(Folder());
    unopened.Write(QtCriticalMsg, "lost");
    EXPECT_TRUE(LogFiles().isEmpty());
}

TEST_F(DiagLogTest, LineThatWouldPassTheLimitStartsAFreshFile) {
    // The limit counts the file's bytes plus the line's UTF-16 length.
    Put(0, QByteArray(int(kLogSizeLimit) - 60, 'a'));
    CDiagLog log(Folder());
    log.SetFile(log.OpenLog());
    const QString fits = CDiagLog::FormatLine(QtDebugMsg, QString(33, QChar(0x00e9)), QDateTime::currentDateTime());
    ASSERT_EQ(fits.size(), 60);
    log.WriteLine(fits);  // exactly at the limit: 60 UTF-16 units, 93 bytes
    EXPECT_EQ(LogFiles(), QStringList{"tunecap.log"});
    EXPECT_EQ(Get(0).size(), kLogSizeLimit - 60 + 93);

    log.Write(QtDebugMsg, "next");
    EXPECT_EQ(LogFiles(), (QStringList{"tunecap 1.log", "tunecap.log"}));
    EXPECT_EQ(Get(1).size(), kLogSizeLimit - 60 + 93);
    EXPECT_TRUE(Get(0).endsWith(" Debug: next\n"));
    EXPECT_LT(Get(0).size(), 40);
}

TEST_F(DiagLogTest, RotationClosesGapsInTheNumbering) {
    Put(0, QByteArray(90, 'c'));
    Put(5, "five");
    CDiagLog log(Folder(), 100);
    log.SetFile(log.OpenLog());
    log.Write(QtDebugMsg, "x");
    EXPECT_EQ(LogFiles(), (QStringList{"tunecap 1.log", "tunecap 2.log", "tunecap.log"}));
    EXPECT_EQ(Get(1), QByteArray(90, 'c'));
    EXPECT_EQ(Get(2), "five");
    EXPECT_TRUE(Get(0).endsWith(" Debug: x\n"));
}

TEST_F(DiagLogTest, RotationWithTenFilesDeletesTheOldest) {
    Put(0, QByteArray(95, '0'));
    for (int i = 1; i <= 9; ++i) Put(i, "file " + QByteArray::number(i));
    CDiagLog log(Folder(), 100);
    log.SetFile(log.OpenLog());
    log.Write(QtWarningMsg, "y");
    EXPECT_EQ(LogFiles().size(), 10);
    EXPECT_EQ(Get(1), QByteArray(95, '0'));
    for (int i = 2; i <= 9; ++i) EXPECT_EQ(Get(i), "file " + QByteArray::number(i - 1)) << i;
    for (int i = 1; i <= 9; ++i) EXPECT_NE(Get(i), "file 9") << i;
    EXPECT_TRUE(Get(0).endsWith(" Warning: y\n"));
}

TEST_F(DiagLogTest, FatalMessageEndsTheProcessAfterItsLineIsOnDisk) {
    // A forked child: it writes into this test's folder.
    GTEST_FLAG_SET(death_test_style, "fast");
    const QString dir = m_dir;
    EXPECT_EXIT(
        {
            auto* log = new CDiagLog([dir] { return dir; });
            InstallLogHandlerForTesting(log, log->OpenLog());
            qDebug("CTest::Fatal before");
            qFatal("CTest::Fatal out of %s", "memory");
        },
        ::testing::ExitedWithCode(kFatalExitCode), "");
    const QList<QByteArray> lines = Get(0).split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].endsWith(" Debug: CTest::Fatal before"));
    EXPECT_TRUE(lines[1].endsWith(" Fatal: CTest::Fatal out of memory"));
    EXPECT_TRUE(lines[2].isEmpty());
}

TEST_F(DiagLogTest, UnreadableSettingsFileIsFatal) {
    // The child is a fresh run of this program (the settings object of
    // this process may exist already). It runs this test from its start,
    // so the folder it logs into is the parent's, passed on unchanged.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    setenv("TUNECAP_TEST_LOG_DIR", m_dir.toUtf8().constData(), 0);
    EXPECT_EXIT(
        {
            const QString dir = QString::fromLocal8Bit(std::getenv("TUNECAP_TEST_LOG_DIR"));
            QDir().mkpath(QString::fromLocal8Bit(std::getenv("XDG_DATA_HOME")) + "/Tavra/Tunecap/tunecap.ini");
            auto* log = new CDiagLog([dir] { return dir; });
            InstallLogHandlerForTesting(log, log->OpenLog());
            CConfig::instance();
        },
        ::testing::ExitedWithCode(kFatalExitCode), "");
    unsetenv("TUNECAP_TEST_LOG_DIR");
    EXPECT_TRUE(Get(0).endsWith(" Fatal: create QSettings failed!\n")) << Get(0).constData();

    // Before any log is installed the line goes to the standard error and
    // the exit code is the same.
    EXPECT_EXIT(
        {
            QDir().mkpath(QString::fromLocal8Bit(std::getenv("XDG_DATA_HOME")) + "/Tavra/Tunecap/tunecap.ini");
            CConfig::instance();
        },
        ::testing::ExitedWithCode(kFatalExitCode), " Fatal: create QSettings failed!");
    GTEST_FLAG_SET(death_test_style, "fast");
}

TEST_F(DiagLogTest, ConcurrentWritersNeverInterleaveAndRotateOnce) {
    constexpr int kThreads = 6;
    constexpr int kLines = 400;
    constexpr qint64 kLimit = 20000;  // about 65 lines a file: several rotations, none deleted
    CDiagLog log(Folder(), kLimit);
    InstallLogHandlerForTesting(&log, log.OpenLog());
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i) {
                if (i % 2) qWarning("CWriter::Run thread %d line %d end", t, i);
                else qDebug("CWriter::Run thread %d line %d end", t, i);
            }
        });
    }
    for (std::thread& th : threads) th.join();
    InstallLogHandlerForTesting(nullptr, nullptr);

    const QStringList files = LogFiles();
    ASSERT_GE(files.size(), 3);
    ASSERT_LE(files.size(), 10);
    const QRegularExpression pattern(
        "^\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d:\\d\\d\\d (Debug|Warning): CWriter::Run thread (\\d) line (\\d+) end$");
    std::map<int, int> nextLine;  // per thread, lines come in order from the oldest file on
    for (int number = int(files.size()) - 1; number >= 0; --number) {
        const QByteArray content = Get(number);
        EXPECT_LE(content.size(), kLimit) << number;
        ASSERT_TRUE(content.endsWith('\n'));
        for (const QByteArray& line : content.chopped(1).split('\n')) {
            const auto m = pattern.match(QString::fromUtf8(line));
            ASSERT_TRUE(m.hasMatch()) << line.constData();
            const int t = m.captured(2).toInt();
            EXPECT_EQ(m.captured(3).toInt(), nextLine[t]++);
        }
    }
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(nextLine[t], kLines) << t;
}

TEST_F(DiagLogTest, ProcessLogWritesIntoTheLogFolderSettingUntilClosed) {
    const QString folder = CConfig::instance()->GetLogPath();
    ASSERT_FALSE(folder.isEmpty());
    InstallLogHandler(OpenLog());
    qDebug("CTest::Process hello %d", 7);
    qWarning() << "CTest::Process warned";
    CloseLog();
    qDebug("CTest::Process after close");

    QFile f(folder + "/tunecap.log");
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray content = f.readAll();
    EXPECT_TRUE(content.contains(" Debug: CTest::Process hello 7\n")) << content.constData();
    EXPECT_TRUE(content.contains(" Warning: CTest::Process warned\n"));
    EXPECT_FALSE(content.contains("after close"));
    EXPECT_EQ(CConfig::instanceIfCreated(), CConfig::instance());
}

}  // namespace
