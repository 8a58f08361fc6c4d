// SetMusicTagsInfo end to end: MP3 files made by the lame encoder from a sox
// tone, tags read back by mutagen and ffprobe.

#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <future>
#include <string>
#include <vector>

#include "capdev_tags.h"
#include "privatehome.h"
#include "tagfiles.h"

using namespace tagtest;

namespace {

class TagWriterTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = testsupport::makeTempDir("tagwriter");
        ASSERT_NO_FATAL_FAILURE(MakeTone(s_dir, 1.5, &s_audio));
        ASSERT_GT(s_audio.size(), 1000u);
        ASSERT_EQ(s_audio[0], 0xFF);  // the first MP3 frame, no tag
    }
    static void TearDownTestSuite() { testsupport::removeTree(s_dir); }

    void SetUp() override {
        m_dir = testsupport::makeTempDir("tagcase");
        m_source = m_dir + "/source.mp3";
        m_destination = m_dir + "/tagged.mp3";
        m_cover = m_dir + "/cover.png";
        WriteBytes(m_source, s_audio);
        WriteBytes(m_cover, kPng);
    }
    void TearDown() override { testsupport::removeTree(m_dir); }

    int Tag(const MusicTagsInfo* tags) {
        return SetMusicTagsInfo(tags, Wide(m_source).c_str(), Wide(m_destination).c_str());
    }

    // Tag() with `fifo` named in the call: a call still blocked after ten
    // seconds fails the test and is freed by opening the FIFO's other end.
    int TagBesideFifo(const MusicTagsInfo* tags, const std::string& fifo) {
        auto call = std::async(std::launch::async, [&] { return Tag(tags); });
        if (call.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            ADD_FAILURE() << "the call blocked on " << fifo;
            const int fd = ::open(fifo.c_str(), O_WRONLY);
            if (fd >= 0) ::close(fd);
        }
        return call.get();
    }

    // Names in the test folder that start with a dot: temporary files left
    // behind.
    std::vector<std::string> Leftovers() const {
        std::vector<std::string> left;
        for (const std::string& name : ListFolder(m_dir))
            if (name.front() == '.') left.push_back(name);
        return left;
    }

    // The bytes of `path` after its tag, as mutagen measures the tag.
    static Bytes AudioAfterTag(const std::string& path) {
        TagReadBack tag = ReadWithMutagen(path);
        const Bytes all = ReadBytes(path);
        return Bytes(all.begin() + static_cast<std::ptrdiff_t>(tag.size), all.end());
    }

    static std::string s_dir;
    static Bytes s_audio;
    std::string m_dir;
    std::string m_source;
    std::string m_destination;
    std::string m_cover;
};

std::string TagWriterTest::s_dir;
Bytes TagWriterTest::s_audio;

TEST(MusicTagsInfoRecord, LayoutIsSixPointersInOrder) {
    EXPECT_EQ(sizeof(MusicTagsInfo), 6 * sizeof(void*));
    EXPECT_EQ(offsetof(MusicTagsInfo, title), 0 * sizeof(void*));
    EXPECT_EQ(offsetof(MusicTagsInfo, artist), 1 * sizeof(void*));
    EXPECT_EQ(offsetof(MusicTagsInfo, album), 2 * sizeof(void*));
    EXPECT_EQ(offsetof(MusicTagsInfo, year), 3 * sizeof(void*));
    EXPECT_EQ(offsetof(MusicTagsInfo, genre), 4 * sizeof(void*));
    EXPECT_EQ(offsetof(MusicTagsInfo, picture), 5 * sizeof(void*));
}

TEST(MusicTagsInfoRecord, WriterIsExportedByTheEngineAlone) {
    const std::string library = std::string(std::getenv("TUNECAP_BIN_DIR")) + "/libcapdev.so";
    void* handle = ::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << ::dlerror();
    EXPECT_NE(::dlsym(handle, "SetMusicTagsInfo"), nullptr);
    EXPECT_EQ(::dlsym(handle, "_ZN6capdev11LocateAudioERKSt8functionIFlmPvmEEmPm"), nullptr)
        << "internal functions are visible";
    ::dlclose(handle);
}

