#pragma once

#include <QListWidget>

// The tabs of a side pager: a column of captions, each with a small picture. The
// selected tab is drawn in the selected colours with a bold caption; every picture and
// caption starts at the same x, selected or not; the current tab shows a focus ring
// while the strip has the keyboard's focus. Its size hint fits its visible tabs.
class TabStrip : public QListWidget
{
    Q_OBJECT

public:
    explicit TabStrip(QWidget* parent = nullptr);

    void setColours(const QColor& strip, const QColor& caption, const QColor& selectedTab,
                    const QColor& selectedCaption);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void changeEvent(QEvent* event) override;
};
