#pragma once

#include <QWidget>

// A page of the preferences dialog. The page fills its controls from the
// settings when it is built; Save() stores what the user chose, and is called
// only by the dialog's Save, never on Cancel. GUI thread only.
class CPreferencesPage : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

    virtual void Save() = 0;
};
