#include "musicdb.h"

#include <QCoreApplication>
#include <QDir>

#include <sqlite3.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "config.h"
#include "fixedtext.h"

namespace {

// How long a statement waits for a lock that another process holds.
constexpr int kBusyWaitMs = 2000;

const char kCreateMusicList[] = "create table MusicList (ListId int primary key, ListName varchar(512))";
const char kCreateMusicItem[] = "create table MusicItem (ItemId int primary key, ListId int, MusicId int )";
const char kCreateMusicInfo[] =
    "create table MusicInfo (MusicId int primary key, MusicPath varchar(512), MusicName "
    "varchar(128), TimeRecorded varchar(10), Artist varchar(128), Album varchar(128), Genre "
    "varchar(128), DateAdded varchar(20), ImageId int, AlbumTUI varchar(128),AlbumMusicList "
    "varchar(512),Year varchar(32) )";
const char kCreateCoverInfo[] = "create table CoverInfo (CoverId int primary key,MusicId int, ImagePath varchar(512))";
// Added beside the four tables above; older libraries gain it when opened.
const char kCreateNameOrigin[] =
    "create table if not exists NameOrigin (MusicId int primary key, Origin int, Player "
    "varchar(128))";

// Lookups the list makes per song (covers of a song, lists of a song,
// whether a cover file is still used, members of a list). The tables
// themselves stay as they always were.
const char* const kIndexes[] = {
    "create index if not exists CoverInfo_MusicId on CoverInfo (MusicId)",
    "create index if not exists CoverInfo_ImagePath on CoverInfo (ImagePath)",
    "create index if not exists MusicItem_ListId on MusicItem (ListId)",
    "create index if not exists MusicItem_MusicId on MusicItem (MusicId)",
};

// The library's tables and the columns every reader relies on.
const struct {
    const char* name;
    int columns;
} kSchema[] = {{"MusicList", 2}, {"MusicItem", 3}, {"MusicInfo", 12}, {"CoverInfo", 3}};

// The process's library. Every field is guarded by lock.
struct Library {
    std::mutex lock;
    sqlite3* db = nullptr;
    // Item-key cache: every MusicItem key in ascending order, filled from
    // the table when empty; cursor is where the last allocation stopped.
    std::vector<int> keys;
    int cursor = -1;
};

Library& Lib() {
    static Library library;
    return library;
}

QString Tr(const char* text) {
    return QCoreApplication::translate("MusicDB", text);
}

const char* ErrorText(sqlite3* db) {
    return db ? sqlite3_errmsg(db) : "no database open";
}

// One prepared statement, finalised when it goes out of scope unless
// Finalize() was called.
class Statement {
public:
    Statement(sqlite3* db, const QByteArray& sql) {
        m_code = db ? sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &m_stmt, nullptr)
                    : SQLITE_MISUSE;
        if (m_code == SQLITE_OK && !m_stmt) m_code = SQLITE_MISUSE;  // empty statement
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Prepared() const { return m_code == SQLITE_OK; }
    int PrepareCode() const { return m_code; }
    sqlite3_stmt* Get() const { return m_stmt; }
    // True while there is a row. The end of the rows and a failure both
    // stop the loop: Error() tells them apart.
    bool Step() {
        m_stepCode = sqlite3_step(m_stmt);
        return m_stepCode == SQLITE_ROW;
    }
    // 0 after the last row (or while rows come), else SQLite's code of the
    // step that failed: a corrupt page or a read error is never the end of
    // the rows.
    int Error() const {
        return m_stepCode == SQLITE_ROW || m_stepCode == SQLITE_DONE ? 0 : m_stepCode;
    }
    int Int(int column) const { return sqlite3_column_int(m_stmt, column); }
    const char* Text(int column) const {
        const unsigned char* text = sqlite3_column_text(m_stmt, column);
        return text ? reinterpret_cast<const char*>(text) : "";
    }
    void BindInt(int index, int value) { sqlite3_bind_int(m_stmt, index, value); }
    // The buffer must outlive the statement (static binding).
    void BindText(int index, const char* text, int bytes) {
        sqlite3_bind_text(m_stmt, index, text, bytes, SQLITE_STATIC);
    }
    void BindText(int index, const QByteArray& text) {
        BindText(index, text.constData(), int(text.size()));
    }
    // Finalises now: SQLite's code of the last step (0 when it went well).
    int Finalize() {
        const int code = sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        return code;
    }

private:
    sqlite3_stmt* m_stmt = nullptr;
    int m_code = SQLITE_OK;
    int m_stepCode = SQLITE_DONE;
};

QByteArray Sql(const char* format, int value) {
    return QByteArray(format).replace("%1", QByteArray::number(value));
}

// Runs a statement without rows; logs "<what>, Err: <message>" on failure.
int Exec(sqlite3* db, const QByteArray& sql, const char* what) {
    char* message = nullptr;
    const int code = db ? sqlite3_exec(db, sql.constData(), nullptr, nullptr, &message) : SQLITE_MISUSE;
    if (code != SQLITE_OK && what)
        qCritical("%s, Err: %s", what, message ? message : ErrorText(db));
    sqlite3_free(message);
    return code;
}

// What a lookup of one row returns when no row came: 0 for none, -1 (logged
// as what) when the row could not be read.
int ReadEnd(const Statement& query, const char* what) {
    const int code = query.Error();
    if (code == 0) return 0;
    qCritical("%s, Err: %d %s", what, code, sqlite3_errstr(code));
    return -1;
}

// Fixed field of a record as a bound value: the bytes up to the first zero.
template <std::size_t N>
void BindField(Statement& statement, int index, const char (&field)[N]) {
    statement.BindText(index, field, int(strnlen(field, N)));
}

// ---- Helpers run with the library lock held ------------------------------

void DeleteImageLocked(sqlite3* db, int coverId) {
    Exec(db, Sql("delete from CoverInfo where CoverId = %1", coverId), "DB_DeleteImage");
}

// Appends every MusicItem key to the cache; the cursor goes to the last one.
int LoadItemKeysLocked(Library& lib) {
    Statement query(lib.db, "select ItemId from MusicItem order by ItemId");
    if (!query.Prepared()) {
        qCritical("CreatePrimaryKey, Err: %s", ErrorText(lib.db));
        return 0;
    }
    while (query.Step()) lib.keys.push_back(query.Int(0));
    if (const int code = query.Error()) {
        // A partial cache would hand out keys that are taken.
        qCritical("CreatePrimaryKey, Err: %d %s", code, ErrorText(lib.db));
        lib.keys.clear();
        lib.cursor = -1;
        return -1;
    }
    std::sort(lib.keys.begin(), lib.keys.end());
    lib.cursor = int(lib.keys.size()) - 1;
    return int(lib.keys.size());
}

void CopyColumn(char* field, std::size_t size, const char* text) {
    std::memset(field, 0, size);
    aws::CopyText(field, size, text);
}

// The columns of "SELECT * FROM MusicInfo" into a record (tag block zeroed).
void ReadMusicInfoRow(const Statement& row, SongRecord* record) {
    std::memset(&record->tags, 0, sizeof record->tags);
    RecordMusicInfo& tags = record->tags;
    record->MusicId = row.Int(0);
    record->MusicPath = QString::fromUtf8(row.Text(1));
    CopyColumn(tags.songName, sizeof tags.songName, row.Text(2));
    record->TimeRecorded = QString::fromUtf8(row.Text(3));
    CopyColumn(tags.artist, sizeof tags.artist, row.Text(4));
    CopyColumn(tags.album, sizeof tags.album, row.Text(5));
    CopyColumn(tags.albumGenre, sizeof tags.albumGenre, row.Text(6));
    record->DateAdded = QString::fromUtf8(row.Text(7));
    record->ImageId = row.Int(8);
    CopyColumn(tags.albumId, sizeof tags.albumId, row.Text(9));
    CopyColumn(tags.albumMusicList, sizeof tags.albumMusicList, row.Text(10));
    CopyColumn(tags.releaseDate, sizeof tags.releaseDate, row.Text(11));
}

// Binds the eleven song columns after MusicId, starting at index first, in
// the order of the insert and update statements. The buffers live in texts.
void BindSongColumns(Statement& statement, int first, const SongRecord& record,
                     QByteArray (&texts)[3], char (&year)[32]) {
    const RecordMusicInfo& tags = record.tags;
    texts[0] = record.MusicPath.toUtf8();
    texts[1] = record.TimeRecorded.toUtf8();
    texts[2] = record.DateAdded.toUtf8();
    // The whole 32-byte field, zero padded after the text.
    std::memset(year, 0, sizeof year);
    std::memcpy(year, tags.releaseDate, strnlen(tags.releaseDate, sizeof year - 1));
    statement.BindText(first, texts[0]);
    BindField(statement, first + 1, tags.songName);
    statement.BindText(first + 2, texts[1]);
    BindField(statement, first + 3, tags.artist);
    BindField(statement, first + 4, tags.album);
    BindField(statement, first + 5, tags.albumGenre);
    statement.BindText(first + 6, texts[2]);
    statement.BindInt(first + 7, record.ImageId);
    BindField(statement, first + 8, tags.albumId);
    BindField(statement, first + 9, tags.albumMusicList);
    statement.BindText(first + 10, year, int(sizeof year));
}

void CloseLocked(Library& lib) {
    if (lib.db) sqlite3_close(lib.db);
    lib.db = nullptr;
    lib.keys.clear();
    lib.cursor = -1;
}

// Reads the schema, before anything is written: SQLite opens any file and
// fails only at the first read, so this is where a file that is no
// database, or one that another process holds locked, shows. A database
// that holds none of the library's tables but others is another program's;
// a library table without the columns the readers use is refused too. SQLite
// code.
int ProbeLocked(sqlite3* db) {
    Statement tables(db, "SELECT name FROM sqlite_master WHERE type = 'table'");
    if (!tables.Prepared()) return tables.PrepareCode();
    QList<QByteArray> names;
    while (tables.Step()) names.push_back(QByteArray(tables.Text(0)).toLower());
    if (const int code = tables.Finalize()) return code;
    if (sqlite3_db_readonly(db, "main") == 1) return SQLITE_READONLY;
    bool ours = false;
    for (const auto& table : kSchema) {
        if (!names.contains(QByteArray(table.name).toLower())) continue;
        ours = true;
        Statement select(db, QByteArray("SELECT * FROM ") + table.name);
        if (!select.Prepared()) return select.PrepareCode();
        if (sqlite3_column_count(select.Get()) < table.columns) return SQLITE_SCHEMA;
    }
    return names.isEmpty() || ours ? SQLITE_OK : SQLITE_SCHEMA;
}

// Reads every page of the file once (PRAGMA quick_check), before anything
// is written: a library that cannot be read whole must not be loaded in
// part and then tidied up as if the rest were gone. SQLite code; a damaged
// page gives SQLITE_CORRUPT, with SQLite's own findings in the log.
int CheckPagesLocked(sqlite3* db) {
    Statement check(db, "PRAGMA quick_check");
    if (!check.Prepared()) return check.PrepareCode();
    bool sound = false;
    for (int line = 0; check.Step(); ++line) {
        const char* finding = check.Text(0);
        if (line == 0 && std::strcmp(finding, "ok") == 0) {
            sound = true;
        } else if (line < 5) {
            qCritical("DB_Open quick_check: %s", finding);
        }
    }
    if (const int code = check.Error()) return code;
    return sound ? SQLITE_OK : SQLITE_CORRUPT;
}

int CreateTablesLocked(sqlite3* db) {
    if (Exec(db, "begin transaction", "DB_Open") != SQLITE_OK) return sqlite3_errcode(db);
    if (Exec(db, kCreateMusicList, nullptr) == SQLITE_OK) {
        // A new database: the fixed lists and the first playlist.
        const char* const names[] = {"All Recordings", "Newly Recordings", "Recently Played",
                                     "PlayList 1"};
        for (int i = 0; i < 4; ++i) {
            Statement insert(db, "insert into MusicList values(?, ?)");
            const QByteArray name = Tr(names[i]).toUtf8();
            insert.BindInt(1, i + 1);
            insert.BindText(2, name);
            insert.Step();
            if (const int code = insert.Finalize()) {
                Exec(db, "rollback transaction", nullptr);
                return code;
            }
        }
    }
    // On an existing library these fail harmlessly.
    Exec(db, kCreateMusicItem, nullptr);
    Exec(db, kCreateMusicInfo, nullptr);
    Exec(db, kCreateCoverInfo, nullptr);
    if (const int code = Exec(db, kCreateNameOrigin, "DB_Open")) {
        Exec(db, "rollback transaction", nullptr);
        return code;
    }
    for (const char* index : kIndexes) {
        if (const int code = Exec(db, index, "DB_Open")) {
            Exec(db, "rollback transaction", nullptr);
            return code;
        }
    }
    return Exec(db, "commit transaction", "DB_Open");
}

}  // namespace

