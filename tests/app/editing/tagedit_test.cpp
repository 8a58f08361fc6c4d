// The tag editor as the recordings list opens it ("Edit Music Tags"): what
// it stores, how it names the file, which files get tags, the genre and
// year rules, the covers it keeps, adds and deletes, and its cover area's
// rules for dropped files.
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QUrl>

#include "downloadfixture.h"
#include "editing/editcoverwidget.h"
#include "editing/musictagseditdialog.h"
#include "library/showlistwidget.h"
#include "library/treewidgetitem.h"
#include "uiapp.h"

namespace {

// The windows' application object, before any fixture asks for one.
class WidgetApp : public testing::Environment {
public:
    void SetUp() override { uitest::App(); }
};
const auto* const g_app = testing::AddGlobalTestEnvironment(new WidgetApp);

using songtest::ReadFile;
using songtest::ReadTags;

class TagEditTest : public songtest::SongFixture {
protected:
    void TearDown() override {
        m_list.reset();
        m_library.reset();
        SongFixture::TearDown();
    }

    // The recordings list over the songs stored so far.
    CShowListWidget* List() {
        if (!m_list) {
            m_library = OpenLibrary();
            m_list = std::make_unique<CShowListWidget>(m_library.get(), Config());
        }
        return m_list.get();
    }

    // Runs "Edit Music Tags" on the song: edit changes the open dialog, then
    // OK (or Cancel) is pressed. Whether the dialog showed.
    bool Edit(int musicId, const std::function<void(CMusicTagsEditDialog*)>& edit, bool ok = true) {
        CTreeWidgetItem* row = List()->Library()->FindRow(musicId);
        EXPECT_NE(row, nullptr);
        uitest::ModalAnswer answer([&](QWidget* modal) {
            auto* dialog = qobject_cast<CMusicTagsEditDialog*>(modal);
            if (!dialog) {
                ADD_FAILURE() << "not the tag editor";
                return;
            }
            EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Music Tags Edit"));
            edit(dialog);
            if (ok)
                dialog->OkButton()->click();
            else
                dialog->reject();
        });
        List()->EditTagsMusic(row);
        return answer.Seen();
    }

    QString Image(const QString& name, const QColor& color) {
        const QString path = FilePath(name);
        EXPECT_TRUE(songtest::MakeImage(path, color)) << qPrintable(path);
        return path;
    }