TEST_F(TagWriterTest, EveryItemIsReadBackByIndependentReaders) {
    // "Synthpop" is in the genre list of ID3v1 as "SynthPop": it stays as given.
    const MusicTagsInfo tags{"Night Drive", "The Testers", "Loopback Sessions", "2019",
                             "Synthpop",    m_cover.c_str()};
    ASSERT_EQ(Tag(&tags), 0);

    TagReadBack tag = ReadWithMutagen(m_destination);
    ASSERT_TRUE(tag.hasTag);
    EXPECT_EQ(tag.version, 3);
    EXPECT_EQ(tag.text["TIT2"], "Night Drive");
    EXPECT_EQ(tag.text["TPE1"], "The Testers");
    EXPECT_EQ(tag.text["TALB"], "Loopback Sessions");
    EXPECT_EQ(tag.text["TYER"], "2019");
    EXPECT_EQ(tag.text["TCON"], "Synthpop");
    for (const char* frame : {"TIT2", "TPE1", "TALB", "TYER", "TCON"}) {
        EXPECT_EQ(tag.encoding[frame], 1) << frame << " is not UTF-16 with a byte-order mark";
    }
    EXPECT_EQ(tag.pictureMime, "image/png");
    EXPECT_EQ(tag.picture, kPng);

    const auto probed = ReadWithFfprobe(m_destination);
    EXPECT_EQ(probed.at("title"), "Night Drive");
    EXPECT_EQ(probed.at("artist"), "The Testers");
    EXPECT_EQ(probed.at("album"), "Loopback Sessions");
    EXPECT_EQ(probed.at("genre"), "Synthpop");
    EXPECT_EQ(probed.at("date"), "2019");

    EXPECT_EQ(AudioAfterTag(m_destination), s_audio);
    EXPECT_EQ(ReadBytes(m_source), s_audio) << "the source was changed";
}

TEST_F(TagWriterTest, OldTagOf4096BytesIsLeftOut) {
    Bytes source = Id3Header(4096);
    ASSERT_EQ(source[8], 32);  // bytes 6 to 9: 0, 0, 32, 0
    Bytes body(4096, 'x');
    const std::string marker = "OLDTAGMARKER";
    std::copy(marker.begin(), marker.end(), body.begin() + 100);
    source.insert(source.end(), body.begin(), body.end());
    source.insert(source.end(), s_audio.begin(), s_audio.end());
    WriteBytes(m_source, source);

    const MusicTagsInfo tags{"New", nullptr, nullptr, nullptr, nullptr, nullptr};
    ASSERT_EQ(Tag(&tags), 0);
    EXPECT_EQ(AudioAfterTag(m_destination), s_audio);
    const Bytes out = ReadBytes(m_destination);
    EXPECT_EQ(std::search(out.begin(), out.end(), marker.begin(), marker.end()), out.end());
    EXPECT_EQ(ReadWithMutagen(m_destination).text["TIT2"], "New");
}

TEST_F(TagWriterTest, LongTitleIsCutTo126Units) {
    std::string title;
    for (int i = 0; i < 200; ++i) {
        title += static_cast<char>('a' + i % 26);
    }
    const MusicTagsInfo tags{title.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr};
    ASSERT_EQ(Tag(&tags), 0);
    EXPECT_EQ(ReadWithMutagen(m_destination).text["TIT2"], title.substr(0, 126));
}

TEST_F(TagWriterTest, NonAsciiTextsKeepEveryCharacter) {
    const std::string groesse = "Gr\xC3\xB6\xC3\x9F" "e";
    const std::string emoji = "Smile \xF0\x9F\x98\x80 \xF0\xA0\x80\x8B";  // U+1F600, U+2000B
    const MusicTagsInfo tags{emoji.c_str(), groesse.c_str(), nullptr, nullptr, nullptr, nullptr};
    ASSERT_EQ(Tag(&tags), 0);
    TagReadBack tag = ReadWithMutagen(m_destination);
    EXPECT_EQ(tag.text["TIT2"], emoji);
    EXPECT_EQ(tag.text["TPE1"], groesse);

    // The artist frame itself: encoding 1, U+FEFF, the five units of the word.
    const Bytes out = ReadBytes(m_destination);
    const Bytes frame = {'T', 'P', 'E', '1', 0, 0, 0, 13, 0, 0, 1, 0xFF, 0xFE,
                         'G', 0, 'r', 0, 0xF6, 0, 0xDF, 0, 'e', 0};
    EXPECT_NE(std::search(out.begin(), out.end(), frame.begin(), frame.end()), out.end());
}