QString SongRecord::CoverPath() const {
    if (ImageId < 0 || ImageId >= tags.imageCount || ImageId >= 5) return QString();
    return TagText(tags.imagePaths[ImageId]);
}

void SetTagText(char* field, std::size_t size, const QString& text) {
    if (size == 0) return;
    std::memset(field, 0, size);
    const QByteArray utf8 = text.toUtf8();
    aws::CopyText(field, size, utf8.constData());
}

QString DB_DefaultPath() {
    return CConfig::instance()->GetLogPath() + QStringLiteral("/music.db");
}

int DB_Open() {
    return DB_OpenFile(DB_DefaultPath());
}

int DB_OpenFile(const QString& path) {
    Library& lib = Lib();
    std::lock_guard<std::mutex> guard(lib.lock);
    CloseLocked(lib);

    sqlite3* db = nullptr;
    const QByteArray file = path.toUtf8();
    int code = sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                               nullptr);
    if (code == SQLITE_OK) {
        sqlite3_busy_timeout(db, kBusyWaitMs);
        // SQLite opens any file and fails only at the first read: read the
        // schema now, before anything is written.
        code = ProbeLocked(db);
        if (code == SQLITE_OK) code = CheckPagesLocked(db);
        if (code == SQLITE_OK) code = CreateTablesLocked(db);
    }
    if (code != SQLITE_OK) {
        qCritical("DB_Open %s failed, err: %d %s", qUtf8Printable(path), code, sqlite3_errstr(code));
        qCritical("Cannot open database!");
        sqlite3_close(db);
        return code;
    }
    lib.db = db;
    qDebug("DB_Open %s", qUtf8Printable(path));
    return SQLITE_OK;
}

