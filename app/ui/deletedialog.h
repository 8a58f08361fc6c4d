#pragma once

#include <QDialog>
#include <QDialogButtonBox>
#include <QString>
#include <QVector>

class QCheckBox;
class QLabel;
class QPushButton;
class QTimer;

// The program's modal question: a text, one to three buttons with standard
// roles, an optional "Don't ask me again" box and an optional countdown that
// presses the default button when it runs out.
//
//   CDeleteDialog dialog(tr("Are you sure ..."), this);
//   dialog.AddButton(tr("No"), QDialogButtonBox::RejectRole, true);
//   dialog.AddButton(tr("Quit"), QDialogButtonBox::AcceptRole);
//   if (dialog.Ask() == QDialogButtonBox::AcceptRole) ...
//
// GUI thread only.
class CDeleteDialog : public QDialog {
    Q_OBJECT
public:
    // Most buttons one dialog holds.
    static constexpr int kMaxButtons = 3;

    explicit CDeleteDialog(const QString& text, QWidget* parent = nullptr);
    ~CDeleteDialog() override;

    // Adds a button with the given role; the first button added, or the one
    // added with isDefault, is the default button (Return and the
    // countdown press it). Returns null, and adds nothing, when the dialog
    // already holds kMaxButtons buttons.
    QPushButton* AddButton(const QString& text, QDialogButtonBox::ButtonRole role,
                           bool isDefault = false);
    // Shows the "Don't ask me again" box, unticked.
    void ShowDontAskAgain();
    // Counts down from seconds (at least 1) once the dialog is shown. When
    // textWithCount holds "%1", the text becomes textWithCount with the
    // remaining seconds each second; otherwise the default button's text
    // shows them ("Ok (9)"). At zero the default button is pressed.
    void SetCountdown(int seconds, const QString& textWithCount = QString());

    // Shows the dialog modally and returns ChosenRole().
    QDialogButtonBox::ButtonRole Ask();

    // Role of the button that closed the dialog; RejectRole when it was
    // closed otherwise (Escape, the window's close button).
    QDialogButtonBox::ButtonRole ChosenRole() const { return m_chosenRole; }
    // Text of that button as given to AddButton; empty when none was pressed.
    QString ChosenText() const { return m_chosenText; }
    // Whether the "Don't ask me again" box was ticked (false when not shown).
    bool DontAskAgain() const;
    // Whether the countdown ran out and pressed the default button.
    bool CountdownExpired() const { return m_countdownExpired; }
    // Seconds left on the countdown; 0 without one.
    int SecondsLeft() const { return m_secondsLeft; }
    // The question's text as shown now.
    QString Text() const;

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;

private:
    void Choose(QPushButton* button);
    void Tick();
    void ShowCount();
    QPushButton* DefaultButton() const;

    QLabel* m_text = nullptr;
    QCheckBox* m_dontAsk = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
    QTimer* m_countdown = nullptr;
    struct Entry {
        QPushButton* button;
        QString text;
        QDialogButtonBox::ButtonRole role;
    };
    QVector<Entry> m_entries;
    int m_defaultIndex = 0;
    int m_secondsLeft = 0;
    QString m_countText;
    bool m_countdownExpired = false;
    QDialogButtonBox::ButtonRole m_chosenRole = QDialogButtonBox::RejectRole;
    QString m_chosenText;
};
