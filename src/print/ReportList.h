#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The contents of a report-style list view as plain data, for printing.
struct ReportList
{
    enum class Alignment
    {
        Left,
        Right,
        Center
    };

    struct Column
    {
        QString caption;
        int width = 0; // width in the view; 0 or less means the column is hidden
        Alignment alignment = Alignment::Left;
    };

    struct Row
    {
        QString caption;      // shown in column 0
        QStringList subItems; // sub-item j is shown in column j + 1
    };

    QList<Column> columns;
    QList<Row> rows;
};