bool DB_IsOpen() {
    Library& lib = Lib();
    std::lock_guard<std::mutex> guard(lib.lock);
    return lib.db != nullptr;
}

int DB_KeepUnchanged() {
    Library& lib = Lib();
    std::lock_guard<std::mutex> guard(lib.lock);
    return Exec(lib.db, "PRAGMA query_only = 1", "DB_KeepUnchanged");
}

int DB_Close() {
    Library& lib = Lib();
    std::lock_guard<std::mutex> guard(lib.lock);
    const int code = lib.db ? sqlite3_close(lib.db) : SQLITE_OK;
    if (code == SQLITE_OK) lib.db = nullptr;
    lib.keys.clear();
    lib.cursor = -1;
    return code;
}

namespace {
// Runs a transaction statement; a failure is logged at debug level as
// "<name> failed : <message>".
int TransactionStatement(const char* sql, const char* name) {
    Library& lib = Lib();
    std::lock_guard<std::mutex> guard(lib.lock);
    char* message = nullptr;
    const int code = lib.db ? sqlite3_exec(lib.db, sql, nullptr, nullptr, &message) : SQLITE_MISUSE;
    if (code != SQLITE_OK) qDebug("%s failed : %s", name, message ? message : ErrorText(lib.db));
    sqlite3_free(message);
    return code;
}
}  // namespace

