// A look at the program as a new user meets it, on a private X server: every
// page of the main window, its menus, the mini window, every page of the
// preferences, the bug report dialog, the messages of the update check and
// the close sequence, and the library with songs: its lists, the cover
// grid, the song and list menus, the delete question, the player's pop-up
// queue and the export to iTunes. A picture of each is kept in the build
// folder's "screenshots" (for review; not part of the sources), and none may
// show a text cut off (labels, buttons, cells and column titles) or say that
// a part of the program is not available.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <vector>

#include "config.h"
#include "deletedialog.h"
#include "itunes/addtoitunesdialog.h"
#include "library/filteredit.h"
#include "library/librarypage.h"
#include "library/musicinfomodel.h"
#include "library/playqueue.h"
#include "library/showlistwidget.h"
#include "library/treelib.h"
#include "loopbackhttp.h"
#include "mainui.h"
#include "playback/popupplaylist.h"
#include "preferences/generalpage.h"
#include "preferences/preferencesdialog.h"
#include "privatexserver.h"
#include "pulsedaemon.h"
#include "recording/recordsession.h"
#include "recordingtest.h"
#include "library/librarypage.h"
#include "library/showlistwidget.h"
#include "toolbar.h"
#include "uiapp.h"
#include "updates/bugreportdialog.h"
#include "updates/updatenotifier.h"

namespace {

// Room a text needs beside its own width in a push or tool button.
constexpr int kButtonPadding = 8;

// The texts under root that are shown cut off: "class name 'text'".
QStringList CutTexts(QWidget* root) {
    QStringList cut;
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* w : widgets) {
        if (!w->isVisible() || w->width() <= 0) continue;
        QString text;
        int needWidth = 0;
        int needHeight = 0;
        const QFontMetrics fm = w->fontMetrics();
        if (auto* label = qobject_cast<QLabel*>(w)) {
            if (label->text().isEmpty() || label->wordWrap()) continue;
            text = label->text();
            needWidth = label->sizeHint().width();
            needHeight = label->sizeHint().height();
        } else if (qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w)) {
            text = static_cast<QAbstractButton*>(w)->text();
            needWidth = w->sizeHint().width();
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            if (button->text().isEmpty()) continue;
            auto* tool = qobject_cast<QToolButton*>(w);
            if (tool && tool->toolButtonStyle() == Qt::ToolButtonIconOnly) continue;
            text = button->text();
            needWidth =
                fm.horizontalAdvance(QString(text).remove(QLatin1Char('&'))) + kButtonPadding;
            if (!button->icon().isNull() &&
                !(tool && tool->toolButtonStyle() == Qt::ToolButtonTextUnderIcon))
                needWidth += button->iconSize().width() + 4;
        } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
            text = combo->currentText();
            if (text.isEmpty()) continue;
            // The arrow takes about a line's height.
            needWidth = fm.horizontalAdvance(text) + fm.height() + kButtonPadding;
        } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
            text = group->title();
            if (text.isEmpty()) continue;
            needWidth = fm.horizontalAdvance(text) + kButtonPadding;
        } else {
            continue;
        }
        if (w->width() < needWidth || (needHeight > 0 && w->height() < needHeight))
            cut << QStringLiteral("%1 '%2' (%3x%4, needs %5x%6)")
                       .arg(QLatin1String(w->metaObject()->className()), text)
                       .arg(w->width())
                       .arg(w->height())
                       .arg(needWidth)
                       .arg(needHeight);
    }
    return cut;
}

