#include "toolkit/SidePager.h"

#include <QListWidget>
#include <QStackedWidget>

SidePager::SidePager(QListWidget* tabs, QStackedWidget* pages, QObject* parent)
    : QObject(parent), m_tabs(tabs), m_pages(pages)
{
    m_tabs->setDragDropMode(QAbstractItemView::NoDragDrop);
    m_tabs->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tabs->setCurrentRow(m_pages->currentIndex());
    connect(m_tabs, &QListWidget::currentRowChanged, this, &SidePager::setCurrentIndex);
    connect(m_pages, &QStackedWidget::currentChanged, this, &SidePager::currentChanged);
}

int SidePager::currentIndex() const
{
    return m_pages->currentIndex();
}

void SidePager::setCurrentIndex(int index)
{
    if (index < 0 || index >= m_pages->count())
        return;
    if (m_tabs->currentRow() != index)
        m_tabs->setCurrentRow(index);
    if (m_pages->currentIndex() != index)
        m_pages->setCurrentIndex(index);
}

void SidePager::setTabVisible(int index, bool visible)
{
    m_tabs->setRowHidden(index, !visible);
    m_tabs->updateGeometry();
}

bool SidePager::isTabVisible(int index) const
{
    return !m_tabs->isRowHidden(index);
}