int DB_CreateTransaction() {
    return TransactionStatement("begin transaction", "DB_CreateTransaction");
}

int DB_CommitTransaction() {
    return TransactionStatement("commit transaction", "DB_CommitTransaction");
}

CLibraryTransaction::CLibraryTransaction() : m_began(DB_CreateTransaction() == SQLITE_OK) {}

CLibraryTransaction::~CLibraryTransaction() {
    if (m_began) DB_CommitTransaction();
}

int CreatePrimaryKey(const char* table, const char* column, int minimum, int maximum) {
    Library& lib = Lib();
    std::lock_guard<std::mutex> guard(lib.lock);
    const QByteArray sql = QByteArray("select ") + column + " from " + table + " order by " + column;
    Statement query(lib.db, sql);
    if (!query.Prepared()) {
        qCritical("CreatePrimaryKey, Err: %s", ErrorText(lib.db));
        return -1;
    }
    std::vector<int> keys;
    while (query.Step()) keys.push_back(query.Int(0));
    if (const int code = query.Error()) {
        qCritical("CreatePrimaryKey, Err: %d %s", code, ErrorText(lib.db));
        return -1;
    }
    if (keys.empty()) return minimum;
    if (int(keys.size()) >= maximum) return -1;
    if (keys.size() == 1) {
        if (keys[0] < maximum) return keys[0] + 1;
        return keys[0] == minimum ? -1 : minimum;
    }
    if (keys.front() != minimum) return minimum;
    for (std::size_t i = 0; i + 1 < keys.size(); ++i)
        if (keys[i + 1] > keys[i] + 1) return keys[i] + 1;
    return keys.back() + 1;
}

