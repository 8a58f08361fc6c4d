#pragma once

// The library database "music.db": one process-wide SQLite connection, the
// DB_ functions over it, the key allocator and the cache of playlist item
// keys. This is the only code that talks to SQLite. QtCore only.
//
// Threads: every function may be called from any thread. One process-wide
// non-recursive lock (the library lock) serialises all statements; no
// function here calls another that takes it. The user-interface thread
// (library tree and list, tag editor, player, recording controller, storing
// of download results) and the download task threads (DB_GetMusicInfo,
// DB_GetMusicPath) use the library at the same time. Key allocation
// (CreatePrimaryKey, DB_CreateItemKey) and the insert that uses the key are
// separate locked steps: callers that allocate keys run on the
// user-interface thread only.
//
// Failures are logged at critical level ("DB_GetMusicInfo, Err: ..." and the
// like) and reported through the result; nothing here shows a message.
// Texts are UTF-8 in the database; paths and names from the user always
// travel as bound parameters.

#include <QList>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>

#include "tunecap.h"  // RecordMusicInfo

// Key ranges of the four tables, allocated by the callers before inserting.
constexpr int kMusicIdMin = 1;
constexpr int kMusicIdMax = 100000;
constexpr int kListIdMin = 1;
constexpr int kListIdMax = 999;
constexpr int kCoverIdMin = 1;
constexpr int kCoverIdMax = 500000;
constexpr int kItemIdMax = 2000000000;

// The fixed lists. User playlists have ListId 4 ("PlayList 1" of a new
// database) and up to kListIdMax; their members are MusicItem rows.
enum FixedList {
    List_AllRecordings = 1,    // every song
    List_NewlyRecordings = 2,  // the songs added today
    List_RecentlyPlayed = 3,   // the songs played in the last two days
    List_FirstPlaylist = 4,    // first ListId of a user playlist
};

// Length of "MM/dd/yyyy hh:mm", the form of every library date.
constexpr int kDateTextLength = 16;

// One MusicInfo row with its covers, in memory.
//
// Within tags the library uses: albumId = AlbumTUI, songName = MusicName,
// artist = Artist, album = Album, releaseDate = Year, albumGenre = Genre,
// albumMusicList = AlbumMusicList, imageCount = covers loaded (0 to 5),
// reserved[i] = CoverId of cover i, imagePaths[i] = ImagePath of cover i.
// All char fields hold NUL-terminated UTF-8; use TagText()/SetTagText().
// A new record is all zero with empty texts.
struct SongRecord {
    int32_t MusicId = 0;
    RecordMusicInfo tags;
    QString TimeRecorded;  // "03:25" or "1:05:09"
    // "MM/dd/yyyy hh:mm" when added; once played followed by ";" and the
    // time of the last play in the same form (33 characters).
    QString DateAdded;
    int32_t ImageId = 0;  // index of the shown cover among the song's covers
    QString MusicPath;

    SongRecord() { std::memset(&tags, 0, sizeof tags); }

    // The path of the shown cover (number ImageId of the loaded covers), or
    // empty when the song has none or ImageId is out of range.
    QString CoverPath() const;
};

// One playlist, from DB_GetMusicList.
struct MusicListInfo {
    int ListId = 0;
    int ItemCount = 0;  // MusicItem rows with this ListId
    QString ListName;
};

// One membership row, from DB_GetMusicItem.
struct MusicItemInfo {
    int ItemId = 0;
    int ListId = 0;
    int MusicId = 0;
};

// One MusicInfo row as SQLite holds it, for the one-pass readers below. The
// pointers are valid only during the visit; texts are never null.
struct MusicInfoView {
    int MusicId;
    const char* MusicPath;
    const char* MusicName;
    const char* TimeRecorded;
    const char* Artist;
    const char* Album;
    const char* Genre;
    const char* DateAdded;
    int ImageId;
    const char* AlbumTUI;
    const char* AlbumMusicList;
    const char* Year;
};

