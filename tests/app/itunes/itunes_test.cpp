// The export to iTunes from the main window: songs of the library (real MP3
// files made by sox and lame) go through the export thread and the real
// jukebridge into a private "Automatically Add to iTunes" folder, and the
// copies are read back with mutagen. Where a test must see what the bridge
// was given, or hold the export at a song, it wraps the bridge's functions;
// the copies are still made by the bridge.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "itunes/addtoitunesdialog.h"
#include "itunes/toitunesthread.h"
#include "library/librarypage.h"
#include "library/musicinfomodel.h"
#include "library/showlistwidget.h"
#include "library/treelib.h"
#include "mainui.h"
#include "privatehome.h"
#include "statusbar.h"
#include "tagfiles.h"
#include "toolbar.h"
#include "uiapp.h"

namespace {


const QString kNotFound = QStringLiteral("\nDo not find iTunes\nPlease try after install iTunes\n");

// What one AddSongForiTunes call was given (copied, the pointers are gone
// after the call).
struct SeenSong {
    std::string file;
    std::string title;
    int year = -1;
    bool coverIsNull = false;
    std::string cover;
    int last = -1;
};

// The real jukebridge with every call noted. A song can be held after its
// copy was made, until Release() (or ten seconds).
class WatchedBridge {
public:
    iTunesBridge Bridge() {
        const iTunesBridge real = iTunesBridge::Jukebridge();
        iTunesBridge bridge;
        bridge.Initialize = [this, real] {
            ++m_initialized;
            return real.Initialize();
        };
        bridge.AddSong = [this, real](iTunesSongInfo song, int last) {
            const int res = real.AddSong(song, last);
            SeenSong seen;
            seen.file = song.file ? song.file : "";
            seen.title = song.title ? song.title : "";
            seen.year = song.year;
            seen.coverIsNull = song.cover == nullptr;
            seen.cover = song.cover ? song.cover : "";
            seen.last = last;
            std::unique_lock<std::mutex> lock(m_lock);
            m_seen.push_back(seen);
            if (int(m_seen.size()) == m_holdAfter) {
                m_holding = true;
                m_released.wait_for(lock, std::chrono::seconds(10), [this] { return !m_holding; });
            }
            return res;
        };
        bridge.Uninitialize = [this, real] {
            ++m_uninitialized;
            return real.Uninitialize();
        };
        return bridge;
    }
    // Holds the export thread once the given number of songs were copied.
    void HoldAfter(int songs) { m_holdAfter = songs; }
    bool Holding() {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_holding;
    }
    void Release() {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_holding = false;
        }
        m_released.notify_all();
    }
    std::vector<SeenSong> Seen() {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_seen;
    }
    int Initialized() const { return m_initialized; }
    int Uninitialized() const { return m_uninitialized; }

private:
    std::mutex m_lock;
    std::condition_variable m_released;
    std::vector<SeenSong> m_seen;  // guarded by m_lock
    bool m_holding = false;        // guarded by m_lock
    int m_holdAfter = 0;
    std::atomic<int> m_initialized{0};
    std::atomic<int> m_uninitialized{0};
};

