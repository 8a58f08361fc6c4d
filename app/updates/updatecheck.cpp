#include "updatecheck.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringList>

#include "config.h"
#include "tunecap.h"

CUpdateCheck::CUpdateCheck(CConfig* config, const QString& currentVersion, QObject* parent)
    : QObject(parent), m_config(config), m_currentVersion(currentVersion) {
    m_network = new QNetworkAccessManager(this);
}

CUpdateCheck::~CUpdateCheck() {
    if (m_reply) m_reply->abort();
}

QUrl CUpdateCheck::Address() const {
    QString address = qEnvironmentVariable(kAddressVariable);
    if (address.isEmpty())
        address = m_config->GetExtraText(kAddressKey, QLatin1String(kDefaultAddress));
    return QUrl(address);
}

bool CUpdateCheck::Start() {
    if (m_reply) return false;
    const QUrl address = Address();

    // The connection settings' proxy, as the music information service uses it.
    QNetworkProxy proxy(QNetworkProxy::NoProxy);
    MusicParserProxyParam param;
    m_config->FillProxyParam(&param);
    if (m_config->GetUseProxy() == 1 && param.type >= 0 && param.host[0] != '\0') {
        proxy = QNetworkProxy(QNetworkProxy::HttpProxy, QString::fromUtf8(param.host),
                              quint16(param.port), QString::fromUtf8(param.userName),
                              QString::fromUtf8(param.password));
    }
    m_network->setProxy(proxy);

    QNetworkRequest request(address);
    request.setTransferTimeout(kTimeoutMs);
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QStringLiteral("Tavra Tunecap/%1").arg(m_currentVersion));
    m_reply = m_network->get(request);
    connect(m_reply, &QNetworkReply::finished, this, &CUpdateCheck::OnFinished);
    // An answer larger than any version note is not read to its end.
    connect(m_reply, &QNetworkReply::downloadProgress, m_reply,
            [reply = m_reply.data()](qint64 got, qint64) {
                if (got > kMaxAnswerBytes) reply->abort();
            });
    qDebug("CUpdateCheck::Start address: %s", qUtf8Printable(address.toDisplayString()));
    return true;
}

void CUpdateCheck::OnFinished() {
    QNetworkReply* reply = m_reply.data();
    m_reply.clear();
    if (reply == nullptr) return;
    reply->deleteLater();

    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError || status != 200) {
        qWarning("CUpdateCheck::OnFinished failed status: %d error: %s", status,
                 qUtf8Printable(reply->errorString()));
        Q_EMIT Finished(Result_Failed, QString(), QUrl());
        return;
    }
    QJsonParseError error{};
    const QJsonDocument answer = QJsonDocument::fromJson(reply->read(kMaxAnswerBytes), &error);
    const QString version = answer.object().value(QLatin1String("version")).toString().trimmed();
    if (error.error != QJsonParseError::NoError || version.isEmpty()) {
        qWarning("CUpdateCheck::OnFinished unreadable answer");
        Q_EMIT Finished(Result_Failed, QString(), QUrl());
        return;
    }
    QUrl page(answer.object().value(QLatin1String("url")).toString().trimmed());
    if (!page.isValid() ||
        (page.scheme() != QLatin1String("https") && page.scheme() != QLatin1String("http")))
        page = QUrl(QLatin1String(kDownloadPage));

    const bool newer = CompareVersions(version, m_currentVersion) > 0;
    qDebug("CUpdateCheck::OnFinished available: %s running: %s", qUtf8Printable(version),
           qUtf8Printable(m_currentVersion));
    Q_EMIT Finished(newer ? Result_Newer : Result_UpToDate, version, page);
}

int CUpdateCheck::CompareVersions(const QString& a, const QString& b) {
    const QStringList left = a.split(QLatin1Char('.'));
    const QStringList right = b.split(QLatin1Char('.'));
    for (qsizetype i = 0; i < qMax(left.size(), right.size()); ++i) {
        const qulonglong x = i < left.size() ? left[i].trimmed().toULongLong() : 0;
        const qulonglong y = i < right.size() ? right[i].trimmed().toULongLong() : 0;
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}
