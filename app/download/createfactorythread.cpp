#include "createfactorythread.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>

#include <cstring>

#include "config.h"
#include "library/musicdb.h"  // SetTagText
#include "specialdirs.h"

CCreateFactoryThread::CCreateFactoryThread(CConfig* config, const CMusicServiceApi& api,
                                           QObject* parent)
    : QThread(parent), m_config(config), m_api(api), m_created(QDateTime::currentDateTimeUtc()) {}

CCreateFactoryThread::~CCreateFactoryThread() {
    // MusicParserInit waits for the service's first network verdict, some
    // seconds after the start. A program that quits before then ends that
    // wait with a cleanup (repeated, in case the first came before Init
    // began) instead of waiting it out, and cleans up once more afterwards.
    while (!wait(QDeadlineTimer(50))) m_api.cleanup();
    m_api.cleanup();
    qDebug("CCreateFactoryThread::~CCreateFactoryThread MusicParserCleanup done");
}

void CCreateFactoryThread::EmptyCaches() const {
    const QString caches = SpecialDirPath(SpecialDir_Caches);
    if (caches.isEmpty()) return;
    const QFileInfoList entries =
        QDir(caches).entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo& entry : entries) {
        if (entry.lastModified().toUTC() >= m_created) continue;
        if (!QFile::remove(entry.filePath()))
            qWarning("CCreateFactoryThread::run cannot remove: %s",
                     qUtf8Printable(entry.filePath()));
    }
}

void CCreateFactoryThread::run() {
    MusicParserInitInfo init;
    std::memset(&init, 0, sizeof init);
    MusicParserProxyParam proxy;
    std::memset(&proxy, 0, sizeof proxy);
    proxy.type = -1;

    SetTagText(init.appSupportDir, m_config->GetLogPath());
    EmptyCaches();

    const QString pictures = SpecialDirPath(SpecialDir_Pictures);
    if (pictures.isEmpty() || CreateDirectoryTree(pictures.toUtf8().constData()) != 0) {
        qWarning("CCreateFactoryThread::run CreateDirectory failed, Pictures_Dir: %s",
                 qUtf8Printable(pictures));
        m_ready.store(false);
        return;
    }
    SetTagText(init.picturesDir, pictures);

    if (m_config->GetUseProxy() != 0) {
        m_config->FillProxyParam(&proxy);
        if (proxy.host[0] == '\0') {
            std::memset(&proxy, 0, sizeof proxy);
            proxy.type = -1;
        }
    }

    const int result = m_api.init(&init, &proxy);
    m_ready.store(result >= 0);
    if (result < 0)
        qWarning("AWSCreateFactory failed");
    else
        qDebug("CCreateFactoryThread::run MusicParserInit res: %d", result);
}