TEST_F(TagWriterTest, PairAtTheCutIsLeftOutWhole) {
    std::string title(125, 'q');
    title += "\xF0\x9F\x98\x80";
    const MusicTagsInfo tags{title.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr};
    ASSERT_EQ(Tag(&tags), 0);
    EXPECT_EQ(ReadWithMutagen(m_destination).text["TIT2"], std::string(125, 'q'));
}

TEST_F(TagWriterTest, NoItemsCopiesTheAudioAlone) {
    const MusicTagsInfo none{nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    EXPECT_EQ(Tag(&none), 0);
    EXPECT_EQ(ReadBytes(m_destination), s_audio);
    EXPECT_EQ(Tag(nullptr), 0);
    EXPECT_EQ(ReadBytes(m_destination), s_audio);
    // A genre alone, and one that is a number.
    const MusicTagsInfo genre{nullptr, nullptr, nullptr, nullptr, "1990", nullptr};
    EXPECT_EQ(Tag(&genre), 0);
    TagReadBack tag = ReadWithMutagen(m_destination);
    EXPECT_EQ(tag.text["TCON"], "1990");
    EXPECT_EQ(tag.encoding["TCON"], 1);
    EXPECT_EQ(AudioAfterTag(m_destination), s_audio);
    EXPECT_EQ(Tag(&none), 0);
    EXPECT_EQ(ReadBytes(m_destination), s_audio);
}

TEST_F(TagWriterTest, PictureProblemsKeepTheTextFrames) {
    const std::string missing = m_dir + "/none.png";
    MusicTagsInfo tags{"Kept", nullptr, nullptr, nullptr, nullptr, missing.c_str()};
    EXPECT_EQ(Tag(&tags), 1);
    TagReadBack tag = ReadWithMutagen(m_destination);
    EXPECT_EQ(tag.text["TIT2"], "Kept");
    EXPECT_TRUE(tag.picture.empty());
    EXPECT_EQ(AudioAfterTag(m_destination), s_audio);

    const std::string text = m_dir + "/notes.txt";
    WriteBytes(text, Bytes{'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'});
    tags.picture = text.c_str();
    EXPECT_EQ(Tag(&tags), 4);
    EXPECT_EQ(ReadWithMutagen(m_destination).text["TIT2"], "Kept");
}

// A picture that is not a regular file is refused at once, with the
// picture's result; the text frames and the audio are written.
TEST_F(TagWriterTest, FifoPictureIsRefusedWithoutBlocking) {
    const std::string fifo = m_dir + "/cover.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const MusicTagsInfo tags{"Kept", nullptr, nullptr, nullptr, nullptr, fifo.c_str()};
    EXPECT_EQ(TagBesideFifo(&tags, fifo), 1);
    TagReadBack tag = ReadWithMutagen(m_destination);
    EXPECT_EQ(tag.text["TIT2"], "Kept");
    EXPECT_TRUE(tag.picture.empty());
    EXPECT_EQ(AudioAfterTag(m_destination), s_audio);
    EXPECT_TRUE(Leftovers().empty());
}

// The frame and tag sizes hold 28 bits: a picture that could wrap them is
// refused with the picture's result (4), the text frames still written. Up
// to 16 MiB is taken.
TEST_F(TagWriterTest, OversizedPictureIsRefusedAndTheTextIsKept) {
    const std::string big = m_dir + "/big.png";
    auto makePicture = [&](off_t size) {
        WriteBytes(big, kPng);
        ASSERT_EQ(::truncate(big.c_str(), size), 0);
    };
    const MusicTagsInfo tags{"Big Cover", "Artist", nullptr, nullptr, nullptr, big.c_str()};
    for (const off_t size : {off_t(16 * 1024 * 1024 + 1), off_t(256) * 1024 * 1024}) {
        SCOPED_TRACE(size);
        makePicture(size);
        EXPECT_EQ(Tag(&tags), 4);
        TagReadBack tag = ReadWithMutagen(m_destination);
        EXPECT_EQ(tag.text["TIT2"], "Big Cover");
        EXPECT_EQ(tag.text["TPE1"], "Artist");
        EXPECT_TRUE(tag.picture.empty());
        EXPECT_EQ(AudioAfterTag(m_destination), s_audio);
    }
    // The largest picture taken: the tag holds it whole, the audio follows
    // (read from the tag header here; the readers would take long on it).
    makePicture(16 * 1024 * 1024);
    ASSERT_EQ(Tag(&tags), 0);
    const Bytes out = ReadBytes(m_destination);
    ASSERT_GT(out.size(), 10u);
    ASSERT_EQ(std::string(out.begin(), out.begin() + 3), "ID3");
    std::size_t body = 0;
    for (int i = 6; i < 10; ++i) body = body * 128 + out[static_cast<std::size_t>(i)];
    EXPECT_GT(body, 16u * 1024 * 1024);
    EXPECT_EQ(Bytes(out.begin() + static_cast<std::ptrdiff_t>(10 + body), out.end()), s_audio);
}

// Names up to the file system's limit (255 bytes) are valid destinations:
// the temporary name beside them must not pass that limit.
TEST_F(TagWriterTest, LongDestinationNamesAreWritten) {
    std::string twoByte;
    for (int i = 0; i < 125; ++i) twoByte += "\xC3\xA9";
    const std::string names[] = {std::string(228, 'n') + ".mp3", std::string(251, 'n') + ".mp3",
                                 twoByte + "x.mp3"};
    const MusicTagsInfo tags{"Long Name", nullptr, nullptr, nullptr, nullptr, m_cover.c_str()};
    for (const std::string& name : names) {
        SCOPED_TRACE(name.size());
        m_destination = m_dir + "/" + name;
        ASSERT_EQ(Tag(&tags), 0);
        TagReadBack tag = ReadWithMutagen(m_destination);
        EXPECT_EQ(tag.text["TIT2"], "Long Name");
        EXPECT_EQ(tag.picture, kPng);
        EXPECT_EQ(AudioAfterTag(m_destination), s_audio);
        // Replacing the file just written works too.
        ASSERT_EQ(Tag(&tags), 0);
    }
    EXPECT_TRUE(Leftovers().empty());
}

// Each invalid UTF-8 sequence becomes U+FFFD and the character after it is
// kept, as independent readers see it.
TEST_F(TagWriterTest, InvalidUtf8BecomesReplacementCharacters) {
    const std::string fffd = "\xEF\xBF\xBD";
    const MusicTagsInfo tags{"a\xC3" "b", "\xE2\x82" "c\x80" "d", "\xC0\xAF" "e", nullptr, nullptr,
                             nullptr};
    ASSERT_EQ(Tag(&tags), 0);
    TagReadBack tag = ReadWithMutagen(m_destination);
    EXPECT_EQ(tag.text["TIT2"], "a" + fffd + "b");
    EXPECT_EQ(tag.text["TPE1"], fffd + "c" + fffd + "d");
    EXPECT_EQ(tag.text["TALB"], fffd + fffd + "e");  // an overlong "/" is no "/"
}

TEST_F(TagWriterTest, SourceMayBeTheDestination) {
    const MusicTagsInfo tags{"In Place", nullptr, nullptr, nullptr, nullptr, m_cover.c_str()};
    ASSERT_EQ(SetMusicTagsInfo(&tags, Wide(m_source).c_str(), Wide(m_source).c_str()), 0);
    ASSERT_EQ(SetMusicTagsInfo(&tags, Wide(m_source).c_str(), Wide(m_source).c_str()), 0);
    EXPECT_EQ(ReadWithMutagen(m_source).text["TIT2"], "In Place");
    EXPECT_EQ(AudioAfterTag(m_source), s_audio);
}

TEST_F(TagWriterTest, NonAsciiPathsAreFileSystemNames) {
    m_source = m_dir + "/Gr\xC3\xB6\xC3\x9F" "e \xF0\x9F\x8E\xB5.mp3";
    m_destination = m_dir + "/\xE6\x9B\xB2 out.mp3";
    WriteBytes(m_source, s_audio);
    const MusicTagsInfo tags{"Path", nullptr, nullptr, nullptr, nullptr, nullptr};
    ASSERT_EQ(Tag(&tags), 0);
    EXPECT_EQ(AudioAfterTag(m_destination), s_audio);
}

// Every failure below must leave the destination as it was and no temporary
// file behind.
class TagWriterFailureTest : public TagWriterTest {
protected:
    void SetUp() override {
        TagWriterTest::SetUp();
        WriteBytes(m_destination, m_previous);
    }
    void ExpectDestinationUntouched() {
        EXPECT_EQ(ReadBytes(m_destination), m_previous);
        auto names = ListFolder(m_dir);
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"cover.png", "source.mp3", "tagged.mp3"}));
    }
    const Bytes m_previous{'o', 'l', 'd', ' ', 's', 'o', 'n', 'g'};
    const MusicTagsInfo m_tags{"T", "A", "B", "1999", "Pop", nullptr};
};

