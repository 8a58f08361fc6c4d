#pragma once

#include <QDialog>
#include <QList>

#include <memory>
#include <vector>

#include "toitunesthread.h"

class CLibrary;
class CTreeWidgetItem;
class QLabel;
class QProgressBar;
class QPushButton;

// "Add To iTunes": the modal progress of one export. Opening the dialog
// starts the export thread over the songs it was given; each song done moves
// the bar and names the song's file; the dialog closes by itself after the
// last song. Without the player it says so and waits to be closed. "Abort"
// (or closing the window) stops the export before the next song; the song
// in progress is finished, and the dialog waits for it when it goes.
//
// When songs could not be added, the dialog stays open at the end and tells
// how many, instead of closing as if all went well.
//
// GUI thread only.
class CAddToiTunesDialog : public QDialog {
    Q_OBJECT
public:
    // songs: copies taken now, so that the library may change meanwhile.
    CAddToiTunesDialog(std::vector<iTunesSong> songs, iTunesBridge bridge,
                       QWidget* parent = nullptr);
    // Aborts a running export and waits for the song in progress.
    ~CAddToiTunesDialog() override;

    // The songs of rows that can be exported: rows whose files are missing
    // are marked (CLibrary::CheckFile) and dropped, as are rows whose
    // records are gone. With any left, the dialog shows them modally until
    // it closes. Returns the number of songs handed to the export (0: no
    // dialog was shown).
    static int Export(QWidget* parent, CLibrary* library, const QList<CTreeWidgetItem*>& rows,
                      const iTunesBridge& bridge = iTunesBridge::Jukebridge());

    QLabel* TextLabel() const { return m_text; }
    QProgressBar* ProgressBar() const { return m_progress; }
    QPushButton* AbortButton() const { return m_abort; }
    CToiTunesThread* Thread() const { return m_thread.get(); }
    // Songs the bridge added nothing for, so far.
    int FailedCount() const { return m_failed; }

public Q_SLOTS:
    // value songs are done: shows the last one's file name and the bar;
    // closes the dialog after the last song (unless some failed).
    void ProgressBarValueChange(int value);
    // Asks the export to stop before the next song, when it is running.
    void Abort();
    // The player was not found.
    void NoiTunes();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void SongFailed(int index, int code);
    // The label's text for the song just done, its file name shortened in
    // the middle to the label's width.
    QString AddingText(const QString& fileName) const;

    std::unique_ptr<CToiTunesThread> m_thread;
    QLabel* m_text = nullptr;
    QProgressBar* m_progress = nullptr;
    QPushButton* m_abort = nullptr;
    int m_failed = 0;
    bool m_started = false;
};
