// The library tree and the library page with off-screen widgets over a real
// library file: sections, playlists created, renamed and deleted, and songs
// dropped on playlists.
#include <gtest/gtest.h>

#include <QDragMoveEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include "library/librarypage.h"
#include "library/showlistwidget.h"
#include "library/treelib.h"
#include "librarytest.h"
#include "uiapp.h"

namespace {

using librarytest::Song;

class TreeLib : public librarytest::LibraryFixture {
protected:
    void SetUp() override {
        uitest::App();
        LibraryFixture::SetUp();
    }
    void TearDown() override {
        m_page.reset();
        LibraryFixture::TearDown();
    }
    CLibraryPage* Build() {
        m_page = std::make_unique<CLibraryPage>(OpenLibrary(), Config());
        m_page->resize(900, 500);
        m_page->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(m_page.get()));
        return m_page.get();
    }
    CTreeLib* Tree() const { return m_page->TreeLib(); }
    CShowListWidget* List() const { return m_page->ShowList(); }

    static QStringList Rows(QTreeWidget* tree) {
        QStringList rows;
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            auto* row = static_cast<CListTreeItem*>(tree->topLevelItem(i));
            rows << QStringLiteral("%1 %2 (%3)").arg(row->ListId()).arg(row->Name()).arg(row->Count());
        }
        return rows;
    }
    QStringList PlaylistEntries() const {
        QStringList texts;
        for (QAction* action : List()->PlaylistMenu()->actions()) texts << action->text();
        return texts;
    }
    // Drags data into the playlist tree and drops it onto a row, as the
    // window system delivers it; whether the drop was accepted.
    bool Drop(QMimeData* mime, int listId) {
        CAcDopTreeWidget* tree = Tree()->PlayListTree();
        const QPoint at = tree->visualItemRect(Tree()->Row(listId)).center();
        QDragEnterEvent enter(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(tree->viewport(), &enter);
        QDragMoveEvent move(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(tree->viewport(), &move);
        QDropEvent drop(QPointF(at), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(tree->viewport(), &drop);
        return move.isAccepted() && drop.isAccepted();
    }

    std::unique_ptr<CLibraryPage> m_page;
};

TEST_F(TreeLib, ANewLibraryShowsTheFixedListsAndTheFirstPlaylist) {
    AddSong(Song{1, "a", {}, {}, {}, LibraryDateText()});
    DB_UpdateMusicList(1, QStringLiteral("stored names of fixed lists are not shown"));
    Build();
    EXPECT_EQ(Tree()->LibHeader()->Text(), QStringLiteral("Library"));
    EXPECT_EQ(Tree()->PlayListHeader()->Text(), QStringLiteral("PlayList"));
    EXPECT_EQ(Rows(Tree()->LibTree()),
              QStringList({"1 All Recordings (1)", "2 Newly Recordings (1)"}));
    EXPECT_EQ(Rows(Tree()->PlayListTree()),
              QStringList({"3 Recently Played (0)", "4 PlayList 1 (0)"}));
    EXPECT_EQ(Tree()->CurrentListId(), 1);
    EXPECT_EQ(List()->CurrentListId(), 1);
    EXPECT_EQ(PlaylistEntries(), QStringList({"PlayList 1"}));

    // A click on a row of the other section shows that list and leaves one
    // current row.
    QTreeWidget* playlists = Tree()->PlayListTree();
    playlists->setCurrentItem(Tree()->Row(4));
    EXPECT_EQ(List()->CurrentListId(), 4);
    EXPECT_EQ(Tree()->LibTree()->currentItem(), nullptr);
    // Closing "PlayList" while a playlist is shown goes back to everything.
    Tree()->PlayListHeader()->SetOpen(false);
    EXPECT_FALSE(playlists->isVisible());
    EXPECT_EQ(List()->CurrentListId(), 1);
}

TEST_F(TreeLib, NewPlaylistsTakeTheNextFreeNameAndReuseAFreedListId) {
    Config()->SetDeleteType(1);
    Build();
    QSignalSpy added(Tree(), &CTreeLib::NewListAdded);
    EXPECT_EQ(m_page->AddPlayList(), 5);
    EXPECT_EQ(Tree()->Row(5)->Name(), QStringLiteral("PlayList 2"));
    EXPECT_EQ(m_page->AddPlayList(), 6);
    EXPECT_EQ(Tree()->Row(6)->Name(), QStringLiteral("PlayList 3"));
    EXPECT_EQ(added.size(), 2);
    EXPECT_EQ(Tree()->CurrentListId(), 6);
    EXPECT_EQ(List()->CurrentListId(), 6);
    EXPECT_EQ(PlaylistEntries(), QStringList({"PlayList 1", "PlayList 2", "PlayList 3"}));

    // Deleting the middle playlist shows the one after it.
    Tree()->SelectList(5);
    ASSERT_TRUE(m_page->DeleteMusicList());
    EXPECT_EQ(Tree()->Row(5), nullptr);
    EXPECT_EQ(Tree()->CurrentListId(), 6);
    EXPECT_EQ(PlaylistEntries(), QStringList({"PlayList 1", "PlayList 3"}));
    QString name = QStringLiteral("none");
    DB_GetMusicListName(5, &name);
    EXPECT_EQ(name, QStringLiteral("none"));

    EXPECT_EQ(m_page->AddPlayList(), 5);
    EXPECT_EQ(Tree()->Row(5)->Name(), QStringLiteral("PlayList 2"));
    EXPECT_EQ(Rows(Tree()->PlayListTree()).last(), QStringLiteral("5 PlayList 2 (0)"));

    // Deleting the last row shows the row before it; the fixed lists stay.
    Tree()->SelectList(5);
    ASSERT_TRUE(m_page->DeleteMusicList());
    EXPECT_EQ(Tree()->CurrentListId(), 6);
    Tree()->SelectList(3);
    EXPECT_FALSE(m_page->DeleteMusicList());
    EXPECT_EQ(Tree()->DeleteItem(Tree()->Row(3)), -1);
    EXPECT_NE(Tree()->Row(3), nullptr);
}

TEST_F(TreeLib, RenamingStoresTheNameAndAnEmptyNameBringsBackTheStoredOne) {
    Build();
    CListTreeItem* row = Tree()->Row(4);
    row->setText(CListTreeItem::Column_Name, QStringLiteral("Road Trip"));
    QString stored;
    DB_GetMusicListName(4, &stored);
    EXPECT_EQ(stored, QStringLiteral("Road Trip"));
    EXPECT_EQ(PlaylistEntries(), QStringList({"Road Trip"}));

    row->setText(CListTreeItem::Column_Name, QString());
    EXPECT_EQ(row->Name(), QStringLiteral("Road Trip"));
    DB_GetMusicListName(4, &stored);
    EXPECT_EQ(stored, QStringLiteral("Road Trip"));

    // The fixed lists cannot be renamed.
    Tree()->SelectList(3);
    Tree()->PlayListContextMenuRequested(
        Tree()->PlayListTree()->visualItemRect(Tree()->Row(3)).center());
    Tree()->ContextMenu()->hide();
    EXPECT_EQ(uitest::MenuTexts(Tree()->ContextMenu()),
              QStringList({"Play", "Rename", "Add to iTunes Library", "Delete"}));
    for (QAction* action : Tree()->ContextMenu()->actions())
        EXPECT_FALSE(action->isEnabled()) << action->text().toStdString();
}

TEST_F(TreeLib, OnlySongDragsOntoAPlaylistAreTaken) {
    AddSong(Song{3, "a", {}, {}, {}, "01/01/2012 10:00"});
    AddSong(Song{9, "b", {}, {}, {}, "01/02/2012 10:00"});
    Build();
    QSignalSpy dropped(Tree(), &CTreeLib::DragItemToList);
    QObject::connect(Tree(), &CTreeLib::DragItemToList, m_page.get(), &CLibraryPage::DragItemToList);

    // Files from another program: refused.
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(FilePath(QStringLiteral("AU3.mp3")))});
    files.setText(QStringLiteral("3 9 "));
    EXPECT_FALSE(Drop(&files, 4));
    EXPECT_TRUE(dropped.isEmpty());

    // Songs from the table: added to the playlist once, counted.
    std::unique_ptr<QMimeData> songs(
        CMusicInfoTreeWidget::MimeForRows({List()->Library()->FindRow(3), List()->Library()->FindRow(9)}));
    EXPECT_FALSE(Drop(songs.get(), 3)) << "no play time is made up by a drop";
    EXPECT_TRUE(Drop(songs.get(), 4));
    ASSERT_EQ(dropped.size(), 1);
    EXPECT_EQ(dropped.first().at(0).toString(), QStringLiteral("3 9 "));
    EXPECT_EQ(dropped.first().at(1).toInt(), 4);
    EXPECT_TRUE(Drop(songs.get(), 4));
    EXPECT_EQ(List()->Library()->ListCount(4), 2);
    EXPECT_EQ(Tree()->Row(4)->Count(), 2);
    QList<MusicItemInfo> items;
    DB_GetMusicItem(&items, "ListId", 4);
    EXPECT_EQ(items.size(), 2);
    EXPECT_EQ(Tree()->Row(3)->Count(), 0);
}

}  // namespace
