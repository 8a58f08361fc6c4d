// The library database on real files: the tables and fixed lists, key
// allocation, the item-key cache, the fixed-width fields, texts that look
// like SQL, covers, transactions, and files that must not be used.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QProcess>

#include <sqlite3.h>

#include "librarytest.h"

namespace {

using librarytest::LibraryFixture;
using librarytest::Song;

// A second connection to the same file, as another reader would see it.
class RawDb {
public:
    explicit RawDb(const QString& path) {
        sqlite3_open_v2(path.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
    }
    ~RawDb() { sqlite3_close(m_db); }
    // The first column of every row, as text ("NULL" for null).
    QStringList Column(const char* sql) const {
        QStringList values;
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(m_db, sql, -1, &stmt, nullptr) != SQLITE_OK) return {"error"};
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            const unsigned char* text = sqlite3_column_text(stmt, 0);
            values << (text ? QString::fromUtf8(reinterpret_cast<const char*>(text)) : "NULL");
        }
        sqlite3_finalize(stmt);
        return values;
    }
    QByteArray Blob(const char* sql) const {
        sqlite3_stmt* stmt = nullptr;
        QByteArray bytes;
        if (sqlite3_prepare_v2(m_db, sql, -1, &stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW)
            bytes = QByteArray(static_cast<const char*>(sqlite3_column_blob(stmt, 0)),
                               sqlite3_column_bytes(stmt, 0));
        sqlite3_finalize(stmt);
        return bytes;
    }
    int Exec(const char* sql) { return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr); }

private:
    sqlite3* m_db = nullptr;
};

QByteArray Digest(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return "missing";
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "librarydbtest";
    static char* argv[] = {name, nullptr};
    static auto* app = new QCoreApplication(argc, argv);
    return *app;
}

using MusicDb = LibraryFixture;

TEST_F(MusicDb, NewDatabaseHoldsTheExactTablesAndTheFixedListsOnce) {
    const QStringList created = RawDb(DbPath()).Column(
        "SELECT sql FROM sqlite_master WHERE type = 'table' ORDER BY rowid");
    const QStringList expected = {
        "CREATE TABLE MusicList (ListId int primary key, ListName varchar(512))",
        "CREATE TABLE MusicItem (ItemId int primary key, ListId int, MusicId int )",
        "CREATE TABLE MusicInfo (MusicId int primary key, MusicPath varchar(512), MusicName "
        "varchar(128), TimeRecorded varchar(10), Artist varchar(128), Album varchar(128), Genre "
        "varchar(128), DateAdded varchar(20), ImageId int, AlbumTUI varchar(128),AlbumMusicList "
        "varchar(512),Year varchar(32) )",
        "CREATE TABLE CoverInfo (CoverId int primary key,MusicId int, ImagePath varchar(512))",
        "CREATE TABLE NameOrigin (MusicId int primary key, Origin int, Player varchar(128))"};
    EXPECT_EQ(created, expected);

    const QStringList lists = {"1 All Recordings", "2 Newly Recordings", "3 Recently Played",
                               "4 PlayList 1"};
    auto stored = [this] {
        return RawDb(DbPath()).Column("SELECT ListId || ' ' || ListName FROM MusicList");
    };
    EXPECT_EQ(stored(), lists);

    // Reopening an existing library adds nothing, whatever its lists are now.
    DB_DeleteMusicList(4);
    ASSERT_EQ(DB_Close(), 0);
    ASSERT_EQ(DB_OpenFile(DbPath()), 0);
    EXPECT_EQ(stored(), lists.mid(0, 3));
    QList<MusicListInfo> read;
    ASSERT_EQ(DB_GetMusicList(&read), 0);
    ASSERT_EQ(read.size(), 3);
    EXPECT_EQ(read[2].ListName, QStringLiteral("Recently Played"));
}

TEST_F(MusicDb, PrimaryKeysFillTheFirstHoleOrFollowTheLargest) {
    auto keyAfter = [this](std::initializer_list<int> ids) {
        RawDb(DbPath()).Exec("DELETE FROM MusicInfo");
        for (int id : ids) AddSong(Song{id, {}, {}, {}, {}, "01/01/2012 10:00", {}, false});
        return CreatePrimaryKey("MusicInfo", "MusicId", 1, 100000);
    };
    EXPECT_EQ(keyAfter({}), 1);
    EXPECT_EQ(keyAfter({1, 2, 4}), 3);
    EXPECT_EQ(keyAfter({1, 2, 3}), 4);
    EXPECT_EQ(keyAfter({2, 3}), 1);
    EXPECT_EQ(keyAfter({7}), 8);

    // 999 lists: the fixed four and 995 playlists.
    for (int id = 5; id <= 999; ++id) DB_SetMusicList(id, QStringLiteral("list %1").arg(id));
    EXPECT_EQ(CreatePrimaryKey("MusicList", "ListId", 1, 999), -1);
    DB_DeleteMusicList(500);
    EXPECT_EQ(CreatePrimaryKey("MusicList", "ListId", 1, 999), 500);
}

