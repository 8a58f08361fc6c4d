#include "readywidget.h"

#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

#include "res/pictures.h"

CReadyWidget::CReadyWidget(QWidget* parent) : QWidget(parent) {
    LoadPictures();
    setObjectName(QStringLiteral("CReadyWidget"));
    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(QStringLiteral(":/prefix/res/about_icon.png")).pixmap(96, 96));
    icon->setAlignment(Qt::AlignCenter);
    auto* name = new QLabel(QApplication::applicationName(), this);
    name->setAlignment(Qt::AlignCenter);
    name->setStyleSheet(QStringLiteral("color: #5E2B63; font-size: 26px; font-weight: bold;"));
    auto* hint = new QLabel(tr("Press the red button below to record what your computer plays.\n"
                               "Your recordings are kept under Media."),
                            this);
    hint->setAlignment(Qt::AlignCenter);
    hint->setStyleSheet(QStringLiteral("color: #6E5A72; font-size: 14px;"));

    auto* layout = new QVBoxLayout(this);
    layout->addStretch(1);
    layout->addWidget(icon);
    layout->addSpacing(8);
    layout->addWidget(name);
    layout->addSpacing(6);
    layout->addWidget(hint);
    layout->addStretch(1);
}
