#include "singleinstance.h"

#include <gtest/gtest.h>

#include <QFile>

#include <sys/stat.h>
#include <utime.h>

#include <ctime>

namespace {

// A lock file as a run leaves it when it dies between creating the file and
// writing its owner into it (or when the disk lost what it wrote).
void LeaveLockWithoutOwner(const QString& path, const QByteArray& content, int ageSeconds) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
    file.close();
    const time_t when = std::time(nullptr) - ageSeconds;
    const utimbuf times{when, when};
    ASSERT_EQ(utime(QFile::encodeName(path).constData(), &times), 0);
}

TEST(SingleInstance, LockFileNamingNoOwnerBlocksOnlyWhileItIsFresh) {
    CSingleInstance probe;
    const QString path = probe.LockPath();

    // Fresh: another copy may be writing its owner into it right now.
    LeaveLockWithoutOwner(path, QByteArray(), 0);
    EXPECT_FALSE(CSingleInstance().TryAcquire());

    // Left over by a run that is gone: empty or damaged, it does not keep
    // the program from ever starting again.
    for (const QByteArray& content : {QByteArray(), QByteArray("\0\0\0\0", 4), QByteArray("garbage\n")}) {
        LeaveLockWithoutOwner(path, content, 60);
        CSingleInstance instance;
        EXPECT_TRUE(instance.TryAcquire()) << content.toHex().constData();
        // And the lock taken is a real one.
        EXPECT_FALSE(CSingleInstance().TryAcquire());
    }
    EXPECT_FALSE(QFile::exists(path));
}

}  // namespace