// Text of a fixed field, up to its first zero byte.
template <std::size_t N>
QString TagText(const char (&field)[N]) {
    return QString::fromUtf8(field, qsizetype(strnlen(field, N)));
}
// Clears the field to zeros and copies text in as UTF-8, cut before a
// character that would not fit whole with the terminating zero.
void SetTagText(char* field, std::size_t size, const QString& text);
template <std::size_t N>
void SetTagText(char (&field)[N], const QString& text) {
    SetTagText(field, N, text);
}

// ---- Connection -----------------------------------------------------------

// Path of the library database: the Log_Path folder (created when missing)
// followed by "/music.db".
QString DB_DefaultPath();

// Opens DB_DefaultPath() as DB_OpenFile() does. Start-up calls it once before
// the main window is built; a non-zero result ends the program with -1
// after the "Cannot open database" box (OpenLibraryDatabase()).
int DB_Open();

// Opens the given file as the process's library, creating it when missing:
// SQLite result 0, or the error of the step that failed (the connection is
// then closed again and "Cannot open database!" logged). A file that is not
// an SQLite database, a database another process holds locked for more
// than the busy wait, a read-only file, tables without the library's
// columns and a file with a damaged page anywhere (every page is read once
// first) all fail here; such a file is never written, truncated or
// deleted. On a new database the four tables and the fixed lists 1 to 4 are
// created; existing databases gain only missing tables and the lookup
// indexes. An open connection is closed first.
int DB_OpenFile(const QString& path);

// Whether a connection is open.
bool DB_IsOpen();

// Keeps the open library from every change until it is closed: each later
// write fails (SQLITE_READONLY) and is logged. For a library that could
// not be read whole. SQLite result code.
int DB_KeepUnchanged();

// Closes the connection and empties the item-key cache. Result code of
// closing; 0 when nothing was open.
int DB_Close();

// "begin transaction" and "commit transaction". Callers on the
// user-interface thread wrap runs of changes in them. Result code; a
// failure is logged at debug level.
int DB_CreateTransaction();
int DB_CommitTransaction();

// A transaction for the life of the object: begins in the constructor and
// commits in the destructor, but only when its own begin succeeded, so
// that nesting one inside another transaction never commits the outer one
// early.
class CLibraryTransaction {
public:
    CLibraryTransaction();
    ~CLibraryTransaction();
    CLibraryTransaction(const CLibraryTransaction&) = delete;
    CLibraryTransaction& operator=(const CLibraryTransaction&) = delete;

private:
    bool m_began = false;
};

// ---- Keys -----------------------------------------------------------------

// A free key of table.column between minimum and maximum: the minimum on an
// empty table; the first hole above the minimum (or the minimum itself when
// the smallest key is above it); else one above the largest key; -1 when
// the table holds as many rows as the maximum, or on a query error. table
// and column are program constants, never user text.
int CreatePrimaryKey(const char* table, const char* column, int minimum, int maximum);

// A new MusicItem key from the item-key cache (filled from the table on
// first use): the search resumes where the previous one stopped, so a hole
// behind the cursor is reused only once the keys have reached kItemIdMax.
// -1 when every key is taken.
int DB_CreateItemKey();

// ---- Covers ---------------------------------------------------------------

// Inserts a CoverInfo row. imagePath: UTF-8 path.
void DB_SetImageInfo(int coverId, int musicId, const char* imagePath);
// Deletes the CoverInfo row; the image file is the caller's.
void DB_DeleteImage(int coverId);
// 1 when a CoverInfo row names the path, 0 when none does.
int DB_ImageExists(const QString& imagePath);
// Loads the covers of record->MusicId into its tag block: imageCount, the
// CoverIds in reserved[] and the paths in imagePaths[], at most five. A
// sixth row is deleted from the table when met, so a song keeps at most
// five covers.
void DB_GetImageInfo(SongRecord* record);

// ---- Songs ----------------------------------------------------------------

