#include "musictagseditdialog.h"

#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <QRegularExpression>

#include <algorithm>
#include <cstring>

#include "editcoverwidget.h"
#include "library/libraryfiles.h"
#include "library/musicfilename.h"
#include "specialdirs.h"

namespace {

// Entries of the genre text taken besides the chosen one.
constexpr int kMaxOtherGenres = 4;

// A file name for a cover copied into the pictures folder: the image's
// base name, the time and its suffix; " 2", " 3", ... before the suffix
// when a cover of that name exists already.
QString CoverCopyPath(const QString& pictures, const QFileInfo& image) {
    const QString stem =
        QStringLiteral("%1/%2_%3")
            .arg(pictures, image.completeBaseName(),
                 QDateTime::currentDateTime().toString(QStringLiteral("MM_dd_yyyy_hh_mm_ss")));
    const QString suffix = image.suffix().isEmpty() ? QString() : QLatin1Char('.') + image.suffix();
    QString path = stem + suffix;
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = stem + QLatin1Char(' ') + QString::number(n) + suffix;
    return path;
}

}  // namespace

CMusicTagsEditDialog::CMusicTagsEditDialog(const SongRecord& record, QWidget* parent)
    : QDialog(parent), m_record(record) {
    setObjectName(QStringLiteral("CMusicTagsEditDialog"));
    setWindowTitle(tr("Music Tags Edit"));
    setModal(true);

    m_title = new QLineEdit(TagText(record.tags.songName), this);
    m_artist = new QLineEdit(TagText(record.tags.artist), this);
    m_album = new QLineEdit(TagText(record.tags.album), this);
    for (QLineEdit* edit : {m_title, m_artist, m_album}) edit->setMaxLength(kMaxTextLength);
    // A stored date ("2021-06-15") shows as its year.
    const QRegularExpressionMatch year =
        QRegularExpression(QStringLiteral("\\d{1,4}")).match(TagText(record.tags.releaseDate));
    m_year = new QLineEdit(year.hasMatch() ? year.captured() : QString(), this);
    m_year->setMaxLength(4);
    m_year->setValidator(new QIntValidator(0, 9999, m_year));
    m_genre = new QComboBox(this);
    m_genre->setEditable(true);
    m_genre->setInsertPolicy(QComboBox::NoInsert);
    m_genre->addItems(GenreEntries(TagText(record.tags.albumGenre)));
    m_genre->setCurrentIndex(0);

    m_covers = new CEditCoverWidget(this);
    m_covers->SetCovers(record);
    m_addButton = new QPushButton(tr("Add"), this);
    m_deleteButton = new QPushButton(tr("Delete"), this);
    m_cancelButton = new QPushButton(tr("Cancel"), this);
    m_okButton = new QPushButton(tr("OK"), this);
    m_okButton->setDefault(true);

    auto* form = new QFormLayout;
    form->addRow(tr("Title:"), m_title);
    form->addRow(tr("Artist:"), m_artist);
    form->addRow(tr("Album:"), m_album);
    form->addRow(tr("Year:"), m_year);
    form->addRow(tr("Genre:"), m_genre);
    auto* coverButtons = new QHBoxLayout;
    coverButtons->addStretch(1);
    coverButtons->addWidget(m_addButton);
    coverButtons->addWidget(m_deleteButton);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_cancelButton);
    buttons->addWidget(m_okButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_covers);
    layout->addLayout(coverButtons);
    layout->addLayout(buttons);

    connect(m_addButton, &QPushButton::clicked, this, &CMusicTagsEditDialog::AddCover);
    connect(m_deleteButton, &QPushButton::clicked, this, &CMusicTagsEditDialog::DeleteCover);
    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_okButton, &QPushButton::clicked, this, &CMusicTagsEditDialog::Save);
    connect(m_covers, &CEditCoverWidget::CoverAdded, this, &CMusicTagsEditDialog::CoverAdd);
    CoverAdd();
}

QStringList CMusicTagsEditDialog::GenreEntries(const QString& genre) {
    if (genre.isEmpty()) return {QStringLiteral("Other")};
    // Older texts end in ";": the empty part after it is no entry.
    const QStringList parts = genre.split(QLatin1Char(';'));
    QStringList entries;
    for (const QString& part : parts)
        if (!part.trimmed().isEmpty() && !entries.contains(part)) entries.push_back(part);
    if (entries.isEmpty()) entries.push_back(QStringLiteral("Other"));
    return entries;
}

QString CMusicTagsEditDialog::GenreText(const QStringList& entries, int current,
                                        const QString& text) {
    QList<int> order;
    if (current >= 0 && current < entries.size()) order.push_back(current);
    for (int i = 0; i < entries.size(); ++i)
        if (i != current) order.push_back(i);
    QStringList taken;
    bool matched = false;
    int others = 0;
    for (int index : order) {
        const QString& entry = entries[index];
        if (!matched && entry == text) {
            taken.prepend(entry);
            matched = true;
        } else if (others < kMaxOtherGenres && !taken.contains(entry)) {
            taken.push_back(entry);
            ++others;
        }
    }
    if (!matched && !text.isEmpty()) taken.prepend(text);
    return taken.join(QLatin1Char(';'));
}

