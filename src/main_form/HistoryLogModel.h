#pragma once

#include "main_form/LogFile.h"
#include "main_form/LogLines.h"

#include <QAbstractTableModel>
#include <QStringList>

// The History Log list's rows: "Date", "Public IP" and "Local IP" for each line of
// the log, in file order, and "Public IPv6" and "Local IPv6" once any line has the
// IPv6 addresses. A cell the line does not have holds no data, so a short last row,
// or one of the older form among the newer, shows (and prints) short.
class HistoryLogModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit HistoryLogModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Brings the rows up to date with the log at path. A file that has not changed
    // since it was read is not read again; one that only grew gives just its new rows;
    // one that was replaced, emptied or rewritten is read anew. A missing or unusable
    // file, or one that cannot be read, keeps the rows as they are.
    LogFileProblem refresh(const QString& path);
    // No rows, and the next refresh reads the log anew.
    void clear();

    // Whether the log is too large to keep whole: its first rows are shown.
    bool limitReached() const { return m_lines.limitReached(); }
    // All the bytes read from log files so far.
    qint64 bytesRead() const { return m_bytesRead; }

private:
    void readAnew(const OpenedLogFile& file);
    void readOn(const OpenedLogFile& file);
    const QStringList& cellsOf(int row) const;
    static int columnsFor(const LogLines& lines);

    LogLines m_lines;
    // The rows the views know of; m_lines may hold more while they are being told.
    int m_shownRows = 0;
    int m_columns = LogLines::FieldCount;
    qint64 m_bytesRead = 0;
    // A view asks for a row's cells one by one.
    mutable int m_cachedRow = -1;
    mutable QStringList m_cachedCells;
};