class ITunesExport : public testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = testsupport::makeTempDir("itunes-tone");
        ASSERT_NO_FATAL_FAILURE(tagtest::MakeTone(s_dir, 1.0, &s_mp3));
        ASSERT_GT(s_mp3.size(), 1000u);
    }
    static void TearDownTestSuite() { testsupport::removeTree(s_dir); }

    void SetUp() override {
        uitest::App();
        m_dir = QString::fromStdString(testsupport::makeTempDir("itunes-test"));
        m_folder = m_dir + QStringLiteral("/Automatically Add to iTunes");
        setenv("TUNECAP_ITUNES_FOLDER", qPrintable(m_folder), 1);
        ASSERT_EQ(DB_OpenFile(m_dir + QStringLiteral("/music.db")), 0);
    }
    void TearDown() override {
        m_window.reset();
        if (DB_IsOpen()) DB_Close();
        unsetenv("TUNECAP_ITUNES_FOLDER");
        testsupport::removeTree(m_dir.toStdString());
    }

    // A song in the library with its MP3 file "AU<id>.mp3" (a copy of the
    // tone). cover: give it one cover picture. inPlaylist: also in
    // "PlayList 1".
    QString AddSong(int id, const QString& name, const QString& year, bool cover = false,
                    bool inPlaylist = false) {
        SongRecord record;
        record.MusicId = id;
        record.MusicPath = m_dir + QStringLiteral("/AU%1.mp3").arg(id);
        SetTagText(record.tags.songName, name);
        SetTagText(record.tags.artist, QStringLiteral("Artist %1").arg(id));
        SetTagText(record.tags.album, QStringLiteral("Album %1").arg(id));
        SetTagText(record.tags.albumGenre, QStringLiteral("Jazz"));
        SetTagText(record.tags.releaseDate, year);
        record.DateAdded = QStringLiteral("01/02/2024 10:0%1").arg(id % 10);
        record.TimeRecorded = QStringLiteral("00:01");
        EXPECT_EQ(DB_SetMusicInfo(record), 0);
        tagtest::WriteBytes(record.MusicPath.toStdString(), s_mp3);
        if (cover) {
            const QString picture = m_dir + QStringLiteral("/cover%1.png").arg(id);
            tagtest::WriteBytes(picture.toStdString(), tagtest::kPng);
            DB_SetImageInfo(id, id, picture.toUtf8().constData());
        }
        if (inPlaylist) DB_SetMusicItem(DB_CreateItemKey(), List_FirstPlaylist, id);
        return record.MusicPath;
    }
    // The window over the songs stored so far, library page on show.
    void OpenWindow() {
        m_window = std::make_unique<CMainUI>(uitest::OpenLibrary(m_dir + QStringLiteral("/music.db")));
        m_window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
        m_window->ShowMedia();
    }
    CShowListWidget* List() const { return m_window->LibraryPage()->ShowList(); }
    void Select(std::initializer_list<int> ids) { uitest::SelectSongs(List(), ids); }
    QStringList Copies() const {
        return QDir(m_folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    bool MakeFolder() const { return QDir().mkpath(m_folder); }

    static std::string s_dir;
    static tagtest::Bytes s_mp3;
    QString m_dir;
    QString m_folder;
    std::unique_ptr<CMainUI> m_window;
};
std::string ITunesExport::s_dir;
tagtest::Bytes ITunesExport::s_mp3;

// Watches the export dialogs that show while it exists: how many showed,
// the title of the last, and whether each closed by itself (one still open
// after ten seconds is closed, and counted as not closing by itself).
class DialogWatch : public QObject {
public:
    DialogWatch() { QApplication::instance()->installEventFilter(this); }
    ~DialogWatch() override { QApplication::instance()->removeEventFilter(this); }

    int shown = 0;
    QString title;
    bool closedItself = true;
    QString textWhenStuck;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* dialog = qobject_cast<CAddToiTunesDialog*>(watched);
        if (dialog && event->type() == QEvent::Show) {
            ++shown;
            title = dialog->windowTitle();
            QPointer<CAddToiTunesDialog> alive(dialog);
            QTimer::singleShot(10000, this, [this, alive] {
                if (!alive || !alive->isVisible()) return;
                closedItself = false;
                textWhenStuck = alive->TextLabel()->text();
                alive->reject();
            });
        }
        return false;
    }
};

TEST_F(ITunesExport, WithoutTheFolderTheDialogSaysSoAndCopiesNothing) {
    AddSong(1, QStringLiteral("One"), QStringLiteral("2001"));
    AddSong(2, QStringLiteral("Two"), QStringLiteral("2002"));
    OpenWindow();

    QString shown;
    bool barHidden = false;
    uitest::ModalAnswer answer([&](QWidget* modal) {
        auto* dialog = qobject_cast<CAddToiTunesDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Add To iTunes"));
        // It waits for the user once the player was not found.
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return dialog->TextLabel()->text() == kNotFound; }, 10000));
        uitest::Watch([&] { return !dialog->isVisible(); }, 100);
        EXPECT_TRUE(dialog->isVisible());
        shown = dialog->TextLabel()->text();
        barHidden = dialog->ProgressBar()->isHidden();
        EXPECT_TRUE(uitest::ClickButton(dialog, QStringLiteral("Abort")));
    });
    m_window->AddToiTunes();
    EXPECT_TRUE(answer.Seen());
    EXPECT_EQ(shown, kNotFound);
    EXPECT_TRUE(barHidden);
    EXPECT_FALSE(QFileInfo::exists(m_folder));
    EXPECT_EQ(QDir(m_dir).entryList({QStringLiteral("*.mp3")}, QDir::Files).size(), 2);
}

