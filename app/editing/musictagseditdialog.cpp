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
#include "download/songinfostore.h"
#include "library/musicfilename.h"
#include "specialdirs.h"

namespace {

// Entries of the genre text taken besides the chosen one.
constexpr int kMaxOtherGenres = 4;

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
    QList<EditedCover> covers;
    for (const CCoverWidget* tile : m_covers->Covers()) covers.push_back({tile->Path(), tile->CoverId()});
    StoreEditedCovers(&m_record, covers, m_covers->SelectedIndex());
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

    accept();
}
