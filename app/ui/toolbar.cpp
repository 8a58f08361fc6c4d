#include "toolbar.h"

#include <QAction>
#include <QEvent>
#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QSizeGrip>
#include <QSlider>
#include <QStackedWidget>
#include <QSystemTrayIcon>

#include "config.h"
#include "download/downloadqueue.h"
#include "library/treewidgetitem.h"

#include "localfile.h"
#include "res/pictures.h"

namespace {
const char kTimeNormal[] = "QLabel{color: #522253}";
const char kTimeBlink[] = "QLabel{color: #FF0000}";
const char kNormalTrayIcon[] = ":/prefix/res/normal_Tray_Icon.png";
const char kRecordingTrayIcon[] = ":/prefix/res/recording_Tray_Icon.png";
const char kDefaultArtwork[] = ":/prefix/res/default_artwork.png";
const char kDownloadArtwork[] = ":/prefix/res/default_download_artwork.png";
constexpr int kMiniCoverSide = 48;
}  // namespace

CToolBar::CToolBar(CConfig* config, QWidget* parent)
    : QFrame(parent), m_config(config) {
    LoadPictures();
    m_normalIcon = QIcon(QString::fromLatin1(kNormalTrayIcon));
    m_recordingIcon = QIcon(QString::fromLatin1(kRecordingTrayIcon));
    setObjectName(QStringLiteral("CToolBar"));
    setFixedHeight(72);
    setStyleSheet(QStringLiteral(
        "#CToolBar{background-color: #EDE6EF; border-top: 1px solid #D5C8D8;}"
        "#CToolBar QPushButton{border: none; background: transparent;}"
        "#CToolBar QPushButton:hover{background: #E0D3E3; border-radius: 6px;}"
        "#CToolBar QPushButton:disabled{background: transparent;}"
        "#statusLabel{color: #5E2B63;}"));

    m_recordButton = MakeButton("recordButton", QStringLiteral(":/prefix/res/record.png"),
                                tr("Start"), 52);
    m_stopButton = MakeButton("stopButton", QStringLiteral(":/prefix/res/stop.png"), tr("Stop"), 52);
    m_recordStop = new QStackedWidget(this);
    m_recordStop->addWidget(m_recordButton);
    m_recordStop->addWidget(m_stopButton);
    m_recordStop->setCurrentIndex(0);
    m_recordStop->setFixedSize(52, 52);

    m_previousButton = MakeButton("previousButton", QStringLiteral(":/prefix/res/previous.png"),
                                  tr("Previous"), 34);
    m_playButton = MakeButton("playButton", QStringLiteral(":/prefix/res/play.png"), tr("Play"), 40);
    m_nextButton = MakeButton("nextButton", QStringLiteral(":/prefix/res/next.png"), tr("Next"), 34);
    SetPlayControlsEnabled(false);

    m_volumeDownButton = MakeButton("volumeDownButton",
                                    QStringLiteral(":/prefix/res/volume_down.png"), tr("Mute"), 26);
    m_volumeUpButton = MakeButton("volumeUpButton", QStringLiteral(":/prefix/res/volume_up.png"),
                                  tr("Maximum volume"), 26);
    m_volume = new QSlider(Qt::Horizontal, this);
    m_volume->setObjectName(QStringLiteral("volumeSlider"));
    m_volume->setRange(0, 200);
    m_volume->setFixedWidth(110);
    m_volume->setValue(qBound(0, m_config->GetVolumeValue(), 200));
    connect(m_volume, &QSlider::valueChanged, this, &CToolBar::SetVolume);
    connect(m_volume, &QSlider::sliderReleased, this,
            [this] { m_config->SetVolumeValue(m_volume->value()); });
    connect(m_volumeDownButton, &QPushButton::clicked, this, &CToolBar::VolumeDown);
    connect(m_volumeUpButton, &QPushButton::clicked, this, &CToolBar::VolumeUp);

    m_timeLabel = new QLabel(QStringLiteral("00:00:00"), this);
    m_timeLabel->setObjectName(QStringLiteral("timeLabel"));
    QFont timeFont = m_timeLabel->font();
    timeFont.setPixelSize(20);
    timeFont.setBold(true);
    m_timeLabel->setFont(timeFont);
    SetTimeColour(kTimeNormal);
    m_statusLabel = new QLabel(tr("Ready"), this);
    m_statusLabel->setObjectName(QStringLiteral("statusLabel"));
    m_waveformArea = new QWidget(this);
    m_waveformArea->setObjectName(QStringLiteral("waveformArea"));
    m_waveformArea->setMinimumWidth(160);
    m_playInfoArea = new QWidget(this);
    m_playInfoArea->setObjectName(QStringLiteral("playInfoArea"));
    m_playInfoArea->setMinimumWidth(160);

    m_miniSong = new QWidget(this);
    m_miniSong->setObjectName(QStringLiteral("miniSong"));
    m_miniCover = new QLabel(m_miniSong);
    m_miniCover->setObjectName(QStringLiteral("miniCover"));
    m_miniCover->setFixedSize(kMiniCoverSide, kMiniCoverSide);
    m_miniTitle = new QLabel(m_miniSong);
    m_miniTitle->setObjectName(QStringLiteral("miniTitle"));
    QFont titleFont = m_miniTitle->font();
    titleFont.setBold(true);
    m_miniTitle->setFont(titleFont);
    m_miniArtist = new QLabel(m_miniSong);
    m_miniArtist->setObjectName(QStringLiteral("miniArtist"));
    // The texts take the room the bar has left and are cut to it.
    for (QLabel* text : {m_miniTitle, m_miniArtist}) {
        text->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        text->setMinimumWidth(90);
        text->setMaximumWidth(220);
        text->setTextFormat(Qt::PlainText);
        text->installEventFilter(this);
    }
    auto* miniTexts = new QVBoxLayout;
    miniTexts->setSpacing(0);
    miniTexts->addStretch();
    miniTexts->addWidget(m_miniTitle);
    miniTexts->addWidget(m_miniArtist);
    miniTexts->addStretch();
    auto* miniLayout = new QHBoxLayout(m_miniSong);
    miniLayout->setContentsMargins(0, 0, 0, 0);
    miniLayout->setSpacing(6);
    miniLayout->addWidget(m_miniCover);
    miniLayout->addLayout(miniTexts);
    SetMiniCover(QString());
    m_miniSong->hide();

    auto* labels = new QVBoxLayout;
    labels->setSpacing(0);
    labels->addWidget(m_timeLabel);
    labels->addWidget(m_statusLabel);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(14, 8, 2, 2);
    layout->setSpacing(8);
    layout->addWidget(m_recordStop);
    layout->addSpacing(12);
    layout->addWidget(m_previousButton);
    layout->addWidget(m_playButton);
    layout->addWidget(m_nextButton);
    layout->addSpacing(12);
    layout->addWidget(m_volumeDownButton);
    layout->addWidget(m_volume);
    layout->addWidget(m_volumeUpButton);
    layout->addWidget(m_miniSong, 1);
    layout->addWidget(m_playInfoArea, 2);
    layout->addLayout(labels);
    layout->addWidget(m_waveformArea, 1);
    // The window has no frame of its own: the grip resizes it.
    layout->addWidget(new QSizeGrip(this), 0, Qt::AlignBottom | Qt::AlignRight);

    // Tray menu: Settings, Record, Library, Exit; Stop takes Record's place
    // during a session.
    m_trayMenu = new QMenu(this);
    m_trayMenu->setStyleSheet(
        QStringLiteral("QMenu{font-size: 12px;color: #000000;font-weight: normal;}"));
    m_recordAction = new QAction(tr("Record"), this);
    m_stopAction = new QAction(tr("Stop"), this);
    m_libraryAction = new QAction(tr("Library"), this);
    m_settingsAction = new QAction(tr("Settings"), this);
    m_exitAction = new QAction(tr("Exit"), this);
    m_trayMenu->addAction(m_settingsAction);
    m_trayMenu->addSeparator();
    m_trayMenu->addAction(m_recordAction);
    m_trayMenu->addSeparator();
    m_trayMenu->addAction(m_libraryAction);
    m_trayMenu->addAction(m_exitAction);

    m_tray = new QSystemTrayIcon(m_normalIcon, this);
    m_tray->setToolTip(QApplication::applicationName());
    m_tray->setContextMenu(m_trayMenu);
    m_tray->show();
}

