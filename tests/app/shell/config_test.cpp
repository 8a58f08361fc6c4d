#include "config.h"
#include "specialdirs.h"
#include "tunecap.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSettings>

#include <cstring>
#include <atomic>
#include <string>
#include <thread>
#include <vector>
#include <sys/stat.h>

#include "privatehome.h"

namespace {

const char* const kAllKeysButMail[] = {
    "Log_Path",     "Record_Mode",   "After_Record", "Output_Path",      "Id_Mode",
    "Split_Time",   "Split_Mode",    "Volume_Value", "Filter_Time",      "Filter_Mode",
    "Audio_Codec",  "Bit_Rate",      "Sample_Rate",  "Task_Start",       "Task_Duration",
    "Delete_Type",  "DEVIC_ID",      "Output_File_Type", "b_proxy",      "Proxy_type",
    "Proxy_host",   "Proxy_prot",    "Proxy_name",   "Proxy_pass",       "Log_File_Pos",
    "Show_Mute",    "Auto_update",   "Update_Days",  "Update_year",      "Update_month",
    "Update_day",   "Record_Application",
};

class ConfigTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = QString::fromStdString(testsupport::makeTempDir("tunecap-config"));
        m_file = m_dir + QStringLiteral("/tunecap.ini");
    }
    void TearDown() override { testsupport::removeTree(m_dir.toStdString()); }

    void WriteRaw(const QByteArray& text) {
        QFile f(m_file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }
    QByteArray ReadRaw() const {
        QFile f(m_file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    int FileMode() const {
        struct stat st;
        return stat(QFile::encodeName(m_file).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
    }

    QString m_dir;
    QString m_file;
};

TEST_F(ConfigTest, MissingFileIsWrittenWithEveryKeyAndTheDefaults) {
    auto config = CConfig::CreateForTesting(m_file);
    ASSERT_TRUE(config);
    const QString music = SpecialDirPath(SpecialDir_Music);
    const QString appData = SpecialDirPath(SpecialDir_ApplicationData);
    EXPECT_TRUE(QDir(music).exists());
    EXPECT_TRUE(QDir(appData).exists());

    QSettings stored(m_file, QSettings::IniFormat);
    for (const char* key : kAllKeysButMail) EXPECT_TRUE(stored.contains(QLatin1String(key))) << key;
    EXPECT_FALSE(stored.contains(QStringLiteral("User_Mail")));
    EXPECT_EQ(stored.value("Log_Path").toString(), appData);
    EXPECT_EQ(stored.value("Output_Path").toStringList(), QStringList{music});
    EXPECT_EQ(stored.value("Task_Start").toTime(), QTime(0, 0, 0));
    EXPECT_EQ(stored.value("Task_Duration").toTime(), QTime(0, 0, 15));
    EXPECT_EQ(stored.value("Record_Mode").toInt(), -1);
    EXPECT_EQ(stored.value("After_Record").toInt(), 1);
    EXPECT_EQ(stored.value("Split_Time").toUInt(), 200u);
    EXPECT_EQ(stored.value("Volume_Value").toInt(), 200);
    EXPECT_EQ(stored.value("Bit_Rate").toInt(), 192);
    EXPECT_EQ(stored.value("Sample_Rate").toInt(), 44100);
    EXPECT_EQ(stored.value("Auto_update").toInt(), 3);
    EXPECT_EQ(stored.value("Show_Mute").toInt(), 1);
    const QDate today = QDate::currentDate();
    EXPECT_EQ(stored.value("Update_year").toInt(), today.year());
    EXPECT_EQ(stored.value("Update_month").toInt(), today.month());
    EXPECT_EQ(stored.value("Update_day").toInt(), today.day());

    EXPECT_EQ(config->GetOutputPath(), QStringList{music});
    EXPECT_EQ(config->GetTaskDuration(), QTime(0, 0, 15));
    EXPECT_EQ(config->GetProxyType(), 0);
    EXPECT_EQ(FileMode(), 0600);
}

TEST_F(ConfigTest, EmptyOutputListResetsOnlyTheFirstRunKeys) {
    {
        QSettings s(m_file, QSettings::IniFormat);
        s.setValue("Log_Path", m_dir + "/mylogs");
        s.setValue("Output_Path", QStringList());
        s.setValue("Task_Start", QTime(1, 2, 3));
        s.setValue("Task_Duration", QTime(4, 5, 6));
        s.setValue("Volume_Value", 77);
        s.setValue("Bit_Rate", 320);
        s.setValue("Proxy_host", "proxy.lan");
        s.setValue("Update_year", 2020);
        s.setValue("User_Mail", "me@example.org");
    }
    auto config = CConfig::CreateForTesting(m_file);
    ASSERT_TRUE(config);
    const QString music = SpecialDirPath(SpecialDir_Music);
    EXPECT_EQ(config->GetLogPath(), SpecialDirPath(SpecialDir_ApplicationData));
    EXPECT_EQ(config->GetOutputPath(), QStringList{music});
    EXPECT_EQ(config->GetTaskStart(), QTime(0, 0, 0));
    EXPECT_EQ(config->GetTaskDuration(), QTime(0, 0, 15));
    EXPECT_EQ(config->GetVolumeValue(), 77);
    EXPECT_EQ(config->GetBitRate(), 320);
    EXPECT_EQ(config->GetProxyHost(), QStringLiteral("proxy.lan"));
    EXPECT_EQ(config->GetUpdateYear(), 2020);
    EXPECT_EQ(config->GetUserMail(), QStringLiteral("me@example.org"));
    // A file from before the key: every application is recorded.
    EXPECT_TRUE(config->GetRecordApplication().isEmpty());

    QSettings stored(m_file, QSettings::IniFormat);
    EXPECT_EQ(stored.value("Output_Path").toStringList(), QStringList{music});
    EXPECT_EQ(stored.value("Volume_Value").toInt(), 77);
    EXPECT_EQ(stored.value("Task_Duration").toTime(), QTime(0, 0, 15));
    EXPECT_EQ(stored.value("User_Mail").toString(), QStringLiteral("me@example.org"));
}

TEST_F(ConfigTest, HandWrittenEmptyOutputPathAlsoResets) {
    WriteRaw("[General]\nLog_Path=" + QFile::encodeName(m_dir) + "\nOutput_Path=\nVolume_Value=12\n");
    auto config = CConfig::CreateForTesting(m_file);
    ASSERT_TRUE(config);
    EXPECT_EQ(config->GetOutputPath(), QStringList{SpecialDirPath(SpecialDir_Music)});
    EXPECT_EQ(config->GetVolumeValue(), 12);
}

TEST_F(ConfigTest, StoredValuesAreKeptWhenNothingIsMissing) {
    WriteRaw("[General]\nLog_Path=" + QFile::encodeName(m_dir) +
             "/logs\nOutput_Path=/srv/rec, /srv/old\nTask_Start=12:30:00\n"
             "Split_Time=4000\nDEVIC_ID=\"Built-in Audio, Analog\"\nLog_File_Pos=123456789012\n");
    auto config = CConfig::CreateForTesting(m_file);
    ASSERT_TRUE(config);
    EXPECT_EQ(config->GetOutputPath(), (QStringList{"/srv/rec", "/srv/old"}));
    EXPECT_EQ(config->GetTaskStart(), QTime(12, 30, 0));
    EXPECT_EQ(config->GetSplitTime(), 4000u);
    EXPECT_EQ(config->GetDeviceId(), QStringLiteral("Built-in Audio, Analog"));
    EXPECT_EQ(config->GetLogFilePos(), 123456789012LL);
    // The getter creates the log folder.
    EXPECT_FALSE(QDir(m_dir + "/logs").exists());
    EXPECT_EQ(config->GetLogPath(), m_dir + "/logs");
    EXPECT_TRUE(QDir(m_dir + "/logs").exists());
}

TEST_F(ConfigTest, CorruptOrWrongTypedValuesFallBackToTheirDefaults) {
    WriteRaw("[General]\nLog_Path=" + QFile::encodeName(m_dir) +
             "\nOutput_Path=/srv/rec\n"
             "\x01\xff garbage without equals\n[[[\n"
             "Volume_Value=loud\nSplit_Time=-5\nSample_Rate=44.1k\nRecord_Mode=1.5\n"
             "Task_Start=@Variant(\\0\\0)\nTask_Duration=soon\nLog_File_Pos=many\n"
             "Bit_Rate=128, 320\nUpdate_Days=\nAuto_update=@Invalid()\n");
    auto config = CConfig::CreateForTesting(m_file);
    ASSERT_TRUE(config);
    EXPECT_EQ(config->GetOutputPath(), QStringList{"/srv/rec"});
    EXPECT_EQ(config->GetVolumeValue(), 200);
    EXPECT_EQ(config->GetSplitTime(), 200u);
    EXPECT_EQ(config->GetSampleRate(), 44100);
    EXPECT_EQ(config->GetRecordMode(), -1);
    EXPECT_EQ(config->GetTaskStart(), QTime(0, 0, 0));
    EXPECT_EQ(config->GetTaskDuration(), QTime(0, 0, 15));
    EXPECT_EQ(config->GetLogFilePos(), 0);
    EXPECT_EQ(config->GetBitRate(), 192);
    EXPECT_EQ(config->GetUpdateDays(), 1);
    EXPECT_EQ(config->GetAutoUpdate(), 3);
}

TEST_F(ConfigTest, SettersWriteTheirKeysAtOnce) {
    auto config = CConfig::CreateForTesting(m_file);
    ASSERT_TRUE(config);
    config->SetVolumeValue(55);
    EXPECT_TRUE(ReadRaw().contains("\nVolume_Value=55\n")) << ReadRaw().constData();
    config->SetOutputPath({"/srv/a", "/srv/b"});
    config->SetTaskStart(QTime(21, 15, 0));
    config->SetProxyPass("s3cr,et");
    config->SetUpdateDate(2025, 11, 3);
    config->SetUserMail("me@example.org");

    // A second reader of the file sees every change without any further
    // call on the object.
    QSettings stored(m_file, QSettings::IniFormat);
    EXPECT_EQ(stored.value("Volume_Value").toInt(), 55);
    EXPECT_EQ(stored.value("Output_Path").toStringList(), (QStringList{"/srv/a", "/srv/b"}));
    EXPECT_EQ(stored.value("Task_Start").toTime(), QTime(21, 15, 0));
    EXPECT_EQ(stored.value("Proxy_pass").toString(), QStringLiteral("s3cr,et"));
    EXPECT_EQ(stored.value("Update_year").toInt(), 2025);
    EXPECT_EQ(stored.value("Update_month").toInt(), 11);
    EXPECT_EQ(stored.value("Update_day").toInt(), 3);
    EXPECT_EQ(stored.value("User_Mail").toString(), QStringLiteral("me@example.org"));

    // And a fresh object reads them back.
    config.reset();
    auto again = CConfig::CreateForTesting(m_file);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->GetVolumeValue(), 55);
    EXPECT_EQ(again->GetOutputPath(), (QStringList{"/srv/a", "/srv/b"}));
    EXPECT_EQ(again->GetProxyPass(), QStringLiteral("s3cr,et"));
    EXPECT_EQ(again->GetUpdateMonth(), 11);
}

TEST_F(ConfigTest, FileHoldingThePasswordIsReadableByItsOwnerOnly) {
    WriteRaw("[General]\nLog_Path=/tmp\nOutput_Path=/srv/rec\n");
    ASSERT_EQ(chmod(QFile::encodeName(m_file).constData(), 0644), 0);
    auto config = CConfig::CreateForTesting(m_file);
    ASSERT_TRUE(config);
    EXPECT_EQ(FileMode(), 0600);
    config->SetProxyPass("hunter2");
    EXPECT_EQ(FileMode(), 0600);
    config->SaveAll();
    EXPECT_EQ(FileMode(), 0600);

    const QString fresh = m_dir + "/sub/tunecap.ini";
    auto created = CConfig::CreateForTesting(fresh);
    ASSERT_TRUE(created);
    struct stat st;
    ASSERT_EQ(stat(QFile::encodeName(fresh).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST_F(ConfigTest, UnreadableSettingsFileIsNotReplaced) {
    ASSERT_TRUE(QDir().mkpath(m_file));  // a folder where the file should be
    EXPECT_FALSE(CConfig::CreateForTesting(m_file));
    EXPECT_TRUE(QFileInfo(m_file).isDir());
}

TEST_F(ConfigTest, FileThatCannotBeParsedIsKeptBeforeItIsRewritten) {
    // A file a crash left half written: the folders are gone, so the
    // first-run defaults are written over it.
    const QByteArray damaged("Volume_Value=55\nProxy_host=proxy.lan\n"
                             "Output_Pa\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 62);
    WriteRaw(damaged);
    auto config = CConfig::CreateForTesting(m_file);
    ASSERT_TRUE(config);
    EXPECT_EQ(config->GetVolumeValue(), 55);
    EXPECT_FALSE(config->GetOutputPath().isEmpty());
    EXPECT_NE(ReadRaw(), damaged);

    // What the user had is still there, readable by its owner only.
    const QString kept = m_file + QStringLiteral(".unreadable");
    QFile copy(kept);
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), damaged);
    EXPECT_EQ(copy.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther), 0);

    // A file that reads cleanly leaves no copy behind.
    config.reset();
    ASSERT_TRUE(QFile::remove(kept));
    ASSERT_TRUE(CConfig::CreateForTesting(m_file));
    EXPECT_FALSE(QFile::exists(kept));
}

TEST_F(ConfigTest, ProxyRecordCarriesTheProxySettings) {
    auto config = CConfig::CreateForTesting(m_file);
    ASSERT_TRUE(config);
    config->SetProxyType(0);
    config->SetProxyHost("proxy.example.lan");
    config->SetProxyPort(3128);
    config->SetProxyName("j\xc3\xb6rg");
    // 16 bytes of room: 15 would cut the last two-byte character in half.
    config->SetProxyPass(QString::fromUtf8("pass-word-123\xc3\xa9\xc3\xa9"));

    MusicParserProxyParam param;
    std::memset(&param, 0xAB, sizeof param);
    config->FillProxyParam(&param);
    EXPECT_EQ(param.type, 0);
    EXPECT_EQ(param.port, 3128);
    EXPECT_STREQ(param.host, "proxy.example.lan");
    EXPECT_STREQ(param.userName, "j\xc3\xb6rg");
    EXPECT_STREQ(param.password, "pass-word-123\xc3\xa9");
    EXPECT_EQ(param.host[sizeof param.host - 1], 0);

    config->SetProxyType(-1);
    std::memset(&param, 0xAB, sizeof param);
    config->FillProxyParam(&param);
    MusicParserProxyParam none;
    std::memset(&none, 0, sizeof none);
    none.type = -1;
    EXPECT_EQ(std::memcmp(&param, &none, sizeof param), 0);
}

TEST_F(ConfigTest, OtherThreadsReadWhileTheSettingsChange) {
    auto config = CConfig::CreateForTesting(m_file);
    ASSERT_TRUE(config);
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 2; ++r) {
        readers.emplace_back([&] {
            while (!stop.load()) {
                const QString host = config->GetProxyHost();
                if (!host.isEmpty() && !host.startsWith(QLatin1String("proxy-"))) ++bad;
                const QStringList out = config->GetOutputPath();
                if (out.isEmpty()) ++bad;
                MusicParserProxyParam param;
                config->FillProxyParam(&param);
                if (param.host[0] && std::strncmp(param.host, "proxy-", 6) != 0) ++bad;
            }
        });
    }
    for (int i = 0; i < 40; ++i) {
        config->SetProxyHost(QStringLiteral("proxy-%1.example.lan").arg(i));
        config->SetOutputPath({QStringLiteral("/srv/rec%1").arg(i)});
    }
    stop = true;
    for (std::thread& t : readers) t.join();
    EXPECT_EQ(bad.load(), 0);
    EXPECT_EQ(config->GetProxyHost(), QStringLiteral("proxy-39.example.lan"));
}

// 7 December 2026 is a Monday.
const QDate kMonday(2026, 12, 7);

TEST(UpdateSchedule, OffOrUnknownModesNeverRun) {
    for (int mode : {-1, 0, 5, 99}) EXPECT_FALSE(IsUpdateCheckDue(mode, 1, 2000, 1, 1, kMonday)) << mode;
}

TEST(UpdateSchedule, NothingRunsUnlessTodayIsLaterThanTheLastCheck) {
    for (int mode = 1; mode <= 4; ++mode) {
        EXPECT_FALSE(IsUpdateCheckDue(mode, 0, 2026, 12, 7, kMonday)) << mode;   // same day
        EXPECT_FALSE(IsUpdateCheckDue(mode, 0, 2027, 1, 1, kMonday)) << mode;    // clock went back
    }
}

TEST(UpdateSchedule, EachModeFollowsItsRule) {
    // 1: every Update_Days days.
    EXPECT_FALSE(IsUpdateCheckDue(1, 3, 2026, 12, 5, kMonday));
    EXPECT_TRUE(IsUpdateCheckDue(1, 3, 2026, 12, 4, kMonday));
    EXPECT_TRUE(IsUpdateCheckDue(1, 1, 2026, 12, 6, kMonday));
    EXPECT_TRUE(IsUpdateCheckDue(1, 30, 2026, 11, 7, kMonday));
    EXPECT_FALSE(IsUpdateCheckDue(1, 31, 2026, 11, 7, kMonday));
    EXPECT_TRUE(IsUpdateCheckDue(1, 5, 0, 0, 0, kMonday));  // never checked
    // 2: every day.
    EXPECT_TRUE(IsUpdateCheckDue(2, 0, 2026, 12, 6, kMonday));
    EXPECT_TRUE(IsUpdateCheckDue(2, 0, 2026, 12, 7, kMonday.addDays(1)));
    // 3: on Mondays.
    EXPECT_TRUE(IsUpdateCheckDue(3, 0, 2026, 12, 6, kMonday));
    EXPECT_FALSE(IsUpdateCheckDue(3, 0, 2026, 12, 6, kMonday.addDays(1)));
    EXPECT_FALSE(IsUpdateCheckDue(3, 0, 2026, 11, 1, kMonday.addDays(-1)));
    // 4: in a later month.
    EXPECT_FALSE(IsUpdateCheckDue(4, 0, 2026, 12, 1, kMonday));
    EXPECT_TRUE(IsUpdateCheckDue(4, 0, 2026, 11, 30, kMonday));
    EXPECT_TRUE(IsUpdateCheckDue(4, 0, 2025, 12, 31, QDate(2026, 1, 2)));
}

TEST_F(ConfigTest, StoringTheCheckDateDefersTheNextCheck) {
    auto config = CConfig::CreateForTesting(m_file);
    ASSERT_TRUE(config);
    config->SetAutoUpdate(2);
    config->SetUpdateDate(2026, 12, 1);
    EXPECT_TRUE(config->IsUpdateCheckDue(kMonday));
    config->StoreUpdateCheckDate(kMonday);
    EXPECT_FALSE(config->IsUpdateCheckDue(kMonday));
    EXPECT_TRUE(config->IsUpdateCheckDue(kMonday.addDays(1)));
    QSettings stored(m_file, QSettings::IniFormat);
    EXPECT_EQ(stored.value("Update_day").toInt(), 7);
    EXPECT_EQ(stored.value("Auto_update").toInt(), 2);
}

}  // namespace
