#include "bugreport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>

#include "config.h"
#include "specialdirs.h"

namespace {
// The program's log and the service's log, with their rotated files.
const char* const kLogPatterns[] = {"tunecap.log", "tunecap *.log", "musicinfo*.log"};
constexpr char kReportNote[] = "report.txt";

// "Tunecap bug report <date and time>.tar.gz" in folder, with " (2)" and so
// on when a report of the same second is there already (or being written).
QString FreeArchiveName(const QString& folder) {
    const QString stamp =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh-mm-ss"));
    for (int number = 1;; ++number) {
        const QString name =
            number == 1
                ? QStringLiteral("Tunecap bug report %1.tar.gz").arg(stamp)
                : QStringLiteral("Tunecap bug report %1 (%2).tar.gz").arg(stamp).arg(number);
        if (!QFileInfo::exists(folder + QLatin1Char('/') + name) &&
            !QFileInfo::exists(folder + QStringLiteral("/.") + name + QStringLiteral(".part")))
            return folder + QLatin1Char('/') + name;
    }
}
}  // namespace

CBugReport::CBugReport(CConfig* config, const QString& productVersion, QObject* parent)
    : QObject(parent), m_config(config), m_version(productVersion) {}

CBugReport::~CBugReport() {
    if (m_tar != nullptr) {
        qDebug("CBugReport::~CBugReport packing stopped");
        m_tar->disconnect(this);
        m_tar->kill();
        m_tar->waitForFinished(3000);
        QFile::remove(m_partial);
        Clean();
    }
}

QStringList CBugReport::LogFiles() const {
    const QDir folder(m_config->GetLogPath());
    QStringList patterns;
    for (const char* pattern : kLogPatterns) patterns << QLatin1String(pattern);
    QStringList files;
    for (const QString& name : folder.entryList(patterns, QDir::Files | QDir::Readable, QDir::Name))
        files << folder.filePath(name);
    return files;
}

QString CBugReport::ReportText(const QString& userMail, const QString& description) const {
    return QStringLiteral(
               "Program: %1 %2\nSystem: %3 (%4 %5)\nQt: %6\nTime: %7\nE-mail: %8\n\n%9\n")
        .arg(QCoreApplication::applicationName(), m_version, QSysInfo::prettyProductName(),
             QSysInfo::kernelType(), QSysInfo::kernelVersion(), QString::fromLatin1(qVersion()),
             QDateTime::currentDateTime().toString(Qt::ISODate), userMail, description);
}

bool CBugReport::Start(const QString& userMail, const QString& description) {
    if (m_tar != nullptr) return false;
    const QString documents = SpecialDirPath(SpecialDir_Documents);
    const QString caches = SpecialDirPath(SpecialDir_Caches);
    if (documents.isEmpty() || caches.isEmpty() ||
        CreateDirectoryTree(QFile::encodeName(documents).constData()) != 0 ||
        CreateDirectoryTree(QFile::encodeName(caches).constData()) != 0) {
        qWarning("CBugReport::Start no documents or caches folder");
        return false;
    }

    // A snapshot of the logs and the note, in a folder of their own.
    QTemporaryDir staging(caches + QStringLiteral("/bugreport-XXXXXX"));
    if (!staging.isValid()) {
        qWarning("CBugReport::Start cannot create a folder in: %s", qUtf8Printable(caches));
        return false;
    }
    QStringList names;
    for (const QString& file : LogFiles()) {
        const QString name = QFileInfo(file).fileName();
        if (QFile::copy(file, staging.filePath(name))) names << name;
    }
    QFile note(staging.filePath(QLatin1String(kReportNote)));
    if (!note.open(QIODevice::WriteOnly) ||
        note.write(ReportText(userMail, description).toUtf8()) < 0 || !note.flush()) {
        qWarning("CBugReport::Start cannot write the note");
        return false;
    }
    note.close();
    names << QLatin1String(kReportNote);

    m_archive = FreeArchiveName(documents);
    m_partial = QFileInfo(m_archive).dir().filePath(
        QLatin1Char('.') + QFileInfo(m_archive).fileName() + QStringLiteral(".part"));
    staging.setAutoRemove(false);
    m_staging = staging.path();
    m_description = description;

    m_tar = new QProcess(this);
    m_tar->setProgram(QStringLiteral("tar"));
    m_tar->setArguments(QStringList{QStringLiteral("-czf"), m_partial, QStringLiteral("-C"),
                                    m_staging, QStringLiteral("--")} +
                        names);
    connect(m_tar, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        OnPacked(status == QProcess::NormalExit && code == 0);
    });
    // Queued: a start that fails at once still reports after Start returned.
    connect(
        m_tar, &QProcess::errorOccurred, this,
        [this](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart) OnPacked(false);
        },
        Qt::QueuedConnection);
    m_tar->start();
    qDebug("CBugReport::Start files: %lld archive: %s", static_cast<long long>(names.size()),
           qUtf8Printable(m_archive));
    return true;
}

void CBugReport::OnPacked(bool ok) {
    if (m_tar == nullptr) return;
    if (!ok) {
        qWarning("CBugReport::OnPacked tar failed: %s %s", qUtf8Printable(m_tar->errorString()),
                 m_tar->readAllStandardError().trimmed().constData());
    }
    m_tar->deleteLater();
    m_tar = nullptr;
    Clean();
    // QFile::rename never replaces an existing file.
    if (ok && !QFile::rename(m_partial, m_archive)) {
        m_archive = FreeArchiveName(QFileInfo(m_archive).path());
        ok = QFile::rename(m_partial, m_archive);
    }
    if (!ok) {
        qWarning("CBugReport::OnPacked the archive could not be made: %s",
                 qUtf8Printable(m_archive));
        QFile::remove(m_partial);
        Q_EMIT Finished(false, QString(), false);
        return;
    }
    const bool mailStarted = StartMail(m_archive);
    Q_EMIT Finished(true, m_archive, mailStarted);
}

bool CBugReport::StartMail(const QString& archive) const {
    QString program = qEnvironmentVariable(kMailCommandVariable);
    if (program.isEmpty()) program = QStringLiteral("xdg-email");
    const QString subject =
        QStringLiteral("%1 bug report %2").arg(QCoreApplication::applicationName(), m_version);
    const QString body = m_description.trimmed().isEmpty()
                             ? QStringLiteral("The log files of the program are attached.")
                             : m_description.trimmed() +
                                   QStringLiteral("\n\nThe log files of the program are attached.");
    const QStringList arguments = {QStringLiteral("--utf8"),
                                   QStringLiteral("--subject"),
                                   subject,
                                   QStringLiteral("--body"),
                                   body,
                                   QStringLiteral("--attach"),
                                   archive,
                                   QLatin1String(kReportAddress)};
    const bool started = QProcess::startDetached(program, arguments);
    qDebug("CBugReport::StartMail %s started: %d", qUtf8Printable(program), started ? 1 : 0);
    return started;
}

void CBugReport::Clean() {
    if (!m_staging.isEmpty()) QDir(m_staging).removeRecursively();
    m_staging.clear();
}
