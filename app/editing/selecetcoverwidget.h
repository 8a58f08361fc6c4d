#pragma once

#include <QList>
#include <QStringList>
#include <QWidget>

class CCoverWidget;
class QHBoxLayout;

// The pop-up that picks the shown cover of a song: its covers as tiles, the
// shown one selected. Clicking a tile emits Selected(image index, tile id)
// and closes the pop-up; it also closes when it loses the focus
// (FocusOuted). GUI thread.
class CSelecetCoverWidget : public QWidget {
    Q_OBJECT
public:
    explicit CSelecetCoverWidget(QWidget* parent = nullptr);

    // Fills the pop-up with the covers (image paths in order), the one at
    // selected marked, for the cover tile with the given id.
    void SetCovers(const QStringList& paths, int selected, int tileId);
    const QList<CCoverWidget*>& Covers() const { return m_covers; }
    int TileId() const { return m_tileId; }

Q_SIGNALS:
    void Selected(int imageIndex, int tileId);
    void FocusOuted();

public Q_SLOTS:
    // A tile was clicked: Selected, then the pop-up closes.
    void SelecetChange(CCoverWidget* cover);

protected:
    void focusOutEvent(QFocusEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QHBoxLayout* m_layout = nullptr;
    QList<CCoverWidget*> m_covers;
    int m_tileId = 0;
};
