#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

class CConfig;
class QNetworkAccessManager;
class QNetworkReply;

// Asks the update service whether a newer version of the program exists.
// The service answers a GET of its address with a small JSON object:
//   {"version": "1.2.0.0", "url": "https://.../download"}
// ("url", the page to get the new version from, is optional; only http and
// https pages are taken). The address is the environment variable
// TUNECAP_UPDATE_URL, else the setting Update_Url, else kDefaultAddress. The
// proxy of the connection settings is used when it is enabled.
//
// QtCore and QtNetwork only. GUI thread (it lives in the thread's event loop).
class CUpdateCheck : public QObject {
    Q_OBJECT
public:
    enum Result {
        Result_Newer = 0,     // a newer version exists
        Result_UpToDate = 1,  // the running version is the newest
        Result_Failed = 2,    // no usable answer (network, server, format)
    };
    static constexpr char kAddressVariable[] = "TUNECAP_UPDATE_URL";
    static constexpr char kAddressKey[] = "Update_Url";
    static constexpr char kDefaultAddress[] = "https://www.tavra.example/tunecap/update.json";
    // The download page when the answer names none.
    static constexpr char kDownloadPage[] = "https://www.tavra.example/tunecap/download";
    // Longest wait for the whole answer, and its largest size.
    static constexpr int kTimeoutMs = 15000;
    static constexpr qint64 kMaxAnswerBytes = 64 * 1024;

    // config: not owned. currentVersion: "major.minor.build.revision" of the
    // running program (may be empty: then any version counts as newer).
    CUpdateCheck(CConfig* config, const QString& currentVersion, QObject* parent = nullptr);
    ~CUpdateCheck() override;

    // The address asked.
    QUrl Address() const;
    // Starts a check; false (and nothing starts) while one runs.
    bool Start();
    bool IsRunning() const { return !m_reply.isNull(); }

    // -1, 0 or 1 as version a is older than, equal to or newer than b; the
    // texts are dot-separated numbers, a missing or non-numeric part counts
    // as 0 ("1.2" equals "1.2.0.0").
    static int CompareVersions(const QString& a, const QString& b);

Q_SIGNALS:
    // A check ended. version: the newest version the service named (empty on
    // failure); page: where to get it.
    void Finished(int result, const QString& version, const QUrl& page);

private:
    void OnFinished();

    CConfig* m_config;  // not owned
    const QString m_currentVersion;
    QNetworkAccessManager* m_network = nullptr;  // child
    QPointer<QNetworkReply> m_reply;             // the check running, if any
};
