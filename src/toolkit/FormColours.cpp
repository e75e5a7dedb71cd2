#include "toolkit/FormColours.h"

#include <QWidget>
#include <QtMath>

namespace {

constexpr qreal minimumTextContrast = 4.5;

qreal linear(qreal channel)
{
    return channel <= 0.04045 ? channel / 12.92 : qPow((channel + 0.055) / 1.055, 2.4);
}

QColor blend(const QColor& from, const QColor& to, qreal share)
{
    return QColor::fromRgbF(from.redF() + (to.redF() - from.redF()) * share,
                            from.greenF() + (to.greenF() - from.greenF()) * share,
                            from.blueF() + (to.blueF() - from.blueF()) * share);
}

FormColours drawnColours(const QPalette& desktop)
{
    FormColours c;
    c.window = QColor(226, 231, 239);
    c.windowText = legibleOn(c.window, desktop.color(QPalette::WindowText));
    c.page = Qt::white;
    c.pageText = legibleOn(c.page, desktop.color(QPalette::Text));
    c.heading = legibleOn(c.page, QColor(58, 58, 58));
    c.buttonBar = QColor(192, 192, 192);
    c.buttonBarText = legibleOn(c.buttonBar, desktop.color(QPalette::WindowText));
    c.buttonBarLine = QColor(160, 160, 160);
    c.tabStrip = QColor(214, 221, 233);
    c.tabText = legibleOn(c.tabStrip, QColor(40, 48, 60));
    c.selectedTab = c.page;
    c.selectedTabText = legibleOn(c.selectedTab, QColor(20, 30, 45));
    return c;
}

FormColours desktopColours(const QPalette& desktop)
{
    FormColours c;
    c.window = desktop.color(QPalette::Window);
    c.windowText = legibleOn(c.window, desktop.color(QPalette::WindowText));
    c.page = desktop.color(QPalette::Base);
    c.pageText = legibleOn(c.page, desktop.color(QPalette::Text));
    c.heading = c.pageText;
    c.buttonBar = c.window.darker(125);
    c.buttonBarText = legibleOn(c.buttonBar, c.windowText);
    c.buttonBarLine = c.window.lighter(140);
    c.tabStrip = c.window;
    c.tabText = c.windowText;
    c.selectedTab = c.page;
    c.selectedTabText = c.pageText;
    return c;
}

} // namespace

FormColours formColours(const QPalette& desktop)
{
    FormColours c = isDarkPalette(desktop) ? desktopColours(desktop) : drawnColours(desktop);
    c.headerTop = QColor(250, 251, 253);
    c.headerBottom = QColor(226, 231, 239);
    c.headerText = legibleOn(c.headerBottom, QColor(43, 58, 78));
    c.headerLine = QColor(190, 198, 212);
    return c;
}

QPalette surfacePalette(const QColor& background, const QColor& text)
{
    QPalette base;
    base.setColor(QPalette::Window, background);
    base.setColor(QPalette::WindowText, text);
    base.setColor(QPalette::Disabled, QPalette::WindowText, blend(text, background, 0.55));
    return base;
}

void paintSurface(QWidget* widget, const QColor& background, const QColor& text)
{
    widget->setAutoFillBackground(true);
    widget->setPalette(surfacePalette(background, text));
}

bool isDarkPalette(const QPalette& palette)
{
    return relativeLuminance(palette.color(QPalette::Window)) <
           relativeLuminance(palette.color(QPalette::WindowText));
}

qreal relativeLuminance(const QColor& colour)
{
    const QColor rgb = colour.toRgb();
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) +
           0.0722 * linear(rgb.blueF());
}

qreal contrastRatio(const QColor& first, const QColor& second)
{
    const qreal a = relativeLuminance(first);
    const qreal b = relativeLuminance(second);
    return (qMax(a, b) + 0.05) / (qMin(a, b) + 0.05);
}

QColor legibleOn(const QColor& background, const QColor& preferred)
{
    if (contrastRatio(background, preferred) >= minimumTextContrast)
        return preferred;
    const QColor black(Qt::black);
    const QColor white(Qt::white);
    return contrastRatio(background, black) >= contrastRatio(background, white) ? black : white;
}
