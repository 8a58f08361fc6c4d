#pragma once

#include <QDialog>
#include <QStringList>

#include "library/musicdb.h"

class CEditCoverWidget;
class QComboBox;
class QLineEdit;
class QPushButton;

// "Music Tags Edit": the user edits a song's title, artist, album, year,
// genre and covers. OK runs Save(): the covers are stored (new ones copied
// into the pictures folder), the file is named after the title
// (SaveLoadMuiscName), and the record is written to the library. The tags
// of the file are the caller's business (EditSongTags). Cancel changes
// nothing.
//
// Modal; GUI thread. The library database must be open.
class CMusicTagsEditDialog : public QDialog {
    Q_OBJECT
public:
    // Longest title, artist and album in characters.
    static constexpr int kMaxTextLength = 127;

    // record: the song as loaded with its covers; copied.
    explicit CMusicTagsEditDialog(const SongRecord& record, QWidget* parent = nullptr);

    // The record as the dialog has it: as given until Save() ran, then as
    // stored.
    const SongRecord& Record() const { return m_record; }

    QLineEdit* TitleEdit() const { return m_title; }
    QLineEdit* ArtistEdit() const { return m_artist; }
    QLineEdit* AlbumEdit() const { return m_album; }
    QLineEdit* YearEdit() const { return m_year; }
    QComboBox* GenreBox() const { return m_genre; }
    CEditCoverWidget* CoverArea() const { return m_covers; }
    QPushButton* AddButton() const { return m_addButton; }
    QPushButton* DeleteButton() const { return m_deleteButton; }
    QPushButton* OkButton() const { return m_okButton; }

    // The entries of a stored genre text: the parts between the ";", each
    // once, blank ones left out (older texts end in ";"). An empty text
    // gives the one entry "Other".
    static QStringList GenreEntries(const QString& genre);
    // The genre text to store: the chosen or typed genre (text) first, then
    // the other entries in the box's order starting at the current one, at
    // most four of them; joined by ";", with none after the last. current:
    // the box's current index (-1 when none).
    static QString GenreText(const QStringList& entries, int current, const QString& text);
    // The year without its leading zeros ("0199" gives "199").
    static QString YearText(const QString& year);

public Q_SLOTS:
    // Stores everything (see above) and accepts the dialog.
    void Save();
    // Lets the user choose image files to add as covers.
    void AddCover();
    // Removes the selected cover.
    void DeleteCover();
    // New covers were added: "Add" follows the number of covers.
    void CoverAdd();

private:
    // Step 1 of Save(): removed covers deleted, added ones copied and
    // stored; the record's cover block and ImageId follow the tiles.
    void SaveCovers();

    SongRecord m_record;
    QLineEdit* m_title = nullptr;
    QLineEdit* m_artist = nullptr;
    QLineEdit* m_album = nullptr;
    QLineEdit* m_year = nullptr;
    QComboBox* m_genre = nullptr;
    CEditCoverWidget* m_covers = nullptr;
    QPushButton* m_addButton = nullptr;
    QPushButton* m_deleteButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QPushButton* m_okButton = nullptr;
};
