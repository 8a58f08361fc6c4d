#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>

class CConfig;
class QProcess;

// Makes a bug report: the program's log files and those of the music
// information service ("tunecap.log", "tunecap N.log", "musicinfo*.log" in
// the log folder), with a note of the user's words, the program's version
// and the system, packed into one archive "Tunecap bug report <date and
// time>.tar.gz" in the user's documents folder; the archive is then offered
// to the user's mail program ("xdg-email --attach", or the command in
// TUNECAP_MAIL_COMMAND) addressed to kReportAddress.
//
// The report is "being sent" from Start() until the archive is complete:
// the archive is made by tar in a separate process while the program goes
// on. Files are copied into a folder of the caches folder first, so that
// logs written meanwhile do not disturb the archive; that folder is removed
// at the end. The archive gets its name only once complete. Destroying the
// object while it packs stops the packing and removes what it had made.
//
// QtCore only. GUI thread.
class CBugReport : public QObject {
    Q_OBJECT
public:
    static constexpr char kMailCommandVariable[] = "TUNECAP_MAIL_COMMAND";
    static constexpr char kReportAddress[] = "tunecap-bugs@tavra.example";

    // config: not owned; its log folder is where the logs are.
    CBugReport(CConfig* config, const QString& productVersion, QObject* parent = nullptr);
    ~CBugReport() override;

    // Starts a report with the user's e-mail address and description.
    // false when one is being made already, or nothing could be prepared
    // (Finished follows in every other case, never before Start returns).
    bool Start(const QString& userMail, const QString& description);
    // Whether the archive is being made.
    bool IsSending() const { return m_tar != nullptr; }

    // The log files a report takes, as full paths.
    QStringList LogFiles() const;

Q_SIGNALS:
    // The report ended. archive: the archive's path (empty when it could not
    // be made); mailStarted: whether the mail program was started with it.
    void Finished(bool ok, const QString& archive, bool mailStarted);

private:
    void OnPacked(bool ok);
    QString ReportText(const QString& userMail, const QString& description) const;
    bool StartMail(const QString& archive) const;
    void Clean();

    CConfig* m_config;  // not owned
    const QString m_version;
    QProcess* m_tar = nullptr;  // child while packing
    QString m_staging;          // the copies' folder while packing
    QString m_partial;          // the archive's name while it is written
    QString m_archive;          // its name once complete
    QString m_description;
};
