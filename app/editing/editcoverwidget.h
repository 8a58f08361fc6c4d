#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QWidget>

class QHBoxLayout;
class QLabel;
struct SongRecord;

// One cover image as a tile: the picture scaled into the tile, a frame when
// it is selected. Clicking it emits Clicked. GUI thread.
class CCoverWidget : public QWidget {
    Q_OBJECT
public:
    // path: the image file; coverId: its CoverInfo key, 0 for an image not
    // stored yet; side: the tile's width and height in pixels.
    CCoverWidget(const QString& path, int coverId, int side, QWidget* parent = nullptr);

    const QString& Path() const { return m_path; }
    int CoverId() const { return m_coverId; }
    bool IsSelected() const { return m_selected; }
    void SetSelected(bool selected);

Q_SIGNALS:
    void Clicked(CCoverWidget* cover);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QString m_path;
    int m_coverId;
    QPixmap m_picture;
    bool m_selected = false;
};

// The cover area of the tag editor: the song's covers as tiles in order,
// one of them selected, and a picture that asks for a drop while there is
// none. Images dropped on it (or added with AddFiles) become new tiles,
// while the song has fewer than five covers: a file is taken when it loads
// as an image and its path ends in "jpg", "png" or "bmp" (all lower or all
// upper case). Nothing is stored here; the dialog stores the tiles when it
// saves. GUI thread.
class CEditCoverWidget : public QWidget {
    Q_OBJECT
public:
    // A song owns at most this many covers.
    static constexpr int kMaxCovers = 5;

    explicit CEditCoverWidget(QWidget* parent = nullptr);

    // Shows the record's covers (as loaded with DB_GetImageInfo), the one
    // at ImageId selected.
    void SetCovers(const SongRecord& record);
    // The tiles in order.
    const QList<CCoverWidget*>& Covers() const { return m_covers; }
    // Index of the selected tile, -1 when none.
    int SelectedIndex() const;
    // Adds the acceptable files as new tiles (see above) and emits
    // CoverAdded() once when any was added. Returns the number added.
    int AddFiles(const QStringList& paths);
    // Removes the selected tile; the next one (or the one before) is
    // selected. False when none was selected.
    bool DeleteSelected();
    // Whether the file would be taken as a cover (loads as an image and has
    // an accepted ending).
    static bool IsAcceptableImage(const QString& path);

Q_SIGNALS:
    // New tiles were added.
    void CoverAdded();

public Q_SLOTS:
    // Selects the tile.
    void SelecetChange(CCoverWidget* cover);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    CCoverWidget* AddTile(const QString& path, int coverId);
    void UpdatePlaceholder();

    QHBoxLayout* m_layout = nullptr;
    QLabel* m_placeholder = nullptr;
    QList<CCoverWidget*> m_covers;
};
