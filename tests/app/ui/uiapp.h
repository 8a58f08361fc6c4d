#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QAbstractAnimation>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QMenu>
#include <QPushButton>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>

#include "config.h"
#include "library/library.h"
#include "library/musicdb.h"
#include "library/musicinfomodel.h"
#include "library/showlistwidget.h"
#include "logcapture.h"
#include "privatehome.h"

namespace uitest {

// The QApplication of the test program, created on first use (the test
// main runs with the off-screen platform) and kept until exit.
inline QApplication& App() {
    static int argc = 1;
    static char name[] = "uitest";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        auto* created = new QApplication(argc, argv);
        // Tests close windows without ending anything.
        QApplication::setQuitOnLastWindowClosed(false);
        return created;
    }();
    return *app;
}

// The library at path opened as start-up opens it (CLibrary::Open), for the
// main window; a failure fails the test.
inline std::unique_ptr<CLibrary> OpenLibrary(const QString& path) {
    auto library = std::make_unique<CLibrary>(CConfig::instance());
    EXPECT_EQ(library->Open(path), 0) << path.toStdString();
    return library;
}

// The library database in a fresh folder, open for the test to fill; Take()
// opens it as start-up does and hands it to the main window, which closes
// it when it goes. The folder is removed with the object.
class TestLibrary {
public:
    TestLibrary() : m_dir(testsupport::makeTempDir("library-test")) {
        m_ok = DB_OpenFile(Path()) == 0;
    }
    ~TestLibrary() {
        if (DB_IsOpen()) DB_Close();
        testsupport::removeTree(m_dir);
    }
    TestLibrary(const TestLibrary&) = delete;
    TestLibrary& operator=(const TestLibrary&) = delete;

    bool ok() const { return m_ok; }
    QString Path() const { return QString::fromStdString(m_dir + "/music.db"); }
    std::unique_ptr<CLibrary> Take() const { return OpenLibrary(Path()); }

private:
    std::string m_dir;
    bool m_ok = false;
};

using testsupport::LogCapture;

// The menu's entries as text, separators as "-".
inline QStringList MenuTexts(const QMenu* menu) {
    QStringList texts;
    for (const QAction* action : menu->actions())
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
}

// Selects the rows of the songs in the list's table (the last one becomes
// the current row); a song not shown fails the test.
inline void SelectSongs(CShowListWidget* list, std::initializer_list<int> ids) {
    list->clearSelection();
    for (int id : ids) {
        const QModelIndex index = list->Model()->IndexOf(list->Library()->FindRow(id));
        ASSERT_TRUE(index.isValid()) << id;
        list->Table()->selectionModel()->select(
            index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        list->Table()->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    }
}

// For a check that something must not happen: processes events for
// `timeoutMs`, or until `happened` holds.
inline void Watch(const std::function<bool()>& happened, int timeoutMs) {
    (void)QTest::qWaitFor(happened, timeoutMs);
}

// Waits until no animation of `owner` runs (a finished one may be gone).
inline bool WaitForAnimations(QObject* owner) {
    return QTest::qWaitFor([owner] {
        for (QAbstractAnimation* a : owner->findChildren<QAbstractAnimation*>())
            if (a->state() == QAbstractAnimation::Running) return false;
        return true;
    });
}

// Clicks the push button of dialog whose text is text; false when there is
// none.
inline bool ClickButton(QWidget* dialog, const QString& text) {
    for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
        if (button->text() == text) {
            button->click();
            return true;
        }
    }
    return false;
}

// While it exists, answers the modal dialog that shows next: polls every
// 20 ms until a modal widget shows, up to the given time, and runs answer
// on it once. Seen() tells whether a dialog showed.
class ModalAnswer {
public:
    explicit ModalAnswer(std::function<void(QWidget*)> answer, int timeoutMs = 5000)
        : m_answer(std::move(answer)), m_timeoutMs(timeoutMs) {
        m_poll.setInterval(20);
        QObject::connect(&m_poll, &QTimer::timeout, [this] {
            m_waited += 20;
            if (QWidget* modal = QApplication::activeModalWidget()) {
                m_seen = true;
                m_poll.stop();
                m_answer(modal);
            } else if (m_waited > m_timeoutMs) {
                m_poll.stop();
            }
        });
        m_poll.start();
    }
    ModalAnswer(const ModalAnswer&) = delete;
    ModalAnswer& operator=(const ModalAnswer&) = delete;

    bool Seen() const { return m_seen; }

private:
    std::function<void(QWidget*)> m_answer;
    int m_timeoutMs;
    int m_waited = 0;
    bool m_seen = false;
    QTimer m_poll;
};

// While it exists, answers the next question dialog (CDeleteDialog) with
// the button of the given text, and keeps the question's text.
class QuestionAnswer {
public:
    explicit QuestionAnswer(const QString& button, int timeoutMs = 3000)
        : m_modal(
              [this, button](QWidget* modal) {
                  if (auto* text = modal->findChild<QLabel*>(QStringLiteral("questionText")))
                      m_text = text->text();
                  for (QPushButton* b : modal->findChildren<QPushButton*>())
                      if (b->text() == button) return QTest::mouseClick(b, Qt::LeftButton);
                  ADD_FAILURE() << "no button " << button.toStdString();
                  static_cast<QDialog*>(modal)->reject();
              },
              timeoutMs) {}
    bool Seen() const { return m_modal.Seen(); }
    const QString& Text() const { return m_text; }

private:
    QString m_text;
    ModalAnswer m_modal;
};

}  // namespace uitest