CToolBar::~CToolBar() {
    m_tray->hide();
}

QPushButton* CToolBar::MakeButton(const char* name, const QString& icon, const QString& tip,
                                  int size) {
    auto* button = new QPushButton(this);
    button->setObjectName(QLatin1String(name));
    button->setIcon(QIcon(icon));
    button->setIconSize(QSize(size - 8, size - 8));
    button->setFixedSize(size, size);
    button->setToolTip(tip);
    button->setFocusPolicy(Qt::NoFocus);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

void CToolBar::SetMiniMode(bool mini) {
    m_miniSong->setVisible(mini);
    // The song's cover takes part of the waveform's room: the mini window
    // keeps the width of the full one.
    m_waveformArea->setMinimumWidth(mini ? 100 : 160);
}

void CToolBar::StartDownloadAnimation() {
    m_miniCover->setPixmap(QPixmap(QString::fromLatin1(kDownloadArtwork))
                               .scaled(kMiniCoverSide, kMiniCoverSide, Qt::KeepAspectRatio,
                                       Qt::SmoothTransformation));
}

void CToolBar::AutoDownloadFinish(CTreeWidgetItem* row) {
    if (row && row->DownloadState() == DownloadTask_SUCESS) {
        m_miniTitleText = row->Text(2, 0);
        m_miniArtistText = row->Text(4, 0);
        SetMiniCover(row->CoverPath());
    } else {
        m_miniTitleText.clear();
        m_miniArtistText.clear();
        SetMiniCover(QString());
    }
    m_miniSong->setToolTip(m_miniArtistText.isEmpty()
                               ? m_miniTitleText
                               : m_miniTitleText + QStringLiteral(" - ") + m_miniArtistText);
    ElideMiniTexts();
}

void CToolBar::ElideMiniTexts() {
    m_miniTitle->setText(
        m_miniTitle->fontMetrics().elidedText(m_miniTitleText, Qt::ElideRight, m_miniTitle->width()));
    m_miniArtist->setText(m_miniArtist->fontMetrics().elidedText(m_miniArtistText, Qt::ElideRight,
                                                                 m_miniArtist->width()));
}

bool CToolBar::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize && (watched == m_miniTitle || watched == m_miniArtist))
        ElideMiniTexts();
    return QFrame::eventFilter(watched, event);
}

