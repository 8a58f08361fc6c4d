#include <gtest/gtest.h>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "deletedialog.h"
#include "uiapp.h"

namespace {

using Role = QDialogButtonBox::ButtonRole;

QPushButton* ButtonWithText(QWidget* dialog, const QString& text) {
    for (QPushButton* button : dialog->findChildren<QPushButton*>())
        if (button->text() == text) return button;
    return nullptr;
}

// Opens a three-button dialog and presses the button with the given text.
CDeleteDialog* AskAndPress(CDeleteDialog* dialog, const QString& text) {
    uitest::ModalAnswer seen([text](QWidget* modal) {
        QPushButton* button = ButtonWithText(modal, text);
        ASSERT_NE(button, nullptr) << text.toStdString();
        QTest::mouseClick(button, Qt::LeftButton);
    });
    dialog->Ask();
    EXPECT_TRUE(seen.Seen());
    return dialog;
}

TEST(DeleteDialog, ReturnsTheRoleAndTextOfThePressedButton) {
    uitest::App();
    const struct {
        const char* press;
        Role role;
    } cases[] = {{"Cancel", QDialogButtonBox::RejectRole},
                 {"Delete", QDialogButtonBox::DestructiveRole},
                 {"Ok", QDialogButtonBox::AcceptRole}};
    for (const auto& c : cases) {
        CDeleteDialog dialog(QStringLiteral("Are you sure to delete the selected file?\n"));
        ASSERT_NE(dialog.AddButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole), nullptr);
        ASSERT_NE(dialog.AddButton(QStringLiteral("Delete"), QDialogButtonBox::DestructiveRole),
                  nullptr);
        ASSERT_NE(dialog.AddButton(QStringLiteral("Ok"), QDialogButtonBox::AcceptRole), nullptr);
        AskAndPress(&dialog, QString::fromLatin1(c.press));
        EXPECT_EQ(dialog.ChosenRole(), c.role) << c.press;
        EXPECT_EQ(dialog.ChosenText(), QString::fromLatin1(c.press));
        EXPECT_FALSE(dialog.CountdownExpired());
        EXPECT_EQ(dialog.result(), c.role == QDialogButtonBox::RejectRole ? QDialog::Rejected
                                                                          : QDialog::Accepted);
    }
}

TEST(DeleteDialog, HoldsAtMostThreeButtonsAndTheGivenText) {
    uitest::App();
    const QString text = QStringLiteral("Song playing unavailable, \noriginal file could not be found.");
    CDeleteDialog dialog(text);
    EXPECT_EQ(dialog.Text(), text);
    EXPECT_TRUE(dialog.isModal());
    for (int i = 0; i < CDeleteDialog::kMaxButtons; ++i)
        EXPECT_NE(dialog.AddButton(QString::number(i), QDialogButtonBox::AcceptRole), nullptr);
    EXPECT_EQ(dialog.AddButton(QStringLiteral("fourth"), QDialogButtonBox::AcceptRole), nullptr);
    EXPECT_EQ(dialog.findChildren<QPushButton*>().size(), CDeleteDialog::kMaxButtons);
}

