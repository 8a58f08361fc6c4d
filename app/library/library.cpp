#include "library.h"

#include <QDate>
#include <QFile>

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "config.h"
#include "download/downloadqueue.h"
#include "download/songinfostore.h"
#include "editing/musictagswriter.h"
#include "libraryfiles.h"
#include "localfile.h"
#include "musicfilename.h"
#include "playqueue.h"
#include "specialdirs.h"

namespace {

// How many days back a play time keeps a song in "Recently Played".
constexpr int kRecentDays = 2;

QString Ptr(const void* p) {
    return QStringLiteral("0x%1").arg(quintptr(p), 0, 16);
}

// The date of a library date text ("MM/dd/yyyy..."); invalid when it is none.
QDate DateOf(QStringView text) {
    if (text.size() < 10 || text[2] != QLatin1Char('/') || text[5] != QLatin1Char('/'))
        return QDate();
    bool okMonth = false, okDay = false, okYear = false;
    const int month = text.mid(0, 2).toInt(&okMonth);
    const int day = text.mid(3, 2).toInt(&okDay);
    const int year = text.mid(6, 4).toInt(&okYear);
    if (!okMonth || !okDay || !okYear) return QDate();
    return QDate(year, month, day);
}

}  // namespace

CLibrary::CLibrary(CConfig* config, QObject* parent) : QObject(parent), m_config(config) {
    m_queue = new CPlayQueue(this);
    m_pendingDownloads = new CPendingDownloadQueue(this);
    SetDownloadQueue(nullptr);
}

CLibrary::~CLibrary() {
    // The rows go before the connection that filled them.
    m_rows.clear();
    if (m_open) DB_Close();
}

int CLibrary::Open(const QString& path) {
    if (const int code = DB_OpenFile(path)) return code;
    m_open = true;
    if (!Load()) {
        // Nothing may be concluded from a song that was not read: no
        // clean-up, and no change at all while the rows are not all known.
        m_incomplete = true;
        qCritical("CLibrary: the library could not be read whole, it is kept unchanged");
        DB_KeepUnchanged();
    }
    return 0;
}

std::vector<CTreeWidgetItem*> CLibrary::Members(int listId) const {
    std::vector<CTreeWidgetItem*> rows;
    if (const Membership* members = ListMembers(listId)) {
        rows.reserve(std::size_t(members->size()));
        for (auto it = members->cbegin(); it != members->cend(); ++it)
            if (CTreeWidgetItem* row = FindRow(it.key())) rows.push_back(row);
    }
    return rows;
}

void CLibrary::AddList(int listId) {
    if (listId >= List_FirstPlaylist) m_lists[listId];
}

int CLibrary::Lists(QList<MusicListInfo>* lists) const {
    return DB_GetMusicList(lists);
}

int CLibrary::CreatePlaylist(QString* name, bool* full, QString* error) {
    *full = false;
    const int listId = CreatePrimaryKey("MusicList", "ListId", kListIdMin, kListIdMax);
    if (listId < 0) {
        *full = true;
        return -1;
    }
    *name = DB_CreateListName();
    *error = DB_SetMusicList(listId, *name);
    if (!error->isEmpty()) return -1;
    m_lists[listId];
    return listId;
}

QString CLibrary::RenamePlaylist(int listId, const QString& name) {
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty()) {
        QString stored;
        DB_GetMusicListName(listId, &stored);
        return stored;
    }
    DB_UpdateMusicList(listId, trimmed);
    return trimmed;
}

void CLibrary::DeletePlaylist(int listId) {
    if (listId < List_FirstPlaylist) return;
    DB_DeleteMusicList(listId);
    m_lists.erase(listId);
    if (m_queue->ListId() == listId) m_queue->Set(m_queue->Rows(), m_queue->CurrentIndex(), 0);
}

void CLibrary::TagsEdited(CTreeWidgetItem* row) {
    if (row && m_rows.count(row->MusicId())) Q_EMIT AutoDownloadFinished(row);
}

