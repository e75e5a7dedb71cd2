#include "main_form/HistoryLogModel.h"

namespace {

const QString captions[LogLines::Ipv6FieldCount] = {
    QStringLiteral("Date"), QStringLiteral("Public IP"), QStringLiteral("Local IP"),
    QStringLiteral("Public IPv6"), QStringLiteral("Local IPv6")};

} // namespace

HistoryLogModel::HistoryLogModel(QObject* parent) : QAbstractTableModel(parent) {}

int HistoryLogModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_shownRows;
}

int HistoryLogModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_columns;
}

QVariant HistoryLogModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_shownRows)
        return {};
    const QStringList& cells = cellsOf(index.row());
    if (index.column() >= cells.size())
        return {};
    return cells[index.column()];
}

QVariant HistoryLogModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= m_columns)
        return {};
    return captions[section];
}

LogFileProblem HistoryLogModel::refresh(const QString& path)
{
    LogFileStamp stamp;
    const LogFileProblem problem = inspectLogFile(path, stamp);
    if (problem != LogFileProblem::None || m_lines.isReadFrom(stamp))
        return problem;
    const OpenedLogFile file(path);
    if (file.problem() != LogFileProblem::None)
        return file.problem();
    if (m_lines.canReadOn(file.stamp()) && m_lines.isContinuedIn(file))
        readOn(file);
    else
        readAnew(file);
    return LogFileProblem::None;
}

void HistoryLogModel::clear()
{
    beginResetModel();
    m_lines.clear();
    m_shownRows = 0;
    m_columns = LogLines::FieldCount;
    m_cachedRow = -1;
    endResetModel();
}

void HistoryLogModel::readAnew(const OpenedLogFile& file)
{
    LogLines lines;
    const bool read = lines.readOn(file);
    m_bytesRead += lines.bytesRead();
    // A file that cannot be read leaves the rows as they were.
    if (!read)
        return;
    beginResetModel();
    m_lines = std::move(lines);
    m_shownRows = m_lines.rowCount();
    m_columns = columnsFor(m_lines);
    m_cachedRow = -1;
    endResetModel();
}

void HistoryLogModel::readOn(const OpenedLogFile& file)
{
    const int before = m_shownRows;
    const qint64 bytesBefore = m_lines.bytesRead();
    // Views ask for nothing until told, so the rows may change underneath meanwhile.
    m_lines.readOn(file);
    m_bytesRead += m_lines.bytesRead() - bytesBefore;
    m_cachedRow = -1;
    // The IPv6 columns come with the first line that has them; the rows known
    // so far have no data there.
    const int columns = columnsFor(m_lines);
    if (columns > m_columns) {
        beginInsertColumns(QModelIndex(), m_columns, columns - 1);
        m_columns = columns;
        endInsertColumns();
    } else if (columns < m_columns) {
        beginRemoveColumns(QModelIndex(), columns, m_columns - 1);
        m_columns = columns;
        endRemoveColumns();
    }
    const int after = m_lines.rowCount();
    if (after < before) {
        beginRemoveRows(QModelIndex(), after, before - 1);
        m_shownRows = after;
        endRemoveRows();
    } else if (after > before) {
        beginInsertRows(QModelIndex(), before, after - 1);
        m_shownRows = after;
        endInsertRows();
    }
    // The last row may have been a line still being written, now read again.
    if (before > 0 && before <= after)
        emit dataChanged(index(before - 1, 0), index(before - 1, m_columns - 1));
}

const QStringList& HistoryLogModel::cellsOf(int row) const
{
    if (row != m_cachedRow) {
        m_cachedCells = m_lines.cells(row);
        m_cachedRow = row;
    }
    return m_cachedCells;
}

int HistoryLogModel::columnsFor(const LogLines& lines)
{
    return lines.hasIpv6() ? LogLines::Ipv6FieldCount : LogLines::FieldCount;
}
