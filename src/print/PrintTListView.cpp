#include "print/PrintTListView.h"

#include "print/ListPrintJob.h"
#include "print/TableLayout.h"

#include <stdexcept>

namespace {

constexpr int maxColumns = 32;

// Gives the printer back its orientation and plain colours when the printout ends, however
// it ends.
class PrinterStateRestorer
{
public:
    explicit PrinterStateRestorer(PrintSurface& printer)
        : m_printer(printer), m_orientation(printer.orientation())
    {
    }
    ~PrinterStateRestorer()
    {
        if (m_done)
            return;
        try {
            restore();
        } catch (...) {
            // Already unwinding from the error that matters.
        }
    }
    PrinterStateRestorer(const PrinterStateRestorer&) = delete;
    PrinterStateRestorer& operator=(const PrinterStateRestorer&) = delete;

    void finish()
    {
        m_done = true;
        restore();
    }

private:
    void restore()
    {
        m_printer.setFillColour(QColor(255, 255, 255));
        m_printer.setLineColour(QColor(0, 0, 0));
        m_printer.setOrientation(m_orientation);
    }

    PrintSurface& m_printer;
    const QPageLayout::Orientation m_orientation;
    bool m_done = false;
};

} // namespace

void PrintListView(PrintSurface& printer, const QString& title, const ReportList& list,
                   bool HorizontalLines, bool VerticalLines)
{
    if (list.columns.size() > maxColumns)
        throw std::runtime_error("Cannot print a list with " + std::to_string(list.columns.size()) +
                                 " columns: at most " + std::to_string(maxColumns) +
                                 " columns can be printed");

    PrinterStateRestorer restorer(printer);
    TableLayout layout(printer, list);
    layout.fitToPage(printer);
    ListPrintJob(printer, title, list, layout, HorizontalLines, VerticalLines).run();
    restorer.finish();
}