int DB_CreateItemKey() {
    Library& lib = Lib();
    std::lock_guard<std::mutex> guard(lib.lock);
    std::vector<int>& keys = lib.keys;
    int& cursor = lib.cursor;
    if (keys.empty() && LoadItemKeysLocked(lib) < 0) return -1;
    if (keys.empty()) {
        keys.push_back(1);
        cursor = 0;
        return 1;
    }
    if (keys.size() >= std::size_t(kItemIdMax)) return -1;
    if (keys.size() == 1) {
        const int key = keys[0] < kItemIdMax ? keys[0] + 1 : 1;
        // Kept sorted, so that removal can search it.
        if (key > keys[0]) {
            keys.push_back(key);
            cursor = 1;
        } else {
            keys.insert(keys.begin(), key);
            cursor = 0;
        }
        return key;
    }
    const int last = int(keys.size()) - 1;
    cursor = std::clamp(cursor, 0, last);
    if (keys[std::size_t(cursor)] == kItemIdMax) cursor = 0;
    // Walks from the cursor to the end for a hole; once, from the start
    // again, when the end is taken by the largest key.
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = cursor; i < last; ++i) {
            cursor = i + 1;
            if (keys[std::size_t(i) + 1] > keys[std::size_t(i)] + 1) {
                const int key = keys[std::size_t(i)] + 1;
                keys.insert(keys.begin() + i + 1, key);
                return key;
            }
        }
        if (keys.back() < kItemIdMax) {
            const int key = keys.back() + 1;
            keys.push_back(key);
            cursor = int(keys.size()) - 1;
            return key;
        }
        if (keys.front() > 1) {
            keys.insert(keys.begin(), 1);
            cursor = 0;
            return 1;
        }
        cursor = 0;
    }
    return -1;
}

void DB_SetImageInfo(int coverId, int musicId, const char* imagePath) {
    Library& lib = Lib();
    std::lock_guard<std::mutex> guard(lib.lock);
    Statement insert(lib.db, "INSERT INTO CoverInfo (CoverId, MusicId, ImagePath) VALUES (?, ?, ?)");
    if (!insert.Prepared()) {
        qCritical("DB_SetImageInfo failed, ErrCode: %d", insert.PrepareCode());
        return;
    }
    const char* path = imagePath ? imagePath : "";
    insert.BindInt(1, coverId);
    insert.BindInt(2, musicId);
    insert.BindText(3, path, int(std::strlen(path)));
    insert.Step();
}

void DB_DeleteImage(int coverId) {
    Library& lib = Lib();
    std::lock_guard<std::mutex> guard(lib.lock);
    DeleteImageLocked(lib.db, coverId);
}

int DB_ImageExists(const QString& imagePath) {
    Library& lib = Lib();
    std::lock_guard<std::mutex> guard(lib.lock);
    Statement query(lib.db, "SELECT CoverId FROM CoverInfo WHERE ImagePath = ?");
    if (!query.Prepared()) return 0;
    const QByteArray path = imagePath.toUtf8();
    query.BindText(1, path);
    return query.Step() ? 1 : 0;
}

void DB_GetImageInfo(SongRecord* record) {
    if (!record) return;
    Library& lib = Lib();
    std::lock_guard<std::mutex> guard(lib.lock);
    RecordMusicInfo& tags = record->tags;
    tags.imageCount = 0;
    std::memset(tags.reserved, 0, sizeof tags.reserved);
    std::memset(tags.imagePaths, 0, sizeof tags.imagePaths);
    Statement query(lib.db, Sql("SELECT CoverId, ImagePath FROM CoverInfo WHERE  MusicId = %1",
                                record->MusicId));
    if (!query.Prepared()) {
        qCritical("DB_GetImageInfo, Err: %s", ErrorText(lib.db));
        return;
    }
    int extra = 0;
    while (query.Step()) {
        if (tags.imageCount == 5) {
            extra = query.Int(0);
            break;
        }
        tags.reserved[tags.imageCount] = query.Int(0);
        aws::CopyText(tags.imagePaths[tags.imageCount], query.Text(1));
        ++tags.imageCount;
    }
    if (const int code = query.Error()) {
        qCritical("DB_GetImageInfo, Err: %d %s", code, ErrorText(lib.db));
        return;
    }
    query.Finalize();
    // A sixth cover is dropped from the table as soon as it is met.
    if (extra != 0) DeleteImageLocked(lib.db, extra);
}

int DB_GetMusicPath(int musicId, QString* path) {
    Library& lib = Lib();
    std::lock_guard<std::mutex> guard(lib.lock);
    Statement query(lib.db, Sql("SELECT MusicPath FROM MusicInfo WHERE MusicId = %1", musicId));
    if (!query.Prepared()) {
        qCritical("DB_GetMusicPath, Err: %s", ErrorText(lib.db));
        return 0;
    }
    if (!query.Step()) return ReadEnd(query, "DB_GetMusicPath");
    if (path) *path = QString::fromUtf8(query.Text(0));
    return 1;
}