bool CLibrary::Load() {
    m_rows.reserve(1024);
    bool whole = true;
    whole &= DB_ForEachMusicInfo([this](const MusicInfoView& view) {
        auto row = std::make_unique<CTreeWidgetItem>(view.MusicId);
        row->SetFromView(view);
        m_rows[view.MusicId] = std::move(row);
    }) >= 0;
    // Every song's shown cover in one pass: cover number ImageId of the
    // song's first five.
    int song = 0;
    int number = 0;
    CTreeWidgetItem* row = nullptr;
    whole &= DB_ForEachCover([&](int musicId, int, const char* path) {
        if (musicId != song) {
            song = musicId;
            number = 0;
            row = FindRow(musicId);
        }
        if (row && number < 5 && number == row->ImageId()) row->SetCoverPath(QString::fromUtf8(path));
        ++number;
    }) >= 0;
    whole &= DB_ForEachNameOrigin([this](int musicId, int origin, const char* player) {
        if (CTreeWidgetItem* found = FindRow(musicId))
            found->SetNameOrigin(origin, QString::fromUtf8(player));
    }) >= 0;
    whole &= BuildMemberships(whole);
    qDebug("CLibrary::Load songs: %d", int(m_rows.size()));
    return whole;
}

bool CLibrary::BuildMemberships(bool tidy) {
    QList<MusicListInfo> lists;
    const bool listsRead = DB_GetMusicList(&lists) == 0;
    tidy = tidy && listsRead;
    for (const MusicListInfo& list : lists) m_lists[list.ListId];
    Membership& all = m_lists[List_AllRecordings];
    Membership& newly = m_lists[List_NewlyRecordings];
    Membership& recent = m_lists[List_RecentlyPlayed];
    const QDate today = QDate::currentDate();
    const QString todayText = today.toString(QStringLiteral("MM/dd/yyyy"));

    CLibraryTransaction transaction;
    std::vector<CTreeWidgetItem*> stalePlayTimes;
    all.reserve(qsizetype(m_rows.size()));
    for (const auto& [musicId, row] : m_rows) {
        all.insert(musicId, 0);
        if (QStringView(row->DateAdded()).left(10) == todayText) newly.insert(musicId, 0);
        if (!row->HasPlayTime()) continue;
        const QDate played = DateOf(QStringView(row->DateAdded()).mid(kDateTextLength + 1));
        if (!played.isValid()) continue;
        if (played.daysTo(today) <= kRecentDays)
            recent.insert(musicId, 0);
        else
            stalePlayTimes.push_back(row.get());
    }
    // A play time older than two days is dropped for good.
    if (tidy)
        for (CTreeWidgetItem* stale : stalePlayTimes) SetRowDateAdded(stale, stale->AddedText());

    std::vector<int> orphans;
    const bool whole = DB_ForEachMusicItem([&](const MusicItemInfo& item) {
        if (item.ListId < List_FirstPlaylist) return;
        auto list = m_lists.find(item.ListId);
        if (list == m_lists.end()) return;  // items of a list that is gone
        if (m_rows.count(item.MusicId))
            list->second.insert(item.MusicId, item.ItemId);
        else
            orphans.push_back(item.ItemId);
    }) >= 0;
    // Memberships of songs that no longer exist, known only after every
    // song and every membership was read.
    if (tidy && whole)
        for (int itemId : orphans) DB_DeleteMusicItem(itemId);
    return listsRead && whole;
}

void CLibrary::SetDownloadQueue(CDownloadQueue* queue) {
    if (m_downloads) disconnect(m_downloads, nullptr, this, nullptr);
    m_downloads = queue ? queue : m_pendingDownloads;
    connect(m_downloads, &CDownloadQueue::TaskNotified, this, &CLibrary::HandleDownloadNotify);
    m_downloads->StartService();
}

int CLibrary::ListCount(int listId) const {
    const Membership* members = ListMembers(listId);
    return members ? int(members->size()) : 0;
}