// Each entry point hands over the songs it promises: the list's menu the
// selection, the status bar's button the selection or else every song
// shown, the tree's menu the list it was opened on. Songs whose files are
// gone are marked and left out; with none left, nothing opens.
TEST_F(ITunesExport, EveryEntryExportsItsSongsAndMissingFilesAreLeftOut) {
    AddSong(1, QStringLiteral("One"), QStringLiteral("2001"));
    AddSong(2, QStringLiteral("Two"), QStringLiteral("2002"), false, true);
    const QString gone = AddSong(3, QStringLiteral("Three"), QStringLiteral("2003"), false, true);
    AddSong(4, QStringLiteral("Four"), QStringLiteral("2004"));
    ASSERT_TRUE(MakeFolder());
    ASSERT_TRUE(QFile::remove(gone));
    OpenWindow();
    CShowListWidget* list = List();

    // The list's menu: the selection.
    Select({1});
    QAction* listEntry = nullptr;
    for (QAction* action : list->ContextMenu()->actions())
        if (action->text() == QStringLiteral("Add to iTunes")) listEntry = action;
    ASSERT_NE(listEntry, nullptr);
    {
        DialogWatch watch;
        listEntry->trigger();
        EXPECT_EQ(watch.shown, 1);
        EXPECT_EQ(watch.title, QStringLiteral("Add To iTunes"));
        EXPECT_TRUE(watch.closedItself) << watch.textWhenStuck.toStdString();
    }
    EXPECT_EQ(Copies(), QStringList{QStringLiteral("AU1.mp3")});

    // The tree's menu on "PlayList 1": song 2, song 3 being gone.
    CTreeLib* tree = m_window->LibraryPage()->TreeLib();
    ASSERT_TRUE(tree->SelectList(List_FirstPlaylist));
    ASSERT_EQ(list->CurrentListId(), List_FirstPlaylist);
    QAction* treeEntry = nullptr;
    for (QAction* action : tree->ContextMenu()->actions())
        if (action->text() == QStringLiteral("Add to iTunes Library")) treeEntry = action;
    ASSERT_NE(treeEntry, nullptr);
    {
        DialogWatch watch;
        treeEntry->trigger();
        EXPECT_EQ(watch.shown, 1);
        EXPECT_TRUE(watch.closedItself) << watch.textWhenStuck.toStdString();
    }
    EXPECT_EQ(Copies(), (QStringList{QStringLiteral("AU1.mp3"), QStringLiteral("AU2.mp3")}));
    EXPECT_TRUE(list->Library()->FindRow(3)->IsMissing());
    EXPECT_FALSE(list->Library()->FindRow(2)->IsMissing());

    // The status bar's button with nothing selected: every song shown.
    ASSERT_TRUE(tree->SelectList(List_AllRecordings));
    list->clearSelection();
    {
        DialogWatch watch;
        m_window->StatusBar()->AddToiTunesButton()->click();
        EXPECT_EQ(watch.shown, 1);
        EXPECT_TRUE(watch.closedItself) << watch.textWhenStuck.toStdString();
    }
    EXPECT_EQ(Copies(), (QStringList{QStringLiteral("AU1 (2).mp3"), QStringLiteral("AU1.mp3"),
                                     QStringLiteral("AU2 (2).mp3"), QStringLiteral("AU2.mp3"),
                                     QStringLiteral("AU4.mp3")}));

    // Only missing files selected: no dialog, nothing copied.
    ASSERT_TRUE(tree->SelectList(List_FirstPlaylist));
    Select({3});
    {
        DialogWatch watch;
        m_window->AddToiTunes();
        EXPECT_EQ(watch.shown, 0);
    }
    EXPECT_TRUE(list->Library()->FindRow(3)->IsMissing());
    EXPECT_EQ(Copies().size(), 5);
}

