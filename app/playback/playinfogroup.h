#pragma once

#include <QFrame>
#include <QSlider>

class CTreeWidgetItem;
class QLabel;
class QPushButton;
class QTimer;

// The position slider of the player (0..10000): a click on the groove puts
// the handle there at once and holds it as a press does.
class CSlider : public QSlider {
    Q_OBJECT
public:
    explicit CSlider(QWidget* parent = nullptr);

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

// The player's panel in the tool bar: the title and artist of the loaded
// song, the elapsed and the remaining time ("-" first) beside the position
// slider, and the button that opens the play queue.
//
// Seeking: pressing the slider holds it (progress no longer moves it) and
// starts the 200 ms seek timer, every move restarts the timer, and when the
// timer fires SeekRequested carries the position the slider was moved to.
// The slider stays held until then, also when released earlier, so that
// progress reports of the old position cannot take it back.
//
// GUI thread only.
class CPlayInfoGroup : public QFrame {
    Q_OBJECT
public:
    static constexpr int kSeekDelayMs = 200;

    explicit CPlayInfoGroup(QWidget* parent = nullptr);

    QLabel* TitleLabel() const { return m_title; }
    QLabel* ArtistLabel() const { return m_artist; }
    QLabel* ElapsedLabel() const { return m_elapsed; }
    QLabel* RemainingLabel() const { return m_remaining; }
    CSlider* Slider() const { return m_slider; }
    QTimer* SeekTimer() const { return m_seekTimer; }
    QPushButton* PlayListButton() const { return m_playListButton; }
    // Whether progress reports leave the slider alone.
    bool IsHeld() const { return m_pressed || m_seekPending; }

public Q_SLOTS:
    void PlaySliderPressed();
    void PlaySliderMoved(int position);
    void PlaySliderReleased();
    // Shows the progress of the loaded song (position 0..10000).
    void ReflashPlaySlider(int position, qint64 elapsedMs, qint64 lengthMs);
    // The seek timer fired.
    void SetPlaySeek();
    // Shows the song's title and artist; null empties them and resets the
    // times and the slider.
    void RefreshPlayInfo(CTreeWidgetItem* row);

Q_SIGNALS:
    // Move the loaded song to position (0..10000).
    void SeekRequested(int position);
    // The play queue button was clicked.
    void PlayListRequested();

private:
    QLabel* m_title = nullptr;
    QLabel* m_artist = nullptr;
    QLabel* m_elapsed = nullptr;
    QLabel* m_remaining = nullptr;
    CSlider* m_slider = nullptr;
    QPushButton* m_playListButton = nullptr;
    QTimer* m_seekTimer = nullptr;
    bool m_pressed = false;
    bool m_seekPending = false;
    int m_seekTarget = 0;
};