    std::unique_ptr<CLibrary> m_library;
    std::unique_ptr<CShowListWidget> m_list;
};

// Drops the files on the widget as a file manager would.
void DropFiles(QWidget* target, const QStringList& paths) {
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
}

TEST_F(TagEditTest, UnsafeTitleNamesTheFileSafelyAndUniquelyAndTheTagsFollow) {
    AddSong(1, QStringLiteral("Old"), true, QStringLiteral("Old.mp3"));
    AddSong(2, QStringLiteral("Other"), true, QStringLiteral("Other.mp3"));
    const QByteArray audio = songtest::AudioSha1(FilePath(QStringLiteral("Old.mp3")));
    QSignalSpy finished(List()->Library(), &CLibrary::AutoDownloadFinished);
    ASSERT_TRUE(Edit(1, [](CMusicTagsEditDialog* dialog) {
        EXPECT_EQ(dialog->TitleEdit()->text(), QStringLiteral("Old"));
        dialog->TitleEdit()->setText(QStringLiteral("a/b:c?"));
        dialog->ArtistEdit()->setText(QStringLiteral("Me"));
    }));
    const QString named = FilePath(QStringLiteral("a_b_c_.mp3"));
    EXPECT_EQ(Stored(1).MusicPath, named);
    EXPECT_EQ(List()->Library()->FindRow(1)->Path(), named);
    EXPECT_EQ(List()->Library()->FindRow(1)->MusicName(), QStringLiteral("a/b:c?"));
    EXPECT_FALSE(QFileInfo::exists(FilePath(QStringLiteral("Old.mp3"))));
    const QJsonObject tags = ReadTags(named);
    EXPECT_EQ(tags.value(QStringLiteral("TIT2")).toString(), QStringLiteral("a/b:c?"));
    EXPECT_EQ(tags.value(QStringLiteral("TPE1")).toString(), QStringLiteral("Me"));
    EXPECT_EQ(songtest::AudioSha1(named), audio);
    EXPECT_EQ(finished.count(), 1);

    // A second song of that title never replaces the first one's file.
    const QByteArray first = ReadFile(named);
    ASSERT_TRUE(Edit(2, [](CMusicTagsEditDialog* dialog) {
        dialog->TitleEdit()->setText(QStringLiteral("a/b:c?"));
    }));
    EXPECT_EQ(Stored(2).MusicPath, FilePath(QStringLiteral("a_b_c_ 1.mp3")));
    EXPECT_EQ(ReadFile(named), first);
}

TEST_F(TagEditTest, YearLosesItsLeadingZerosAndFieldsKeepTheirLimits) {
    AddSong(1, QStringLiteral("Song"), true, QStringLiteral("Song.mp3"));
    ASSERT_TRUE(Edit(1, [](CMusicTagsEditDialog* dialog) {
        EXPECT_EQ(dialog->TitleEdit()->maxLength(), 127);
        EXPECT_EQ(dialog->ArtistEdit()->maxLength(), 127);
        EXPECT_EQ(dialog->AlbumEdit()->maxLength(), 127);
        EXPECT_EQ(dialog->YearEdit()->maxLength(), 4);
        dialog->YearEdit()->setText(QStringLiteral("0199"));
    }));
    EXPECT_EQ(TagText(Stored(1).tags.releaseDate), QStringLiteral("199"));
    const QJsonObject tags = ReadTags(FilePath(QStringLiteral("Song.mp3")));
    const QString year = tags.value(QStringLiteral("TYER")).toString() +
                         tags.value(QStringLiteral("TDRC")).toString();
    EXPECT_EQ(year, QStringLiteral("199"));
    EXPECT_EQ(CMusicTagsEditDialog::YearText(QStringLiteral("0000")), QString());
    EXPECT_EQ(CMusicTagsEditDialog::YearText(QStringLiteral("2010")), QStringLiteral("2010"));
}

TEST_F(TagEditTest, WavSongGetsItsRecordAndNameButNoTags) {
    const QString wav = FilePath(QStringLiteral("AU1.wav"));
    ASSERT_TRUE(songtest::MakeWav(wav, 1.0));
    SongRecord song = AddSong(1, QString(), false);
    song.MusicPath = wav;
    ASSERT_EQ(DB_UpdateMusicInfo(song), 0);
    const QByteArray before = ReadFile(wav);
    ASSERT_TRUE(Edit(1, [](CMusicTagsEditDialog* dialog) {
        dialog->TitleEdit()->setText(QStringLiteral("New Name"));
        dialog->AlbumEdit()->setText(QStringLiteral("Album"));
    }));
    const SongRecord stored = Stored(1);
    EXPECT_EQ(stored.MusicPath, FilePath(QStringLiteral("New Name.wav")));
    EXPECT_EQ(TagText(stored.tags.album), QStringLiteral("Album"));
    EXPECT_EQ(ReadFile(stored.MusicPath), before);
}

TEST_F(TagEditTest, PickedOrTypedGenreComesFirst) {
    SongRecord song = AddSong(1, QStringLiteral("Song"), true, QStringLiteral("Song.mp3"));
    SetTagText(song.tags.albumGenre, QStringLiteral("Rock;Pop;"));
    ASSERT_EQ(DB_UpdateMusicInfo(song), 0);
    ASSERT_TRUE(Edit(1, [](CMusicTagsEditDialog* dialog) {
        QComboBox* genre = dialog->GenreBox();
        ASSERT_EQ(genre->count(), 2);
        EXPECT_EQ(genre->itemText(0), QStringLiteral("Rock"));
        genre->setCurrentIndex(1);
    }));
    EXPECT_EQ(TagText(Stored(1).tags.albumGenre), QStringLiteral("Pop;Rock"));
    EXPECT_EQ(
        ReadTags(FilePath(QStringLiteral("Song.mp3"))).value(QStringLiteral("TCON")).toString(),
        QStringLiteral("Pop;Rock"));

    // A typed genre goes in front; at most four others follow it.
    ASSERT_TRUE(Edit(1, [](CMusicTagsEditDialog* dialog) {
        dialog->GenreBox()->setEditText(QStringLiteral("Jazz"));
    }));
    EXPECT_EQ(TagText(Stored(1).tags.albumGenre), QStringLiteral("Jazz;Pop;Rock"));
    const QStringList six = CMusicTagsEditDialog::GenreEntries(QStringLiteral("A;B;C;D;E;F;"));
    EXPECT_EQ(CMusicTagsEditDialog::GenreText(six, 5, QStringLiteral("F")),
              QStringLiteral("F;A;B;C;D"));
    EXPECT_EQ(CMusicTagsEditDialog::GenreText(six, 2, QStringLiteral("New")),
              QStringLiteral("New;C;A;B;D"));
    // The stored text's entries: between the ";", once each; none gives "Other".
    EXPECT_EQ(CMusicTagsEditDialog::GenreEntries(QStringLiteral("Rock")),
              QStringList{QStringLiteral("Rock")});
    EXPECT_EQ(CMusicTagsEditDialog::GenreEntries(QStringLiteral("Rock;Rock;Pop;tail")),
              (QStringList{QStringLiteral("Rock"), QStringLiteral("Pop"), QStringLiteral("tail")}));
    EXPECT_EQ(CMusicTagsEditDialog::GenreEntries(QString()), QStringList{QStringLiteral("Other")});
}

TEST_F(TagEditTest, EditingThePlayingSongStoresTheRecordButLeavesTheFile) {
    AddSong(1, QStringLiteral("Song"), true, QStringLiteral("Song.mp3"));
    const QByteArray before = ReadFile(FilePath(QStringLiteral("Song.mp3")));
    List()->Library()->SetPlayingMark(List()->Library()->FindRow(1), true);
    ASSERT_TRUE(Edit(1, [](CMusicTagsEditDialog* dialog) {
        dialog->ArtistEdit()->setText(QStringLiteral("Somebody"));
    }));
    EXPECT_EQ(TagText(Stored(1).tags.artist), QStringLiteral("Somebody"));
    EXPECT_EQ(List()->Library()->FindRow(1)->Artist(), QStringLiteral("Somebody"));
    EXPECT_EQ(ReadFile(FilePath(QStringLiteral("Song.mp3"))), before);

    // Cancel stores nothing.
    QSignalSpy finished(List()->Library(), &CLibrary::AutoDownloadFinished);
    ASSERT_TRUE(Edit(
        1,
        [](CMusicTagsEditDialog* dialog) {
            dialog->ArtistEdit()->setText(QStringLiteral("Nobody"));
        },
        false));
    EXPECT_EQ(TagText(Stored(1).tags.artist), QStringLiteral("Somebody"));
    EXPECT_EQ(finished.count(), 0);
}

TEST_F(TagEditTest, CoversRemovedAreDeletedUnlessSharedAndAddedOnesAreCopied) {
    SongRecord song = AddSong(1, QStringLiteral("Song"), true, QStringLiteral("Song.mp3"));
    const QString shared = Pictures() + QStringLiteral("/shared.png");
    const QString own = Pictures() + QStringLiteral("/own.png");
    ASSERT_TRUE(songtest::MakeImage(shared, Qt::red));
    ASSERT_TRUE(songtest::MakeImage(own, Qt::green));
    DB_SetImageInfo(11, 1, shared.toUtf8().constData());
    DB_SetImageInfo(12, 1, own.toUtf8().constData());
    AddSong(2);
    DB_SetImageInfo(20, 2, shared.toUtf8().constData());
    const QString added = Image(QStringLiteral("new cover.png"), Qt::blue);

    ASSERT_TRUE(Edit(1, [&](CMusicTagsEditDialog* dialog) {
        CEditCoverWidget* area = dialog->CoverArea();
        ASSERT_EQ(area->Covers().size(), 2);
        EXPECT_EQ(area->SelectedIndex(), 0);
        dialog->DeleteButton()->click();
        dialog->DeleteButton()->click();
        EXPECT_TRUE(area->Covers().isEmpty());
        EXPECT_FALSE(dialog->DeleteButton()->isEnabled());
        DropFiles(area, {added});
        ASSERT_EQ(area->Covers().size(), 1);
    }));

    const SongRecord stored = Stored(1);
    ASSERT_EQ(stored.tags.imageCount, 1);
    EXPECT_EQ(stored.ImageId, 0);
    const QString copy = stored.CoverPath();
    EXPECT_EQ(QFileInfo(copy).absolutePath(), Pictures());
    EXPECT_TRUE(QRegularExpression(
                    QStringLiteral("^new cover_\\d\\d_\\d\\d_\\d{4}_\\d\\d_\\d\\d_\\d\\d\\.png$"))
                    .match(QFileInfo(copy).fileName())
                    .hasMatch())
        << qPrintable(copy);
    EXPECT_EQ(ReadFile(copy), ReadFile(added));
    EXPECT_TRUE(QFileInfo::exists(added));
    EXPECT_TRUE(QFileInfo::exists(shared));
    EXPECT_FALSE(QFileInfo::exists(own));
    EXPECT_EQ(DB_ImageExists(own), 0);
    EXPECT_EQ(List()->Library()->FindRow(1)->CoverPath(), copy);
    EXPECT_EQ(ReadTags(FilePath(QStringLiteral("Song.mp3")))
                  .value(QStringLiteral("APIC"))
                  .toString()
                  .toLatin1(),
              songtest::Sha1Hex(ReadFile(added)));
}

TEST_F(TagEditTest, CoverAreaTakesOnlyRealImagesWithAcceptedEndingsUpToFive) {
    CEditCoverWidget area;
    QSignalSpy added(&area, &CEditCoverWidget::CoverAdded);
    const QString fake = FilePath(QStringLiteral("fake.jpg"));
    ASSERT_TRUE(songtest::WriteFile(fake, "just some text"));
    const QString jpeg = Image(QStringLiteral("photo.jpeg"), Qt::red);
    DropFiles(&area, {fake, jpeg});
    EXPECT_TRUE(area.Covers().isEmpty());
    EXPECT_EQ(added.count(), 0);

    const QStringList good = {Image(QStringLiteral("one.png"), Qt::red),
                              Image(QStringLiteral("two.JPG"), Qt::green),
                              Image(QStringLiteral("three.bmp"), Qt::blue)};
    DropFiles(&area, good);
    EXPECT_EQ(area.Covers().size(), 3);
    EXPECT_EQ(added.count(), 1);
    EXPECT_EQ(area.AddFiles({Image(QStringLiteral("four.png"), Qt::cyan),
                             Image(QStringLiteral("five.png"), Qt::yellow),
                             Image(QStringLiteral("six.png"), Qt::magenta)}),
              2);
    EXPECT_EQ(area.Covers().size(), 5);
    // A sixth cover cannot be added, by drop or otherwise.
    DropFiles(&area, {Image(QStringLiteral("seven.png"), Qt::gray)});
    EXPECT_EQ(area.Covers().size(), 5);
    EXPECT_EQ(area.Covers().last()->Path(), FilePath(QStringLiteral("five.png")));

    AddSong(1, QStringLiteral("Song"), true, QStringLiteral("Song.mp3"));
    CMusicTagsEditDialog dialog(Stored(1));
    EXPECT_TRUE(dialog.AddButton()->isEnabled());
    dialog.CoverArea()->AddFiles(good + QStringList{FilePath(QStringLiteral("four.png")),
                                                    FilePath(QStringLiteral("five.png"))});
    EXPECT_FALSE(dialog.AddButton()->isEnabled());
}

}  // namespace