// The cells and header sections of the item views under root whose texts
// do not fit: "view 'text' (width, needs width)". Only the cells in view
// are looked at; cover grids (icon mode) draw their own shortened names.
QStringList CutCells(QWidget* root) {
    QStringList cut;
    QList<QAbstractItemView*> views = root->findChildren<QAbstractItemView*>();
    if (auto* self = qobject_cast<QAbstractItemView*>(root)) views.prepend(self);
    for (QAbstractItemView* view : views) {
        if (!view->isVisible() || !view->model()) continue;
        if (auto* list = qobject_cast<QListView*>(view);
            list && list->viewMode() == QListView::IconMode)
            continue;
        QAbstractItemModel* model = view->model();
        const QRect shown = view->viewport()->rect();
        QStyleOptionViewItem option;
        option.initFrom(view);
        option.font = view->font();
        option.fontMetrics = view->fontMetrics();
        if (view->iconSize().isValid()) option.decorationSize = view->iconSize();
        for (int row = 0; row < model->rowCount(); ++row) {
            for (int column = 0; column < model->columnCount(); ++column) {
                const QModelIndex index = model->index(row, column);
                const QRect place = view->visualRect(index);
                if (place.isEmpty() || !shown.intersects(place)) continue;
                const QString text = index.data(Qt::DisplayRole).toString();
                if (text.isEmpty()) continue;
                // What the view's own delegate asks for the cell, beside what
                // shows of it without scrolling sideways.
                const int need = view->itemDelegateForIndex(index)->sizeHint(option, index).width();
                const int width = qMin(place.right(), shown.right()) - place.left() + 1;
                if (width < need)
                    cut << QStringLiteral("%1 '%2' (%3, needs %4)")
                               .arg(view->objectName().isEmpty()
                                        ? QLatin1String(view->metaObject()->className())
                                        : view->objectName(),
                                    text)
                               .arg(width)
                               .arg(need);
            }
        }
        auto* tree = qobject_cast<QTreeView*>(view);
        QHeaderView* header = tree ? tree->header() : nullptr;
        if (!header || header->isHidden()) continue;
        const int margin = header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
        const int mark = header->style()->pixelMetric(QStyle::PM_HeaderMarkSize, nullptr, header);
        for (int section = 0; section < header->count(); ++section) {
            if (header->isSectionHidden(section)) continue;
            const QString text = model->headerData(section, Qt::Horizontal).toString();
            if (text.isEmpty()) continue;
            int need = header->fontMetrics().horizontalAdvance(text) + 2 * margin;
            if (header->isSortIndicatorShown() && header->sortIndicatorSection() == section)
                need += mark + margin;
            if (header->sectionSize(section) < need)
                cut << QStringLiteral("header '%1' (%2, needs %3)")
                           .arg(text)
                           .arg(header->sectionSize(section))
                           .arg(need);
        }
    }
    return cut;
}

// Shown texts under root (labels, buttons, menu entries, cells) that say a
// part of the program is missing.
QStringList UnfinishedTexts(QWidget* root) {
    QStringList texts;
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* w : widgets) {
        if (!w->isVisible()) continue;
        if (auto* label = qobject_cast<QLabel*>(w)) texts << label->text();
        if (auto* button = qobject_cast<QAbstractButton*>(w)) texts << button->text();
        if (auto* menu = qobject_cast<QMenu*>(w))
            for (QAction* action : menu->actions()) texts << action->text();
        if (auto* view = qobject_cast<QAbstractItemView*>(w); view && view->model())
            for (int row = 0; row < view->model()->rowCount(); ++row)
                for (int column = 0; column < view->model()->columnCount(); ++column)
                    texts << view->model()->index(row, column).data().toString();
    }
    QStringList unfinished;
    for (const QString& text : texts)
        if (text.contains(QStringLiteral("not available"), Qt::CaseInsensitive) ||
            text.contains(QStringLiteral("not implemented"), Qt::CaseInsensitive))
            unfinished << text;
    return unfinished;
}

// The texts of a menu whose entries do not fit its width.
QStringList CutMenuTexts(QMenu* menu) {
    QStringList cut;
    for (QAction* action : menu->actions()) {
        if (action->isSeparator() || !action->isVisible()) continue;
        const QRect place = menu->actionGeometry(action);
        if (place.width() < menu->fontMetrics().horizontalAdvance(action->text()))
            cut << action->text();
    }
    return cut;
}

class TourTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        s_server = new uitest::PrivateXServer;
        if (s_server->Display().isEmpty()) return;
        setenv("DISPLAY", qPrintable(s_server->Display()), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        uitest::App();
        QApplication::setApplicationName(QStringLiteral("Tavra Tunecap"));
        QApplication::setApplicationVersion(QStringLiteral("1.0.0.1"));
        s_shots = QString::fromLatin1(TUNECAP_SCREENSHOT_DIR);
        QDir().mkpath(s_shots);
    }
    static void TearDownTestSuite() {
        delete s_server;
        s_server = nullptr;
    }
    void SetUp() override {
        ASSERT_FALSE(s_server->Display().isEmpty()) << "Xvfb did not start";
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
        ASSERT_TRUE(m_library.ok());
        FillLibrary();
        m_window = std::make_unique<CMainUI>(m_library.Take());
        m_window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
    }
    void TearDown() override {
        m_window.reset();
    }
    // Songs stored before the window is built.
    virtual void FillLibrary() {}

    // Keeps a picture of widget and checks its texts.
    void Look(QWidget* widget, const QString& name) {
        // Layouts and paints first: until the texts fit (a window that has
        // just shown may not have its size yet), or long enough to tell.
        (void)QTest::qWaitFor([&] { return (CutTexts(widget) + CutCells(widget)).isEmpty(); }, 3000);
        EXPECT_TRUE(widget->grab().save(s_shots + QLatin1Char('/') + name + QStringLiteral(".png")))
            << name.toStdString();
        const QStringList cut = CutTexts(widget) + CutCells(widget);
        EXPECT_TRUE(cut.isEmpty())
            << name.toStdString() << ": " << cut.join(QStringLiteral("; ")).toStdString();
        const QStringList unfinished = UnfinishedTexts(widget);
        EXPECT_TRUE(unfinished.isEmpty())
            << name.toStdString() << ": " << unfinished.join(QStringLiteral("; ")).toStdString();
        ++m_looks;
    }
    void LookAtMenu(QMenu* menu, const QString& name) {
        menu->popup(m_window->mapToGlobal(QPoint(40, 40)));
        LookAtOpenMenu(menu, name);
    }
    // A menu the program opened itself.
    void LookAtOpenMenu(QMenu* menu, const QString& name) {
        ASSERT_TRUE(QTest::qWaitForWindowExposed(menu)) << name.toStdString();
        Look(menu, name);
        EXPECT_TRUE(CutMenuTexts(menu).isEmpty()) << name.toStdString();
        menu->hide();
    }
    // Looks at the next modal dialog and closes it with the button of the
    // given text (or rejects it when there is none).
    std::unique_ptr<uitest::ModalAnswer> LookAtNextModal(const QString& name,
                                                         const QString& button) {
        return std::make_unique<uitest::ModalAnswer>(
            [this, name, button](QWidget* modal) {
                Look(modal, name);
                if (!uitest::ClickButton(modal, button)) static_cast<QDialog*>(modal)->reject();
            },
            10000);
    }

    static uitest::PrivateXServer* s_server;
    static QString s_shots;
    // The window records from this server's "Speakers" for the close question.
    testsupport::PulseDaemon m_pulse{testsupport::SoundServer::PulseAudio};
    QTemporaryDir m_songs;
    uitest::TestLibrary m_library;  // opened before the window, as at start-up
    std::unique_ptr<CMainUI> m_window;
    int m_looks = 0;
};
uitest::PrivateXServer* TourTest::s_server = nullptr;
QString TourTest::s_shots;

// The check itself finds a squeezed text.
TEST_F(TourTest, ASqueezedTextIsFound) {
    QWidget box;
    auto* label = new QLabel(QStringLiteral("A text far longer than its place"), &box);
    label->setGeometry(0, 0, 40, 20);
    auto* check = new QCheckBox(QStringLiteral("Another long text"), &box);
    check->setGeometry(0, 30, 400, 20);
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    const QStringList cut = CutTexts(&box);
    ASSERT_EQ(cut.size(), 1);
    EXPECT_TRUE(cut.first().contains(QStringLiteral("A text far longer")))
        << cut.first().toStdString();

    EXPECT_TRUE(UnfinishedTexts(&box).isEmpty());
    label->setText(QStringLiteral("Export is not available yet"));
    EXPECT_EQ(UnfinishedTexts(&box), QStringList{label->text()});

    // A list name in a column too narrow for it; a header likewise.
    QTreeWidget tree;
    tree.setColumnCount(2);
    tree.setHeaderLabels({QStringLiteral("Name"), QStringLiteral("A long header title")});
    tree.header()->setStretchLastSection(false);
    tree.setColumnWidth(0, 300);
    tree.setColumnWidth(1, 30);
    new QTreeWidgetItem(&tree, {QStringLiteral("Fits well"), QStringLiteral("Does not fit")});
    tree.resize(400, 200);
    tree.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&tree));
    const QStringList cells = CutCells(&tree);
    EXPECT_EQ(cells.size(), 2) << cells.join(QStringLiteral("; ")).toStdString();
    EXPECT_TRUE(cells.join(QLatin1Char(' ')).contains(QStringLiteral("'Does not fit'")));
    EXPECT_TRUE(
        cells.join(QLatin1Char(' ')).contains(QStringLiteral("header 'A long header title'")));
    EXPECT_FALSE(cells.join(QLatin1Char(' ')).contains(QStringLiteral("Fits well")));
}