bool CLibrary::IsInList(const CTreeWidgetItem* row, int listId) const {
    const Membership* members = ListMembers(listId);
    return row && members && members->contains(row->MusicId());
}

void CLibrary::EmitCount(int listId) {
    Q_EMIT ListCountChanged(listId, ListCount(listId));
}

void CLibrary::SetRowDateAdded(CTreeWidgetItem* row, const QString& dateAdded) {
    std::unique_ptr<SongRecord> record = LoadRecord(row);
    if (!record) return;
    record->DateAdded = dateAdded;
    DB_UpdateMusicInfo(*record);
    row->SetDateAdded(dateAdded);
}

void CLibrary::AddToList(const QList<CTreeWidgetItem*>& rows, int listId) {
    Membership* members = ListMembers(listId);
    if (!members || listId < List_RecentlyPlayed || rows.isEmpty()) return;
    QList<CTreeWidgetItem*> added;
    {
        CLibraryTransaction transaction;
        for (CTreeWidgetItem* row : rows) {
            if (!row || !m_rows.count(row->MusicId()) || row == m_newRecord) continue;
            if (listId == List_RecentlyPlayed) {
                SetRowDateAdded(row, row->AddedText() + QLatin1Char(';') + LibraryDateText());
                members->insert(row->MusicId(), 0);
            } else {
                if (members->contains(row->MusicId())) continue;
                const int itemId = DB_CreateItemKey();
                if (itemId < 0) {
                    qWarning("CLibrary::AddToList no free item key, listId: %d", listId);
                    break;
                }
                DB_SetMusicItem(itemId, listId, row->MusicId());
                members->insert(row->MusicId(), itemId);
            }
            added.push_back(row);
        }
    }
    if (!added.isEmpty()) Q_EMIT MembersAdded(listId, added);
    EmitCount(listId);
}

bool CLibrary::RemoveFromQueue(const std::vector<const CTreeWidgetItem*>& rows, int listId) {
    if (m_queue->IsEmpty() || (listId != 0 && m_queue->ListId() != listId)) return false;
    bool playing = false;
    bool removed = false;
    for (const CTreeWidgetItem* row : rows) {
        if (!m_queue->Contains(row)) continue;
        removed = true;
        if (m_queue->Remove(row)) playing = true;
        if (auto it = m_rows.find(row->MusicId()); it != m_rows.end() && it->second->IsPlaying()) {
            it->second->SetPlaying(false);
            Q_EMIT RowChanged(it->second.get());
        }
    }
    return removed && playing;
}

void CLibrary::RemoveFromList(const QList<CTreeWidgetItem*>& rows, int listId) {
    Membership* members = ListMembers(listId);
    if (!members || listId < List_RecentlyPlayed) return;
    std::vector<const CTreeWidgetItem*> removed;
    {
        CLibraryTransaction transaction;
        for (CTreeWidgetItem* row : rows) {
            if (!row || !members->contains(row->MusicId())) continue;
            if (listId == List_RecentlyPlayed) {
                SetRowDateAdded(row, row->AddedText());
            } else {
                DB_DeleteMusicItem(members->value(row->MusicId()));
            }
            members->remove(row->MusicId());
            removed.push_back(row);
        }
    }
    if (removed.empty()) return;
    const bool queueTouched = std::any_of(removed.begin(), removed.end(), [this](auto* row) {
        return m_queue->Contains(row);
    }) && m_queue->ListId() == listId;
    const bool playing = RemoveFromQueue(removed, listId);
    Q_EMIT MembersRemoved(listId, removed);
    EmitCount(listId);
    if (queueTouched) Q_EMIT QueueEntriesRemoved(playing);
}

CTreeWidgetItem* CLibrary::FindRow(int musicId) const {
    auto found = m_rows.find(musicId);
    return found == m_rows.end() ? nullptr : found->second.get();
}

bool CLibrary::IsOwnSongFile(const QString& path) const {
    return m_config && InMusicFolders(path, m_config->GetOutputPath());
}

