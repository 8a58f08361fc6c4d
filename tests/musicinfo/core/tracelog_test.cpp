// The service log: where entries go as files fill up.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "coretestsupport.h"
#include "log/tracelog.h"
#include "privatehome.h"

namespace {

class TraceLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = testsupport::makeTempDir("tunecap-log") + "/";
        aws::TraceLog::Instance().SetFolder(m_dir);
    }
    void TearDown() override {
        aws::TraceLog::Instance().Close();
        aws::TraceLog::Instance().SetFolder("");
        testsupport::removeTree(m_dir);
    }
    // A file of `size` bytes without writing them (sparse).
    void MakeFile(const std::string& name, off_t size) {
        ASSERT_TRUE(coretest::WriteFile(m_dir + name, ""));
        ASSERT_EQ(::truncate((m_dir + name).c_str(), size), 0);
    }
    off_t SizeOf(const std::string& name) const {
        struct stat st {};
        return ::stat((m_dir + name).c_str(), &st) == 0 ? st.st_size : -1;
    }
    std::string m_dir;
};

constexpr off_t kFull = 10485760;

TEST_F(TraceLogTest, EntriesAppendToTheBaseFileWhileItHasRoom) {
    ASSERT_TRUE(aws::TraceLog::Instance().Write("first\n"));
    ASSERT_TRUE(aws::TraceLog::Instance().Write("second\n"));
    EXPECT_EQ(coretest::ReadFile(m_dir + "musicinfo.log"), "first\nsecond\n");
    aws::TraceLog::Instance().Close();
    ASSERT_TRUE(aws::TraceLog::Instance().Write("third\n"));  // reopened for append
    EXPECT_EQ(coretest::ReadFile(m_dir + "musicinfo.log"), "first\nsecond\nthird\n");
}

TEST_F(TraceLogTest, AFileOfExactlyTenMebibytesIsFull) {
    MakeFile("musicinfo.log", kFull);
    ASSERT_TRUE(aws::TraceLog::Instance().Write("entry\n"));
    EXPECT_EQ(SizeOf("musicinfo.log"), kFull);
    EXPECT_EQ(coretest::ReadFile(m_dir + "musicinfo_1.log"), "entry\n");
}

TEST_F(TraceLogTest, WithBaseAndFirstFileFullTheEntryGoesToTheSecond) {
    MakeFile("musicinfo.log", kFull);
    MakeFile("musicinfo_1.log", kFull + 5);
    ASSERT_TRUE(aws::TraceLog::Instance().Write("entry\n"));
    EXPECT_EQ(SizeOf("musicinfo_1.log"), kFull + 5);
    EXPECT_EQ(coretest::ReadFile(m_dir + "musicinfo_2.log"), "entry\n");
}

TEST_F(TraceLogTest, TheEntryThatFillsAFileIsKeptAndTheNextGoesOn) {
    MakeFile("musicinfo.log", kFull - 3);
    ASSERT_TRUE(aws::TraceLog::Instance().Write("abc"));  // exactly full now
    EXPECT_EQ(SizeOf("musicinfo.log"), kFull);
    ASSERT_TRUE(aws::TraceLog::Instance().Write("next\n"));
    EXPECT_EQ(SizeOf("musicinfo.log"), kFull);
    EXPECT_EQ(coretest::ReadFile(m_dir + "musicinfo_1.log"), "next\n");
}

TEST_F(TraceLogTest, ChooseFileSplitsNameAndExtension) {
    MakeFile("musicinfo.log", kFull);
    EXPECT_EQ(aws::TraceLog::ChooseFile(m_dir + "musicinfo.log"), m_dir + "musicinfo_1.log");
    MakeFile("plain", kFull);
    EXPECT_EQ(aws::TraceLog::ChooseFile(m_dir + "plain"), m_dir + "plain_1");
}

TEST_F(TraceLogTest, WithoutAFolderOrAWritableFolderEntriesAreDropped) {
    aws::TraceLog::Instance().SetFolder("");
    EXPECT_FALSE(aws::TraceLog::Instance().Write("lost\n"));
    ASSERT_TRUE(coretest::WriteFile(m_dir + "file", "x"));
    aws::TraceLog::Instance().SetFolder(m_dir + "file/");
    EXPECT_FALSE(aws::TraceLog::Instance().Write("lost\n"));
    aws::TraceLog::Instance().SetFolder(m_dir);
    EXPECT_TRUE(aws::TraceLog::Instance().Write("kept\n"));
    EXPECT_EQ(coretest::ReadFile(m_dir + "musicinfo.log"), "kept\n");
}

}  // namespace
