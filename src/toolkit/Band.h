#pragma once

#include <QWidget>

// A band across a window, such as a header or a button bar: a vertical gradient (flat
// when both colours agree) with a one-pixel line along one edge. Its text colour is set
// together with its background.
class Band : public QWidget
{
    Q_OBJECT

public:
    enum class Line
    {
        Top,
        Bottom
    };

    explicit Band(QWidget* parent = nullptr);

    void setColours(const QColor& top, const QColor& bottom, const QColor& text, const QColor& line,
                    Line edge);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_top;
    QColor m_bottom;
    QColor m_line;
    Line m_edge = Line::Bottom;
};
