#pragma once

#include <QProxyStyle>
#include <QSet>
#include <QString>

// The application style: the platform-neutral Fusion look with the
// program's accent colour, and no focus frame on the widget classes
// registered with AddWidgetClass (lists, trees, edit fields and views draw
// their own current-item marking).
class CMStyle : public QProxyStyle {
    Q_OBJECT
public:
    CMStyle();

    // Registers a widget class by its class name ("QTreeWidget").
    void AddWidgetClass(const QString& className);
    // Whether the widget is an instance of a registered class (or of a
    // class derived from one).
    bool IsRegistered(const QWidget* widget) const;

    QPalette standardPalette() const override;
    void polish(QPalette& palette) override;
    using QProxyStyle::polish;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;

private:
    QSet<QString> m_classes;
};
