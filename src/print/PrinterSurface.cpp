#include "print/PrinterSurface.h"

#include <QFontMetrics>
#include <QPen>
#include <QPrinter>

#include <cmath>
#include <stdexcept>

namespace {

// QRect for an area whose right and bottom edges lie just outside it, as an outline drawn
// with a one-unit pen covers it.
QRect outlineRect(int left, int top, int right, int bottom)
{
    return QRect(left, top, right - left - 1, bottom - top - 1);
}

// One device unit wide whatever the transformation.
QPen thinPen(const QColor& colour)
{
    QPen pen(colour, 0);
    pen.setCapStyle(Qt::FlatCap);
    return pen;
}

} // namespace

PrinterSurface::PrinterSurface(QPrinter& printer, const QFont& font)
    : m_printer(printer), m_font(font)
{
    m_printer.setResolution(resolution);
}

PrinterSurface::~PrinterSurface()
{
    abortJob();
}

QPageLayout::Orientation PrinterSurface::orientation() const
{
    return m_printer.pageLayout().orientation();
}

void PrinterSurface::setOrientation(QPageLayout::Orientation orientation)
{
    // The page layout is fixed once the painter has started the job.
    if (m_painter.isActive())
        throw std::runtime_error("The page orientation cannot change while printing");
    if (!m_printer.setPageOrientation(orientation))
        throw std::runtime_error("The printer cannot change the page orientation");
}

int PrinterSurface::pageWidth() const
{
    return int(std::floor(m_printer.pageRect(QPrinter::DevicePixel).width()));
}

int PrinterSurface::pageHeight() const
{
    return int(std::floor(m_printer.pageRect(QPrinter::DevicePixel).height()));
}

int PrinterSurface::textWidth(const QString& text) const
{
    return QFontMetrics(m_font, &m_printer).horizontalAdvance(text);
}

int PrinterSurface::textHeight(const QString&) const
{
    return QFontMetrics(m_font, &m_printer).height();
}

void PrinterSurface::beginJob()
{
    if (!m_painter.begin(&m_printer)) {
        const QString target =
            m_printer.outputFileName().isEmpty()
                ? QStringLiteral("Cannot start printing on \"%1\"").arg(m_printer.printerName())
                : QStringLiteral("Cannot write the printout to \"%1\"")
                      .arg(m_printer.outputFileName());
        throw std::runtime_error(target.toStdString());
    }
    m_painter.setFont(m_font);
}

void PrinterSurface::newPage()
{
    activePainter();
    if (!m_printer.newPage())
        throw std::runtime_error("The printer cannot start a new page");
}

void PrinterSurface::endJob()
{
    activePainter();
    if (!m_painter.end())
        throw std::runtime_error("The printout could not be finished");
}

void PrinterSurface::abortJob() noexcept
{
    if (!m_painter.isActive())
        return;
    // Not every print engine can abort (a PDF file is then written as far as it got).
    m_printer.abort();
    m_painter.end();
}

void PrinterSurface::drawText(int x, int y, const QString& text)
{
    QPainter& painter = activePainter();
    const QFontMetrics metrics(painter.font(), &m_printer);
    painter.fillRect(QRect(x, y, metrics.horizontalAdvance(text), metrics.height()), m_fillColour);
    painter.setPen(QColor(0, 0, 0));
    painter.drawText(QPoint(x, y + metrics.ascent()), text);
}

void PrinterSurface::drawRectangle(int left, int top, int right, int bottom)
{
    QPainter& painter = activePainter();
    painter.setPen(thinPen(m_lineColour));
    painter.setBrush(m_fillColour);
    painter.drawRect(outlineRect(left, top, right, bottom));
}

void PrinterSurface::frameRectangle(int left, int top, int right, int bottom)
{
    QPainter& painter = activePainter();
    painter.setPen(thinPen(m_fillColour));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(outlineRect(left, top, right, bottom));
}

void PrinterSurface::drawLine(int x1, int y1, int x2, int y2)
{
    QPainter& painter = activePainter();
    painter.setPen(thinPen(m_lineColour));
    painter.drawLine(x1, y1, x2, y2);
}

void PrinterSurface::setLineColour(const QColor& colour)
{
    m_lineColour = colour;
}

void PrinterSurface::setFillColour(const QColor& colour)
{
    m_fillColour = colour;
}

QPainter& PrinterSurface::activePainter()
{
    if (!m_painter.isActive())
        throw std::runtime_error("Drawing on the printer outside a print job");
    return m_painter;
}
