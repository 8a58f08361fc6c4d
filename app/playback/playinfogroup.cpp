#include "playinfogroup.h"

#include <QBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTimer>

#include "library/treewidgetitem.h"
#include "res/pictures.h"

namespace {
const QString kZeroTime = QStringLiteral("00:00");
}  // namespace

CSlider::CSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    LoadPictures();
    setRange(0, 10000);
    setFocusPolicy(Qt::NoFocus);
    setStyleSheet(QStringLiteral(
        "QSlider::groove:horizontal{height: 4px; background: #D5C8D8; border-radius: 2px;}"
        "QSlider::sub-page:horizontal{background: #8E5A94; border-radius: 2px;}"
        "QSlider::handle:horizontal{image: url(:/prefix/res/playslider.png); width: 12px;"
        " margin: -4px 0;}"));
}

void CSlider::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && isEnabled()) {
        QStyleOptionSlider option;
        initStyleOption(&option);
        const QRect handle =
            style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
        if (!handle.contains(event->position().toPoint())) {
            const int span = qMax(1, width() - handle.width());
            const int x = qRound(event->position().x()) - handle.width() / 2;
            const int value =
                QStyle::sliderValueFromPosition(minimum(), maximum(), x, span, option.upsideDown);
            setSliderDown(true);
            setSliderPosition(value);
            Q_EMIT sliderMoved(value);
        }
    }
    QSlider::mousePressEvent(event);
}

CPlayInfoGroup::CPlayInfoGroup(QWidget* parent) : QFrame(parent) {
    LoadPictures();
    setObjectName(QStringLiteral("CPlayInfoGroup"));
    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("playTitle"));
    QFont bold = m_title->font();
    bold.setBold(true);
    m_title->setFont(bold);
    m_artist = new QLabel(this);
    m_artist->setObjectName(QStringLiteral("playArtist"));
    for (QLabel* label : {m_title, m_artist}) {
        label->setMinimumWidth(40);
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    }
    m_elapsed = new QLabel(kZeroTime, this);
    m_elapsed->setObjectName(QStringLiteral("elapsedTime"));
    m_remaining = new QLabel(kZeroTime, this);
    m_remaining->setObjectName(QStringLiteral("remainingTime"));
    m_slider = new CSlider(this);
    m_slider->setObjectName(QStringLiteral("playSlider"));
    m_playListButton = new QPushButton(this);
    m_playListButton->setObjectName(QStringLiteral("playListButton"));
    m_playListButton->setIcon(QIcon(QStringLiteral(":/prefix/res/icon_list.png")));
    m_playListButton->setToolTip(tr("Play queue"));
    m_playListButton->setFixedSize(22, 22);
    m_playListButton->setFocusPolicy(Qt::NoFocus);

    m_seekTimer = new QTimer(this);
    m_seekTimer->setSingleShot(true);
    m_seekTimer->setInterval(kSeekDelayMs);

    auto* texts = new QHBoxLayout;
    texts->setSpacing(6);
    texts->addWidget(m_title, 3);
    texts->addWidget(m_artist, 2);
    texts->addWidget(m_playListButton);
    auto* times = new QHBoxLayout;
    times->setSpacing(6);
    times->addWidget(m_elapsed);
    times->addWidget(m_slider, 1);
    times->addWidget(m_remaining);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addLayout(texts);
    layout->addLayout(times);

    connect(m_slider, &QSlider::sliderPressed, this, &CPlayInfoGroup::PlaySliderPressed);
    connect(m_slider, &QSlider::sliderMoved, this, &CPlayInfoGroup::PlaySliderMoved);
    connect(m_slider, &QSlider::sliderReleased, this, &CPlayInfoGroup::PlaySliderReleased);
    connect(m_seekTimer, &QTimer::timeout, this, &CPlayInfoGroup::SetPlaySeek);
    connect(m_playListButton, &QPushButton::clicked, this, &CPlayInfoGroup::PlayListRequested);
    RefreshPlayInfo(nullptr);
}

void CPlayInfoGroup::PlaySliderPressed() {
    m_pressed = true;
    m_seekPending = true;
    m_seekTarget = m_slider->sliderPosition();
    m_seekTimer->start();
}

void CPlayInfoGroup::PlaySliderMoved(int position) {
    m_seekPending = true;
    m_seekTarget = position;
    m_seekTimer->start();
}

void CPlayInfoGroup::PlaySliderReleased() {
    m_pressed = false;
}

void CPlayInfoGroup::SetPlaySeek() {
    m_seekPending = false;
    Q_EMIT SeekRequested(m_seekTarget);
}

void CPlayInfoGroup::ReflashPlaySlider(int position, qint64 elapsedMs, qint64 lengthMs) {
    const qint64 elapsed = elapsedMs / 1000;
    const qint64 remaining = qMax<qint64>(0, lengthMs - elapsedMs) / 1000;
    m_elapsed->setText(DurationText(elapsed));
    m_remaining->setText(QLatin1Char('-') + DurationText(remaining));
    if (!IsHeld()) m_slider->setValue(position);
}

void CPlayInfoGroup::RefreshPlayInfo(CTreeWidgetItem* row) {
    if (!row) {
        m_title->clear();
        m_artist->clear();
        m_elapsed->setText(kZeroTime);
        m_remaining->setText(kZeroTime);
        m_seekTimer->stop();
        m_seekPending = false;
        m_slider->setValue(0);
        m_slider->setEnabled(false);
        return;
    }
    m_title->setText(row->ShownText(2));
    m_artist->setText(row->ShownText(4));
    m_title->setToolTip(m_title->text());
    m_artist->setToolTip(m_artist->text());
    m_slider->setEnabled(true);
}
