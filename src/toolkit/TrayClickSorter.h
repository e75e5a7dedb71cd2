#pragma once

#include <QObject>
#include <QTimer>

// Tells single clicks from double clicks. The tray reports the first press at
// once and a double click as a press followed by a double-click notice; a single
// click is only known once the double-click time has passed without a second one.
class TrayClickSorter : public QObject
{
    Q_OBJECT

public:
    explicit TrayClickSorter(int doubleClickIntervalMs, QObject* parent = nullptr);

    void press(Qt::MouseButton button);
    void doublePress();

signals:
    void clicked(Qt::MouseButton button);
    void doubleClicked();

private:
    QTimer m_timer;
    Qt::MouseButton m_pending = Qt::NoButton;
};