TEST_F(MusicDb, ItemKeysResumeFromTheCursorAndFollowDeletions) {
    auto add = [](int listId) {
        const int key = DB_CreateItemKey();
        DB_SetMusicItem(key, listId, 100 + key);
        return key;
    };
    EXPECT_EQ(add(4), 1);
    EXPECT_EQ(add(4), 2);
    EXPECT_EQ(add(4), 3);
    DB_DeleteMusicItem(2);
    EXPECT_EQ(RawDb(DbPath()).Column("SELECT ItemId FROM MusicItem ORDER BY ItemId"),
              QStringList({"1", "3"}));
    // The cursor stands on the last key: the hole behind it waits.
    EXPECT_EQ(add(4), 4);
    EXPECT_EQ(add(5), 5);

    // A new connection fills the cache from the table; deletions still find
    // their keys in it.
    ASSERT_EQ(DB_Close(), 0);
    ASSERT_EQ(DB_OpenFile(DbPath()), 0);
    DB_DeleteMusicItem(4);
    DB_DeleteMusicItem(1);
    EXPECT_EQ(add(4), 6);
    QList<MusicItemInfo> items;
    ASSERT_EQ(DB_GetMusicItem(&items, "ListId", 4), 0);
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0].ItemId, 3);
    EXPECT_EQ(items[1].ItemId, 6);
    EXPECT_EQ(items[1].MusicId, 106);
    // Only the two membership columns are accepted.
    EXPECT_NE(DB_GetMusicItem(&items, "1=1 OR ListId", 4), 0);
    EXPECT_EQ(items.size(), 2);
}

TEST_F(MusicDb, YearIsStoredAsItsWhole32ByteFieldAndReadBackWithoutPadding) {
    SongRecord record = AddSong(Song{1, "a", {}, {}, {}, "01/01/2012 10:00", "2011-10-01", false});
    // A shorter year in the same record leaves nothing of the longer one.
    SetTagText(record.tags.releaseDate, QStringLiteral("1999"));
    ASSERT_EQ(DB_UpdateMusicInfo(record), 0);

    const QByteArray stored =
        RawDb(DbPath()).Blob("SELECT CAST(Year AS BLOB) FROM MusicInfo WHERE MusicId = 1");
    EXPECT_EQ(stored, QByteArray("1999") + QByteArray(28, '\0'));

    SongRecord read;
    ASSERT_EQ(DB_GetMusicInfo(1, &read), 1);
    EXPECT_EQ(TagText(read.tags.releaseDate), QStringLiteral("1999"));
    EXPECT_EQ(DB_GetMusicInfo(2, &read), 0);
    EXPECT_EQ(read.MusicId, 1);  // untouched by a miss
}

