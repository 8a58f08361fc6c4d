// The cover tiles of the recording view in the main window: the shown
// cover chosen through the tile's pop-up (written into the file unless the
// song plays), the download artwork and text while the song's information
// is fetched, and the tile's menu.
#include <QAction>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include "download/downloadqueue.h"
#include "downloadfixture.h"
#include "editing/editcoverwidget.h"
#include "editing/musictagseditdialog.h"
#include "editing/selecetcoverwidget.h"
#include "editing/showcoverwidget.h"
#include "library/librarypage.h"
#include "library/showlistwidget.h"
#include "library/treewidgetitem.h"
#include "uiapp.h"
#include "mainui.h"
#include "recording/recordingwidget.h"
#include "toolbar.h"

namespace {

using songtest::ReadFile;

class CoverChoiceTest : public songtest::SongFixture {
protected:
    void SetUp() override {
        SongFixture::SetUp();
        // Song 1 with two covers, the first shown.
        AddSong(1, QStringLiteral("Song"), true, QStringLiteral("Song.mp3"));
        m_red = Pictures() + QStringLiteral("/red.png");
        m_blue = Pictures() + QStringLiteral("/blue.png");
        ASSERT_TRUE(songtest::MakeImage(m_red, Qt::red));
        ASSERT_TRUE(songtest::MakeImage(m_blue, Qt::blue));
        DB_SetImageInfo(11, 1, m_red.toUtf8().constData());
        DB_SetImageInfo(12, 1, m_blue.toUtf8().constData());
        m_window = std::make_unique<CMainUI>(uitest::OpenLibrary(DbPath()));
        m_list = m_window->LibraryPage()->ShowList();
        m_row = m_list->Library()->FindRow(1);
        ASSERT_NE(m_row, nullptr);
        m_tile = m_window->RecordingWidget()->AddCoverTile(m_row);
        ASSERT_NE(m_tile, nullptr);
    }
    void TearDown() override {
        m_window.reset();
        SongFixture::TearDown();
    }

    // Opens the tile's pop-up and clicks cover number index in it.
    void Choose(int index) {
        m_tile->Button()->click();
        CSelecetCoverWidget* popup = m_window->RecordingWidget()->SelecetWidget();
        ASSERT_NE(popup, nullptr);
        ASSERT_TRUE(popup->isVisible());
        ASSERT_EQ(popup->Covers().size(), 2);
        QTest::mouseClick(popup->Covers()[index], Qt::LeftButton);
        EXPECT_FALSE(popup->isVisible());
    }

    QString Song() const { return FilePath(QStringLiteral("Song.mp3")); }

    QString m_red;
    QString m_blue;
    std::unique_ptr<CMainUI> m_window;
    CShowListWidget* m_list = nullptr;
    CTreeWidgetItem* m_row = nullptr;
    CShowCoverWidget* m_tile = nullptr;
};

TEST_F(CoverChoiceTest, ChosenCoverIsShownStoredAndWrittenIntoTheFile) {
    EXPECT_EQ(m_tile->ImagePath(), m_red);
    Choose(1);
    EXPECT_EQ(Stored(1).ImageId, 1);
    EXPECT_EQ(m_row->CoverPath(), m_blue);
    EXPECT_EQ(m_tile->ImagePath(), m_blue);
    EXPECT_EQ(songtest::ReadTags(Song()).value(QStringLiteral("APIC")).toString().toLatin1(),
              songtest::Sha1Hex(ReadFile(m_blue)));
}

TEST_F(CoverChoiceTest, CoverOfThePlayingSongIsStoredButItsFileIsLeftAlone) {
    const QByteArray before = ReadFile(Song());
    m_list->Library()->SetPlayingMark(m_row, true);
    Choose(1);
    EXPECT_EQ(Stored(1).ImageId, 1);
    EXPECT_EQ(m_row->CoverPath(), m_blue);
    EXPECT_EQ(ReadFile(Song()), before);
}

TEST_F(CoverChoiceTest, TileShowsTheDownloadWhileTheSongsInformationIsFetched) {
    EXPECT_FALSE(m_tile->IsDownloading());
    EXPECT_TRUE(m_tile->CoverText().isEmpty());
    // The queue reports the song's task; the list and then the tile follow.
    Q_EMIT m_window->Downloads()->TaskNotified(1, DownloadTask_WAITING);
    EXPECT_TRUE(m_tile->IsDownloading());
    EXPECT_EQ(m_tile->CoverText(),
              QStringLiteral("Downloading\nsong data powered\nby MusicBrainz"));
    EXPECT_TRUE(m_tile->ImagePath().isEmpty());
    Q_EMIT m_window->Downloads()->TaskNotified(1, DownloadTask_RUNNING);
    EXPECT_TRUE(m_tile->IsDownloading());
    Q_EMIT m_window->Downloads()->TaskNotified(1, DownloadTask_FAILED);
    EXPECT_FALSE(m_tile->IsDownloading());
    EXPECT_TRUE(m_tile->CoverText().isEmpty());
    EXPECT_EQ(m_tile->ImagePath(), m_red);
}

TEST_F(CoverChoiceTest, TileMenuEditsTheSongAndDeletedSongsLoseTheirTile) {
    QStringList entries;
    for (const QAction* action : m_tile->Menu()->actions()) entries << action->text();
    EXPECT_EQ(entries, (QStringList{QStringLiteral("Play"), QStringLiteral("Edit Music Tags"),
                                    QStringLiteral("Delete"), QStringLiteral("Show in Folder")}));

    // "Edit Music Tags" opens the tag editor on the song.
    uitest::ModalAnswer answer([](QWidget* modal) {
        auto* dialog = qobject_cast<CMusicTagsEditDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->TitleEdit()->text(), QStringLiteral("Song"));
        EXPECT_EQ(dialog->CoverArea()->Covers().size(), 2);
        dialog->reject();
    });
    m_tile->Menu()->actions()[1]->trigger();
    EXPECT_TRUE(answer.Seen());

    m_list->Library()->DeleteSongs({m_row});
    EXPECT_EQ(m_window->RecordingWidget()->CoverTile(m_row), nullptr);
    EXPECT_TRUE(m_window->RecordingWidget()->CoverTiles().isEmpty());
}

}  // namespace
