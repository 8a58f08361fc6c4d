#include "singleinstance.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>

#include <unistd.h>

const char CSingleInstance::kMutexName[] = "tavra{05CA3FED-B449-4e0b-83F5-7FD612E378E9}";

QString CSingleInstance::LockPathFor(const QString& runtimeDir) {
    const QString name = QString::fromLatin1(kMutexName);
    if (!runtimeDir.isEmpty() && QFileInfo(runtimeDir).isDir())
        return runtimeDir + QLatin1Char('/') + name + QStringLiteral(".lock");
    // The temporary folder is shared by every user of the machine; each
    // user has a lock of their own, as each desktop session had its own
    // mutex.
    return QDir::tempPath() + QLatin1Char('/') + name + QLatin1Char('-') +
           QString::number(uint(getuid())) + QStringLiteral(".lock");
}

CSingleInstance::CSingleInstance()
    : m_path(LockPathFor(qEnvironmentVariable("XDG_RUNTIME_DIR"))),
      m_lock(std::make_unique<QLockFile>(m_path)) {
    // No age limit: a lock is stale only when its process is gone (checked
    // by process id and program name), never because the program has run
    // for a long time.
    m_lock->setStaleLockTime(0);
}

CSingleInstance::~CSingleInstance() = default;

bool CSingleInstance::TryAcquire() {
    return m_lock->tryLock(0);
}