bool CLibrary::CheckFile(CTreeWidgetItem* row) {
    if (!row) return false;
    // A FIFO or a device in the song's place is no song: opening it would
    // hold the window.
    const bool exists = IsRegularFile(row->Path());
    if (row->IsMissing() == exists) {
        row->SetMissing(!exists);
        Q_EMIT RowChanged(row);
    }
    return exists;
}

void CLibrary::SetPlayingMark(CTreeWidgetItem* row, bool playing) {
    if (!row || row->IsPlaying() == playing) return;
    row->SetPlaying(playing);
    Q_EMIT RowChanged(row);
}

std::unique_ptr<SongRecord> CLibrary::LoadRecord(const CTreeWidgetItem* row) const {
    if (!row) return nullptr;
    auto record = std::make_unique<SongRecord>();
    if (DB_GetMusicInfo(row->MusicId(), record.get()) != 1) return nullptr;
    DB_GetImageInfo(record.get());
    return record;
}

int CLibrary::StoreRecord(const SongRecord& record) {
    const int code = DB_UpdateMusicInfo(record);
    if (CTreeWidgetItem* row = FindRow(record.MusicId)) {
        row->SetFromRecord(record);
        Q_EMIT RowChanged(row);
        Q_EMIT MusicItemInfoChanged(row);
    }
    return code;
}

void CLibrary::RefreshRow(CTreeWidgetItem* row) {
    std::unique_ptr<SongRecord> record = LoadRecord(row);
    if (!record) return;
    row->SetFromRecord(*record);
    QString player;
    const int origin = DB_GetNameOrigin(row->MusicId(), &player);
    row->SetNameOrigin(origin, player);
    Q_EMIT RowChanged(row);
}

void CLibrary::SetNameOrigin(CTreeWidgetItem* row, int origin, const QString& player) {
    if (!row) return;
    DB_SetNameOrigin(row->MusicId(), origin, player);
    row->SetNameOrigin(origin, origin == NameOrigin_Player ? player : QString());
    Q_EMIT RowChanged(row);
}

void CLibrary::DeleteSongs(const QList<CTreeWidgetItem*>& rows) {
    std::vector<const CTreeWidgetItem*> gone;
    std::unordered_set<int> changedLists;
    {
        CLibraryTransaction transaction;
        for (CTreeWidgetItem* row : rows) {
            if (!row || !m_rows.count(row->MusicId())) continue;
            const int musicId = row->MusicId();
            gone.push_back(row);
            std::unique_ptr<SongRecord> record = LoadRecord(row);
            if (!record) {
                qDebug("CLibrary::DeleteSongs can not found record, item: %s musicId: %d",
                       qUtf8Printable(Ptr(row)), musicId);
            }
            // Playlists: through the table, so that lists that are not
            // loaded lose their rows too.
            QList<MusicItemInfo> items;
            DB_GetMusicItem(&items, "MusicId", musicId);
            for (const MusicItemInfo& item : items) {
                DB_DeleteMusicItem(item.ItemId);
                if (Membership* members = ListMembers(item.ListId)) {
                    members->remove(musicId);
                    changedLists.insert(item.ListId);
                }
            }
            for (int listId : {int(List_AllRecordings), int(List_NewlyRecordings),
                               int(List_RecentlyPlayed)}) {
                if (Membership* members = ListMembers(listId); members && members->remove(musicId))
                    changedLists.insert(listId);
            }
            if (m_downloads) m_downloads->CancelTask(musicId);
            if (!record) continue;

            // A file outside the music folders is the user's own: only the
            // library forgets it. The song being recorded is always ours.
            if (row != m_newRecord && !IsOwnSongFile(record->MusicPath)) {
                qDebug("CLibrary::DeleteSongs file kept, not in a music folder: %s",
                       qUtf8Printable(record->MusicPath));
            } else if (QFile::exists(record->MusicPath) && !QFile::remove(record->MusicPath)) {
                qWarning("CLibrary::DeleteSongs cannot remove file: %s",
                         qUtf8Printable(record->MusicPath));
            }
            DB_DeleteMusicinfo(musicId);
            for (int i = 0; i < record->tags.imageCount && i < 5; ++i) {
                DB_DeleteImage(record->tags.reserved[i]);
                // An image another cover still names stays.
                RemoveUnusedCoverFile(TagText(record->tags.imagePaths[i]));
            }
            if (const QString sample = m_finishedSamples.take(musicId); !sample.isEmpty())
                QFile::remove(sample);
        }
    }
    if (gone.empty()) return;

    const bool queueTouched = std::any_of(gone.begin(), gone.end(),
                                          [this](auto* row) { return m_queue->Contains(row); });
    const bool playing = RemoveFromQueue(gone, 0);
    Q_EMIT MembersRemoved(0, gone);
    for (int listId : changedLists) {
        if (listId >= List_RecentlyPlayed) Q_EMIT MusicInOtherListDeleted(listId, ListCount(listId));
        EmitCount(listId);
    }
    for (const CTreeWidgetItem* row : gone) {
        CTreeWidgetItem* doomed = const_cast<CTreeWidgetItem*>(row);
        if (doomed == m_newRecord) m_newRecord = nullptr;
        Q_EMIT MusicItemDeleted(doomed);
        m_rows.erase(doomed->MusicId());
    }
    if (queueTouched) Q_EMIT QueueEntriesRemoved(playing);
}

