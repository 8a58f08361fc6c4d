#include "singleinstance.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>

#include <unistd.h>

namespace {

// Age after which a lock file without an owner counts as left over.
constexpr qint64 kUnownedLockSeconds = 10;

}  // namespace

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
    if (m_lock->tryLock(0)) return true;
    // A lock file that names no owner is never stale by its process: a run
    // that died between creating it and writing it (or a disk that lost
    // what was written) would keep every later start out. Once it is older
    // than a copy needs to write its owner, it is left over and goes.
    qint64 pid = 0;
    QString host, program;
    if (m_lock->error() != QLockFile::LockFailedError || m_lock->getLockInfo(&pid, &host, &program))
        return false;
    const QDateTime modified = QFileInfo(m_path).lastModified();
    if (!modified.isValid() || qAbs(modified.secsTo(QDateTime::currentDateTime())) < kUnownedLockSeconds)
        return false;
    m_lock->removeStaleLockFile();
    return m_lock->tryLock(0);
}
