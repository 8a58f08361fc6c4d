#pragma once

#include <QWidget>

class CTreeWidgetItem;
class QAction;
class QLabel;
class QMenu;
class QPushButton;

// The cover tile of one song in the recording view: the song's shown cover
// (or the default artwork) with its name below, a button that opens the
// cover choice, and a menu with "Play", "Edit Music Tags", "Delete" and
// "Show in Folder". While the song's information is being downloaded the
// tile shows the download artwork and "Downloading\nsong data powered\nby
// MusicBrainz". A double click on the cover plays the song.
//
// The tile shows the row it was made for; Refresh() takes the row's state
// again. Its owner removes it before the row is destroyed. GUI thread.
class CShowCoverWidget : public QWidget {
    Q_OBJECT
public:
    // The text over the download artwork.
    static const char kDownloadingText[];

    // row: not owned. id: the tile's number, unique within its view.
    CShowCoverWidget(CTreeWidgetItem* row, int id, QWidget* parent = nullptr);

    CTreeWidgetItem* Row() const { return m_row; }
    int Id() const { return m_id; }
    // Takes cover, name and download state from the row.
    void Refresh();
    // Shows this image as the cover (the user chose it).
    void ShowImage(const QString& path);
    // The image shown ("" for a picture of the program's own).
    const QString& ImagePath() const { return m_imagePath; }
    // Whether the tile shows that the song's information is being fetched.
    bool IsDownloading() const { return m_downloading; }
    // The text over the cover (the download text, or empty).
    QString CoverText() const;
    QMenu* Menu() const { return m_menu; }
    QPushButton* Button() const { return m_button; }

Q_SIGNALS:
    void Selected(CShowCoverWidget* tile);
    void CoverPressed(CShowCoverWidget* tile);
    void ButCliked(CShowCoverWidget* tile);
    void PlayActionTriggered(CShowCoverWidget* tile);
    void EditActionTriggered(CShowCoverWidget* tile);
    void DeleteActionTriggered(CShowCoverWidget* tile);
    void FinderActionTriggered(CShowCoverWidget* tile);
    void ContextMenuRequested();

public Q_SLOTS:
    void Select();
    void ButClik();
    void MousePressed();
    // Opens the menu at pos (widget coordinates).
    void customContextMenuRequested(const QPoint& pos);
    void Delete();
    void Play();
    void Edit();
    void Finder();
    void CoverDoubleClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetPicture(const QString& path);

    CTreeWidgetItem* m_row;
    const int m_id;
    QString m_imagePath;
    bool m_downloading = false;
    QLabel* m_cover = nullptr;
    QLabel* m_text = nullptr;
    QLabel* m_name = nullptr;
    QPushButton* m_button = nullptr;
    QMenu* m_menu = nullptr;
};
