// jukebridge end to end: where it finds the "Automatically Add to iTunes"
// folder, and songs (an MP3 made by sox and lame, a WAV file) copied into it
// with their tags, read back by mutagen.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <string>
#include <vector>

#include "jukebridge.h"
#include "privatehome.h"
#include "tagfiles.h"

namespace {

using tagtest::Bytes;
using tagtest::kPng;
using tagtest::ReadBytes;
using tagtest::WriteBytes;

std::string UsualFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::MusicLocation).toStdString() +
           "/iTunes/iTunes Media/Automatically Add to iTunes";
}

void MakeFolder(const std::string& path) {
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(path))) << path;
}

// The bridge's own settings file with the folder key set.
void WriteSetting(const std::string& folder) {
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                        QStringLiteral("/Tavra/Tunecap");
    QSettings settings(dir + QStringLiteral("/jukebridge.ini"), QSettings::IniFormat);
    settings.setValue(QStringLiteral("AutoAddFolder"), QString::fromStdString(folder));
    settings.sync();
    ASSERT_EQ(settings.status(), QSettings::NoError);
}

TEST(JukebridgeRecord, LayoutIsFixed) {
    EXPECT_EQ(sizeof(iTunesSongInfo), 56u);
    EXPECT_EQ(offsetof(iTunesSongInfo, file), 0u);
    EXPECT_EQ(offsetof(iTunesSongInfo, title), 8u);
    EXPECT_EQ(offsetof(iTunesSongInfo, artist), 16u);
    EXPECT_EQ(offsetof(iTunesSongInfo, album), 24u);
    EXPECT_EQ(offsetof(iTunesSongInfo, genre), 32u);
    EXPECT_EQ(offsetof(iTunesSongInfo, year), 40u);
    EXPECT_EQ(sizeof(iTunesSongInfo::year), 4u);
    EXPECT_EQ(offsetof(iTunesSongInfo, cover), 48u);
}

// The folder is looked up in the environment, then the settings file, then
// the music folder; only an existing, writable folder counts.
TEST(JukebridgeFolder, PresentOnlyWhenTheFolderExistsAndTheOverridesWin) {
    unsetenv("TUNECAP_ITUNES_FOLDER");
    EXPECT_EQ(Pub_initializeiTunesDriver(), JUKEBRIDGE_ERR_NO_FOLDER);
    iTunesSongInfo song{};
    song.file = "/etc/hostname";
    EXPECT_EQ(AddSongForiTunes(song, 1), JUKEBRIDGE_ERR_NOT_INITIALISED);
    EXPECT_EQ(Pub_uninitializeiTunesDriver(), JUKEBRIDGE_ERR_NOT_INITIALISED);

    // The usual place in the music folder.
    MakeFolder(UsualFolder());
    EXPECT_EQ(Pub_initializeiTunesDriver(), JUKEBRIDGE_OK);
    EXPECT_EQ(Pub_uninitializeiTunesDriver(), JUKEBRIDGE_OK);
    EXPECT_EQ(Pub_uninitializeiTunesDriver(), JUKEBRIDGE_ERR_NOT_INITIALISED);

    // The setting replaces the usual place, "~/" standing for the home.
    WriteSetting("~/elsewhere");
    EXPECT_EQ(Pub_initializeiTunesDriver(), JUKEBRIDGE_ERR_NO_FOLDER);
    MakeFolder(QDir::homePath().toStdString() + "/elsewhere");
    EXPECT_EQ(Pub_initializeiTunesDriver(), JUKEBRIDGE_OK);

    // The environment replaces both; a file is no folder. A failed look
    // leaves the bridge uninitialised.
    const std::string dir = testsupport::makeTempDir("jukebridge-env");
    const std::string file = dir + "/plain";
    WriteBytes(file, {1, 2, 3});
    setenv("TUNECAP_ITUNES_FOLDER", file.c_str(), 1);
    EXPECT_EQ(Pub_initializeiTunesDriver(), JUKEBRIDGE_ERR_NO_FOLDER);
    EXPECT_EQ(AddSongForiTunes(song, 0), JUKEBRIDGE_ERR_NOT_INITIALISED);
    setenv("TUNECAP_ITUNES_FOLDER", dir.c_str(), 1);
    EXPECT_EQ(Pub_initializeiTunesDriver(), JUKEBRIDGE_OK);
    EXPECT_EQ(Pub_uninitializeiTunesDriver(), JUKEBRIDGE_OK);

    if (geteuid() != 0) {  // root writes anywhere
        ASSERT_EQ(chmod(dir.c_str(), 0555), 0);
        EXPECT_EQ(Pub_initializeiTunesDriver(), JUKEBRIDGE_ERR_FOLDER_NOT_WRITABLE);
        chmod(dir.c_str(), 0755);
    }
    unsetenv("TUNECAP_ITUNES_FOLDER");
    testsupport::removeTree(dir);
}

class JukebridgeCopyTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = testsupport::makeTempDir("jukebridge-songs");
        ASSERT_NO_FATAL_FAILURE(tagtest::MakeTone(s_dir, 1.0, &s_mp3, &s_wav));
        ASSERT_GT(s_mp3.size(), 1000u);
    }
    static void TearDownTestSuite() { testsupport::removeTree(s_dir); }

    void SetUp() override {
        m_songs = testsupport::makeTempDir("jukebridge-source");
        m_folder = testsupport::makeTempDir("jukebridge-folder");
        setenv("TUNECAP_ITUNES_FOLDER", m_folder.c_str(), 1);
        ASSERT_EQ(Pub_initializeiTunesDriver(), JUKEBRIDGE_OK);
        m_cover = m_songs + "/cover.png";
        WriteBytes(m_cover, kPng);
    }
    void TearDown() override {
        Pub_uninitializeiTunesDriver();
        unsetenv("TUNECAP_ITUNES_FOLDER");
        testsupport::removeTree(m_songs);
        testsupport::removeTree(m_folder);
    }

    std::string Song(const std::string& name, const Bytes& bytes) {
        const std::string path = m_songs + "/" + name;
        WriteBytes(path, bytes);
        return path;
    }
    std::vector<std::string> Folder() const {
        std::vector<std::string> names = tagtest::ListFolder(m_folder);
        std::sort(names.begin(), names.end());
        return names;
    }

    static std::string s_dir;
    static Bytes s_mp3;
    static Bytes s_wav;
    std::string m_songs;
    std::string m_folder;
    std::string m_cover;
};
std::string JukebridgeCopyTest::s_dir;
Bytes JukebridgeCopyTest::s_mp3;
Bytes JukebridgeCopyTest::s_wav;

TEST_F(JukebridgeCopyTest, CopyCarriesTagsAndCoverAndLeavesTheSourceAlone) {
    const std::string source = Song("AU20240301120000.mp3", s_mp3);
    iTunesSongInfo song{};
    song.file = source.c_str();
    song.title = "Blåbær Song";
    song.artist = "The Artist";
    song.album = "An Album";
    song.genre = "Pop";
    song.year = 1999;
    song.cover = m_cover.c_str();
    EXPECT_EQ(AddSongForiTunes(song, 1), JUKEBRIDGE_OK);

    ASSERT_EQ(Folder(), std::vector<std::string>{"AU20240301120000.mp3"});
    const tagtest::TagReadBack tag = tagtest::ReadWithMutagen(m_folder + "/AU20240301120000.mp3");
    ASSERT_TRUE(tag.hasTag);
    EXPECT_EQ(tag.text.at("TIT2"), "Blåbær Song");
    EXPECT_EQ(tag.text.at("TPE1"), "The Artist");
    EXPECT_EQ(tag.text.at("TALB"), "An Album");
    EXPECT_EQ(tag.text.at("TCON"), "Pop");
    EXPECT_EQ(tag.text.at("TYER"), "1999");
    EXPECT_EQ(tag.picture, kPng);
    EXPECT_EQ(tag.pictureMime, "image/png");
    // The audio follows the tag unchanged; the source has no tag still.
    const Bytes copy = ReadBytes(m_folder + "/AU20240301120000.mp3");
    ASSERT_EQ(copy.size(), tag.size + s_mp3.size());
    EXPECT_TRUE(std::equal(s_mp3.begin(), s_mp3.end(), copy.begin() + long(tag.size)));
    EXPECT_EQ(ReadBytes(source), s_mp3);
}

TEST_F(JukebridgeCopyTest, TakenNamesAreNeverOverwritten) {
    const std::string source = Song("Song.mp3", s_mp3);
    const Bytes other = {'o', 't', 'h', 'e', 'r'};
    WriteBytes(m_folder + "/Song.mp3", other);
    iTunesSongInfo song{};
    song.file = source.c_str();
    song.title = "Second";
    EXPECT_EQ(AddSongForiTunes(song, 0), JUKEBRIDGE_OK);
    song.title = "Third";
    EXPECT_EQ(AddSongForiTunes(song, 1), JUKEBRIDGE_OK);

    EXPECT_EQ(Folder(), (std::vector<std::string>{"Song (2).mp3", "Song (3).mp3", "Song.mp3"}));
    EXPECT_EQ(ReadBytes(m_folder + "/Song.mp3"), other);
    EXPECT_EQ(tagtest::ReadWithMutagen(m_folder + "/Song (2).mp3").text.at("TIT2"), "Second");
    EXPECT_EQ(tagtest::ReadWithMutagen(m_folder + "/Song (3).mp3").text.at("TIT2"), "Third");
}

