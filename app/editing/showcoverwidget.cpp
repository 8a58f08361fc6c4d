#include "showcoverwidget.h"

#include <QEvent>
#include <QFile>
#include <QGridLayout>
#include <QImageReader>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include "download/downloadqueue.h"
#include "library/treewidgetitem.h"
#include "localfile.h"
#include "res/pictures.h"

namespace {
constexpr int kCoverSize = 120;
const char kDefaultArtwork[] = ":/prefix/res/default_artwork.png";
const char kDownloadArtwork[] = ":/prefix/res/default_download_artwork.png";

bool IsDownloadingState(int state) {
    return state == DownloadTask_WAITING || state == DownloadTask_RUNNING ||
           state == DownloadTask_REQUESTING;
}
}  // namespace

const char CShowCoverWidget::kDownloadingText[] = "Downloading\nsong data powered\nby MusicBrainz";

CShowCoverWidget::CShowCoverWidget(CTreeWidgetItem* row, int id, QWidget* parent)
    : QWidget(parent), m_row(row), m_id(id) {
    LoadPictures();
    setObjectName(QStringLiteral("CShowCoverWidget"));
    setContextMenuPolicy(Qt::CustomContextMenu);

    m_cover = new QLabel(this);
    m_cover->setFixedSize(kCoverSize, kCoverSize);
    m_cover->setAlignment(Qt::AlignCenter);
    m_cover->installEventFilter(this);
    m_text = new QLabel(this);
    m_text->setAlignment(Qt::AlignCenter);
    m_text->setWordWrap(true);
    m_text->setStyleSheet(QStringLiteral("color: white; font-size: 10px;"));
    m_text->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_button = new QPushButton(this);
    m_button->setObjectName(QStringLiteral("coverChoiceButton"));
    m_button->setToolTip(tr("Choose the cover"));
    m_button->setFixedSize(20, 20);
    m_button->setText(QStringLiteral("\u25BE"));
    m_name = new QLabel(this);
    m_name->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_name->setFixedWidth(kCoverSize);

    auto* coverArea = new QGridLayout;
    coverArea->setContentsMargins(0, 0, 0, 0);
    coverArea->addWidget(m_cover, 0, 0);
    coverArea->addWidget(m_text, 0, 0);
    coverArea->addWidget(m_button, 0, 0, Qt::AlignRight | Qt::AlignBottom);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    layout->addLayout(coverArea);
    layout->addWidget(m_name);

    m_menu = new QMenu(this);
    connect(m_menu->addAction(tr("Play")), &QAction::triggered, this, &CShowCoverWidget::Play);
    connect(m_menu->addAction(tr("Edit Music Tags")), &QAction::triggered, this,
            &CShowCoverWidget::Edit);
    connect(m_menu->addAction(tr("Delete")), &QAction::triggered, this, &CShowCoverWidget::Delete);
    connect(m_menu->addAction(tr("Show in Folder")), &QAction::triggered, this,
            &CShowCoverWidget::Finder);
    connect(m_button, &QPushButton::clicked, this, &CShowCoverWidget::ButClik);
    connect(this, &QWidget::customContextMenuRequested, this,
            &CShowCoverWidget::customContextMenuRequested);
    Refresh();
}

void CShowCoverWidget::Refresh() {
    if (!m_row) return;
    m_name->setText(fontMetrics().elidedText(m_row->ShownText(2), Qt::ElideRight, kCoverSize));
    m_downloading = IsDownloadingState(m_row->DownloadState());
    m_text->setText(m_downloading ? tr(kDownloadingText) : QString());
    if (m_downloading)
        SetPicture(QString());
    else
        ShowImage(m_row->CoverPath());
}

void CShowCoverWidget::ShowImage(const QString& path) {
    SetPicture(IsRegularFile(path) ? path : QString());
}

void CShowCoverWidget::SetPicture(const QString& path) {
    m_imagePath = path;
    QString source = path;
    if (source.isEmpty())
        source = QLatin1String(m_downloading ? kDownloadArtwork : kDefaultArtwork);
    QPixmap picture = QPixmap::fromImage(ReadPicture(source, kCoverSize));
    if (picture.isNull() && !path.isEmpty()) {
        SetPicture(QString());
        return;
    }
    m_cover->setPixmap(picture);
}

QString CShowCoverWidget::CoverText() const {
    return m_text->text();
}

void CShowCoverWidget::Select() {
    Q_EMIT Selected(this);
}

void CShowCoverWidget::ButClik() {
    Q_EMIT ButCliked(this);
}

void CShowCoverWidget::MousePressed() {
    Q_EMIT CoverPressed(this);
}

void CShowCoverWidget::customContextMenuRequested(const QPoint& pos) {
    Q_EMIT ContextMenuRequested();
    m_menu->popup(mapToGlobal(pos));
}

void CShowCoverWidget::Delete() {
    Q_EMIT DeleteActionTriggered(this);
}

void CShowCoverWidget::Play() {
    Q_EMIT PlayActionTriggered(this);
}

void CShowCoverWidget::Edit() {
    Q_EMIT EditActionTriggered(this);
}

void CShowCoverWidget::Finder() {
    Q_EMIT FinderActionTriggered(this);
}

void CShowCoverWidget::CoverDoubleClick() {
    Q_EMIT PlayActionTriggered(this);
}

bool CShowCoverWidget::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_cover) {
        if (event->type() == QEvent::MouseButtonDblClick) {
            CoverDoubleClick();
            return true;
        }
        if (event->type() == QEvent::MouseButtonPress &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            MousePressed();
            Select();
        }
    }
    return QWidget::eventFilter(watched, event);
}
