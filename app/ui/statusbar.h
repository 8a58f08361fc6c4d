#pragma once

#include <QFrame>

class QPushButton;

// Top bar of the main window: "Audio Source", the recording task scheduler,
// "Add PlayList", "Add to iTunes", and the two view buttons "Recording" and
// "Media" of which at most one is checked. The window connects to the
// buttons' own signals.
class CStatusBar : public QFrame {
    Q_OBJECT
public:
    explicit CStatusBar(QWidget* parent = nullptr);

    QPushButton* AudioSourceButton() const { return m_audioSource; }
    // Its tooltip shows the schedule ("Recording task scheduler" when none).
    QPushButton* SchedulerButton() const { return m_scheduler; }
    QPushButton* AddPlayListButton() const { return m_addPlayList; }
    QPushButton* AddToiTunesButton() const { return m_addToiTunes; }
    QPushButton* RecordingButton() const { return m_recording; }
    QPushButton* MediaButton() const { return m_media; }

    // Marks the recording view as shown: "Recording" checked, "Media"
    // unchecked, the two list buttons disabled.
    void ShowRecordingView();
    // Marks the library view as shown: "Media" checked, "Recording"
    // unchecked, the two list buttons enabled.
    void ShowMediaView();

private:
    QPushButton* MakeButton(const char* name, const QString& text, bool checkable);

    QPushButton* m_audioSource = nullptr;
    QPushButton* m_scheduler = nullptr;
    QPushButton* m_addPlayList = nullptr;
    QPushButton* m_addToiTunes = nullptr;
    QPushButton* m_recording = nullptr;
    QPushButton* m_media = nullptr;
};
