#include "statusbar.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QPushButton>

CStatusBar::CStatusBar(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("CStatusBar"));
    setFixedHeight(44);
    setStyleSheet(QStringLiteral(
        "#CStatusBar{background-color: #EDE6EF; border-bottom: 1px solid #D5C8D8;}"
        "#CStatusBar QPushButton{border: 1px solid transparent; border-radius: 4px;"
        " padding: 5px 12px; color: #5E2B63; background: transparent;}"
        "#CStatusBar QPushButton:hover{border-color: #B99BBE; background: #F6F0F7;}"
        "#CStatusBar QPushButton:checked{background: #5E2B63; color: #FFFFFF;}"
        "#CStatusBar QPushButton:disabled{color: #A99AAB;}"));

    m_audioSource = MakeButton("audioSourceButton", tr("Audio Source"), false);
    m_scheduler = MakeButton("schedulerButton", tr("Scheduler"), false);
    m_scheduler->setToolTip(tr("Recording task scheduler"));
    m_addPlayList = MakeButton("addPlayListButton", tr("Add PlayList"), false);
    m_addToiTunes = MakeButton("addToiTunesButton", tr("Add to iTunes"), false);
    m_recording = MakeButton("recordingButton", tr("Recording"), true);
    m_media = MakeButton("mediaButton", tr("Media"), true);
    // One view at a time; a click on the view already shown keeps it
    // checked (the views switch on press, before the click's toggle).
    auto* views = new QButtonGroup(this);
    views->setExclusive(true);
    views->addButton(m_recording);
    views->addButton(m_media);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 4);
    layout->setSpacing(4);
    layout->addWidget(m_audioSource);
    layout->addWidget(m_scheduler);
    layout->addWidget(m_addPlayList);
    layout->addWidget(m_addToiTunes);
    layout->addStretch(1);
    layout->addWidget(m_recording);
    layout->addWidget(m_media);
}

QPushButton* CStatusBar::MakeButton(const char* name, const QString& text, bool checkable) {
    auto* button = new QPushButton(text, this);
    button->setObjectName(QLatin1String(name));
    button->setCheckable(checkable);
    button->setFocusPolicy(Qt::NoFocus);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

void CStatusBar::ShowRecordingView() {
    m_recording->setChecked(true);
    m_addPlayList->setEnabled(false);
    m_addToiTunes->setEnabled(false);
}

void CStatusBar::ShowMediaView() {
    m_media->setChecked(true);
    m_addPlayList->setEnabled(true);
    m_addToiTunes->setEnabled(true);
}