TEST_F(TourTest, MainWindowItsMenusAndTheMiniWindow) {
    Look(m_window.get(), QStringLiteral("main-start"));
    m_window->ShowRecording();
    Look(m_window.get(), QStringLiteral("main-recording"));
    m_window->ShowMedia();
    Look(m_window.get(), QStringLiteral("main-library"));
    LookAtMenu(m_window->MainMenu(), QStringLiteral("menu-main"));
    LookAtMenu(m_window->ToolBar()->TrayMenu(), QStringLiteral("menu-tray"));
    m_window->ChangeMiniState();
    Look(m_window.get(), QStringLiteral("main-mini"));
    m_window->ChangeMiniState();
    // A song being written: the tool bar and tray look of a recording, and
    // the question the close asks.
    ASSERT_TRUE(m_pulse.ok()) << m_pulse.error();
    recordingtest::RecordFromSpeakers(CConfig::instance(), m_songs.filePath(QStringLiteral("rec")));
    CConfig::instance()->SetSplitMode(0);
    ASSERT_TRUE(m_window->RecordSession()->StartRecording());
    const QString tone = m_songs.filePath(QStringLiteral("tone.wav"));
    ASSERT_TRUE(recordingtest::WriteSongs(tone, {{1.5, 440}}));
    ASSERT_TRUE(recordingtest::Play(tone));
    CShowListWidget* list = m_window->LibraryPage()->ShowList();
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->Library()->NewRecordRow() != nullptr; }, 5000));
    Look(m_window.get(), QStringLiteral("main-recording-song"));

    auto about = LookAtNextModal(QStringLiteral("dialog-about"), QStringLiteral("OK"));
    m_window->About();
    EXPECT_TRUE(about->Seen());
    auto question = LookAtNextModal(QStringLiteral("dialog-close-question"), QStringLiteral("No"));
    EXPECT_FALSE(m_window->close());
    EXPECT_TRUE(question->Seen());
    EXPECT_EQ(m_looks, 9);
}

TEST_F(TourTest, EveryPreferencesPage) {
    CPreferencesDialog dialog(m_window->AudioDev(), m_window->Schedule(),
                              CPreferencesDialog::Open_Settings, m_window.get());
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    const QStringList names = {"general", "audio-source", "scheduler",
                               "control", "format",       "connection"};
    for (int page = 0; page < CPreferencesDialog::Page_Count; ++page) {
        dialog.PageAction(page)->trigger();
        ASSERT_EQ(dialog.CurrentPage(), page);
        Look(&dialog, QStringLiteral("preferences-") + names[page]);
    }
    // The update controls the other way round.
    dialog.PageAction(CPreferencesDialog::Page_General)->trigger();
    dialog.GeneralPage()->AutoUpdateBox()->click();
    Look(&dialog, QStringLiteral("preferences-general-update-toggled"));
    dialog.reject();
}

TEST_F(TourTest, BugReportAndUpdateMessages) {
    CBugReportDialog form(CConfig::instance(), m_window.get());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    Look(&form, QStringLiteral("dialog-bug-report"));
    form.MailEdit()->setText(QStringLiteral("not an address"));
    form.SendButton()->click();
    Look(&form, QStringLiteral("dialog-bug-report-hint"));
    form.reject();

    uitest::LoopbackHttp server;
    ASSERT_TRUE(server.ok());
    setenv("TUNECAP_UPDATE_URL", qPrintable(server.Url(QStringLiteral("/update.json"))), 1);
    server.SetReply(200, "{\"version\": \"1.0.0.1\"}");
    auto upToDate = LookAtNextModal(QStringLiteral("message-up-to-date"), QStringLiteral("Ok"));
    m_window->UpdataSoft();
    EXPECT_TRUE(QTest::qWaitFor([&] { return upToDate->Seen(); }, 10000));
    server.SetReply(200, "{\"version\": \"1.1.0.0\"}");
    auto newer = LookAtNextModal(QStringLiteral("message-new-version"), QStringLiteral("Later"));
    m_window->UpdataSoft();
    EXPECT_TRUE(QTest::qWaitFor([&] { return newer->Seen(); }, 10000));
    server.SetReply(503, QByteArray());
    auto failed = LookAtNextModal(QStringLiteral("message-update-failed"), QStringLiteral("Ok"));
    m_window->UpdataSoft();
    EXPECT_TRUE(QTest::qWaitFor([&] { return failed->Seen(); }, 10000));
    setenv("TUNECAP_UPDATE_URL", "http://127.0.0.1:9/update.json", 1);
}

