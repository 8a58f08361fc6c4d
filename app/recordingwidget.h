#pragma once

#include <QWidget>

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

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer* m_turn = nullptr;
    QLabel* m_caption = nullptr;
    // Angle of the disc in degrees.
    int m_angle = 0;
};