TEST_F(JukebridgeCopyTest, MissingItemsAreLeftOutAndABadCoverStillCopiesTheTexts) {
    const std::string source = Song("plain.mp3", s_mp3);
    iTunesSongInfo song{};
    song.file = source.c_str();
    song.title = "Only a title";
    song.artist = "";
    song.year = 0;
    song.cover = nullptr;
    EXPECT_EQ(AddSongForiTunes(song, 0), JUKEBRIDGE_OK);
    tagtest::TagReadBack tag = tagtest::ReadWithMutagen(m_folder + "/plain.mp3");
    EXPECT_EQ(tag.text.at("TIT2"), "Only a title");
    EXPECT_EQ(tag.text.count("TYER"), 0u);
    EXPECT_EQ(tag.text.count("TPE1"), 0u);
    EXPECT_TRUE(tag.picture.empty());

    const std::string broken = Song("broken.png", {'n', 'o', 't'});
    song.cover = broken.c_str();
    song.year = 2001;
    EXPECT_EQ(AddSongForiTunes(song, 1), JUKEBRIDGE_COPIED_WITHOUT_COVER);
    tag = tagtest::ReadWithMutagen(m_folder + "/plain (2).mp3");
    EXPECT_EQ(tag.text.at("TIT2"), "Only a title");
    EXPECT_EQ(tag.text.at("TYER"), "2001");
    EXPECT_TRUE(tag.picture.empty());
}

TEST_F(JukebridgeCopyTest, WavIsCopiedAsItIs) {
    const std::string source = Song("AU20240301130000.wav", s_wav);
    iTunesSongInfo song{};
    song.file = source.c_str();
    song.title = "A WAV song";
    song.cover = m_cover.c_str();
    EXPECT_EQ(AddSongForiTunes(song, 1), JUKEBRIDGE_COPIED_WITHOUT_TAGS);
    EXPECT_EQ(ReadBytes(m_folder + "/AU20240301130000.wav"), s_wav);
}

TEST_F(JukebridgeCopyTest, FailuresAddNothingAndLeaveNoTemporaryFile) {
    iTunesSongInfo song{};
    EXPECT_EQ(AddSongForiTunes(song, 0), JUKEBRIDGE_ERR_NO_FILE);
    song.file = "";
    EXPECT_EQ(AddSongForiTunes(song, 0), JUKEBRIDGE_ERR_NO_FILE);
    const std::string missing = m_songs + "/gone.mp3";
    song.file = missing.c_str();
    EXPECT_EQ(AddSongForiTunes(song, 0), JUKEBRIDGE_ERR_SOURCE);
    song.file = m_songs.c_str();  // a folder
    EXPECT_EQ(AddSongForiTunes(song, 0), JUKEBRIDGE_ERR_SOURCE);
    const std::string fifo = m_songs + "/fifo.mp3";  // refused without blocking
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    song.file = fifo.c_str();
    EXPECT_EQ(AddSongForiTunes(song, 0), JUKEBRIDGE_ERR_SOURCE);
    // An MP3 whose old tag announces more than the file holds.
    Bytes cut = tagtest::Id3Header(100000);
    cut.insert(cut.end(), s_mp3.begin(), s_mp3.begin() + 100);
    const std::string truncated = Song("cut.mp3", cut);
    song.file = truncated.c_str();
    EXPECT_EQ(AddSongForiTunes(song, 0), JUKEBRIDGE_ERR_SOURCE);
    EXPECT_TRUE(Folder().empty());

    // The folder is removed after initialisation.
    const std::string source = Song("fine.mp3", s_mp3);
    song.file = source.c_str();
    testsupport::removeTree(m_folder);
    EXPECT_EQ(AddSongForiTunes(song, 1), JUKEBRIDGE_ERR_WRITE);
    MakeFolder(m_folder);
    // It turns read-only.
    if (geteuid() != 0) {
        ASSERT_EQ(chmod(m_folder.c_str(), 0555), 0);
        EXPECT_EQ(AddSongForiTunes(song, 1), JUKEBRIDGE_ERR_WRITE);
        chmod(m_folder.c_str(), 0755);
        EXPECT_TRUE(Folder().empty());
    }
}

}  // namespace