int CLibrary::CreateNewRecord(const QString& path) {
    SongRecord record;
    record.MusicPath = path;
    record.DateAdded = LibraryDateText();
    record.MusicId = CreatePrimaryKey("MusicInfo", "MusicId", kMusicIdMin, kMusicIdMax);
    if (record.MusicId < 0) {
        qWarning("CLibrary::CreateNewRecord the library is full");
        Q_EMIT LibraryFull();
        return -1;
    }
    if (const int code = DB_SetMusicInfo(record)) {
        qWarning("CLibrary::CreateNewRecord cannot store musicId: %d err: %d",
                 record.MusicId, code);
        return -1;
    }
    if (m_newRecord) {
        qWarning("CLibrary::CreateNewRecord the previous new record %d was never filed",
                 m_newRecord->MusicId());
        FileNewRecord(false);
    }
    auto row = std::make_unique<CTreeWidgetItem>(record.MusicId);
    row->SetFromRecord(record);
    m_newRecord = row.get();
    m_rows[record.MusicId] = std::move(row);
    qDebug("CLibrary::CreateNewRecord item: %s musicId: %d file: %s",
           qUtf8Printable(Ptr(m_newRecord)), record.MusicId, qUtf8Printable(path));
    return 0;
}

int CLibrary::StartAutoDownload(const QString& samplePath) {
    std::unique_ptr<SongRecord> record = LoadRecord(m_newRecord);
    if (!record) {
        QFile::remove(samplePath);
        qDebug("CLibrary::StartAutoDownload no new record, remove file: %s",
               qUtf8Printable(samplePath));
        return -1;
    }
    qDebug("CLibrary::StartAutoDownload item %s musicId: %d temp file: %s",
           qUtf8Printable(Ptr(m_newRecord)), record->MusicId, qUtf8Printable(samplePath));
    // The task works on the record's file: the sample, until the song ends.
    m_autoDownloadId = record->MusicId;
    m_autoDownloadFile = record->MusicPath;
    record->MusicPath = samplePath;
    DB_UpdateMusicInfo(*record);
    m_newRecord->SetFromRecord(*record);
    m_downloads->AddTask(record->MusicId, true);
    return 0;
}

