#pragma once

#include <QString>

#include <memory>

class QLockFile;

// The program's single-instance guard: a lock file named after the mutex
// text, in the user's runtime folder (XDG_RUNTIME_DIR), or in the temporary
// folder with the user id added when there is no runtime folder. Held from
// TryAcquire() until the object is destroyed. A lock left behind by a run
// that crashed counts as free: its owner process no longer exists, or the
// file names no owner and is more than a few seconds old.
class CSingleInstance {
public:
    // The name of the lock, as the kernel mutex was named.
    static const char kMutexName[];

    CSingleInstance();
    ~CSingleInstance();
    CSingleInstance(const CSingleInstance&) = delete;
    CSingleInstance& operator=(const CSingleInstance&) = delete;

    // Takes the lock without waiting. False when another running process
    // holds it, or when the lock file cannot be written at all.
    bool TryAcquire();
    // Path of the lock file.
    QString LockPath() const { return m_path; }

    // The folder the lock file goes to, for the given runtime folder
    // (usually XDG_RUNTIME_DIR; empty or not a folder: the temporary folder).
    static QString LockPathFor(const QString& runtimeDir);

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};