// The library as it looks with songs: some of today, one played, one whose
// file is gone, covers for some, and a playlist.
class LibraryTour : public TourTest {
protected:
    void FillLibrary() override {
        m_songs = QString::fromStdString(testsupport::makeTempDir("tour-songs"));
        QImage cover(64, 64, QImage::Format_RGB32);
        cover.fill(QColor(0x5E, 0x2B, 0x63));
        const QString coverPath = m_songs + QStringLiteral("/cover.png");
        ASSERT_TRUE(cover.save(coverPath));
        const QString today = QDate::currentDate().toString(QStringLiteral("MM/dd/yyyy"));
        struct Entry {
            const char* name;
            const char* artist;
            const char* album;
            const char* genre;
            const char* time;
            QString date;
            bool cover;
            bool file;
        };
        const Entry entries[] = {
            {"Morning Light", "The Harbour Lights", "Songs of the Coast", "Folk", "04:12",
             today + QStringLiteral(" 09:15"), true, true},
            {"Evening Drive", "Anna Berg", "Night Roads", "Pop", "03:48",
             today + QStringLiteral(" 10:02"), false, true},
            {"", "", "", "", "01:05:09", QStringLiteral("12/31/2023 23:59"), false, true},
            {"Rain Dance", "Kofi Mensah", "Weather", "World", "05:30",
             QStringLiteral("11/05/2023 18:20;") + today + QStringLiteral(" 08:00"), true, true},
            {"Lost Tape", "Unknown", "", "Rock", "02:01", QStringLiteral("06/01/2023 12:00"), false,
             false},
        };
        int id = 0;
        for (const Entry& entry : entries) {
            SongRecord record;
            record.MusicId = ++id;
            record.MusicPath = m_songs + QStringLiteral("/AU2023-12-0%1 101500.mp3").arg(id);
            SetTagText(record.tags.songName, QString::fromUtf8(entry.name));
            SetTagText(record.tags.artist, QString::fromUtf8(entry.artist));
            SetTagText(record.tags.album, QString::fromUtf8(entry.album));
            SetTagText(record.tags.albumGenre, QString::fromUtf8(entry.genre));
            record.TimeRecorded = QString::fromUtf8(entry.time);
            record.DateAdded = entry.date;
            ASSERT_EQ(DB_SetMusicInfo(record), 0);
            if (entry.cover) DB_SetImageInfo(id, id, coverPath.toUtf8().constData());
            if (entry.file) {
                QFile file(record.MusicPath);
                ASSERT_TRUE(file.open(QIODevice::WriteOnly));
                file.write("audio");
            }
            if (id <= 2) DB_SetMusicItem(DB_CreateItemKey(), List_FirstPlaylist, id);
        }
    }
    void TearDown() override {
        TourTest::TearDown();
        testsupport::removeTree(m_songs.toStdString());
    }
    CShowListWidget* List() const { return m_window->LibraryPage()->ShowList(); }
    CTreeLib* Tree() const { return m_window->LibraryPage()->TreeLib(); }
    // Opens the tree's menu over the row of a list.
    void LookAtTreeMenu(int listId, const QString& name) {
        CListTreeItem* row = Tree()->Row(listId);
        ASSERT_NE(row, nullptr);
        QTreeWidget* tree = row->treeWidget();
        const QPoint pos = tree->visualItemRect(row).center();
        if (tree == Tree()->LibTree())
            Tree()->LibContextMenuRequested(pos);
        else
            Tree()->PlayListContextMenuRequested(pos);
        LookAtOpenMenu(Tree()->ContextMenu(), name);
    }

    QString m_songs;
};

