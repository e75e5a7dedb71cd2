#pragma once

#include <QColor>
#include <QPalette>

class QWidget;

// The colours of the forms. Under a light desktop palette they are the drawn ones
// (blue-grey window, white pages with dark-grey headings, silver button bar, the tab
// strip); under a dark one they come from the desktop's palette. Every text colour is
// chosen with the background it is drawn on, so it stays legible under either.
struct FormColours
{
    QColor window;
    QColor windowText;
    QColor page;
    QColor pageText;
    QColor heading;
    QColor buttonBar;
    QColor buttonBarText;
    QColor buttonBarLine;
    QColor tabStrip;
    QColor tabText;
    QColor selectedTab;
    QColor selectedTabText;
    // The header keeps its drawn gradient under every palette: the logo's lettering is dark.
    QColor headerTop;
    QColor headerBottom;
    QColor headerText;
    QColor headerLine;
};

FormColours formColours(const QPalette& desktop);

// A palette that sets only a surface's background and its text (dimmed when disabled);
// fields and buttons on the surface keep the desktop's colours.
QPalette surfacePalette(const QColor& background, const QColor& text);

// Fills the widget's background with the colour and draws its text (and its children's)
// in the other.
void paintSurface(QWidget* widget, const QColor& background, const QColor& text);

// A dark palette draws light text on a dark window.
bool isDarkPalette(const QPalette& palette);

// WCAG 2 relative luminance (0 black to 1 white) and contrast ratio (1 to 21).
qreal relativeLuminance(const QColor& colour);
qreal contrastRatio(const QColor& first, const QColor& second);

// The preferred text colour when it reaches the contrast of 4.5 that normal text needs
// on the background, otherwise black or white, whichever contrasts more.
QColor legibleOn(const QColor& background, const QColor& preferred);