// The copies carry the library's texts, year and cover, as mutagen reads
// them.
TEST_F(ITunesExport, CopiesCarryTheTags) {
    AddSong(1, QStringLiteral("Ånother Song"), QStringLiteral("1999"), true);
    AddSong(2, QStringLiteral("Plain"), QStringLiteral("abc"));
    ASSERT_TRUE(MakeFolder());
    OpenWindow();
    {
        DialogWatch watch;
        m_window->AddAllMusicToiTunes();
        EXPECT_EQ(watch.shown, 1);
        EXPECT_TRUE(watch.closedItself) << watch.textWhenStuck.toStdString();
    }
    ASSERT_EQ(Copies(), (QStringList{QStringLiteral("AU1.mp3"), QStringLiteral("AU2.mp3")}));

    const tagtest::TagReadBack first =
        tagtest::ReadWithMutagen((m_folder + QStringLiteral("/AU1.mp3")).toStdString());
    ASSERT_TRUE(first.hasTag);
    EXPECT_EQ(first.text.at("TIT2"), "Ånother Song");
    EXPECT_EQ(first.text.at("TPE1"), "Artist 1");
    EXPECT_EQ(first.text.at("TALB"), "Album 1");
    EXPECT_EQ(first.text.at("TCON"), "Jazz");
    EXPECT_EQ(first.text.at("TYER"), "1999");
    EXPECT_EQ(first.picture, tagtest::kPng);

    const tagtest::TagReadBack second =
        tagtest::ReadWithMutagen((m_folder + QStringLiteral("/AU2.mp3")).toStdString());
    ASSERT_TRUE(second.hasTag);
    EXPECT_EQ(second.text.at("TIT2"), "Plain");
    EXPECT_EQ(second.text.count("TYER"), 0u);
    EXPECT_TRUE(second.picture.empty());
}

// What the bridge is given: the song's file and texts, the year as a
// number (0 when the text is none), NULL without a cover, and "last" on
// the last song only.
TEST_F(ITunesExport, TheBridgeGetsEachSongAsTheLibraryHoldsIt) {
    const QString first = AddSong(1, QStringLiteral("One"), QStringLiteral("abc"));
    const QString second = AddSong(2, QStringLiteral("Two"), QStringLiteral("1987-06-05"), true);
    const QString third = AddSong(3, QStringLiteral("Three"), QString());
    ASSERT_TRUE(MakeFolder());
    OpenWindow();
    CShowListWidget* list = List();
    const QList<CTreeWidgetItem*> rows = {list->Library()->FindRow(1), list->Library()->FindRow(2), list->Library()->FindRow(3)};

    WatchedBridge bridge;
    {
        DialogWatch watch;
        EXPECT_EQ(CAddToiTunesDialog::Export(m_window.get(), list->Library(), rows, bridge.Bridge()), 3);
        EXPECT_TRUE(watch.closedItself) << watch.textWhenStuck.toStdString();
    }
    const std::vector<SeenSong> songs = bridge.Seen();
    ASSERT_EQ(songs.size(), 3u);
    EXPECT_EQ(songs[0].file, first.toStdString());
    EXPECT_EQ(songs[0].title, "One");
    EXPECT_EQ(songs[0].year, 0);
    EXPECT_TRUE(songs[0].coverIsNull);
    EXPECT_EQ(songs[0].last, 0);
    EXPECT_EQ(songs[1].file, second.toStdString());
    EXPECT_EQ(songs[1].year, 1987);
    EXPECT_FALSE(songs[1].coverIsNull);
    EXPECT_EQ(songs[1].cover, (m_dir + QStringLiteral("/cover2.png")).toStdString());
    EXPECT_EQ(songs[1].last, 0);
    EXPECT_EQ(songs[2].file, third.toStdString());
    EXPECT_EQ(songs[2].year, 0);
    EXPECT_TRUE(songs[2].coverIsNull);
    EXPECT_EQ(songs[2].last, 1);
    EXPECT_EQ(bridge.Initialized(), 1);
    EXPECT_EQ(bridge.Uninitialized(), 1);
    EXPECT_EQ(Copies().size(), 3);

    // Year texts as the services give them.
    EXPECT_EQ(YearFromText(QStringLiteral("abc")), 0);
    EXPECT_EQ(YearFromText(QStringLiteral(" 2001 ")), 2001);
    EXPECT_EQ(YearFromText(QStringLiteral("1999-05-01")), 1999);
    EXPECT_EQ(YearFromText(QStringLiteral("99999999999")), 0);
    EXPECT_EQ(YearFromText(QStringLiteral("-5")), 0);
}

