// The recordings list with off-screen widgets over a real library file:
// list membership, sorting, the filter, the menu, deleting, the play queue,
// the song being recorded and the download states.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDate>
#include <QDialog>
#include <QHeaderView>
#include <QImage>
#include <QListView>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QUrl>

#include <sqlite3.h>
#include <sys/stat.h>

#include "download/downloadqueue.h"
#include "library/filteredit.h"
#include "library/musicinfomodel.h"
#include "library/playqueue.h"
#include "library/showlistwidget.h"
#include "librarytest.h"
#include "specialdirs.h"
#include "uiapp.h"

namespace {

using librarytest::Column;
using librarytest::Song;

QString DaysAgo(int days, const char* time = "10:00") {
    return QDate::currentDate().addDays(-days).toString(QStringLiteral("MM/dd/yyyy ")) +
           QLatin1String(time);
}

class ShowList : public librarytest::LibraryFixture {
protected:
    void SetUp() override {
        uitest::App();
        LibraryFixture::SetUp();
    }
    void TearDown() override {
        m_list.reset();
        LibraryFixture::TearDown();
    }
    CShowListWidget* Build() {
        m_list = std::make_unique<CShowListWidget>(OpenLibrary(), Config());
        m_list->resize(900, 500);
        m_list->show();
        return m_list.get();
    }
    // Column texts of the shown rows.
    QStringList Shown(int column = CMusicInfoModel::Column_Name) const {
        QStringList texts;
        for (CTreeWidgetItem* row : m_list->VisibleRows())
            texts << row->Text(column, m_list->CurrentListId());
        return texts;
    }
    void Select(std::initializer_list<int> ids) { uitest::SelectSongs(m_list.get(), ids); }
    std::unique_ptr<CShowListWidget> m_list;
};

TEST_F(ShowList, FixedListsFollowTheDatesAndOldPlayTimesAreDropped) {
    AddSong(Song{1, "today", {}, {}, {}, DaysAgo(0)});
    AddSong(Song{2, "yesterday", {}, {}, {}, DaysAgo(1)});
    AddSong(Song{3, "played two days ago", {}, {}, {}, DaysAgo(30) + ";" + DaysAgo(2, "08:15")});
    AddSong(Song{4, "played three days ago", {}, {}, {}, DaysAgo(30) + ";" + DaysAgo(3)});
    Build();

    EXPECT_EQ(m_list->CurrentListId(), 1);
    EXPECT_EQ(m_list->Library()->ListCount(1), 4);
    m_list->ShowList(List_NewlyRecordings);
    EXPECT_EQ(Shown(), QStringList({"today"}));

    m_list->ShowList(List_RecentlyPlayed);
    EXPECT_EQ(Shown(), QStringList({"played two days ago"}));
    EXPECT_EQ(Shown(CMusicInfoModel::Column_Date), QStringList({DaysAgo(2, "08:15")}));
    EXPECT_EQ(m_list->Model()->headerData(7, Qt::Horizontal).toString(), QStringLiteral("Date Played"));
    // The stale play time is gone from the file too.
    EXPECT_EQ(Column(DbPath(), "SELECT DateAdded FROM MusicInfo WHERE MusicId = 4"),
              QStringList({DaysAgo(30)}));

    m_list->ShowList(List_AllRecordings);
    EXPECT_EQ(m_list->Model()->headerData(7, Qt::Horizontal).toString(), QStringLiteral("Date Added"));
    EXPECT_EQ(Shown(CMusicInfoModel::Column_Date).size(), 4);
}

TEST_F(ShowList, DatesSortYearFirstAndEmptyTextsShowTheirDefaults) {
    AddSong(Song{1, "new year", {}, {}, {}, "01/01/2012 00:00"});
    AddSong(Song{2, "new year's eve", "X", "Y", "Pop;", "12/31/2011 23:59"});
    AddSong(Song{3, {}, {}, {}, {}, "06/15/2011 12:00"});
    Build();
    // Initially by date, newest first.
    EXPECT_EQ(Shown(), QStringList({"new year", "new year's eve", "AU3"}));
    m_list->Table()->sortByColumn(CMusicInfoModel::Column_Date, Qt::AscendingOrder);
    EXPECT_EQ(Shown(), QStringList({"AU3", "new year's eve", "new year"}));
    EXPECT_EQ(Shown(CMusicInfoModel::Column_Artist),
              QStringList({"Unknown Artist", "X", "Unknown Artist"}));
    EXPECT_EQ(Shown(CMusicInfoModel::Column_Genre), QStringList({"Other", "Pop;", "Other"}));

    // The mark column hides the indicator; the next list brings it back on
    // the date, newest first.
    m_list->sectionClick(CMusicInfoModel::Column_Mark);
    EXPECT_FALSE(m_list->Table()->header()->isSortIndicatorShown());
    m_list->ShowList(List_NewlyRecordings);
    m_list->ShowList(List_AllRecordings);
    EXPECT_TRUE(m_list->Table()->header()->isSortIndicatorShown());
    EXPECT_EQ(m_list->Table()->header()->sortIndicatorSection(), CMusicInfoModel::Column_Date);
    EXPECT_EQ(Shown().first(), QStringLiteral("new year"));
}

// Dates, lengths and recording names are shown whole in the table's font;
// the room beyond the columns goes to name, artist and album until the user
// sizes a column by hand.
TEST_F(ShowList, ColumnsFitTheirTextsAndShareTheRoomUntilTheUserSizesThem) {
    AddSong(Song{1, {}, "An Artist", {}, {}, "12/31/2011 23:59"});
    CShowListWidget* list = Build();
    // The window system may take a moment to give the window its size.
    const auto resize = [list](int width) {
        list->resize(width, 400);
        return QTest::qWaitFor([&] { return list->width() == width; });
    };
    ASSERT_TRUE(resize(700));
    QTreeView* table = list->Table();
    QHeaderView* header = table->header();
    const auto need = [table](int column) {
        const QModelIndex index = table->model()->index(0, column);
        QStyleOptionViewItem option;
        option.initFrom(table);
        option.font = table->font();
        option.fontMetrics = table->fontMetrics();
        return table->itemDelegateForIndex(index)->sizeHint(option, index).width();
    };
    for (int column :
         {CMusicInfoModel::Column_Name, CMusicInfoModel::Column_Time, CMusicInfoModel::Column_Date})
        EXPECT_GE(header->sectionSize(column), need(column)) << column;
    int used = 0;
    for (int column = 0; column < CMusicInfoModel::Column_Rest; ++column)
        used += header->sectionSize(column);
    EXPECT_LE(used, table->viewport()->width()) << "no sideways scrolling at this width";

    const int name = header->sectionSize(CMusicInfoModel::Column_Name);
    const int artist = header->sectionSize(CMusicInfoModel::Column_Artist);
    const int date = header->sectionSize(CMusicInfoModel::Column_Date);
    ASSERT_TRUE(resize(1000));
    EXPECT_GT(header->sectionSize(CMusicInfoModel::Column_Name), name);
    EXPECT_GT(header->sectionSize(CMusicInfoModel::Column_Artist), artist + 50);
    EXPECT_EQ(header->sectionSize(CMusicInfoModel::Column_Date), date);

    // Sized by hand: the columns keep their widths.
    header->resizeSection(CMusicInfoModel::Column_Album, 90);
    ASSERT_TRUE(resize(1200));
    EXPECT_EQ(header->sectionSize(CMusicInfoModel::Column_Album), 90);
    ASSERT_TRUE(resize(700));
    EXPECT_EQ(header->sectionSize(CMusicInfoModel::Column_Album), 90);
}

TEST_F(ShowList, FilterSearchesNameArtistAndAlbumIgnoringCaseAfterAPause) {
    AddSong(Song{1, "xxABCxx", "someone", "else", {}, "01/01/2012 10:00"});
    AddSong(Song{2, "two", "abc", "b", {}, "01/02/2012 10:00"});
    AddSong(Song{3, "three", "c", "The aBc Album", {}, "01/03/2012 10:00"});
    AddSong(Song{4, "four", "d", "e", "abc", "01/04/2012 10:00"});  // genre is not searched
    Build();
    QSignalSpy empty(m_list.get(), &CShowListWidget::FilterListToNull);

    CFilterEdit* edit = m_list->FilterEdit();
    EXPECT_EQ(edit->placeholderText(), QStringLiteral("Filter"));
    QTest::keyClicks(edit, QStringLiteral("abc"));
    uitest::Watch([&] { return Shown().size() != 4; }, 100);
    EXPECT_EQ(Shown().size(), 4) << "filtered before the pause";
    ASSERT_TRUE(empty.wait(2000));
    EXPECT_EQ(Shown(), QStringList({"three", "two", "xxABCxx"}));
    EXPECT_FALSE(empty.last().at(0).toBool());

    edit->SetType(CFilterEdit::Filter_Artist);
    ASSERT_TRUE(empty.wait(2000));
    EXPECT_EQ(Shown(), QStringList({"two"}));
    m_list->Filter(CFilterEdit::Filter_Name, QStringLiteral("nothing like it"));
    EXPECT_TRUE(Shown().isEmpty());
    EXPECT_TRUE(empty.last().at(0).toBool());

    // Another list starts unfiltered, with an empty field.
    m_list->ShowList(List_NewlyRecordings);
    m_list->ShowList(List_AllRecordings);
    EXPECT_TRUE(edit->text().isEmpty());
    EXPECT_EQ(Shown().size(), 4);
}

TEST_F(ShowList, FilteringALargeListKeepsItsOrderWhileTheTextGrows) {
    {
        // 30,000 songs; every 7th has "Abc" in its artist, every 11th "ABCD"
        // in its album.
        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open(DbPath().toUtf8().constData(), &raw), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(raw,
                               "BEGIN; WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM "
                               "n WHERE i < 30000) INSERT INTO MusicInfo (MusicId, MusicName, "
                               "Artist, Album, DateAdded) SELECT i, 'song ' || i, CASE WHEN i % 7 "
                               "= 0 THEN 'The Abc Band' ELSE 'x' END, CASE WHEN i % 11 = 0 THEN "
                               "'ABCD' ELSE 'y' END, printf('01/01/%04d 10:00', 1000 + i / 20) "
                               "FROM n; COMMIT;",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(raw);
    }
    Build();
    m_list->Table()->sortByColumn(CMusicInfoModel::Column_Date, Qt::AscendingOrder);
    auto expected = [this](auto matches) {
        QList<CTreeWidgetItem*> rows;
        for (CTreeWidgetItem* row : m_list->Model()->Members())
            if (matches(row->MusicId())) rows << row;
        return rows;
    };
    m_list->Filter(CFilterEdit::Filter_All, QStringLiteral("ab"));
    m_list->Filter(CFilterEdit::Filter_All, QStringLiteral("aBc"));
    const QList<CTreeWidgetItem*> both = expected([](int id) { return id % 7 == 0 || id % 11 == 0; });
    EXPECT_EQ(m_list->VisibleRows().size(), 30000 / 7 + 30000 / 11 - 30000 / 77);
    EXPECT_EQ(m_list->VisibleRows(), both);
    m_list->Filter(CFilterEdit::Filter_All, QStringLiteral("abcd"));
    EXPECT_EQ(m_list->VisibleRows(), expected([](int id) { return id % 11 == 0; }));
    // Another column searches the whole list again, not the rows shown.
    m_list->Filter(CFilterEdit::Filter_Artist, QStringLiteral("abc"));
    EXPECT_EQ(m_list->VisibleRows(), expected([](int id) { return id % 7 == 0; }));
    // Sorting keeps the filter.
    m_list->Table()->sortByColumn(CMusicInfoModel::Column_Date, Qt::DescendingOrder);
    EXPECT_EQ(m_list->VisibleRows(), expected([](int id) { return id % 7 == 0; }));
    EXPECT_GT(m_list->VisibleRows().first()->MusicId(), m_list->VisibleRows().last()->MusicId());
}

TEST_F(ShowList, MenuEntriesFollowTheSelectionTheFilesAndTheRecording) {
    AddSong(Song{1, "one", {}, {}, {}, "01/01/2012 10:00"});
    AddSong(Song{2, "two", {}, {}, {}, "01/02/2012 10:00"});
    AddSong(Song{3, "gone", {}, {}, {}, "01/03/2012 10:00", {}, false});
    Build();
    RecordState recording = RecordState::Idle;
    m_list->SetRecordStateSource([&recording] { return recording; });
    m_list->AddPlaylistAction(4, QStringLiteral("PlayList 1"));
    QMenu* menu = m_list->ContextMenu();
    EXPECT_EQ(uitest::MenuTexts(menu),
              QStringList({"Play", "Edit Music Tags", "Download Info", "-", "Add to playlist",
                           "Add to iTunes", "Select All", "Unselect All", "-", "Show in Folder",
                           "Delete"}));
    auto enabled = [menu] {
        QStringList on;
        for (QAction* action : menu->actions())
            if (!action->isSeparator() && action->isEnabled()) on << action->text();
        return on;
    };
    auto open = [this](int id) {
        const QRect rect = m_list->Table()->visualRect(m_list->Model()->IndexOf(m_list->Library()->FindRow(id)));
        m_list->customContextMenuRequested(rect.center());
        m_list->ContextMenu()->hide();
    };

    Select({1});
    open(1);
    EXPECT_EQ(enabled(), QStringList({"Play", "Edit Music Tags", "Download Info", "Add to playlist",
                                      "Add to iTunes", "Select All", "Unselect All",
                                      "Show in Folder", "Delete"}));
    Select({1, 2});
    open(2);
    EXPECT_FALSE(enabled().contains("Edit Music Tags"));
    EXPECT_FALSE(enabled().contains("Show in Folder"));
    recording = RecordState::Waiting;
    open(2);
    EXPECT_FALSE(enabled().contains("Play"));
    EXPECT_TRUE(enabled().contains("Download Info"));

    // Only a missing file selected: the five file actions are off and the
    // row carries the missing mark.
    recording = RecordState::Idle;
    Select({3});
    open(3);
    EXPECT_EQ(enabled(), QStringList({"Select All", "Unselect All", "Delete"}));
    EXPECT_TRUE(m_list->Library()->FindRow(3)->IsMissing());
    EXPECT_FALSE(m_list->Model()
                     ->data(m_list->Model()->IndexOf(m_list->Library()->FindRow(3), 1), Qt::DecorationRole)
                     .isNull());

    // In a playlist its own entry is off.
    Select({1});
    m_list->Library()->AddToList({m_list->Library()->FindRow(1)}, 4);
    m_list->ShowList(4);
    Select({1});
    open(1);
    EXPECT_FALSE(m_list->PlaylistMenu()->actions().first()->isEnabled());
}

TEST_F(ShowList, DeletingASongRemovesItsFileRecordCoversAndMembershipsButKeepsSharedImages) {
    const QString pictures = SpecialDirPath(SpecialDir_Pictures);
    ASSERT_TRUE(QDir().mkpath(pictures));
    const QString shared = pictures + QStringLiteral("/shared.jpg");
    const QString own = pictures + QStringLiteral("/own.jpg");
    ASSERT_TRUE(WriteFile(shared));
    ASSERT_TRUE(WriteFile(own));
    const SongRecord doomed = AddSong(Song{1, "doomed", {}, {}, {}, "01/01/2012 10:00"});
    AddSong(Song{2, "neighbour", {}, {}, {}, "01/02/2012 10:00"});
    DB_SetImageInfo(1, 1, shared.toUtf8().constData());
    DB_SetImageInfo(2, 1, own.toUtf8().constData());
    DB_SetImageInfo(3, 2, shared.toUtf8().constData());
    // A song and a picture of the user's, outside the program's folders (a
    // folder beside the music folder whose name begins like it, too).
    const QString elsewhere = Dir() + QStringLiteral("-elsewhere");
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    SongRecord foreign = AddSong(Song{3, "foreign", {}, {}, {}, "01/03/2012 10:00"});
    foreign.MusicPath = elsewhere + QStringLiteral("/mine.mp3");
    ASSERT_TRUE(WriteFile(foreign.MusicPath));
    ASSERT_EQ(DB_UpdateMusicInfo(foreign), 0);
    const QString mine = elsewhere + QStringLiteral("/mine.jpg");
    ASSERT_TRUE(WriteFile(mine));
    DB_SetImageInfo(4, 3, mine.toUtf8().constData());
    DB_SetMusicItem(1, 4, 1);
    DB_SetMusicItem(2, 4, 2);
    Build();
    QSignalSpy counts(m_list->Library(), &CLibrary::ListCountChanged);
    QSignalSpy deleted(m_list->Library(), &CLibrary::MusicItemDeleted);

    // The question comes first; "Cancel" keeps everything.
    Select({1});
    QString question;
    auto answer = [&question](const QString& button, bool dontAsk) {
        return std::make_unique<uitest::ModalAnswer>([&question, button, dontAsk](QWidget* modal) {
            question = modal->findChild<QLabel*>(QStringLiteral("questionText"))->text();
            if (dontAsk) modal->findChild<QCheckBox*>()->setChecked(true);
            for (QPushButton* b : modal->findChildren<QPushButton*>())
                if (b->text() == button) QTest::mouseClick(b, Qt::LeftButton);
        });
    };
    {
        auto cancel = answer(QStringLiteral("Cancel"), false);
        m_list->DeleteSelection();
        EXPECT_TRUE(cancel->Seen());
    }
    EXPECT_EQ(question, QStringLiteral("Are you sure you want to delete the \nselected file from "
                                       "Library?\nIts original file will also be deleted.\n "));
    EXPECT_TRUE(QFile::exists(doomed.MusicPath));
    Select({1, 3});
    {
        auto cancel = answer(QStringLiteral("Cancel"), false);
        m_list->DeleteSelection();
        EXPECT_TRUE(cancel->Seen());
    }
    EXPECT_TRUE(question.contains(QStringLiteral("files outside them will be kept"))) << question.toStdString();
    // The user's own files stay when their song leaves the library.
    Select({3});
    {
        auto confirm = answer(QStringLiteral("Delete"), false);
        m_list->DeleteSelection();
        EXPECT_TRUE(confirm->Seen());
    }
    EXPECT_TRUE(question.contains(QStringLiteral("outside the music folders and will be kept")));
    EXPECT_EQ(m_list->Library()->FindRow(3), nullptr);
    EXPECT_TRUE(QFile::exists(foreign.MusicPath));
    EXPECT_TRUE(QFile::exists(mine));
    Select({1});
    {
        auto confirm = answer(QStringLiteral("Delete"), true);
        m_list->DeleteSelection();
        EXPECT_TRUE(confirm->Seen());
    }
    EXPECT_EQ(Config()->GetDeleteType(), 1);
    EXPECT_FALSE(QFile::exists(doomed.MusicPath));
    EXPECT_FALSE(QFile::exists(own));
    EXPECT_TRUE(QFile::exists(shared)) << "another song's cover";
    EXPECT_EQ(Column(DbPath(), "SELECT MusicId FROM MusicInfo"), QStringList({"2"}));
    EXPECT_EQ(Column(DbPath(), "SELECT CoverId FROM CoverInfo"), QStringList({"3"}));
    EXPECT_EQ(Column(DbPath(), "SELECT MusicId FROM MusicItem"), QStringList({"2"}));
    EXPECT_EQ(deleted.size(), 2);
    EXPECT_EQ(m_list->Library()->FindRow(1), nullptr);
    EXPECT_EQ(Shown(), QStringList({"neighbour"}));
    EXPECT_EQ(m_list->Library()->ListCount(4), 1);
    bool playlistCounted = false;
    for (const QList<QVariant>& args : counts)
        if (args.at(0).toInt() == 4 && args.at(1).toInt() == 1) playlistCounted = true;
    EXPECT_TRUE(playlistCounted);

    // With Delete_Type set nothing is asked.
    Select({2});
    uitest::ModalAnswer none([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); }, 300);
    m_list->DeleteSelection();
    EXPECT_FALSE(none.Seen());
    EXPECT_TRUE(m_list->VisibleRows().isEmpty());
    EXPECT_FALSE(QFile::exists(shared));
    QDir(elsewhere).removeRecursively();
}

TEST_F(ShowList, RemovingQueuedSongsKeepsTheQueueIndexOnThePlayingSong) {
    for (int id = 1; id <= 4; ++id)
        AddSong(Song{id, QStringLiteral("song %1").arg(id), {}, {}, {}, DaysAgo(10 - id)});
    Config()->SetDeleteType(1);
    Build();
    QList<CTreeWidgetItem*> rows;
    for (int id = 1; id <= 4; ++id) rows << m_list->Library()->FindRow(id);
    m_list->Library()->AddToList(rows, 4);
    EXPECT_EQ(m_list->Library()->ListCount(4), 4);
    m_list->ShowList(4);
    CPlayQueue* queue = m_list->Library()->PlayQueue();
    queue->Set(rows, 2, 4);
    m_list->Library()->SetPlayingMark(rows[2], true);
    QSignalSpy removed(m_list->Library(), &CLibrary::QueueEntriesRemoved);

    // An entry before the playing one: the index moves down with it.
    m_list->Library()->RemoveFromList({rows[0]}, 4);
    ASSERT_EQ(removed.size(), 1);
    EXPECT_FALSE(removed.last().at(0).toBool());
    EXPECT_EQ(queue->CurrentIndex(), 1);
    EXPECT_EQ(queue->Current(), rows[2]);

    // The playing entry: the player is told.
    Select({3});
    m_list->DeleteSelection();  // in a playlist: taken out of it, not deleted
    ASSERT_EQ(removed.size(), 2);
    EXPECT_TRUE(removed.last().at(0).toBool());
    EXPECT_FALSE(rows[2]->IsPlaying());
    EXPECT_EQ(queue->Rows(), QList<CTreeWidgetItem*>({rows[1], rows[3]}));
    EXPECT_NE(m_list->Library()->FindRow(3), nullptr);
    EXPECT_TRUE(QFile::exists(FilePath(QStringLiteral("AU3.mp3"))));
    EXPECT_EQ(Column(DbPath(), "SELECT MusicId FROM MusicItem ORDER BY MusicId"),
              QStringList({"2", "4"}));

    // Deleted from the library while the queue came from another list: the
    // row leaves the queue before it is destroyed.
    m_list->ShowList(List_AllRecordings);
    m_list->Library()->DeleteSongs({rows[3]});
    EXPECT_EQ(queue->Rows(), QList<CTreeWidgetItem*>({rows[1]}));
    EXPECT_EQ(m_list->Library()->ListCount(4), 1);
}

TEST_F(ShowList, RecentlyPlayedStampsAndReplacesThePlayTime) {
    AddSong(Song{1, "once", {}, {}, {}, "01/01/2012 10:00"});
    AddSong(Song{2, "earlier", {}, {}, {}, "01/01/2012 10:00;" + DaysAgo(1)});
    Build();
    m_list->ShowList(List_RecentlyPlayed);
    EXPECT_EQ(Shown(), QStringList({"earlier"}));
    m_list->Library()->AddToList({m_list->Library()->FindRow(1), m_list->Library()->FindRow(2)}, List_RecentlyPlayed);
    const QString now = LibraryDateText();
    EXPECT_EQ(Shown().size(), 2);
    EXPECT_EQ(m_list->Library()->ListCount(List_RecentlyPlayed), 2);
    EXPECT_EQ(Column(DbPath(), "SELECT DateAdded FROM MusicInfo ORDER BY MusicId"),
              QStringList({"01/01/2012 10:00;" + now, "01/01/2012 10:00;" + now}));
    m_list->Library()->RemoveFromList({m_list->Library()->FindRow(2)}, List_RecentlyPlayed);
    EXPECT_EQ(Shown(), QStringList({"once"}));
    EXPECT_EQ(Column(DbPath(), "SELECT DateAdded FROM MusicInfo WHERE MusicId = 2"),
              QStringList({"01/01/2012 10:00"}));
}

TEST_F(ShowList, ARecordingIsFiledAtTheTopOrDiscardedWithItsFiles) {
    AddSong(Song{1, "older", {}, {}, {}, "01/01/2012 10:00"});
    Build();
    const QString song = FilePath(QStringLiteral("AU20120101.mp3"));
    ASSERT_TRUE(WriteFile(song));
    ASSERT_EQ(m_list->Library()->CreateNewRecord(song), 0);
    CTreeWidgetItem* row = m_list->Library()->NewRecordRow();
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->MusicId(), 2);
    EXPECT_EQ(Shown(), QStringList({"older"})) << "shown only once filed";
    EXPECT_EQ(Column(DbPath(), "SELECT DateAdded FROM MusicInfo WHERE MusicId = 2"),
              QStringList({LibraryDateText()}));

