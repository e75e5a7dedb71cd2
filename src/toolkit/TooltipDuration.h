#pragma once

#include <QObject>

// Keeps every tooltip up for a fixed time while the pointer stays on its control
// (Qt otherwise hides it after a time that depends on the text's length).
class TooltipDuration : public QObject
{
    Q_OBJECT

public:
    explicit TooltipDuration(int milliseconds, QObject* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int m_milliseconds;
};
