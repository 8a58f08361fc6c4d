#include "readywidget.h"

#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "preferences/settingspictures.h"
#include "res/pictures.h"

CReadyWidget::CReadyWidget(QWidget* parent) : QWidget(parent) {
    LoadPictures();
    LoadSettingsPictures();
    setObjectName(QStringLiteral("ReadWidget"));
    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(QStringLiteral(":/prefix/res/about_icon.png")).pixmap(96, 96));
    icon->setAlignment(Qt::AlignCenter);
    auto* headline = new QLabel(tr("Refresh Your Enjoyment!"), this);
    headline->setObjectName(QStringLiteral("readyHeadline"));
    headline->setAlignment(Qt::AlignCenter);
    headline->setStyleSheet(QStringLiteral("color: #5E2B63; font-size: 26px; font-weight: bold;"));

    auto* step1 = new QLabel(tr("1,Choose the audio source by cliking"), this);
    step1->setObjectName(QStringLiteral("readyStep1"));
    auto* step2 = new QLabel(tr("2,Start recording by cliking"), this);
    step2->setObjectName(QStringLiteral("readyStep2"));
    for (QLabel* step : {step1, step2})
        step->setStyleSheet(QStringLiteral("color: #6E5A72; font-size: 15px;"));

    m_source = new QPushButton(this);
    m_source->setObjectName(QStringLiteral("readySourceButton"));
    m_source->setIcon(QIcon(QStringLiteral(":/prefix/res/Settings/Audio Source.png")));
    m_source->setIconSize(QSize(28, 28));
    m_source->setToolTip(tr("Audio Source"));
    m_record = new QPushButton(this);
    m_record->setObjectName(QStringLiteral("readyRecordButton"));
    m_record->setIcon(QIcon(QStringLiteral(":/prefix/res/record.png")));
    m_record->setIconSize(QSize(28, 28));
    m_record->setToolTip(tr("Start"));
    for (QPushButton* button : {m_source, m_record}) {
        button->setFlat(true);
        button->setCursor(Qt::PointingHandCursor);
        button->setFocusPolicy(Qt::NoFocus);
    }
    connect(m_source, &QPushButton::clicked, this, &CReadyWidget::SetRudioResource);
    connect(m_record, &QPushButton::clicked, this, &CReadyWidget::StartRecordingClicked);

    auto* steps = new QGridLayout;
    steps->setHorizontalSpacing(12);
    steps->addWidget(step1, 0, 0);
    steps->addWidget(m_source, 0, 1);
    steps->addWidget(step2, 1, 0);
    steps->addWidget(m_record, 1, 1);
    auto* stepsRow = new QHBoxLayout;
    stepsRow->addStretch(1);
    stepsRow->addLayout(steps);
    stepsRow->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->addStretch(1);
    layout->addWidget(icon);
    layout->addSpacing(8);
    layout->addWidget(headline);
    layout->addSpacing(16);
    layout->addLayout(stepsRow);
    layout->addStretch(1);
}
