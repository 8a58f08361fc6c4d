// The thread that brings the music information service up: what it hands
// to MusicParserInit, when it leaves the service alone, the readiness flag,
// the caches folder, the one MusicParserCleanup, and the task manager
// holding its tasks back while the service starts.
#include <QDateTime>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstring>

#include "download/createfactorythread.h"
#include "download/taskmanager.h"
#include "downloadfixture.h"
#include "fakeservice.h"

namespace {

using fakeservice::Service;
using songtest::WaitUntil;

class FactoryThreadTest : public songtest::SongFixture {
protected:
    void SetUp() override {
        SongFixture::SetUp();
        Service::Get().Reset();
    }
    void TearDown() override {
        Service::Get().Reset();
        SongFixture::TearDown();
    }

    // Runs a factory thread to its end and destroys it; the readiness it had.
    bool RunFactory() {
        CCreateFactoryThread factory(Config(), Service::Get().Api());
        factory.start();
        EXPECT_TRUE(factory.wait(10000));
        return factory.IsReady();
    }
};

TEST_F(FactoryThreadTest, ServiceGetsTheFoldersAndAProxyOnlyWithAHost) {
    Config()->SetUseProxy(1);
    Config()->SetProxyType(0);
    Config()->SetProxyHost(QString());
    Config()->SetProxyPort(3128);
    EXPECT_TRUE(RunFactory());
    EXPECT_EQ(Service::Get().InitCalls(), 1);
    EXPECT_EQ(Service::Get().CleanupCalls(), 1);
    const MusicParserInitInfo init = Service::Get().LastInit();
    EXPECT_EQ(QString::fromUtf8(init.picturesDir), Pictures());
    EXPECT_EQ(QString::fromUtf8(init.appSupportDir), Config()->GetLogPath());
    EXPECT_EQ(Service::Get().LastProxy().type, -1);
    EXPECT_EQ(Service::Get().LastProxy().port, 0);

    Config()->SetProxyHost(QStringLiteral("proxy.example"));
    Config()->SetProxyName(QStringLiteral("user"));
    EXPECT_TRUE(RunFactory());
    MusicParserProxyParam proxy = Service::Get().LastProxy();
    EXPECT_EQ(proxy.type, 0);
    EXPECT_EQ(proxy.port, 3128);
    EXPECT_STREQ(proxy.host, "proxy.example");
    EXPECT_STREQ(proxy.userName, "user");

    // Without b_proxy the proxy settings are not used.
    Config()->SetUseProxy(0);
    EXPECT_TRUE(RunFactory());
    proxy = Service::Get().LastProxy();
    EXPECT_EQ(proxy.type, -1);
    EXPECT_EQ(proxy.host[0], '\0');

    Service::Get().SetInitResult(-1);
    EXPECT_FALSE(RunFactory());
    EXPECT_EQ(Service::Get().CleanupCalls(), 4);
}

TEST_F(FactoryThreadTest, PicturesFolderThatCannotBeMadeLeavesTheServiceAloneButCleansUp) {
    // A file where a parent of the pictures folder should be.
    const QString blocker = QFileInfo(Pictures()).absolutePath();
    ASSERT_TRUE(QDir(blocker).removeRecursively());
    ASSERT_TRUE(songtest::WriteFile(blocker, "not a folder"));
    EXPECT_FALSE(RunFactory());
    QFile::remove(blocker);
    EXPECT_EQ(Service::Get().InitCalls(), 0);
    EXPECT_EQ(Service::Get().CleanupCalls(), 1);
}

TEST_F(FactoryThreadTest, LeftoversOfAnEarlierRunGoFromTheCachesFolder) {
    ASSERT_TRUE(QDir().mkpath(Caches()));
    const QString old = Caches() + QStringLiteral("/TempFile_1_0.wav");
    ASSERT_TRUE(songtest::WriteFile(old, "RIFF"));
    QFile file(old);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                 QFileDevice::FileModificationTime));
    file.close();

    CCreateFactoryThread factory(Config(), Service::Get().Api());
    // Written by this run (a task converting) after the thread was made.
    songtest::Spin(20);
    const QString fresh = Caches() + QStringLiteral("/TempFile_2_0.wav");
    ASSERT_TRUE(songtest::WriteFile(fresh, "RIFF"));
    factory.start();
    ASSERT_TRUE(factory.wait(10000));
    EXPECT_FALSE(QFileInfo::exists(old));
    EXPECT_TRUE(QFileInfo::exists(fresh));
}

TEST_F(FactoryThreadTest, TasksWaitWhileTheServiceStartsAndTheServiceEndsAfterThem) {
    AddSong(1, QStringLiteral("One"));
    {
        CTaskManager manager(Config(), nullptr, Service::Get().Api());
        Listen(&manager);
        Service::Get().SetInitDelay(800);
        manager.StartService();
        ASSERT_EQ(manager.AddTask(1, false), 0);
        WaitUntil([] { return Service::Get().RequestCount() > 0; }, 400);
        // Seen before the service was ready (it takes 800 ms), the task had
        // not started.
        const int requests = Service::Get().RequestCount();
        const int running = CountReports(1, DownloadTask_RUNNING);
        if (!manager.IsServiceReady()) {
            EXPECT_EQ(requests, 0);
            EXPECT_EQ(running, 0);
        }
        ASSERT_TRUE(WaitUntil([] { return Service::Get().RequestCount() == 1; }, 10000));
        EXPECT_TRUE(manager.IsServiceReady());
        EXPECT_EQ(Service::Get().CleanupCalls(), 0);
    }
    // The running task's request was destroyed before the service went.
    EXPECT_TRUE(Service::Get().CallAt(0)->destroyed);
    EXPECT_EQ(Service::Get().CleanupCalls(), 1);
    EXPECT_EQ(Service::Get().OpenRequestsAtCleanup(), 0);
    EXPECT_TRUE(songtest::FilesIn(Caches()).isEmpty());
}

}  // namespace
