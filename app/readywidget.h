#pragma once

#include <QWidget>

// The start page shown until the user opens the library or records: the
// program's icon and name and where to begin.
class CReadyWidget : public QWidget {
    Q_OBJECT
public:
    explicit CReadyWidget(QWidget* parent = nullptr);
};