    QSignalSpy counts(m_list->Library(), &CLibrary::ListCountChanged);
    EXPECT_EQ(m_list->Library()->CompleteNewRecord(song), 0);
    m_list->Library()->FileNewRecord(false);
    EXPECT_EQ(m_list->Library()->NewRecordRow(), nullptr);
    EXPECT_EQ(m_list->VisibleRows().first(), row);
    EXPECT_EQ(m_list->CurrentRow(), row);
    EXPECT_TRUE(m_list->Library()->IsInList(row, List_NewlyRecordings));
    EXPECT_EQ(counts.size(), 2);

    // A second song that turns out too short goes with its file.
    const QString shortSong = FilePath(QStringLiteral("AU20120102.mp3"));
    ASSERT_TRUE(WriteFile(shortSong));
    ASSERT_EQ(m_list->Library()->CreateNewRecord(shortSong), 0);
    EXPECT_EQ(m_list->Library()->NewRecordRow()->MusicId(), 3);
    m_list->Library()->DiscardNewRecord();
    EXPECT_FALSE(QFile::exists(shortSong));
    EXPECT_EQ(Column(DbPath(), "SELECT MusicId FROM MusicInfo ORDER BY MusicId"),
              QStringList({"1", "2"}));
    EXPECT_EQ(m_list->VisibleRows().size(), 2);
}

