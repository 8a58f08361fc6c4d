// Writing a song's tags into its file: writers of songs in one folder at
// the same time, the song replaced in one step (never missing, never half
// written), and a write that fails leaving the song as it was.
#include <QFileInfo>

#include <atomic>
#include <thread>

#include "downloadfixture.h"
#include "editing/musictagswriter.h"

namespace {

using songtest::FilesIn;
using songtest::ReadFile;
using songtest::ReadTags;

class TagWriterTest : public songtest::SongFixture {
protected:
    SongRecord Song(int id, const QString& title) {
        SongRecord record = AddSong(id, title, true, title + QStringLiteral(".mp3"));
        SetTagText(record.tags.artist, QStringLiteral("Artist %1").arg(id));
        return record;
    }
};

TEST_F(TagWriterTest, TwoWritesInOneFolderAtTheSameTimeBothSucceed) {
    const SongRecord first = Song(1, QStringLiteral("First"));
    const SongRecord second = Song(2, QStringLiteral("Second"));
    const QStringList before = FilesIn(Dir());
    std::atomic<int> failures{0};
    auto writer = [&failures](const SongRecord& record) {
        for (int i = 0; i < 10; ++i)
            if (WriteMusicTags(record) != MusicTags_Written) ++failures;
    };
    std::thread a(writer, std::cref(first));
    std::thread b(writer, std::cref(second));
    a.join();
    b.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(ReadTags(first.MusicPath).value(QStringLiteral("TIT2")).toString(),
              QStringLiteral("First"));
    EXPECT_EQ(ReadTags(first.MusicPath).value(QStringLiteral("TPE1")).toString(),
              QStringLiteral("Artist 1"));
    EXPECT_EQ(ReadTags(second.MusicPath).value(QStringLiteral("TIT2")).toString(),
              QStringLiteral("Second"));
    EXPECT_EQ(FilesIn(Dir()), before);
}

TEST_F(TagWriterTest, SongIsReplacedInOneStepAndNeverMissing) {
    SongRecord record = Song(1, QStringLiteral("Song"));
    const QByteArray audio = songtest::AudioSha1(record.MusicPath);
    const qint64 untagged = QFileInfo(record.MusicPath).size();
    ASSERT_EQ(WriteMusicTags(record), MusicTags_Written);
    const qint64 tagged = QFileInfo(record.MusicPath).size();
    ASSERT_GT(tagged, untagged);

    // A reader looks at the song all the time while it is written again
    // and again: it always finds the whole file.
    std::atomic<bool> done{false};
    std::atomic<int> missing{0};
    std::atomic<int> partial{0};
    std::thread reader([&] {
        while (!done.load()) {
            const QFileInfo info(record.MusicPath);
            if (!info.exists())
                ++missing;
            else if (info.size() != tagged)
                ++partial;
        }
    });
    for (int i = 0; i < 30; ++i) EXPECT_EQ(WriteMusicTags(record), MusicTags_Written);
    done = true;
    reader.join();
    EXPECT_EQ(missing.load(), 0);
    EXPECT_EQ(partial.load(), 0);
    EXPECT_EQ(songtest::AudioSha1(record.MusicPath), audio);
}

TEST_F(TagWriterTest, FailedWriteLeavesTheSongAsItWasAndOnlyMp3FilesAreWritten) {
    // An old tag that claims more bytes than the file has.
    SongRecord broken = AddSong(1, QStringLiteral("Broken"), false, QStringLiteral("Broken.mp3"));
    QByteArray bytes("ID3\x03\x00\x00\x7f\x7f\x7f\x7f", 10);
    bytes += QByteArray(100, 'x');
    ASSERT_TRUE(songtest::WriteFile(broken.MusicPath, bytes));
    const QStringList before = FilesIn(Dir());
    EXPECT_NE(WriteMusicTags(broken), MusicTags_Written);
    EXPECT_EQ(ReadFile(broken.MusicPath), bytes);
    EXPECT_EQ(FilesIn(Dir()), before);

    SongRecord wav = AddSong(2, QStringLiteral("Wave"), false, QStringLiteral("Wave.wav"));
    ASSERT_TRUE(songtest::MakeWav(wav.MusicPath, 0.5));
    const QByteArray sound = ReadFile(wav.MusicPath);
    EXPECT_EQ(WriteMusicTags(wav), MusicTags_NotMp3);
    EXPECT_EQ(ReadFile(wav.MusicPath), sound);
}

}  // namespace