TEST(DeleteDialog, EscapeAndReturnChooseRejectAndTheDefaultButton) {
    uitest::App();
    {
        CDeleteDialog dialog(QStringLiteral("question"));
        dialog.AddButton(QStringLiteral("Quit"), QDialogButtonBox::AcceptRole);
        uitest::ModalAnswer seen(
            [](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
        EXPECT_EQ(dialog.Ask(), QDialogButtonBox::RejectRole);
        EXPECT_TRUE(seen.Seen());
        EXPECT_TRUE(dialog.ChosenText().isEmpty());
    }
    {
        // The default is the button marked so, not the first one added.
        CDeleteDialog dialog(QStringLiteral("question"));
        dialog.AddButton(QStringLiteral("Quit"), QDialogButtonBox::AcceptRole);
        dialog.AddButton(QStringLiteral("No"), QDialogButtonBox::RejectRole, true);
        uitest::ModalAnswer seen(
            [](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Return); });
        dialog.Ask();
        EXPECT_TRUE(seen.Seen());
        EXPECT_EQ(dialog.ChosenText(), QStringLiteral("No"));
    }
}

TEST(DeleteDialog, DontAskAgainBoxIsOfferedOnlyWhenAskedForAndReportsTheTick) {
    uitest::App();
    {
        CDeleteDialog dialog(QStringLiteral("question"));
        dialog.AddButton(QStringLiteral("Ok"), QDialogButtonBox::AcceptRole);
        auto* box = dialog.findChild<QCheckBox*>();
        ASSERT_NE(box, nullptr);
        box->setChecked(true);  // hidden: must not count
        AskAndPress(&dialog, QStringLiteral("Ok"));
        EXPECT_FALSE(box->isVisible());
        EXPECT_FALSE(dialog.DontAskAgain());
    }
    for (bool tick : {false, true}) {
        CDeleteDialog dialog(QStringLiteral("question"));
        dialog.AddButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
        dialog.AddButton(QStringLiteral("Delete"), QDialogButtonBox::AcceptRole);
        dialog.ShowDontAskAgain();
        uitest::ModalAnswer seen([tick](QWidget* modal) {
            auto* box = modal->findChild<QCheckBox*>();
            ASSERT_NE(box, nullptr);
            EXPECT_TRUE(box->isVisible());
            EXPECT_EQ(box->text(), QStringLiteral("Don't ask me again"));
            if (tick) QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
            QTest::mouseClick(ButtonWithText(modal, QStringLiteral("Delete")), Qt::LeftButton);
        });
        dialog.Ask();
        EXPECT_TRUE(seen.Seen());
        EXPECT_EQ(dialog.DontAskAgain(), tick);
        EXPECT_EQ(dialog.ChosenRole(), QDialogButtonBox::AcceptRole);
    }
}

TEST(DeleteDialog, CountdownShowsTheSecondsAndPressesTheDefaultButtonAtZero) {
    uitest::App();
    CDeleteDialog dialog(QStringLiteral("Your computer will be shutdown in 60 seconds"));
    dialog.AddButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    dialog.AddButton(QStringLiteral("Shutdown"), QDialogButtonBox::AcceptRole, true);
    dialog.SetCountdown(2, QStringLiteral("Your computer will be shutdown in %1 seconds"));
    QStringList textsSeen;
    QTimer sample;
    QObject::connect(&sample, &QTimer::timeout, [&] {
        if (!textsSeen.contains(dialog.Text())) textsSeen << dialog.Text();
    });
    sample.start(50);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(dialog.Ask(), QDialogButtonBox::AcceptRole);
    const qint64 took = clock.elapsed();
    EXPECT_TRUE(dialog.CountdownExpired());
    EXPECT_EQ(dialog.ChosenText(), QStringLiteral("Shutdown"));
    EXPECT_GE(took, 1900);
    EXPECT_LT(took, 4000);
    EXPECT_TRUE(textsSeen.contains(QStringLiteral("Your computer will be shutdown in 2 seconds")));
    EXPECT_TRUE(textsSeen.contains(QStringLiteral("Your computer will be shutdown in 1 seconds")));
}

TEST(DeleteDialog, CountdownWithoutTextCountsOnTheDefaultButtonAndStopsWhenAnswered) {
    uitest::App();
    {
        CDeleteDialog dialog(QStringLiteral("question"));
        dialog.AddButton(QStringLiteral("Ok"), QDialogButtonBox::AcceptRole);
        dialog.SetCountdown(1);
        QString shown;
        uitest::ModalAnswer seen(
            [&shown](QWidget* modal) { shown = modal->findChild<QPushButton*>()->text(); });
        EXPECT_EQ(dialog.Ask(), QDialogButtonBox::AcceptRole);
        EXPECT_TRUE(seen.Seen());
        EXPECT_EQ(shown, QStringLiteral("Ok (1)"));
        EXPECT_TRUE(dialog.CountdownExpired());
    }
    {
        // Answered before the end: the countdown must not press anything later.
        CDeleteDialog dialog(QStringLiteral("question"));
        dialog.AddButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
        dialog.AddButton(QStringLiteral("Shutdown"), QDialogButtonBox::AcceptRole, true);
        dialog.SetCountdown(1);
        AskAndPress(&dialog, QStringLiteral("Cancel"));
        uitest::Watch([&] { return dialog.CountdownExpired(); }, 1300);  // past the countdown
        EXPECT_EQ(dialog.ChosenText(), QStringLiteral("Cancel"));
        EXPECT_FALSE(dialog.CountdownExpired());
    }
}

}  // namespace
