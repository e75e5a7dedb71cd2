#pragma once

#include <QObject>

class QListWidget;
class QStackedWidget;

// Pages with their tabs stacked down the left side: a list of captions with small
// pictures beside a stack of pages. Page indexes count hidden tabs too.
class SidePager : public QObject
{
    Q_OBJECT

public:
    SidePager(QListWidget* tabs, QStackedWidget* pages, QObject* parent = nullptr);

    int currentIndex() const;
    // Selecting the page that is already current changes nothing.
    void setCurrentIndex(int index);
    void setTabVisible(int index, bool visible);
    bool isTabVisible(int index) const;

signals:
    void currentChanged(int index);

private:
    QListWidget* m_tabs;
    QStackedWidget* m_pages;
};
