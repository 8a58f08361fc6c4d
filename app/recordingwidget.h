#pragma once

#include <QList>
#include <QWidget>

class CSelecetCoverWidget;
class CShowCoverWidget;
class CTreeWidgetItem;
class QHBoxLayout;
class QLabel;
class QTimer;

// The recording view: a turning disc while a session runs, and the name of
// the song being written. GUI thread only.
class CRecordingWidget : public QWidget {
    Q_OBJECT
public:
    explicit CRecordingWidget(QWidget* parent = nullptr);

    // Starts and stops the turning of the disc.
    void StartAnimation();
    void StopAnimation();
    bool IsAnimating() const;
    // Turns the disc back to its start position (a new song began).
    void ResetCoverAnimation();
    // The caption under the disc, for example the name of the current song.
    void SetCaption(const QString& text);
    QString Caption() const;

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
    QTimer* m_turn = nullptr;
    QLabel* m_caption = nullptr;
    // Angle of the disc in degrees.
    int m_angle = 0;
    QHBoxLayout* m_tiles = nullptr;
    QList<CShowCoverWidget*> m_coverTiles;
    CSelecetCoverWidget* m_selecet = nullptr;
    int m_nextTileId = 1;
};