void CToolBar::SetMiniCover(const QString& path) {
    // A cover that cannot be read shows as none.
    QPixmap cover = QPixmap::fromImage(ReadPicture(path));
    if (cover.isNull()) cover.load(QString::fromLatin1(kDefaultArtwork));
    m_miniCover->setPixmap(cover.scaled(kMiniCoverSide, kMiniCoverSide, Qt::KeepAspectRatio,
                                        Qt::SmoothTransformation));
}

void CToolBar::SetRecordStateSource(std::function<RecordState()> source) {
    m_recordState = std::move(source);
}

RecordState CToolBar::CurrentRecordState() const {
    return m_recordState ? m_recordState() : RecordState::Idle;
}

void CToolBar::ShowRecordState(RecordState state, RecordState previous) {
    if (state == RecordState::Idle)
        EnterIdle();
    else if (state == RecordState::SongInProgress)
        EnterSongInProgress();
    else if (previous == RecordState::SongInProgress)
        SongEnded();
    else
        EnterWaiting();
}

void CToolBar::EnterWaiting() {
    m_recordStop->setCurrentIndex(1);
    m_recordStop->setToolTip(tr("Stop"));
    if (m_trayMenu->actions().contains(m_recordAction)) {
        m_trayMenu->insertAction(m_recordAction, m_stopAction);
        m_trayMenu->removeAction(m_recordAction);
    }
    m_timeLabel->setText(QStringLiteral("00:00:00"));
    SetPlayControlsEnabled(false);
}

void CToolBar::EnterSongInProgress() {
    m_statusLabel->setText(tr("Recording"));
    m_timeLabel->setText(QStringLiteral("00:00:00"));
    SetTimeColour(kTimeNormal);
}

void CToolBar::SongEnded() {
    SetTrayRecordingIcon(false);
    m_statusLabel->setText(tr("Ready"));
}

void CToolBar::EnterIdle() {
    SetTrayRecordingIcon(false);
    if (m_trayMenu->actions().contains(m_stopAction)) {
        m_trayMenu->insertAction(m_stopAction, m_recordAction);
        m_trayMenu->removeAction(m_stopAction);
    }
    m_recordStop->setCurrentIndex(0);
    m_recordStop->setToolTip(tr("Start"));
    m_statusLabel->setText(tr("Ready"));
    m_timeLabel->setText(QStringLiteral("00:00:00"));
    SetTimeColour(kTimeNormal);
}

void CToolBar::SetPlayControlsEnabled(bool enabled) {
    m_previousButton->setEnabled(enabled);
    m_playButton->setEnabled(enabled);
    m_nextButton->setEnabled(enabled);
}

void CToolBar::ShowRecordingTime(const QTime& elapsed) {
    const bool odd = elapsed.second() % 2 != 0;
    const RecordState state = CurrentRecordState();
    if (state == RecordState::SongInProgress) {
        SetTrayRecordingIcon(!odd);
        m_timeLabel->setText(elapsed.toString(QStringLiteral("hh:mm:ss")));
    } else if (state == RecordState::Waiting) {
        m_timeLabel->setText(QStringLiteral("00:00:00"));
        SetTimeColour(odd ? kTimeBlink : kTimeNormal);
    }
    update();
}

void CToolBar::SetVolume(int value) {
    value = qBound(0, value, 200);
    if (m_volume->value() != value) {
        // Comes back here through valueChanged.
        m_volume->setValue(value);
        return;
    }
    // Each write reaches the disk: a drag stores its value once, on release,
    // while the player or the engine follows every step.
    if (!m_volume->isSliderDown())
        m_config->SetVolumeValue(value);
    if (CurrentRecordState() == RecordState::Idle)
        Q_EMIT PlaybackVolumeChanged(value * 100 / 200);
    else
        Q_EMIT RecordingVolumeChanged(value);
}

void CToolBar::VolumeDown() {
    SetVolume(0);
}

void CToolBar::VolumeUp() {
    SetVolume(200);
}

void CToolBar::SetTrayRecordingIcon(bool recording) {
    if (m_trayRecording == recording) return;
    m_trayRecording = recording;
    m_tray->setIcon(recording ? m_recordingIcon : m_normalIcon);
}

void CToolBar::SetTimeColour(const char* colour) {
    m_timeLabel->setStyleSheet(QString::fromLatin1(colour));
}