int DB_GetMusicInfo(int musicId, SongRecord* record) {
    Library& lib = Lib();
    std::lock_guard<std::mutex> guard(lib.lock);
    Statement query(lib.db, Sql("SELECT * FROM MusicInfo WHERE MusicId = %1", musicId));
    if (!query.Prepared()) {
        qCritical("DB_GetMusicInfo, Err: %s", ErrorText(lib.db));
        return 0;
    }
    if (!query.Step()) return ReadEnd(query, "DB_GetMusicInfo");
    if (record) ReadMusicInfoRow(query, record);
    return 1;
}

int DB_GetAllMusicInfo(std::map<int, SongRecord>* records) {
    Library& lib = Lib();
    std::lock_guard<std::mutex> guard(lib.lock);
    Statement query(lib.db, "SELECT * FROM MusicInfo");
    if (!query.Prepared()) {
        qCritical("DB_GetAllMusicInfo, Err: %s", ErrorText(lib.db));
        return 0;
    }
    int rows = 0;
    while (query.Step()) {
        SongRecord record;
        ReadMusicInfoRow(query, &record);
        if (records) (*records)[record.MusicId] = record;
        ++rows;
    }
    if (const int code = query.Error()) {
        qCritical("DB_GetAllMusicInfo, Err: %d %s", code, ErrorText(lib.db));
        return -1;
    }
    return rows;
}

int DB_SetMusicInfo(const SongRecord& record) {
    Library& lib = Lib();
    std::lock_guard<std::mutex> guard(lib.lock);
    Statement insert(lib.db,
                     "INSERT INTO MusicInfo (MusicId, MusicPath, MusicName ,TimeRecorded ,Artist "
                     ",Album,Genre, DateAdded, ImageId, AlbumTUI, AlbumMusicList, Year) VALUES (?, "
                     "?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    if (!insert.Prepared()) {
        qCritical("DB_SetMusicInfo failed, ErrCode: %d", insert.PrepareCode());
        return insert.PrepareCode();
    }
    QByteArray texts[3];
    char year[32];
    insert.BindInt(1, record.MusicId);
    BindSongColumns(insert, 2, record, texts, year);
    insert.Step();
    return insert.Finalize();
}

int DB_UpdateMusicInfo(const SongRecord& record) {
    Library& lib = Lib();
    std::lock_guard<std::mutex> guard(lib.lock);
    Statement update(lib.db,
                     "update MusicInfo set MusicPath = ?, MusicName = ?, TimeRecorded = ?, Artist = "
                     "?, Album = ?, Genre = ?,DateAdded = ?, ImageId = ?, AlbumTUI = ?, "
                     "AlbumMusicList = ?, Year = ? WHERE MusicId = ?");
    if (!update.Prepared()) {
        qCritical("DB_UpdateMusicInfo failed, ErrCode: %d", update.PrepareCode());
        return update.PrepareCode();
    }
    QByteArray texts[3];
    char year[32];
    BindSongColumns(update, 1, record, texts, year);
    update.BindInt(12, record.MusicId);
    update.Step();
    return update.Finalize();
}

int DB_DeleteMusicinfo(int musicId) {
    Library& lib = Lib();
    std::lock_guard<std::mutex> guard(lib.lock);
    Exec(lib.db, Sql("delete from MusicInfo where MusicId = %1", musicId), "DB_DeleteMusicinfo");
    // Keys are reused: a later song must not inherit the origin.
    Exec(lib.db, Sql("delete from NameOrigin where MusicId = %1", musicId), "DB_DeleteMusicinfo");
    return 0;
}

int DB_SetNameOrigin(int musicId, int origin, const QString& player) {
    Library& lib = Lib();
    std::lock_guard<std::mutex> guard(lib.lock);
    if (origin == NameOrigin_None)
        return Exec(lib.db, Sql("delete from NameOrigin where MusicId = %1", musicId),
                    "DB_SetNameOrigin");
    Statement insert(lib.db, "INSERT OR REPLACE INTO NameOrigin (MusicId, Origin, Player) VALUES (?, ?, ?)");
    if (!insert.Prepared()) {
        qCritical("DB_SetNameOrigin failed, ErrCode: %d", insert.PrepareCode());
        return insert.PrepareCode();
    }
    const QByteArray name = origin == NameOrigin_Player ? player.toUtf8() : QByteArray();
    insert.BindInt(1, musicId);
    insert.BindInt(2, origin);
    insert.BindText(3, name);
    insert.Step();
    const int code = insert.Finalize();
    if (code != SQLITE_OK) qCritical("DB_SetNameOrigin failed, ErrCode: %d", code);
    return code;
}