TEST_F(LibraryTour, SongsListsTheirMenusAndThePlayQueue) {
    m_window->ShowMedia();
    CShowListWidget* list = List();
    ASSERT_EQ(list->VisibleRows().size(), 5);
    Look(m_window.get(), QStringLiteral("library-all-recordings"));
    for (int listId : {List_NewlyRecordings, List_RecentlyPlayed, List_FirstPlaylist}) {
        ASSERT_TRUE(Tree()->SelectList(listId));
        Look(m_window.get(), QStringLiteral("library-list-%1").arg(listId));
    }
    ASSERT_TRUE(Tree()->SelectList(List_AllRecordings));
    list->AddView();
    Look(m_window.get(), QStringLiteral("library-covers"));
    list->RemoveView();

    // The song menu over a song, and its playlist menu.
    CTreeWidgetItem* first = list->VisibleRows().first();
    ASSERT_TRUE(list->SetCurrentRow(first));
    const QModelIndex index = list->Model()->IndexOf(first, CMusicInfoModel::Column_Name);
    list->customContextMenuRequested(list->Table()->visualRect(index).center());
    LookAtOpenMenu(list->ContextMenu(), QStringLiteral("menu-song"));
    LookAtMenu(list->PlaylistMenu(), QStringLiteral("menu-song-playlists"));
    LookAtMenu(list->FilterEdit()->TypeMenu(), QStringLiteral("menu-filter"));
    // The song menu's "Delete" asks first; cancelled here.
    auto question =
        LookAtNextModal(QStringLiteral("dialog-delete-songs"), QStringLiteral("Cancel"));
    list->DeleteSelection();
    EXPECT_TRUE(question->Seen());
    EXPECT_EQ(list->VisibleRows().size(), 5);
    LookAtTreeMenu(List_AllRecordings, QStringLiteral("menu-tree-library"));
    LookAtTreeMenu(List_FirstPlaylist, QStringLiteral("menu-tree-playlist"));

    // The player's pop-up queue.
    ASSERT_TRUE(Tree()->SelectList(List_AllRecordings));
    list->Library()->PlayQueue()->Set(list->VisibleRows(), 1, List_AllRecordings);
    m_window->ShowPopPlayList();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window->PopupPlayList()));
    ASSERT_EQ(m_window->PopupPlayList()->List()->count(), 5);
    ASSERT_TRUE(uitest::WaitForAnimations(m_window->PopupPlayList()));  // fully open
    Look(m_window->PopupPlayList(), QStringLiteral("popup-play-queue"));
    m_window->PopupPlayList()->hide();
    EXPECT_EQ(m_looks, 12);
}

// The export dialog without the player's folder, and while it adds songs.
TEST_F(LibraryTour, ExportToiTunesDialog) {
    m_window->ShowMedia();
    const QString folder = m_songs + QStringLiteral("/Automatically Add to iTunes");
    setenv("TUNECAP_ITUNES_FOLDER", qPrintable(folder), 1);
    uitest::ModalAnswer notFound([this](QWidget* modal) {
        auto* dialog = qobject_cast<CAddToiTunesDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(QTest::qWaitFor([&] { return dialog->ProgressBar()->isHidden(); }, 10000));
        Look(dialog, QStringLiteral("dialog-itunes-not-found"));
        dialog->reject();
    });
    m_window->AddToiTunes();
    EXPECT_TRUE(notFound.Seen());

    // Held at the first song, long enough to look.
    ASSERT_TRUE(QDir().mkpath(folder));
    std::vector<iTunesSong> songs;
    for (CTreeWidgetItem* row : List()->VisibleRows())
        if (List()->Library()->CheckFile(row))
            songs.push_back(iTunesSong::FromRecord(*List()->Library()->LoadRecord(row)));
    ASSERT_EQ(songs.size(), 4u);
    // Song i waits after its copy until more than i songs are allowed.
    auto allowed = std::make_shared<std::atomic<int>>(0);
    auto calls = std::make_shared<std::atomic<int>>(0);
    iTunesBridge bridge = iTunesBridge::Jukebridge();
    const auto add = bridge.AddSong;
    bridge.AddSong = [add, allowed, calls](iTunesSongInfo song, int last) {
        const int res = add(song, last);
        const int index = (*calls)++;
        for (int waited = 0; allowed->load() <= index && waited < 10000; waited += 10)
            QThread::msleep(10);
        return res;
    };
    CAddToiTunesDialog dialog(std::move(songs), bridge, m_window.get());
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    Look(&dialog, QStringLiteral("dialog-itunes-start"));
    allowed->store(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.ProgressBar()->value() == 1; }, 10000));
    Look(&dialog, QStringLiteral("dialog-itunes-adding"));
    EXPECT_TRUE(
        dialog.TextLabel()->text().startsWith(QStringLiteral("Adding...\n\nCurrent File:")));
    allowed->store(100);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog.isVisible(); }, 10000));
    unsetenv("TUNECAP_ITUNES_FOLDER");
}

}  // namespace