QString CMusicTagsEditDialog::YearText(const QString& year) {
    qsizetype zeros = 0;
    while (zeros < year.size() && year[zeros] == QLatin1Char('0')) ++zeros;
    return year.mid(zeros);
}

void CMusicTagsEditDialog::AddCover() {
    const QStringList files =
        QFileDialog::getOpenFileNames(this, tr("Add Cover"), QDir::homePath(),
                                      tr("Images (*.jpg *.png *.bmp *.JPG *.PNG *.BMP)"));
    m_covers->AddFiles(files);
}

void CMusicTagsEditDialog::DeleteCover() {
    m_covers->DeleteSelected();
    CoverAdd();
}

void CMusicTagsEditDialog::CoverAdd() {
    m_addButton->setEnabled(m_covers->Covers().size() < CEditCoverWidget::kMaxCovers);
    m_deleteButton->setEnabled(!m_covers->Covers().isEmpty());
}

void CMusicTagsEditDialog::SaveCovers() {
    RecordMusicInfo& tags = m_record.tags;
    const int oldCount = qBound(0, int(tags.imageCount), CEditCoverWidget::kMaxCovers);
    const QList<CCoverWidget*>& tiles = m_covers->Covers();
    // Covers the user removed: their rows, and their files unless another
    // cover names them.
    for (int i = 0; i < oldCount; ++i) {
        const int coverId = tags.reserved[i];
        const bool kept = std::any_of(tiles.begin(), tiles.end(), [coverId](CCoverWidget* tile) {
            return tile->CoverId() != 0 && tile->CoverId() == coverId;
        });
        if (kept || coverId == 0) continue;
        const QString path = TagText(tags.imagePaths[i]);
        DB_DeleteImage(coverId);
        RemoveUnusedCoverFile(path);
    }

    const QString pictures = SpecialDirPath(SpecialDir_Pictures);
    bool havePictures = true;
    if (pictures.isEmpty() || CreateDirectoryTree(pictures.toUtf8().constData()) != 0) {
        qWarning("CCreateFactoryThread::run CreateDirectory Pictures_Dir: %s",
                 qUtf8Printable(pictures));
        havePictures = false;
    }

    RecordMusicInfo covers;
    std::memset(&covers, 0, sizeof covers);
    const int selected = m_covers->SelectedIndex();
    int shown = 0;
    for (int i = 0; i < tiles.size(); ++i) {
        const CCoverWidget* tile = tiles[i];
        QString path = tile->Path();
        int coverId = tile->CoverId();
        if (coverId == 0) {
            if (!havePictures) continue;
            const QString copy = CoverCopyPath(pictures, QFileInfo(path));
            if (!QFile::copy(path, copy)) {
                qWarning("CMusicTagsEditDialog::Save cannot copy cover %s to %s",
                         qUtf8Printable(path), qUtf8Printable(copy));
                continue;
            }
            coverId = CreatePrimaryKey("CoverInfo", "CoverId", kCoverIdMin, kCoverIdMax);
            if (coverId < 0) {
                QFile::remove(copy);
                continue;
            }
            path = copy;
            DB_SetImageInfo(coverId, m_record.MusicId, path.toUtf8().constData());
        }
        if (i == selected) shown = covers.imageCount;
        covers.reserved[covers.imageCount] = coverId;
        SetTagText(covers.imagePaths[covers.imageCount], path);
        ++covers.imageCount;
    }
    tags.imageCount = covers.imageCount;
    std::memcpy(tags.reserved, covers.reserved, sizeof tags.reserved);
    std::memcpy(tags.imagePaths, covers.imagePaths, sizeof tags.imagePaths);
    m_record.ImageId = shown;
}

void CMusicTagsEditDialog::Save() {
    SaveCovers();

    const QString title = m_title->text().trimmed();
    if (!title.isEmpty()) m_record.MusicPath = SaveLoadMuiscName(title, m_record.MusicPath);
    SetTagText(m_record.tags.songName, title);
    SetTagText(m_record.tags.album, m_album->text().trimmed());
    SetTagText(m_record.tags.artist, m_artist->text().trimmed());

    QStringList entries;
    for (int i = 0; i < m_genre->count(); ++i) entries.push_back(m_genre->itemText(i));
    SetTagText(m_record.tags.albumGenre,
               GenreText(entries, m_genre->currentIndex(), m_genre->currentText().trimmed()));
    SetTagText(m_record.tags.releaseDate, YearText(m_year->text().trimmed()));

    if (const int code = DB_UpdateMusicInfo(m_record))
        qWarning("CMusicTagsEditDialog::Save DB_UpdateMusicInfo failed, musicId: %d err: %d",
                 m_record.MusicId, code);
    accept();
}