int DB_GetNameOrigin(int musicId, QString* player) {
    Library& lib = Lib();
    std::lock_guard<std::mutex> guard(lib.lock);
    Statement query(lib.db, Sql("SELECT Origin, Player FROM NameOrigin WHERE MusicId = %1", musicId));
    if (!query.Prepared()) {
        qCritical("DB_GetNameOrigin, Err: %s", ErrorText(lib.db));
        return NameOrigin_None;
    }
    if (!query.Step()) return NameOrigin_None;
    if (player) *player = QString::fromUtf8(query.Text(1));
    return query.Int(0);
}

QString DB_SetMusicList(int listId, const QString& name) {
    Library& lib = Lib();
    std::lock_guard<std::mutex> guard(lib.lock);
    Statement insert(lib.db, "INSERT INTO MusicList (ListId, ListName) VALUES (?, ?)");
    if (!insert.Prepared()) {
        qCritical("DB_SetMusicList failed, ErrCode: %d", insert.PrepareCode());
        return Tr("Save List info to DB failed!");
    }
    const QByteArray text = name.toUtf8();
    insert.BindInt(1, listId);
    insert.BindText(2, text);
    insert.Step();
    if (const int code = insert.Finalize()) {
        qCritical("DB_SetMusicList failed, ErrCode: %d", code);
        return Tr("Save List info to DB failed!");
    }
    return QString();
}

int DB_DeleteMusicList(int listId) {
    qDebug("DB_DeleteMusicList, ListId: %d", listId);
    Library& lib = Lib();
    std::lock_guard<std::mutex> guard(lib.lock);
    Exec(lib.db, Sql("delete from MusicList where ListId = %1", listId), "DB_DeleteMusicList");
    return 0;
}

int DB_GetMusicListName(int listId, QString* name) {
    Library& lib = Lib();
    std::lock_guard<std::mutex> guard(lib.lock);
    Statement query(lib.db, Sql("SELECT ListName FROM MusicList WHERE ListId = %1", listId));
    if (!query.Prepared()) {
        qCritical("DB_GetMusicListName, Err: %s", ErrorText(lib.db));
        return query.PrepareCode();
    }
    if (query.Step() && name) *name = QString::fromUtf8(query.Text(0));
    return SQLITE_OK;
}

void DB_UpdateMusicList(int listId, const QString& name) {
    Library& lib = Lib();
    std::lock_guard<std::mutex> guard(lib.lock);
    Statement update(lib.db, "UPDATE MusicList SET ListName = ? WHERE ListId = ?");
    if (!update.Prepared()) {
        qCritical("DB_UpdateMusicList failed, ErrCode: %d", update.PrepareCode());
        return;
    }
    const QByteArray text = name.toUtf8();
    update.BindText(1, text);
    update.BindInt(2, listId);
    update.Step();
}

int DB_GetMusicList(QList<MusicListInfo>* lists) {
    Library& lib = Lib();
    std::lock_guard<std::mutex> guard(lib.lock);
    Statement query(lib.db, "SELECT * FROM MusicList");
    if (!query.Prepared()) {
        qCritical("DB_GetMusicList, Err: %s", ErrorText(lib.db));
        return query.PrepareCode();
    }
    QList<MusicListInfo> found;
    while (query.Step()) {
        MusicListInfo info;
        info.ListId = query.Int(0);
        info.ListName = QString::fromUtf8(query.Text(1));
        found.push_back(info);
    }
    if (const int code = query.Error()) {
        qCritical("DB_GetMusicList, Err: %d %s", code, ErrorText(lib.db));
        return code;
    }
    for (MusicListInfo& info : found) {
        Statement count(lib.db, Sql("SELECT count(*) FROM MusicItem WHERE ListId = %1", info.ListId));
        if (!count.Prepared()) {
            qCritical("DB_GetMusicList, Err: %s", ErrorText(lib.db));
            continue;
        }
        if (count.Step()) info.ItemCount = count.Int(0);
        if (const int code = count.Error()) {
            qCritical("DB_GetMusicList, Err: %d %s", code, ErrorText(lib.db));
            return code;
        }
    }
    if (lists) lists->append(found);
    return SQLITE_OK;
}

QString DB_CreateListName() {
    Library& lib = Lib();
    std::lock_guard<std::mutex> guard(lib.lock);
    for (int n = 1;; ++n) {
        const QString candidate = Tr("PlayList") + QLatin1Char(' ') + QString::number(n);
        Statement query(lib.db, "SELECT * FROM musiclist WHERE listname = ?");
        if (!query.Prepared()) return candidate;
        const QByteArray text = candidate.toUtf8();
        query.BindText(1, text);
        if (!query.Step()) return candidate;
    }
}

