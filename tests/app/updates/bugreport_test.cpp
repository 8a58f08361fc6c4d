// "Bug Report": the log files packed into one archive in the documents
// folder and offered to a stand-in mail program that writes down its
// arguments; the sending state, failures, and a report stopped half way.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <memory>

#include "config.h"
#include "deletedialog.h"
#include "mainui.h"
#include "privatehome.h"
#include "specialdirs.h"
#include "uiapp.h"
#include "updates/bugreport.h"
#include "updates/bugreportdialog.h"

namespace {

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The names in a .tar.gz, sorted.
QStringList ArchiveNames(const QString& archive) {
    QProcess tar;
    tar.start(QStringLiteral("tar"), {QStringLiteral("-tzf"), archive});
    tar.waitForFinished(10000);
    QStringList names =
        QString::fromUtf8(tar.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    names.sort();
    return names;
}

// One file of a .tar.gz.
QByteArray ArchiveFile(const QString& archive, const QString& name) {
    QProcess tar;
    tar.start(QStringLiteral("tar"), {QStringLiteral("-xzOf"), archive, name});
    tar.waitForFinished(10000);
    return tar.readAllStandardOutput();
}

class BugReportTest : public testing::Test {
protected:
    void SetUp() override {
        uitest::App();
        QApplication::setApplicationName(QStringLiteral("Tavra Tunecap"));
        QApplication::setApplicationVersion(QStringLiteral("1.2.3.4"));
        m_config = CConfig::instance();
        m_logs = m_config->GetLogPath();
        WriteFile(m_logs + QStringLiteral("/tunecap.log"), "current log\n");
        WriteFile(m_logs + QStringLiteral("/tunecap 1.log"), "older log\n");
        WriteFile(m_logs + QStringLiteral("/musicinfo.log"), "service log\n");
        WriteFile(m_logs + QStringLiteral("/musicinfo_1.log"), "older service log\n");
        WriteFile(m_logs + QStringLiteral("/music.db"), "not a log");
        m_documents = SpecialDirPath(SpecialDir_Documents);
        m_caches = SpecialDirPath(SpecialDir_Caches);

        // The mail program writes its arguments down, one a line.
        m_tools = QString::fromStdString(testsupport::makeTempDir("mailtool"));
        m_mailArgs = m_tools + QStringLiteral("/args");
        const QString script = m_tools + QStringLiteral("/mail");
        WriteFile(script, "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + m_mailArgs.toUtf8() +
                              ".tmp'\n"
                              "mv '" +
                              m_mailArgs.toUtf8() + ".tmp' '" + m_mailArgs.toUtf8() + "'\n");
        QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        setenv("TUNECAP_MAIL_COMMAND", qPrintable(script), 1);
    }
    void TearDown() override {
        setenv("TUNECAP_MAIL_COMMAND", "true", 1);
        testsupport::removeTree(m_tools.toStdString());
    }

    QStringList MailArguments() {
        EXPECT_TRUE(QTest::qWaitFor([this] { return QFile::exists(m_mailArgs); }, 10000));
        return QString::fromUtf8(ReadFile(m_mailArgs)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    // Files the report leaves besides finished archives: partial archives
    // and staging folders.
    QStringList Leftovers() const {
        QStringList left =
            QDir(m_documents).entryList({QStringLiteral("*.part")}, QDir::Files | QDir::Hidden);
        left +=
            QDir(m_caches).entryList({QStringLiteral("bugreport-*")}, QDir::Dirs | QDir::Hidden);
        return left;
    }
    QStringList Archives() const {
        return QDir(m_documents)
            .entryList({QStringLiteral("Tunecap bug report *.tar.gz")}, QDir::Files);
    }

    CConfig* m_config = nullptr;
    QString m_logs, m_documents, m_caches, m_tools, m_mailArgs;
};

TEST_F(BugReportTest, LogsArePackedIntoTheDocumentsFolderAndHandedToTheMailProgram) {
    m_config->SetUserMail(QStringLiteral("old@example.com"));
    uitest::TestLibrary library;  // opened before the window, as at start-up
    ASSERT_TRUE(library.ok());
    CMainUI window(library.Take());
    CBugReport* report = window.BugReporter();
    QSignalSpy finished(report, &CBugReport::Finished);

    uitest::ModalAnswer form([](QWidget* modal) {
        auto* dialog = qobject_cast<CBugReportDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->MailEdit()->text(), QStringLiteral("old@example.com"));
        // A malformed address is refused, and nothing is stored.
        dialog->MailEdit()->setText(QStringLiteral("not an address"));
        QTest::mouseClick(dialog->SendButton(), Qt::LeftButton);
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(dialog->HintLabel()->text(),
                  QStringLiteral("Please enter a valid e-mail address."));
        dialog->MailEdit()->setText(QStringLiteral("ann@example.com"));
        dialog->DescriptionEdit()->setPlainText(
            QStringLiteral("Recording stopped after a minute."));
        QTest::mouseClick(dialog->SendButton(), Qt::LeftButton);
    });
    window.BugReport();
    ASSERT_TRUE(form.Seen());
    EXPECT_EQ(m_config->GetUserMail(), QStringLiteral("ann@example.com"));
    EXPECT_TRUE(window.IsSendingBugReport());
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_FALSE(window.IsSendingBugReport());
    const QList<QVariant> result = finished.takeFirst();
    EXPECT_TRUE(result[0].toBool());
    EXPECT_TRUE(result[2].toBool());
    const QString archive = result[1].toString();

    EXPECT_TRUE(archive.startsWith(m_documents + QStringLiteral("/Tunecap bug report ")));
    EXPECT_EQ(Archives().size(), 1);
    EXPECT_EQ(ArchiveNames(archive), QStringList({"musicinfo.log", "musicinfo_1.log", "report.txt",
                                                  "tunecap 1.log", "tunecap.log"}));
    EXPECT_EQ(ArchiveFile(archive, QStringLiteral("tunecap 1.log")), QByteArray("older log\n"));
    const QByteArray note = ArchiveFile(archive, QStringLiteral("report.txt"));
    EXPECT_TRUE(note.contains("Recording stopped after a minute.")) << note.toStdString();
    EXPECT_TRUE(note.contains("ann@example.com"));
    EXPECT_TRUE(note.contains("Tavra Tunecap 1.2.3.4"));
    EXPECT_TRUE(Leftovers().isEmpty()) << Leftovers().join(QLatin1Char(',')).toStdString();

    const QStringList mail = MailArguments();
    ASSERT_GE(mail.size(), 6);
    EXPECT_EQ(mail.at(mail.indexOf(QStringLiteral("--attach")) + 1), archive);
    EXPECT_EQ(mail.at(mail.indexOf(QStringLiteral("--subject")) + 1),
              QStringLiteral("Tavra Tunecap bug report 1.2.3.4"));
    EXPECT_TRUE(mail.contains(QStringLiteral("Recording stopped after a minute.")));
    EXPECT_EQ(mail.last(), QLatin1String(CBugReport::kReportAddress));
}

TEST_F(BugReportTest, OneReportAtATimeAndCancelSendsNothing) {
    uitest::TestLibrary library;  // opened before the window, as at start-up
    ASSERT_TRUE(library.ok());
    CMainUI window(library.Take());
    // Cancel: no report.
    uitest::ModalAnswer cancel([](QWidget* modal) {
        auto* dialog = qobject_cast<CBugReportDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        QTest::mouseClick(dialog->CancelButton(), Qt::LeftButton);
    });
    window.BugReport();
    ASSERT_TRUE(cancel.Seen());
    EXPECT_FALSE(window.IsSendingBugReport());

    // While one is made, the menu entry only says so.
    CBugReport* report = window.BugReporter();
    QSignalSpy finished(report, &CBugReport::Finished);
    ASSERT_TRUE(report->Start(QString(), QStringLiteral("first")));
    EXPECT_FALSE(report->Start(QString(), QStringLiteral("second")));
    QString said;
    uitest::ModalAnswer busy([&said](QWidget* modal) {
        auto* dialog = qobject_cast<CDeleteDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        said = dialog->Text();
        static_cast<QDialog*>(dialog)->reject();
    });
    window.BugReport();
    EXPECT_EQ(said, QStringLiteral("A bug report is being prepared.\nPlease wait a moment."));
    ASSERT_TRUE(finished.count() == 1 || finished.wait(10000));
    EXPECT_EQ(Archives().size(), 1);
}

TEST_F(BugReportTest, FailuresAndAStoppedReportLeaveNothingBehind) {
    // The documents folder cannot be made: nothing starts, the user is told.
    const QString blocked = QFileInfo(m_documents).path();  // .../Documents/Tavra
    QDir(blocked).removeRecursively();
    QDir().mkpath(QFileInfo(blocked).path());
    WriteFile(blocked, "a file where the folder belongs");
    {
        uitest::TestLibrary library;  // opened before the window, as at start-up
        ASSERT_TRUE(library.ok());
        CMainUI window(library.Take());
        QString said;
        // The form, then the message.
        uitest::ModalAnswer form([&said](QWidget* modal) {
            auto* dialog = qobject_cast<CBugReportDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            QTimer::singleShot(
                0, dialog, [dialog] { QTest::mouseClick(dialog->SendButton(), Qt::LeftButton); });
            QTimer* poll = new QTimer(dialog);
            poll->setInterval(20);
            QObject::connect(poll, &QTimer::timeout, [dialog, poll, &said] {
                auto* message = qobject_cast<CDeleteDialog*>(QApplication::activeModalWidget());
                if (message == nullptr) return;
                poll->stop();
                said = message->Text();
                static_cast<QDialog*>(message)->reject();
            });
            poll->start();
        });
        window.BugReport();
        ASSERT_TRUE(form.Seen());
        EXPECT_FALSE(window.IsSendingBugReport());
        EXPECT_TRUE(said.startsWith(QStringLiteral("The bug report could not be made.")))
            << said.toStdString();
        uitest::Watch([&] { return QFile::exists(m_mailArgs); }, 50);
    }
    QFile::remove(blocked);
    EXPECT_FALSE(QFile::exists(m_mailArgs));

    // Stopped while packing (the program quits): the partial archive and the
    // copies go, and no mail program is started.
    {
        // Enough log to keep tar busy for a moment.
        QByteArray big(8 * 1024 * 1024, '\0');
        for (int i = 0; i < big.size(); ++i) big[i] = char((i * 7919) ^ (i >> 9));
        WriteFile(m_logs + QStringLiteral("/tunecap 2.log"), big);
        auto report = std::make_unique<CBugReport>(m_config, QStringLiteral("1.2.3.4"));
        ASSERT_TRUE(report->Start(QString(), QStringLiteral("stopped")));
        EXPECT_TRUE(report->IsSending());
        report.reset();
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return Leftovers().isEmpty() && Archives().isEmpty(); }));
    uitest::Watch([&] { return QFile::exists(m_mailArgs); }, 200);
    EXPECT_TRUE(Leftovers().isEmpty()) << Leftovers().join(QLatin1Char(',')).toStdString();
    EXPECT_TRUE(Archives().isEmpty());
    EXPECT_FALSE(QFile::exists(m_mailArgs));
}

}  // namespace
