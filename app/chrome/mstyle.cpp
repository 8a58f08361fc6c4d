#include "chrome/mstyle.h"

#include <QPalette>
#include <QStyleFactory>
#include <QWidget>

namespace {
const QColor kAccent(0x5E, 0x2B, 0x63);

void ApplyAccent(QPalette& palette) {
    palette.setColor(QPalette::Highlight, kAccent);
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, kAccent);
}
}  // namespace

CMStyle::CMStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

void CMStyle::AddWidgetClass(const QString& className) {
    m_classes.insert(className);
}

bool CMStyle::IsRegistered(const QWidget* widget) const {
    if (!widget) return false;
    for (const QString& name : m_classes)
        if (widget->inherits(name.toLatin1().constData())) return true;
    return false;
}

QPalette CMStyle::standardPalette() const {
    QPalette palette = QProxyStyle::standardPalette();
    ApplyAccent(palette);
    return palette;
}

void CMStyle::polish(QPalette& palette) {
    QProxyStyle::polish(palette);
    ApplyAccent(palette);
}

void CMStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                            QPainter* painter, const QWidget* widget) const {
    if (element == PE_FrameFocusRect && IsRegistered(widget)) return;
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}