TEST_F(MusicDb, TextsThatLookLikeSqlAndPlayedDatesComeBackUnchanged) {
    const QString tricky = QStringLiteral("Don't \"Stop\"; DROP TABLE MusicInfo; --");
    const QString played = QStringLiteral("12/31/2011 23:59;01/01/2012 00:01");
    ASSERT_EQ(played.size(), 33);
    SongRecord record = AddSong(Song{3, tricky, tricky, tricky, "Rock;Pop;", played, "2012", false});
    record.MusicPath = Dir() + QStringLiteral("/it's; a \"file\".mp3");
    SetTagText(record.tags.albumMusicList, QStringLiteral("1 One; 2 'Two'; "));
    ASSERT_EQ(DB_UpdateMusicInfo(record), 0);
    DB_SetImageInfo(9, 3, (Dir() + QStringLiteral("/cover 'x'; y.jpg")).toUtf8().constData());

    SongRecord read;
    ASSERT_EQ(DB_GetMusicInfo(3, &read), 1);
    DB_GetImageInfo(&read);
    EXPECT_EQ(TagText(read.tags.songName), tricky);
    EXPECT_EQ(TagText(read.tags.artist), tricky);
    EXPECT_EQ(TagText(read.tags.album), tricky);
    EXPECT_EQ(TagText(read.tags.albumGenre), QStringLiteral("Rock;Pop;"));
    EXPECT_EQ(TagText(read.tags.albumMusicList), QStringLiteral("1 One; 2 'Two'; "));
    EXPECT_EQ(read.DateAdded, played);
    EXPECT_EQ(read.MusicPath, record.MusicPath);
    ASSERT_EQ(read.tags.imageCount, 1);
    EXPECT_EQ(read.tags.reserved[0], 9);
    EXPECT_EQ(DB_ImageExists(Dir() + QStringLiteral("/cover 'x'; y.jpg")), 1);
    EXPECT_EQ(DB_ImageExists(QStringLiteral("' OR '1'='1")), 0);
    QString path;
    EXPECT_EQ(DB_GetMusicPath(3, &path), 1);
    EXPECT_EQ(path, record.MusicPath);

    // Playlist names too, and the generated names skip the taken ones.
    EXPECT_TRUE(DB_SetMusicList(5, tricky).isEmpty());
    QString name = QStringLiteral("unchanged");
    ASSERT_EQ(DB_GetMusicListName(5, &name), 0);
    EXPECT_EQ(name, tricky);
    DB_UpdateMusicList(5, QStringLiteral("PlayList 2"));
    EXPECT_EQ(DB_CreateListName(), QStringLiteral("PlayList 3"));
    name = QStringLiteral("unchanged");
    EXPECT_EQ(DB_GetMusicListName(77, &name), 0);
    EXPECT_EQ(name, QStringLiteral("unchanged"));
    EXPECT_EQ(RawDb(DbPath()).Column("SELECT count(*) FROM MusicInfo"), QStringList({"1"}));
}

TEST_F(MusicDb, LongTextsAreCutToTheirFieldBetweenCharacters) {
    // 100 two-byte characters: 200 bytes for a 128-byte field.
    const QString artist(100, QChar(0x00E9));
    SongRecord record = AddSong(Song{4, {}, artist, {}, {}, "01/01/2012 10:00", {}, false});
    RawDb(DbPath()).Exec(("UPDATE MusicInfo SET Artist = '" + artist.toUtf8() + "' WHERE MusicId = 4")
                             .constData());
    SongRecord read;
    ASSERT_EQ(DB_GetMusicInfo(4, &read), 1);
    EXPECT_EQ(TagText(read.tags.artist), QString(63, QChar(0x00E9)));
    EXPECT_EQ(read.tags.artist[127], '\0');
}

TEST_F(MusicDb, ASongKeepsAtMostFiveCovers) {
    AddSong(Song{1, "a", {}, {}, {}, "01/01/2012 10:00", {}, false});
    for (int cover = 1; cover <= 7; ++cover)
        DB_SetImageInfo(cover, 1, QStringLiteral("/pictures/%1.jpg").arg(cover).toUtf8().constData());
    auto rows = [this] { return RawDb(DbPath()).Column("SELECT CoverId FROM CoverInfo"); };

    SongRecord record;
    record.MusicId = 1;
    DB_GetImageInfo(&record);
    EXPECT_EQ(record.tags.imageCount, 5);
    EXPECT_EQ(record.tags.reserved[4], 5);
    EXPECT_EQ(TagText(record.tags.imagePaths[4]), QStringLiteral("/pictures/5.jpg"));
    EXPECT_EQ(rows(), QStringList({"1", "2", "3", "4", "5", "7"}));
    DB_GetImageInfo(&record);
    EXPECT_EQ(rows(), QStringList({"1", "2", "3", "4", "5"}));
    record.ImageId = 2;
    EXPECT_EQ(record.CoverPath(), QStringLiteral("/pictures/3.jpg"));
    record.ImageId = 5;
    EXPECT_TRUE(record.CoverPath().isEmpty());
}

TEST_F(MusicDb, NestedTransactionsCommitOnlyWhenTheOuterOneEnds) {
    RawDb other(DbPath());
    {
        CLibraryTransaction outer;
        {
            CLibraryTransaction inner;  // cannot begin: must not commit the outer one
            DB_SetMusicList(5, QStringLiteral("first"));
        }
        DB_SetMusicList(6, QStringLiteral("second"));
        EXPECT_EQ(other.Column("SELECT count(*) FROM MusicList"), QStringList({"4"}));
    }
    EXPECT_EQ(other.Column("SELECT count(*) FROM MusicList"), QStringList({"6"}));
}

