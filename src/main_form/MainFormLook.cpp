// The window's look: its font and colours, worked out from the desktop's.
#include "main_form/MainForm.h"

#include "toolkit/Band.h"
#include "toolkit/DrawnWidths.h"
#include "toolkit/FormColours.h"
#include "toolkit/FormFont.h"
#include "toolkit/TabStrip.h"
#include "ui_MainForm.h"

#include <QApplication>

void TFormMain::applyLook()
{
    const QFont font = formFont(QApplication::font());
    setFont(font);
    keepDrawnButtonWidths(this);
    keepDrawnFieldWidth(m_ui->txtSMTPPort, 49, QStringLiteral("65535"));
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