TEST_F(ShowList, TheHundredThousandthSongIsTheLast) {
    Build();
    {
        // 99,999 songs, written the fast way.
        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open(DbPath().toUtf8().constData(), &raw), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(raw,
                               "BEGIN; WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM "
                               "n WHERE i < 99999) INSERT INTO MusicInfo (MusicId, DateAdded) "
                               "SELECT i, '01/01/2012 10:00' FROM n; COMMIT;",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(raw);
    }
    ASSERT_EQ(m_list->Library()->CreateNewRecord(FilePath(QStringLiteral("last.mp3"))), 0);
    EXPECT_EQ(m_list->Library()->NewRecordRow()->MusicId(), 100000);
    m_list->Library()->FileNewRecord(false);

    QString question;
    uitest::ModalAnswer full([&question](QWidget* modal) {
        question = modal->findChild<QLabel*>(QStringLiteral("questionText"))->text();
        static_cast<QDialog*>(modal)->reject();
    });
    EXPECT_EQ(m_list->Library()->CreateNewRecord(FilePath(QStringLiteral("one too many.mp3"))), -1);
    // Said without holding up the recording that asked.
    EXPECT_TRUE(QTest::qWaitFor([&full] { return full.Seen(); }, 5000));
    EXPECT_EQ(question, QStringLiteral("The number of songs in this playlist has reached the "
                                       "maximum.\nNote: the maximum songs in a playlist are 100,000."));
    EXPECT_EQ(m_list->Library()->NewRecordRow(), nullptr);
}

TEST_F(ShowList, TheCoverGridShowsTheSameSongsWithTheirChosenCovers) {
    const QString cover = FilePath(QStringLiteral("cover.png"));
    QImage red(64, 64, QImage::Format_RGB32);
    red.fill(Qt::red);
    ASSERT_TRUE(red.save(cover));
    AddSong(Song{1, "with cover", {}, {}, {}, "01/02/2012 10:00"});
    // A song whose file and cover are FIFOs: both count as missing, and
    // neither is ever opened (that would hold the window for good).
    SongRecord piped = AddSong(Song{2, "piped", {}, {}, {}, "01/01/2012 10:00", {}, false});
    const QString pipe = FilePath(QStringLiteral("pipe.png"));
    ASSERT_EQ(mkfifo(pipe.toUtf8().constData(), 0600), 0);
    piped.MusicPath = pipe;
    ASSERT_EQ(DB_UpdateMusicInfo(piped), 0);
    DB_SetImageInfo(1, 1, FilePath(QStringLiteral("first.png")).toUtf8().constData());
    DB_SetImageInfo(2, 1, cover.toUtf8().constData());
    DB_SetImageInfo(3, 2, pipe.toUtf8().constData());
    SongRecord record;
    ASSERT_EQ(DB_GetMusicInfo(1, &record), 1);
    record.ImageId = 1;
    ASSERT_EQ(DB_UpdateMusicInfo(record), 0);
    Build();
    EXPECT_EQ(m_list->Library()->FindRow(1)->CoverPath(), cover);
    EXPECT_FALSE(m_list->Library()->CheckFile(m_list->Library()->FindRow(2)));
    EXPECT_TRUE(m_list->Library()->FindRow(2)->IsMissing());

    m_list->AddView();
    ASSERT_TRUE(m_list->IsCoverViewShown());
    QListView* grid = m_list->CoverView();
    ASSERT_EQ(grid->model()->rowCount(), 2);
    EXPECT_EQ(grid->model()->index(0, 0).data(CMusicInfoModel::CoverRole).toString(), cover);
    // The first tile is painted with the song's cover.
    const QImage painted = grid->viewport()->grab().toImage();
    const QRect tile = grid->visualRect(grid->model()->index(0, CMusicInfoModel::Column_Name));
    EXPECT_EQ(painted.pixelColor(tile.center().x(), tile.top() + 30), QColor(Qt::red));
    // One selection for both views.
    m_list->SetCurrentRow(m_list->Library()->FindRow(2));
    EXPECT_TRUE(grid->selectionModel()->isRowSelected(1, QModelIndex()));
    m_list->RemoveView();
    EXPECT_FALSE(m_list->IsCoverViewShown());
    EXPECT_EQ(m_list->SelectedRows(), QList<CTreeWidgetItem*>({m_list->Library()->FindRow(2)}));
}

TEST_F(ShowList, DragsCarryTheMusicIdsAndTheFiles) {
    AddSong(Song{12, "a", {}, {}, {}, "01/01/2012 10:00"});
    AddSong(Song{7, "b", {}, {}, {}, "01/02/2012 10:00"});
    Build();
    std::unique_ptr<QMimeData> mime(
        CMusicInfoTreeWidget::MimeForRows({m_list->Library()->FindRow(12), m_list->Library()->FindRow(7)}));
    EXPECT_EQ(mime->data(QStringLiteral("application/tunecap")), QByteArray("12 7 "));
    ASSERT_EQ(mime->urls().size(), 2);
    EXPECT_EQ(mime->urls().first().toLocalFile(), FilePath(QStringLiteral("AU12.mp3")));
}

}  // namespace
