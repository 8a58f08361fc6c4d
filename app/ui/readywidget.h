#pragma once

#include <QWidget>

class QPushButton;

// The start page shown until the user opens the library or records: the
// headline and the two steps to a first recording, each with its button.
class CReadyWidget : public QWidget {
    Q_OBJECT
public:
    explicit CReadyWidget(QWidget* parent = nullptr);

    // Step 1: opens the Audio Source page of the preferences.
    QPushButton* SourceButton() const { return m_source; }
    // Step 2: starts a recording.
    QPushButton* RecordButton() const { return m_record; }

Q_SIGNALS:
    // The user wants to choose the audio source.
    void SetRudioResource();
    // The user wants to start recording.
    void StartRecordingClicked();

private:
    QPushButton* m_source = nullptr;
    QPushButton* m_record = nullptr;
};