TEST_F(TagWriterFailureTest, CorruptOrTruncatedOldTagsFail) {
    Bytes pastEnd = Id3Header(100000);
    pastEnd.insert(pastEnd.end(), s_audio.begin(), s_audio.begin() + 500);
    Bytes truncatedHeader = {'I', 'D', '3', 3, 0};
    Bytes notSyncSafe = Id3Header(16);
    notSyncSafe[9] = 0x90;
    notSyncSafe.insert(notSyncSafe.end(), s_audio.begin(), s_audio.end());
    Bytes tagOnly = Id3Header(64);
    tagOnly.insert(tagOnly.end(), 64, 0);
    const struct {
        const char* name;
        Bytes bytes;
    } cases[] = {{"size past the end", pastEnd},
                 {"truncated header", truncatedHeader},
                 {"size byte with bit 7", notSyncSafe},
                 {"no audio after the tag", tagOnly},
                 {"empty file", Bytes{}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(m_source, c.bytes);
        EXPECT_EQ(Tag(&m_tags), MUSICTAGS_ERR_BAD_SOURCE);
        ExpectDestinationUntouched();
    }
}

TEST_F(TagWriterFailureTest, MissingOrNullPathsFail) {
    const std::wstring missing = Wide(m_dir + "/missing.mp3");
    const std::wstring destination = Wide(m_destination);
    EXPECT_EQ(SetMusicTagsInfo(&m_tags, missing.c_str(), destination.c_str()), 2);
    EXPECT_EQ(SetMusicTagsInfo(&m_tags, nullptr, destination.c_str()), 1);
    EXPECT_EQ(SetMusicTagsInfo(&m_tags, Wide(m_dir).c_str(), destination.c_str()), 2);
    EXPECT_EQ(SetMusicTagsInfo(&m_tags, Wide(m_source).c_str(), nullptr), 3);
    EXPECT_EQ(SetMusicTagsInfo(&m_tags, Wide(m_source).c_str(),
                               Wide(m_dir + "/no/such/folder.mp3").c_str()),
              3);
    const wchar_t badPath[] = {L'/', static_cast<wchar_t>(0xD800), 0};
    EXPECT_EQ(SetMusicTagsInfo(&m_tags, badPath, destination.c_str()), 2);
    ExpectDestinationUntouched();
}

TEST_F(TagWriterFailureTest, FifoSourceIsRefusedWithoutBlocking) {
    ASSERT_EQ(::unlink(m_source.c_str()), 0);
    ASSERT_EQ(::mkfifo(m_source.c_str(), 0600), 0);
    EXPECT_EQ(TagBesideFifo(&m_tags, m_source), MUSICTAGS_ERR_OPEN_SOURCE);
    ExpectDestinationUntouched();
}

TEST_F(TagWriterFailureTest, FullDiskFailsWithoutAHalfWrittenFile) {
    // A file size limit below the song stands in for a full disk.
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &previous), 0);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = s_audio.size() / 2;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const int result = Tag(&m_tags);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::sigaction(SIGXFSZ, &previous, nullptr);

    EXPECT_EQ(result, MUSICTAGS_ERR_IO);
    ExpectDestinationUntouched();
}

}  // namespace
