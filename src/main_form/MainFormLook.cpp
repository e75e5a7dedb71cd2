// The window's look: its font and colours, worked out from the desktop's.
#include "main_form/MainForm.h"

#include "main_form/HistoryLogModel.h"
#include "toolkit/Band.h"
#include "toolkit/DrawnWidths.h"
#include "toolkit/FormColours.h"
#include "toolkit/FormFont.h"
#include "toolkit/TabStrip.h"
#include "ui_MainForm.h"

#include <QApplication>
#include <QHeaderView>
#include <QStyleOptionViewItem>
#include <QTableView>

void TFormMain::applyLook()
{
    const QFont font = formFont(QApplication::font());
    setFont(font);
    keepDrawnButtonWidths(this);
    keepDrawnFieldWidth(m_ui->txtSMTPPort, 49, QStringLiteral("65535"));
    keepLogColumnsWhole();
    const FormColours colours = formColours(QApplication::palette());
    paintSurface(this, colours.window, colours.windowText);

    m_ui->pnlHeader->setColours(colours.headerTop, colours.headerBottom, colours.headerText,
                                colours.headerLine, Band::Line::Bottom);
    m_ui->pnlButtons->setColours(colours.buttonBar, colours.buttonBar, colours.buttonBarText,
                                 colours.buttonBarLine, Band::Line::Top);

    m_ui->tabList->setColours(colours.tabStrip, colours.tabText, colours.selectedTab,
                              colours.selectedTabText);

    const QPalette heading = surfacePalette(colours.page, colours.heading);
    for (int index = 0; index < m_ui->pageControl->count(); ++index) {
        QWidget* tab = m_ui->pageControl->widget(index);
        paintSurface(tab, colours.page, colours.pageText);
        for (QLabel* label : tab->findChildren<QLabel*>()) {
            if (label->property("pageHeading").toBool()) {
                label->setFont(headingFont(font));
                label->setPalette(heading);
            }
        }
    }
}

void TFormMain::keepLogColumnsWhole()
{
    sizeLogColumns();
    // As drawn: 465 pixels for three columns of 153; the IPv6 columns, when
    // there are any, are scrolled to.
    int total = 0;
    for (int column = 0; column < 3; ++column)
        total += m_ui->lvLog->columnWidth(column);
    m_ui->lvLog->setMinimumWidth(total + 465 - 3 * 153);

    // Every row one line of text high, as a list item is at this font.
    QStyleOptionViewItem item;
    item.initFrom(m_ui->lvLog);
    item.features = QStyleOptionViewItem::HasDisplay;
    item.text = QStringLiteral("2026-12-31 23:59:59");
    const int rowHeight =
        m_ui->lvLog->style()
            ->sizeFromContents(QStyle::CT_ItemViewItem, &item, QSize(), m_ui->lvLog)
            .height();
    m_ui->lvLog->verticalHeader()->setMinimumSectionSize(rowHeight);
    m_ui->lvLog->verticalHeader()->setDefaultSectionSize(rowHeight);
}

void TFormMain::sizeLogColumns(int firstColumn)
{
    // The drawn 153 pixels a column, or what a date and an address need at the
    // window's font; the list grows with them rather than cut them.
    const QFontMetrics metrics(m_ui->lvLog->font());
    const int margin = 2 * m_ui->lvLog->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 12;
    const QString ipv4 = QStringLiteral("255.255.255.255");
    // The longest IPv6 address in the font's widest hex digit.
    QChar widestDigit = QLatin1Char('0');
    for (const QChar digit : QStringLiteral("0123456789abcdef"))
        if (metrics.horizontalAdvance(digit) > metrics.horizontalAdvance(widestDigit))
            widestDigit = digit;
    const QString group(4, widestDigit);
    const QString ipv6 = QStringList(8, group).join(QLatin1Char(':'));
    const QString samples[] = {QStringLiteral("2026-12-31 23:59:59"), ipv4, ipv4, ipv6, ipv6};
    const int columns = m_logModel->columnCount();
    for (int column = firstColumn; column < columns && column < int(std::size(samples)); ++column)
        m_ui->lvLog->setColumnWidth(
            column, std::max(153, metrics.horizontalAdvance(samples[column]) + margin));
}