// The song's MusicPath into *path. Number of rows found (0 or 1), -1 when
// the row cannot be read; *path is left unchanged unless 1.
int DB_GetMusicPath(int musicId, QString* path);
// The song's row into *record (the tag block zeroed first, covers not
// loaded). Number of rows found, -1 when the row cannot be read; the record
// is untouched unless 1.
int DB_GetMusicInfo(int musicId, SongRecord* record);
// Every song into *records, keyed by MusicId, covers not loaded. Number of
// rows, or -1 when a row cannot be read (*records then holds only some).
// Holds about 4.5 KB per song: the library loads through
// DB_ForEachMusicInfo instead.
int DB_GetAllMusicInfo(std::map<int, SongRecord>* records);
// Inserts the song. Year is stored as its whole 32-byte field (zero padded),
// as every reader of the file expects. 0 when stored, else the SQLite code
// (a duplicate MusicId gives a non-zero code).
int DB_SetMusicInfo(const SongRecord& record);
// Rewrites every column of the song's row. Result as DB_SetMusicInfo.
int DB_UpdateMusicInfo(const SongRecord& record);
// Deletes the song's row and its name origin (not its covers, memberships
// or file). Always 0.
int DB_DeleteMusicinfo(int musicId);

// ---- Lists and memberships -------------------------------------------------

// Inserts a playlist. Empty on success; "Save List info to DB failed!"
// (translated) when the statement could not be prepared.
QString DB_SetMusicList(int listId, const QString& name);
// Deletes the MusicList row (not its MusicItem rows). Always 0.
int DB_DeleteMusicList(int listId);
// The stored name into *name; left unchanged for an unknown ListId. SQLite
// result code.
int DB_GetMusicListName(int listId, QString* name);
// Renames a playlist.
void DB_UpdateMusicList(int listId, const QString& name);
// Appends every MusicList row with its member count to *lists, in the order
// SQLite returns them. SQLite result code; nothing appended on failure,
// including a row that cannot be read.
int DB_GetMusicList(QList<MusicListInfo>* lists);
// The first name "PlayList n" (translated "PlayList", n = 1, 2, ...) that
// no playlist has.
QString DB_CreateListName();
// Inserts a membership row.
void DB_SetMusicItem(int itemId, int listId, int musicId);
// Appends the membership rows whose column ("ListId" or "MusicId") equals
// value to *items, ordered by MusicId. SQLite result code, nothing appended
// when a row cannot be read; any other column name is refused with
// SQLITE_MISUSE.
int DB_GetMusicItem(QList<MusicItemInfo>* items, const char* column, int value);
// Removes the key from the item-key cache and deletes the row.
void DB_DeleteMusicItem(int itemId);

// ---- Where a song's name came from -----------------------------------------
// Kept in a table of its own, NameOrigin (MusicId, Origin, Player), beside
// the four above, which stay as they always were; a library without it
// gains it when opened. A song without a row has a name from its file or
// typed by the user.

enum NameOrigin {
    NameOrigin_None = 0,        // the file's name, or what the user typed
    NameOrigin_Player = 1,      // announced by the player it was recorded from
    NameOrigin_Identified = 2,  // found by identification from its sound
};

// Keeps the origin of the song's name; NameOrigin_None forgets it. player:
// the name the player gives itself (kept with NameOrigin_Player only).
// SQLite code.
int DB_SetNameOrigin(int musicId, int origin, const QString& player = QString());
// The origin of the song's name, NameOrigin_None when none is kept; the
// player's name into *player when given.
int DB_GetNameOrigin(int musicId, QString* player = nullptr);

// ---- One-pass readers for loading the whole library ------------------------
// Each runs one query and calls visit once per row while holding the library
// lock: visit must not call any DB_ function. Result: number of rows, or -1
// when the query fails or a row cannot be read (logged): the rows visited
// are then not all, and nothing may be concluded from a row's absence.

// "SELECT * FROM MusicInfo".
int DB_ForEachMusicInfo(const std::function<void(const MusicInfoView&)>& visit);
// Every CoverInfo row, ordered by MusicId and then in the order
// DB_GetImageInfo reads a song's covers.
int DB_ForEachCover(const std::function<void(int musicId, int coverId, const char* path)>& visit);
// Every MusicItem row, ordered by ListId and MusicId.
int DB_ForEachMusicItem(const std::function<void(const MusicItemInfo&)>& visit);
// Every kept name origin (player: never null).
int DB_ForEachNameOrigin(const std::function<void(int musicId, int origin, const char* player)>& visit);
