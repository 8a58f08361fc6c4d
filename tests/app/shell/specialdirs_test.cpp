#include "specialdirs.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QStandardPaths>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/stat.h>

#include "privatehome.h"

namespace {

std::string Home() { return std::getenv("HOME"); }

bool IsDir(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

struct KindCase {
    int kind;
    std::string expected;  // below HOME
};

TEST(SpecialDirs, EveryKindIsItsXdgFolderWithTheMakerSuffix) {
    const KindCase cases[] = {
        {SpecialDir_Programs, "/.local/share/applications/Tavra/Tunecap"},
        {SpecialDir_Documents, "/Documents/Tavra/Tunecap"},
        {SpecialDir_Desktop, "/Desktop/Tavra/Tunecap"},
        {SpecialDir_Caches, "/.cache/Tavra/Tunecap"},
        {SpecialDir_ApplicationData, "/.local/share/Tavra/Tunecap"},
        {SpecialDir_Videos, "/Videos/Tavra/Tunecap"},
        {SpecialDir_Music, "/Music/Tavra/Tunecap"},
        {SpecialDir_Pictures, "/Pictures/Tavra/Tunecap"},
    };
    for (const KindCase& c : cases) {
        char buffer[kSpecialDirBufferSize];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(GetSpecialDir(buffer, c.kind), 0) << "kind " << c.kind;
        EXPECT_EQ(std::string(buffer), Home() + c.expected) << "kind " << c.kind;
        EXPECT_EQ(SpecialDirPath(c.kind).toStdString(), Home() + c.expected);
    }
}

TEST(SpecialDirs, UnknownKindsFailWithAnEmptyBuffer) {
    for (int kind : {-1, 1, 2, 3, 8, 12, 26, 39}) {
        char buffer[kSpecialDirBufferSize] = "stale";
        EXPECT_EQ(GetSpecialDir(buffer, kind), 1) << "kind " << kind;
        EXPECT_STREQ(buffer, "") << "kind " << kind;
    }
    EXPECT_EQ(GetSpecialDir(nullptr, SpecialDir_Music), 1);
}

TEST(SpecialDirs, FolderFromTheUserDirsFileAndUtf8) {
    // The music folder named in user-dirs.dirs, with a non-ASCII name.
    const std::string config = std::getenv("XDG_CONFIG_HOME");
    QDir().mkpath(QString::fromStdString(config));
    {
        std::ofstream dirs(config + "/user-dirs.dirs");
        dirs << "XDG_MUSIC_DIR=\"$HOME/Musik Ärger\"\n";
    }
    char buffer[kSpecialDirBufferSize];
    EXPECT_EQ(GetSpecialDir(buffer, SpecialDir_Music), 0);
    EXPECT_EQ(std::string(buffer), Home() + "/Musik \xc3\x84rger/Tavra/Tunecap");
    std::remove((config + "/user-dirs.dirs").c_str());
}

TEST(SpecialDirs, PathThatDoesNotFitTheBufferFails) {
    const std::string saved = std::getenv("XDG_CACHE_HOME");
    const std::string longRoot = "/tmp/" + std::string(520, 'c');
    setenv("XDG_CACHE_HOME", longRoot.c_str(), 1);
    char buffer[kSpecialDirBufferSize] = "stale";
    const int result = GetSpecialDir(buffer, SpecialDir_Caches);
    setenv("XDG_CACHE_HOME", saved.c_str(), 1);
    EXPECT_EQ(result, 1);
    EXPECT_STREQ(buffer, "");
}

class CreateDirectoryTreeTest : public ::testing::Test {
protected:
    void SetUp() override { m_root = testsupport::makeTempDir("tunecap-dirs"); }
    void TearDown() override { testsupport::removeTree(m_root); }
    std::string m_root;
};

TEST_F(CreateDirectoryTreeTest, CreatesNestedFoldersAndAcceptsExistingOnes) {
    const std::string nested = m_root + "/a/b c/\xc3\xa9t\xc3\xa9/d";
    EXPECT_EQ(CreateDirectoryTree(nested.c_str()), 0);
    EXPECT_TRUE(IsDir(nested));
    EXPECT_EQ(CreateDirectoryTree(nested.c_str()), 0);
    EXPECT_EQ(CreateDirectoryTree((m_root + "//x///y/").c_str()), 0);
    EXPECT_TRUE(IsDir(m_root + "/x/y"));
}

TEST_F(CreateDirectoryTreeTest, ImpossiblePathsReportTheError) {
    const std::string file = m_root + "/plain";
    std::ofstream(file) << "x";
    EXPECT_EQ(CreateDirectoryTree(file.c_str()), ENOTDIR);
    EXPECT_EQ(CreateDirectoryTree((file + "/below").c_str()), ENOTDIR);
    EXPECT_FALSE(IsDir(file + "/below"));
    EXPECT_EQ(CreateDirectoryTree(""), EINVAL);
    EXPECT_EQ(CreateDirectoryTree(nullptr), EINVAL);
    const std::string tooLong = m_root + "/" + std::string(1100, 'n');
    EXPECT_EQ(CreateDirectoryTree(tooLong.c_str()), ENAMETOOLONG);
    // /proc refuses new folders even to root.
    EXPECT_NE(CreateDirectoryTree("/proc/tunecap-no/such"), 0);
}

}  // namespace
