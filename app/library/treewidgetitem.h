#pragma once

// The row of one song in the recordings list. QtCore only.

#include <QString>

struct MusicInfoView;
struct SongRecord;

// One song of the library as the recordings list shows it: a light record
// that keeps the song's MusicId, the texts of its columns, its date text,
// the path of its shown cover and its download state. Rows are what the
// play queue, drag and drop, the tag editor and the iTunes export pass
// around; the song's full record is loaded afresh whenever it is needed
// (CLibrary::LoadRecord).
//
// Owned by CLibrary, which creates one per song when it loads the
// library and destroys it when the song is deleted (after emitting
// MusicItemDeleted(row)): a pointer to a row stays valid until then. The
// setters are for the library, which tells the views after calling them.
// GUI thread only.
class CTreeWidgetItem {
public:
    explicit CTreeWidgetItem(int musicId) : m_musicId(musicId) {}
    CTreeWidgetItem(const CTreeWidgetItem&) = delete;
    CTreeWidgetItem& operator=(const CTreeWidgetItem&) = delete;

    int MusicId() const { return m_musicId; }
    // Full path of the recording file.
    const QString& Path() const { return m_path; }
    // Texts as stored (MusicName, Artist, Album, Genre may be empty).
    const QString& MusicName() const { return m_name; }
    const QString& Artist() const { return m_artist; }
    const QString& Album() const { return m_album; }
    const QString& Genre() const { return m_genre; }
    const QString& TimeRecorded() const { return m_time; }
    // "MM/dd/yyyy hh:mm", followed by ";" and the last play time once played.
    const QString& DateAdded() const { return m_dateAdded; }
    // The shown cover, or empty when the song has none.
    const QString& CoverPath() const { return m_coverPath; }
    // Index of the shown cover among the song's covers.
    int ImageId() const { return m_imageId; }

    // Texts of the columns: 2 the name (or the file's base name when the
    // song has none), 3 the time, 4 the artist or "Unknown Artist", 5 the
    // album or "Unknown Album", 6 the genre or "Other", 7 the date added
    // (for list 3, "Recently Played", the play time); the others are empty.
    QString Text(int column, int listId) const;
    // The text of column 2, 4, 5 or 6 without a copy (an empty text for the
    // others).
    const QString& ShownText(int column) const;
    // What the filter searches: the case-folded text of column 2 (name), 4
    // (artist) or 5 (album), or with column 0 all three (separated by a
    // zero character, so that no match spans two of them).
    QStringView SearchText(int column) const;
    // The time the song was added, "MM/dd/yyyy hh:mm".
    QString AddedText() const;
    // The last play time, or empty when the song has not been played.
    QString PlayedText() const;
    bool HasPlayTime() const;

    // Where the name came from (NameOrigin of musicdb.h), and the player
    // that announced it (with NameOrigin_Player).
    int NameOrigin() const { return m_nameOrigin; }
    const QString& NamePlayer() const { return m_namePlayer; }

    // Download state (DownloadTaskState), 0 when no task ran.
    int DownloadState() const { return m_downloadState; }
    // Whether a download task works on the song right now.
    bool IsBusy() const { return m_busy; }
    // Whether the file was found missing the last time it was checked.
    bool IsMissing() const { return m_missing; }
    // Whether the player plays this row.
    bool IsPlaying() const { return m_playing; }

    // Takes every text from the record (covers as loaded in it).
    void SetFromRecord(const SongRecord& record);
    // Takes the texts of a database row; the cover is set separately.
    void SetFromView(const MusicInfoView& view);
    void SetDateAdded(const QString& dateAdded) { m_dateAdded = dateAdded; }
    void SetCoverPath(const QString& path) { m_coverPath = path; }
    void SetNameOrigin(int origin, const QString& player) {
        m_nameOrigin = origin;
        m_namePlayer = player;
    }
    void SetDownloadState(int state) { m_downloadState = state; }
    void SetBusy(bool busy) { m_busy = busy; }
    void SetMissing(bool missing) { m_missing = missing; }
    void SetPlaying(bool playing) { m_playing = playing; }

private:
    // Keeps the file's base name and the search text in step with the texts.
    void UpdateDerivedTexts();

    const int m_musicId;
    // First: the filter reads these of every row.
    int m_nameLength = 0;    // of the name within m_searchText
    int m_artistLength = 0;  // of the artist, after the name and a zero
    QString m_searchText;
    QString m_path;
    QString m_name;
    QString m_baseName;  // the file's base name, kept only while m_name is empty
    QString m_artist;
    QString m_album;
    QString m_genre;
    QString m_time;
    QString m_dateAdded;
    QString m_coverPath;
    int m_imageId = 0;
    int m_nameOrigin = 0;
    QString m_namePlayer;
    int m_downloadState = 0;
    bool m_busy = false;
    bool m_missing = false;
    bool m_playing = false;
};

// The key by which dates sort: the year first ("yyyy" + "MM/dd" + " hh:mm"
// of "MM/dd/yyyy hh:mm"), so that dates compare by year, month, day and
// time. Texts shorter than ten characters are returned as they are.
QString DateSortKey(const QString& date);

// Now, or the given time, as a library date, "MM/dd/yyyy hh:mm".
QString LibraryDateText();

// A length in seconds as duration text: hours and ":" only when at least one
// hour, then minutes and seconds as two digits each ("03:25", "1:05:09").
QString DurationText(qint64 seconds);