// "Abort" while the second of five songs is being added: that song is
// finished, no further one is started, and the bridge is let go.
TEST_F(ITunesExport, AbortAfterTheSecondOfFiveSongs) {
    for (int id = 1; id <= 5; ++id) AddSong(id, QStringLiteral("Song %1").arg(id), QString());
    ASSERT_TRUE(MakeFolder());
    OpenWindow();
    CShowListWidget* list = List();

    WatchedBridge bridge;
    bridge.HoldAfter(2);
    int barWhenAborted = -1;
    uitest::ModalAnswer answer([&](QWidget* modal) {
        auto* dialog = qobject_cast<CAddToiTunesDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(QTest::qWaitFor([&] { return bridge.Holding(); }, 10000));
        // The first song's progress arrives.
        EXPECT_TRUE(QTest::qWaitFor([&] { return dialog->ProgressBar()->value() >= 1; }));
        barWhenAborted = dialog->ProgressBar()->value();
        EXPECT_EQ(dialog->ProgressBar()->maximum(), 5);
        EXPECT_TRUE(uitest::ClickButton(dialog, QStringLiteral("Abort")));
        bridge.Release();
    });
    EXPECT_EQ(
        CAddToiTunesDialog::Export(m_window.get(), list->Library(), list->VisibleRows(), bridge.Bridge()), 5);
    EXPECT_TRUE(answer.Seen());
    EXPECT_EQ(barWhenAborted, 1);

    const int copied = int(Copies().size());
    EXPECT_GE(copied, 2);
    EXPECT_LE(copied, 3);
    EXPECT_EQ(int(bridge.Seen().size()), copied);
    EXPECT_EQ(bridge.Uninitialized(), 1);
    // The bridge itself was let go.
    iTunesSongInfo song{};
    song.file = "/nonexistent";
    EXPECT_EQ(AddSongForiTunes(song, 1), JUKEBRIDGE_ERR_NOT_INITIALISED);
}

// A song the bridge cannot add does not end the run as a success: the
// others are copied and the dialog stays open to tell.
TEST_F(ITunesExport, ASongThatCannotBeAddedIsToldAtTheEnd) {
    AddSong(1, QStringLiteral("Fine"), QString());
    const QString broken = AddSong(2, QStringLiteral("Broken"), QString());
    AddSong(3, QStringLiteral("Fine too"), QString());
    // An MP3 whose old tag announces more than the file holds.
    tagtest::Bytes cut = tagtest::Id3Header(100000);
    cut.insert(cut.end(), s_mp3.begin(), s_mp3.begin() + 100);
    tagtest::WriteBytes(broken.toStdString(), cut);
    ASSERT_TRUE(MakeFolder());
    OpenWindow();

    QString text;
    QString button;
    uitest::ModalAnswer answer([&](QWidget* modal) {
        auto* dialog = qobject_cast<CAddToiTunesDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(QTest::qWaitFor([&] { return dialog->ProgressBar()->value() == 3; }, 10000));
        uitest::Watch([&] { return !dialog->isVisible(); }, 100);
        EXPECT_TRUE(dialog->isVisible());
        text = dialog->TextLabel()->text();
        button = dialog->AbortButton()->text();
        EXPECT_EQ(dialog->FailedCount(), 1);
        dialog->AbortButton()->click();
    });
    m_window->AddToiTunes();
    EXPECT_TRUE(answer.Seen());
    EXPECT_TRUE(text.contains(QStringLiteral("1 of 3 songs could not be added")))
        << text.toStdString();
    EXPECT_EQ(button, QStringLiteral("Close"));
    EXPECT_EQ(Copies(), (QStringList{QStringLiteral("AU1.mp3"), QStringLiteral("AU3.mp3")}));
}

}  // namespace