void DB_SetMusicItem(int itemId, int listId, int musicId) {
    Library& lib = Lib();
    std::lock_guard<std::mutex> guard(lib.lock);
    Statement insert(lib.db, "INSERT INTO MusicItem (ItemId, ListId, MusicId) VALUES (?, ?, ?)");
    if (!insert.Prepared()) {
        qCritical("DB_SetMusicItem failed, ErrCode: %d", insert.PrepareCode());
        return;
    }
    insert.BindInt(1, itemId);
    insert.BindInt(2, listId);
    insert.BindInt(3, musicId);
    insert.Step();
    if (const int code = insert.Finalize()) qCritical("DB_SetMusicItem failed, ErrCode: %d", code);
}

int DB_GetMusicItem(QList<MusicItemInfo>* items, const char* column, int value) {
    if (!column || (std::strcmp(column, "ListId") != 0 && std::strcmp(column, "MusicId") != 0))
        return SQLITE_MISUSE;
    Library& lib = Lib();
    std::lock_guard<std::mutex> guard(lib.lock);
    const QByteArray sql = QByteArray("SELECT * FROM MusicItem WHERE ") + column + " = " +
                           QByteArray::number(value) + " order by MusicId";
    Statement query(lib.db, sql);
    if (!query.Prepared()) {
        qCritical("DB_GetMusicItem, Err: %s", ErrorText(lib.db));
        return query.PrepareCode();
    }
    QList<MusicItemInfo> found;
    while (query.Step()) found.push_back(MusicItemInfo{query.Int(0), query.Int(1), query.Int(2)});
    if (const int code = query.Error()) {
        qCritical("DB_GetMusicItem, Err: %d %s", code, ErrorText(lib.db));
        return code;
    }
    if (items) items->append(found);
    return SQLITE_OK;
}

void DB_DeleteMusicItem(int itemId) {
    Library& lib = Lib();
    std::lock_guard<std::mutex> guard(lib.lock);
    if (lib.keys.empty()) LoadItemKeysLocked(lib);
    // The cache is sorted; the cursor stays where it is.
    const auto found = std::lower_bound(lib.keys.begin(), lib.keys.end(), itemId);
    if (found != lib.keys.end() && *found == itemId) lib.keys.erase(found);
    Exec(lib.db, Sql("delete from MusicItem where ItemId = %1 ", itemId), "DB_DeleteMusicItem");
}

namespace {
// Runs a query under the library lock and hands each row to read. Returns
// the number of rows, or -1 (logged as what) when it cannot be prepared or
// a row cannot be read: the rows handed over so far are then not all.
template <typename Read>
int ForEachRow(const char* sql, const char* what, Read read) {
    Library& lib = Lib();
    std::lock_guard<std::mutex> guard(lib.lock);
    Statement query(lib.db, sql);
    if (!query.Prepared()) {
        qCritical("%s, Err: %s", what, ErrorText(lib.db));
        return -1;
    }
    int rows = 0;
    while (query.Step()) {
        read(query);
        ++rows;
    }
    if (const int code = query.Error()) {
        qCritical("%s, Err: %d %s (after %d rows)", what, code, ErrorText(lib.db), rows);
        return -1;
    }
    return rows;
}
}  // namespace

int DB_ForEachMusicInfo(const std::function<void(const MusicInfoView&)>& visit) {
    return ForEachRow("SELECT * FROM MusicInfo", "DB_GetAllMusicInfo", [&](Statement& query) {
        visit(MusicInfoView{query.Int(0), query.Text(1), query.Text(2), query.Text(3),
                            query.Text(4), query.Text(5), query.Text(6), query.Text(7),
                            query.Int(8), query.Text(9), query.Text(10), query.Text(11)});
    });
}

int DB_ForEachCover(const std::function<void(int, int, const char*)>& visit) {
    return ForEachRow("SELECT MusicId, CoverId, ImagePath FROM CoverInfo ORDER BY MusicId, rowid",
                      "DB_GetImageInfo",
                      [&](Statement& query) { visit(query.Int(0), query.Int(1), query.Text(2)); });
}

int DB_ForEachMusicItem(const std::function<void(const MusicItemInfo&)>& visit) {
    return ForEachRow("SELECT ItemId, ListId, MusicId FROM MusicItem ORDER BY ListId, MusicId",
                      "DB_GetMusicItem", [&](Statement& query) {
                          visit(MusicItemInfo{query.Int(0), query.Int(1), query.Int(2)});
                      });
}

int DB_ForEachNameOrigin(const std::function<void(int, int, const char*)>& visit) {
    return ForEachRow("SELECT MusicId, Origin, Player FROM NameOrigin", "DB_GetNameOrigin",
                      [&](Statement& query) { visit(query.Int(0), query.Int(1), query.Text(2)); });
}
