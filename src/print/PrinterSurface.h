#pragma once

#include "print/PrintSurface.h"

#include <QColor>
#include <QFont>
#include <QPainter>

class QPrinter;

// A PrintSurface on a QPrinter, for a real printer or a PDF file. The printer is used at
// 600 dpi, so the layout's 200-unit margins are a third of an inch as on an office laser
// printer. Text is measured and drawn in the given font, by default the application's.
class PrinterSurface : public PrintSurface
{
public:
    explicit PrinterSurface(QPrinter& printer, const QFont& font = QFont());
    ~PrinterSurface() override;
    PrinterSurface(const PrinterSurface&) = delete;
    PrinterSurface& operator=(const PrinterSurface&) = delete;

    static constexpr int resolution = 600;

    QPageLayout::Orientation orientation() const override;
    void setOrientation(QPageLayout::Orientation orientation) override;
    int pageWidth() const override;
    int pageHeight() const override;
    int textWidth(const QString& text) const override;
    int textHeight(const QString& text) const override;
    void beginJob() override;
    void newPage() override;
    void endJob() override;
    void abortJob() noexcept override;
    void drawText(int x, int y, const QString& text) override;
    void drawRectangle(int left, int top, int right, int bottom) override;
    void frameRectangle(int left, int top, int right, int bottom) override;
    void drawLine(int x1, int y1, int x2, int y2) override;
    void setLineColour(const QColor& colour) override;
    void setFillColour(const QColor& colour) override;

private:
    QPainter& activePainter();

    QPrinter& m_printer;
    QFont m_font;
    QPainter m_painter;
    QColor m_lineColour{0, 0, 0};
    QColor m_fillColour{255, 255, 255};
};
