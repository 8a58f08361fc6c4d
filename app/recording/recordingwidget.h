#pragma once

#include <QImage>
#include <QList>
#include <QPixmap>
#include <QString>
#include <QWidget>

class CLibrary;
class CSelecetCoverWidget;
class CShowCoverWidget;
class CTreeWidgetItem;
class QHBoxLayout;
class QLabel;
class QListWidget;
class QTimer;

// The recording view: a turning disc while a session runs (its label shows
// the cover of the last identified song, and a mark circles it while a song
// is being identified), the title and artist of that song, and the songs
// kept in this session, newest first, each with its length and whether its
// information is being fetched. GUI thread only.
class CRecordingWidget : public QWidget {
    Q_OBJECT
public:
    // How a kept song joins the list (CRecordSession::SongKind).
    enum Kind { Kind_Identifying = 1, Kind_NoInfo = 2 };

    // One kept song of this session as the view shows it. The view keeps
    // the song's texts, not its row, so a deleted song leaves nothing
    // dangling.
    struct AnimItem {
        int musicId = 0;
        int kind = Kind_NoInfo;
        QString title;
        QString artist;
        QString time;
    };

    // library: where the tiles' covers are read; not owned.
    explicit CRecordingWidget(CLibrary* library, QWidget* parent = nullptr);

    // Starts and stops the turning of the disc.
    void StartAnimation();
    void StopAnimation();
    bool IsAnimating() const;
    // Turns the disc back to its start position (a song began or ended).
    void ResetCoverAnimation();
    // The caption under the disc, for example the name of the current song.
    void SetCaption(const QString& text);
    QString Caption() const;

    // A new session: the list of kept songs empties.
    void ClearItems();
    // The kept songs of this session, newest first.
    const QList<AnimItem>& Items() const { return m_items; }
    // Whether the identification mark circles the disc.
    bool IsDownloadAnimating() const { return m_downloading; }
    // The large cover's texts and image (empty until a song was identified).
    QString CoverTitle() const;
    QString CoverArtist() const;
    const QImage& CoverImage() const { return m_cover; }
    QListWidget* SongList() const { return m_songs; }

public Q_SLOTS:
    // A kept song joins the list at the top with its kind (Kind). Returns
    // its index among this session's songs (0 for the first).
    int AddAnimItem(CTreeWidgetItem* row, int kind);
    // The song being recorded is being identified: the mark circles.
    void StartDownloadAnimation();
    // A song's information changed: its entry takes the new texts.
    void ReflashItem(CTreeWidgetItem* row);
    // An identification ended: with success (download state 1) the large
    // cover shows the song's title, artist and cover, otherwise they are
    // cleared. The mark stops circling.
    void AutoDownloadFinish(CTreeWidgetItem* row);
    // The song is being deleted from the library: its entry goes.
    void RemoveItem(CTreeWidgetItem* row);

public:
    // ---- Cover tiles of the songs recorded in this session ----------------
    // A tile for the row under the disc (the row's own when it has one).
    CShowCoverWidget* AddCoverTile(CTreeWidgetItem* row);
    // The row's tile, or null.
    CShowCoverWidget* CoverTile(const CTreeWidgetItem* row) const;
    const QList<CShowCoverWidget*>& CoverTiles() const { return m_coverTiles; }
    // The cover choice pop-up (created on first use; null before).
    CSelecetCoverWidget* SelecetWidget() const { return m_selecet; }

public Q_SLOTS:
    // Takes the row's cover, name and download state into its tile.
    void UpdateCoverTile(CTreeWidgetItem* row);
    // Removes the row's tile (the song is about to be deleted).
    void RemoveCoverTile(CTreeWidgetItem* row);
    // The tile's button: the pop-up with the song's covers.
    void ShowSelecetWidget(CShowCoverWidget* tile);
    // A cover was picked in the pop-up: the tile shows it, CoverChosen.
    void CoverSelecetChange(int imageIndex, int tileId);
    void DoubleClickPlay(CShowCoverWidget* tile);
    void DeleteCoverWidget(CShowCoverWidget* tile);
    void EditCoverWidget(CShowCoverWidget* tile);
    void ShowMusicFileInFinder(CShowCoverWidget* tile);

Q_SIGNALS:
    // What the tiles ask for; the main window handles them like the
    // recordings list's actions.
    void PlayMusic(CTreeWidgetItem* row);
    void DeleteMusic(CTreeWidgetItem* row);
    void EditMusic(CTreeWidgetItem* row);
    // The user picked cover number imageIndex of the row's song.
    void CoverChosen(CTreeWidgetItem* row, int imageIndex);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    static AnimItem ItemOf(const CTreeWidgetItem* row, int kind);
    int IndexOf(int musicId) const;
    void ShowItems();
    // Diameter of the disc, and the square around the disc's centre that
    // the disc and the identification mark take.
    int DiscSide() const;
    QRect DiscArea() const;

    QTimer* m_turn = nullptr;
    QLabel* m_title = nullptr;
    QLabel* m_artist = nullptr;
    QLabel* m_caption = nullptr;
    QListWidget* m_songs = nullptr;
    QList<AnimItem> m_items;
    // Songs added in this session, counting those deleted since.
    int m_curIndex = -1;
    QImage m_cover;
    // Painting caches: the disc's body and grooves, which look the same at
    // every angle (made for the current size), and the cover cut round for
    // the label (made for the current cover and size).
    QPixmap m_discBody;
    QPixmap m_roundCover;
    bool m_downloading = false;
    // Angle of the disc in degrees.
    int m_angle = 0;
    QHBoxLayout* m_tiles = nullptr;
    CLibrary* m_library;
    QList<CShowCoverWidget*> m_coverTiles;
    CSelecetCoverWidget* m_selecet = nullptr;
    int m_nextTileId = 1;
};
