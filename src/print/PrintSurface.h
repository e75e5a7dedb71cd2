#pragma once

#include <QColor>
#include <QPageLayout>
#include <QString>

// What the list printout needs of a printer: page geometry, text measurement, job control
// and a few drawing primitives. All lengths are device units (the printer's pixels).
// Rectangles are given by their left, top, right and bottom edges; the right and bottom
// edges lie just outside the shape, so a rectangle from 0 to 10 is 10 units wide.
class PrintSurface
{
public:
    virtual ~PrintSurface() = default;

    virtual QPageLayout::Orientation orientation() const = 0;
    // Takes effect for the next job; never called while a job runs.
    virtual void setOrientation(QPageLayout::Orientation orientation) = 0;

    // Printable area of a page in the current orientation.
    virtual int pageWidth() const = 0;
    virtual int pageHeight() const = 0;

    // Measured in the font that drawText() uses.
    virtual int textWidth(const QString& text) const = 0;
    virtual int textHeight(const QString& text) const = 0;

    virtual void beginJob() = 0;
    virtual void newPage() = 0;
    virtual void endJob() = 0;
    // Drops a job that failed midway instead of handing a partial printout to the printer.
    // Called from cleanup code, so it must not throw.
    virtual void abortJob() noexcept = 0;

    // Text with its top-left corner at (x, y) on a background of the fill colour.
    virtual void drawText(int x, int y, const QString& text) = 0;
    // Outline in the line colour, inside filled with the fill colour.
    virtual void drawRectangle(int left, int top, int right, int bottom) = 0;
    // A one-unit border in the fill colour, nothing inside.
    virtual void frameRectangle(int left, int top, int right, int bottom) = 0;
    // A straight line in the line colour.
    virtual void drawLine(int x1, int y1, int x2, int y2) = 0;

    virtual void setLineColour(const QColor& colour) = 0;
    virtual void setFillColour(const QColor& colour) = 0;
};
