#include "toolkit/SidePager.h"

#include <QListWidget>
#include <QStackedWidget>

SidePager::SidePager(QListWidget* tabs, QStackedWidget* pages, QObject* parent,
                     QList<int> pageOfTab)
    : QObject(parent), m_tabs(tabs), m_pages(pages), m_pageOfTab(std::move(pageOfTab))
{
    m_tabs->setDragDropMode(QAbstractItemView::NoDragDrop);
    m_tabs->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tabs->setCurrentRow(tabOf(m_pages->currentIndex()));
    connect(m_tabs, &QListWidget::currentRowChanged, this,
            [this](int tab) { setCurrentIndex(pageOf(tab)); });
    connect(m_pages, &QStackedWidget::currentChanged, this, &SidePager::currentChanged);
}

int SidePager::pageOf(int tab) const
{
    if (m_pageOfTab.isEmpty() || tab < 0)
        return tab;
    return tab < m_pageOfTab.size() ? m_pageOfTab.at(tab) : -1;
}

int SidePager::tabOf(int index) const
{
    if (m_pageOfTab.isEmpty())
        return index;
    return int(m_pageOfTab.indexOf(index));
}

int SidePager::currentIndex() const
{
    return m_pages->currentIndex();
}

void SidePager::setCurrentIndex(int index)
{
    if (index < 0 || index >= m_pages->count())
        return;
    if (m_tabs->currentRow() != tabOf(index))
        m_tabs->setCurrentRow(tabOf(index));
    if (m_pages->currentIndex() != index)
        m_pages->setCurrentIndex(index);
}

void SidePager::setTabVisible(int index, bool visible)
{
    m_tabs->setRowHidden(tabOf(index), !visible);
    m_tabs->updateGeometry();
}

bool SidePager::isTabVisible(int index) const
{
    return !m_tabs->isRowHidden(tabOf(index));
}
