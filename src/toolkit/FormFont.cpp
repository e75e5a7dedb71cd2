#include "toolkit/FormFont.h"

#include <QStringList>
#include <QtGlobal>

namespace {

// The drawing: text 8 pt (11 pixels) at 96 dots per inch on a 9-pt desktop,
// headings 19 pixels (14.25 pt).
constexpr qreal drawnPointSize = 8;
constexpr qreal drawnDesktopPointSize = 9;
constexpr int drawnPixelSize = 11;
constexpr qreal headingPointSize = 14.25;
constexpr int headingPixelSize = 19;

} // namespace

QFont formFont(const QFont& desktopFont)
{
    QFont font = desktopFont;
    font.setFamilies(QStringList{QStringLiteral("Tahoma")} + desktopFont.families());
    if (desktopFont.pointSizeF() > 0) {
        font.setPointSizeF(qMax(drawnPointSize,
                                desktopFont.pointSizeF() * drawnPointSize / drawnDesktopPointSize));
    } else {
        const qreal pixels = desktopFont.pixelSize() * drawnPointSize / drawnDesktopPointSize;
        font.setPixelSize(qMax(drawnPixelSize, qRound(pixels)));
    }
    return font;
}

QFont headingFont(const QFont& formFont)
{
    QFont font = formFont;
    if (formFont.pointSizeF() > 0)
        font.setPointSizeF(formFont.pointSizeF() * headingPointSize / drawnPointSize);
    else
        font.setPixelSize(qRound(qreal(formFont.pixelSize()) * headingPixelSize / drawnPixelSize));
    font.setBold(true);
    return font;
}
