#include "addtoitunesdialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "library/library.h"
#include "res/pictures.h"

namespace {
// Width of the text, wide enough for the fixed texts and a file name of the
// usual length.
constexpr int kTextWidth = 340;
constexpr int kIconSize = 48;
}  // namespace

CAddToiTunesDialog::CAddToiTunesDialog(std::vector<iTunesSong> songs, iTunesBridge bridge,
                                       QWidget* parent)
    : QDialog(parent),
      m_thread(std::make_unique<CToiTunesThread>(std::move(songs), std::move(bridge))) {
    LoadPictures();
    setObjectName(QStringLiteral("CAddToiTunesDialog"));
    setWindowTitle(tr("Add To iTunes"));
    const QIcon icon(QStringLiteral(":/prefix/res/transf.png"));
    setWindowIcon(icon);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setModal(true);

    auto* picture = new QLabel(this);
    picture->setPixmap(icon.pixmap(kIconSize, kIconSize));
    picture->setAlignment(Qt::AlignTop);
    m_text = new QLabel(tr("\nAdd Music To iTunes \n"), this);
    m_text->setObjectName(QStringLiteral("iTunesText"));
    m_text->setFixedWidth(kTextWidth);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("iTunesProgress"));
    m_progress->setRange(0, m_thread->SongCount());
    m_progress->setValue(0);
    m_abort = new QPushButton(tr("Abort"), this);
    m_abort->setObjectName(QStringLiteral("iTunesAbort"));

    auto* top = new QHBoxLayout;
    top->addWidget(picture);
    top->addWidget(m_text, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_abort);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_progress);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_abort, &QPushButton::clicked, this, &CAddToiTunesDialog::Abort);
    connect(m_abort, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_thread.get(), &CToiTunesThread::ProgressBarValueChange, this,
            &CAddToiTunesDialog::ProgressBarValueChange);
    connect(m_thread.get(), &CToiTunesThread::iTunesNotFind, this, &CAddToiTunesDialog::NoiTunes);
    connect(m_thread.get(), &CToiTunesThread::SongFailed, this, &CAddToiTunesDialog::SongFailed);
}

CAddToiTunesDialog::~CAddToiTunesDialog() {
    Abort();
    // The thread's destructor waits for the song in progress.
    m_thread.reset();
}

int CAddToiTunesDialog::Export(QWidget* parent, CLibrary* library,
                               const QList<CTreeWidgetItem*>& rows, const iTunesBridge& bridge) {
    std::vector<iTunesSong> songs;
    songs.reserve(std::size_t(rows.size()));
    for (CTreeWidgetItem* row : rows) {
        if (!library->CheckFile(row)) continue;
        const std::unique_ptr<SongRecord> record = library->LoadRecord(row);
        if (!record) {
            qWarning("CAddToiTunesDialog::Export can not found record, musicId: %d",
                     row->MusicId());
            continue;
        }
        songs.push_back(iTunesSong::FromRecord(*record));
    }
    const int count = int(songs.size());
    qDebug("CAddToiTunesDialog::Export rows: %d songs: %d", int(rows.size()), count);
    if (count == 0) return 0;
    CAddToiTunesDialog dialog(std::move(songs), bridge, parent);
    dialog.exec();
    return count;
}

void CAddToiTunesDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_started) return;
    m_started = true;
    qDebug("CAddToiTunesDialog::showEvent Start add music to iTunes, music count: %d",
           m_thread->SongCount());
    m_thread->start();
}

void CAddToiTunesDialog::ProgressBarValueChange(int value) {
    const int count = m_thread->SongCount();
    if (value < 1 || value > count) return;
    m_text->setText(AddingText(m_thread->Song(value - 1).FileName()));
    m_progress->setValue(value);
    if (value < count) return;
    if (m_failed == 0) {
        accept();
        return;
    }
    m_text->setText(
        tr("\nAdding finished.\n%1 of %2 songs could not be added.\n").arg(m_failed).arg(count));
    m_abort->setText(tr("Close"));
}

void CAddToiTunesDialog::Abort() {
    if (m_thread && m_thread->isRunning() && !m_thread->AbortRequested()) {
        qDebug("CAddToiTunesDialog::Abort");
        m_thread->Abort();
    }
}

void CAddToiTunesDialog::NoiTunes() {
    m_text->setText(tr("\nDo not find iTunes\nPlease try after install iTunes\n"));
    m_progress->hide();
}

void CAddToiTunesDialog::SongFailed(int index, int code) {
    ++m_failed;
    qDebug("CAddToiTunesDialog::SongFailed index: %d code: %d", index, code);
}

QString CAddToiTunesDialog::AddingText(const QString& fileName) const {
    const QString text = tr("Adding...\n\nCurrent File:%1");
    // The file name ends the last line.
    const QString lastLine = text.arg(QString()).section(QLatin1Char('\n'), -1);
    const int room = m_text->width() - m_text->fontMetrics().horizontalAdvance(lastLine);
    return text.arg(m_text->fontMetrics().elidedText(fileName, Qt::ElideMiddle, room));
}
