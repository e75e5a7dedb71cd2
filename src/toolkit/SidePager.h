#pragma once

#include <QList>
#include <QObject>

class QListWidget;
class QStackedWidget;

// Pages with their tabs stacked down the left side: a list of captions with small
// pictures beside a stack of pages. Page indexes count hidden tabs too. A tab
// may stand elsewhere in the strip than its page in the stack, so that a page
// added later keeps the others' numbers and still shows beside its kin.
class SidePager : public QObject
{
    Q_OBJECT

public:
    // pageOfTab: the page of each tab, from the top; empty when tab n shows page n.
    SidePager(QListWidget* tabs, QStackedWidget* pages, QObject* parent = nullptr,
              QList<int> pageOfTab = {});

    int currentIndex() const;
    // Selecting the page that is already current changes nothing.
    void setCurrentIndex(int index);
    void setTabVisible(int index, bool visible);
    bool isTabVisible(int index) const;
    // The tab's row in the strip that shows page `index`.
    int tabOf(int index) const;

signals:
    void currentChanged(int index);

private:
    int pageOf(int tab) const;

    QListWidget* m_tabs;
    QStackedWidget* m_pages;
    QList<int> m_pageOfTab;
};
