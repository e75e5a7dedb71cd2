#pragma once

#include <QObject>
#include <functional>

class QWidget;

// Applies a window's look (its font and colours, worked out from the desktop's) now and
// again whenever the desktop's font or palette changes: the program stays in the
// notification area for the whole session, through any change of theme.
class LookFollower : public QObject
{
    Q_OBJECT

public:
    LookFollower(QWidget* window, std::function<void()> apply);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void()> m_apply;
};