int CLibrary::CompleteNewRecord(const QString& finalPath) {
    if (!m_newRecord) return -1;
    std::unique_ptr<SongRecord> record = LoadRecord(m_newRecord);
    if (!record) return 1;
    QString sample;
    if (m_autoDownloadId == record->MusicId && !m_autoDownloadFile.isEmpty()) {
        sample = record->MusicPath;
        m_autoDownloadFile.clear();
        m_autoDownloadId = 0;
    }
    record->MusicPath = finalPath;
    const int state = m_newRecord->DownloadState();
    if (!sample.isEmpty() && sample != finalPath) {
        if (state < DownloadTask_WAITING) {
            QFile::remove(sample);
            qDebug("CLibrary::CompleteNewRecord item %s musicId: %d remove file: %s",
                   qUtf8Printable(Ptr(m_newRecord)), record->MusicId, qUtf8Printable(sample));
        } else {
            m_finishedSamples.insert(record->MusicId, sample);
        }
    }
    // The song information came while recording, or the player named the
    // song: the file takes its name.
    const QString name = TagText(record->tags.songName);
    const bool named =
        state == DownloadTask_SUCESS || m_newRecord->NameOrigin() == NameOrigin_Player;
    if (named && !name.isEmpty()) record->MusicPath = SaveLoadMuiscName(name, record->MusicPath);
    DB_UpdateMusicInfo(*record);
    m_newRecord->SetFromRecord(*record);
    return 0;
}

void CLibrary::FileNewRecord(bool identify) {
    CTreeWidgetItem* row = m_newRecord;
    if (!row) return;
    m_newRecord = nullptr;
    m_lists[List_AllRecordings].insert(row->MusicId(), 0);
    m_lists[List_NewlyRecordings].insert(row->MusicId(), 0);
    EmitCount(List_AllRecordings);
    EmitCount(List_NewlyRecordings);
    if (!identify && row->DownloadState() == DownloadTask_WAITING) {
        // Identification is not wanted after all: the queue drops the task
        // that waited for the song, and its sample goes.
        if (const QString sample = m_finishedSamples.take(row->MusicId()); !sample.isEmpty())
            QFile::remove(sample);
        row->SetDownloadState(0);
        Q_EMIT RowChanged(row);
    }
    // The player's texts go into the file now, before identification reads
    // it; an answer found later writes its own.
    if (row->NameOrigin() == NameOrigin_Player) {
        if (std::unique_ptr<SongRecord> record = LoadRecord(row)) WriteMusicTags(*record);
    }
    m_downloads->SongFiled(row->MusicId(), true, identify);
    Q_EMIT NewRecordFiled(row, identify);
}

void CLibrary::DiscardNewRecord() {
    CTreeWidgetItem* row = m_newRecord;
    if (!row) return;
    qDebug("CLibrary::DiscardNewRecord item: %s musicId: %d", qUtf8Printable(Ptr(row)),
           row->MusicId());
    // While its sample is identified, the record names the sample and the
    // song's own file is remembered here.
    if (m_autoDownloadId == row->MusicId() && !m_autoDownloadFile.isEmpty()) {
        QFile::remove(m_autoDownloadFile);
        m_autoDownloadFile.clear();
        m_autoDownloadId = 0;
    }
    const int musicId = row->MusicId();
    m_downloads->SongFiled(musicId, false, false);
    DeleteSongs({row});
    m_newRecord = nullptr;
}

int CLibrary::SetPlayerTexts(const QString& title, const QString& artist, const QString& album,
                             const QString& player) {
    std::unique_ptr<SongRecord> record = LoadRecord(m_newRecord);
    if (!record) return -1;
    RecordMusicInfo& tags = record->tags;
    if (!title.isEmpty()) SetTagText(tags.songName, title);
    if (!artist.isEmpty()) SetTagText(tags.artist, artist);
    if (!album.isEmpty()) SetTagText(tags.album, album);
    qDebug("CLibrary::SetPlayerTexts item %s musicId: %d name: %s player: %s",
           qUtf8Printable(Ptr(m_newRecord)), record->MusicId, qUtf8Printable(title),
           qUtf8Printable(player));
    DB_UpdateMusicInfo(*record);
    m_newRecord->SetFromRecord(*record);
    if (!title.isEmpty()) SetNameOrigin(m_newRecord, NameOrigin_Player, player);
    Q_EMIT RowChanged(m_newRecord);
    Q_EMIT MusicItemInfoChanged(m_newRecord);
    return 0;
}