TEST_F(MusicDb, FilesThatAreNoUsableLibraryAreRefusedAndLeftAsTheyWere) {
    App();
    DB_Close();
    // Not a database at all (SQLite opens it and fails at the first read).
    const QString text = FilePath(QStringLiteral("text.db"));
    ASSERT_TRUE(WriteFile(text, QByteArray("These are my notes, not a database.\n").repeated(200)));
    const QByteArray textDigest = Digest(text);
    EXPECT_EQ(DB_OpenFile(text), SQLITE_NOTADB);
    EXPECT_FALSE(DB_IsOpen());
    EXPECT_EQ(Digest(text), textDigest);
    EXPECT_FALSE(QFile::exists(text + QStringLiteral("-journal")));

    // A database of another program, with its own MusicInfo table.
    const QString foreign = FilePath(QStringLiteral("foreign.db"));
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(foreign.toUtf8().constData(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, "create table MusicInfo (Id int, Title text)", nullptr, nullptr,
                               nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
    }
    const QByteArray foreignDigest = Digest(foreign);
    EXPECT_NE(DB_OpenFile(foreign), 0);
    EXPECT_FALSE(DB_IsOpen());
    EXPECT_EQ(Digest(foreign), foreignDigest);

    // A library that another process holds locked.
    ASSERT_EQ(DB_OpenFile(DbPath()), 0);
    AddSong(Song{1, "kept", {}, {}, {}, "01/01/2012 10:00", {}, false});
    DB_Close();
    const QByteArray libraryDigest = Digest(DbPath());
    QProcess holder;
    holder.start(QStringLiteral("sqlite3"), {DbPath()});
    ASSERT_TRUE(holder.waitForStarted(5000)) << "the sqlite3 tool is not installed";
    holder.write("BEGIN EXCLUSIVE;\nSELECT 'locked';\n");
    ASSERT_TRUE(holder.waitForReadyRead(5000));
    ASSERT_TRUE(holder.readAllStandardOutput().contains("locked"));
    EXPECT_EQ(DB_OpenFile(DbPath()), SQLITE_BUSY);
    EXPECT_FALSE(DB_IsOpen());
    holder.write("ROLLBACK;\n.quit\n");
    holder.closeWriteChannel();
    ASSERT_TRUE(holder.waitForFinished(5000));
    EXPECT_EQ(Digest(DbPath()), libraryDigest);
    // Once the other process is gone the same file opens with its song.
    ASSERT_EQ(DB_OpenFile(DbPath()), 0);
    SongRecord read;
    EXPECT_EQ(DB_GetMusicInfo(1, &read), 1);
    EXPECT_EQ(TagText(read.tags.songName), QStringLiteral("kept"));
}

TEST_F(MusicDb, ADamagedPageIsAnErrorNeverTheEndOfTheRows) {
    App();
    librarytest::AddSongsToList(300, List_FirstPlaylist, Dir());
    DB_Close();
    const QString damaged = FilePath(QStringLiteral("damaged.db"));
    ASSERT_TRUE(QFile::copy(DbPath(), damaged));
    ASSERT_TRUE(librarytest::DamageLastLeaf(damaged, "MusicInfo"));
    // Refused before anything is written, as a file that is no library.
    const QByteArray digest = Digest(damaged);
    EXPECT_EQ(DB_OpenFile(damaged), SQLITE_CORRUPT);
    EXPECT_FALSE(DB_IsOpen());
    EXPECT_EQ(Digest(damaged), digest);

    // A page that goes bad while the library is open: every reader says so
    // instead of handing over the rows before it as all there are.
    ASSERT_EQ(DB_OpenFile(DbPath()), 0);
    ASSERT_TRUE(librarytest::DamageLastLeaf(DbPath(), "MusicInfo"));
    int visited = 0;
    EXPECT_EQ(DB_ForEachMusicInfo([&](const MusicInfoView&) { ++visited; }), -1);
    EXPECT_GT(visited, 0);
    EXPECT_LT(visited, 300);
    std::map<int, SongRecord> records;
    EXPECT_EQ(DB_GetAllMusicInfo(&records), -1);
    SongRecord last;
    EXPECT_EQ(DB_GetMusicInfo(300, &last), -1);  // not "no such song"
    // The other tables still read whole.
    EXPECT_EQ(DB_ForEachMusicItem([](const MusicItemInfo&) {}), 300);
}

}  // namespace