int CLibrary::AddPlayerCover(int musicId, const QString& imagePath) {
    CTreeWidgetItem* row = FindRow(musicId);
    std::unique_ptr<SongRecord> record = LoadRecord(row);
    RecordMusicInfo picture;
    std::memset(&picture, 0, sizeof picture);
    SetTagText(picture.imagePaths[0], imagePath);
    picture.imageCount = 1;
    if (!record || SaveCovers(record.get(), picture, SpecialDirPath(SpecialDir_Pictures)) == 0) {
        qDebug("CLibrary::AddPlayerCover not stored, musicId: %d remove file: %s", musicId,
               qUtf8Printable(imagePath));
        RemoveUnusedCoverFile(imagePath);
        return -1;
    }
    DB_UpdateMusicInfo(*record);
    row->SetFromRecord(*record);
    Q_EMIT RowChanged(row);
    Q_EMIT MusicItemInfoChanged(row);
    // While recording, the record may name the sample: the song's own file
    // is tagged when the song is filed.
    if (row != m_newRecord && !row->IsPlaying()) WriteMusicTags(*record);
    return 0;
}

void CLibrary::HandleDownloadNotify(int musicId, int state) {
    CTreeWidgetItem* row = FindRow(musicId);
    const bool finished = state == DownloadTask_SUCESS || state == DownloadTask_FAILED;
    if (finished) {
        if (const QString sample = m_finishedSamples.take(musicId); !sample.isEmpty()) {
            QFile::remove(sample);
            qDebug("AutoDownload finished item %s musicId: %d temp file: %s",
                   qUtf8Printable(Ptr(row)), musicId, qUtf8Printable(sample));
        }
    }
    if (!row) return;
    switch (state) {
    case DownloadTask_WAITING:
        row->SetDownloadState(state);
        break;
    case DownloadTask_RUNNING:
        row->SetBusy(true);
        row->SetDownloadState(state);
        break;
    case DownloadTask_REQUESTING:
        row->SetBusy(false);
        row->SetDownloadState(state);
        break;
    case DownloadTask_FAILED:
        row->SetBusy(false);
        qDebug("CLibrary::HandleDownloadNotify DownloadTask_FAILED item %s musicId: %d",
               qUtf8Printable(Ptr(row)), musicId);
        row->SetDownloadState(state);
        break;
    case DownloadTask_SUCESS: {
        row->SetBusy(false);
        qDebug("CLibrary::HandleDownloadNotify DownloadTask_SUCESS item %s musicId: %d",
               qUtf8Printable(Ptr(row)), musicId);
        if (std::unique_ptr<SongRecord> record = LoadRecord(row)) {
            const QString name = TagText(record->tags.songName);
            if (!name.isEmpty()) record->MusicPath = SaveLoadMuiscName(name, record->MusicPath);
            DB_UpdateMusicInfo(*record);
            row->SetFromRecord(*record);
            QString player;
            const int origin = DB_GetNameOrigin(musicId, &player);
            row->SetNameOrigin(origin, player);
                    Q_EMIT MusicItemInfoChanged(row);
        }
        row->SetDownloadState(state);
        break;
    }
    default:
        row->SetBusy(false);
        break;
    }
    Q_EMIT RowChanged(row);
    if (finished) Q_EMIT AutoDownloadFinished(row);
}

CLibrary::Membership* CLibrary::ListMembers(int listId) {
    auto found = m_lists.find(listId);
    return found == m_lists.end() ? nullptr : &found->second;
}

const CLibrary::Membership* CLibrary::ListMembers(int listId) const {
    auto found = m_lists.find(listId);
    return found == m_lists.end() ? nullptr : &found->second;
}
