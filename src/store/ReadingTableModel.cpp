#include "store/ReadingTableModel.h"

#include "store/TableStore.h"

#include <climits>

namespace {

constexpr int kShownColumns = 6; // TableColumn::No .. TableColumn::AUTO

Qt::Alignment alignmentOf(TableColumn column)
{
    switch (column) {
    case TableColumn::Time:
    case TableColumn::DCAC:
    case TableColumn::AUTO:
        return Qt::AlignCenter;
    case TableColumn::Value:
    case TableColumn::Unit:
        return Qt::AlignRight | Qt::AlignVCenter;
    default:
        return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

int shownRowsOf(const TableStore *table)
{
    return int(std::min<int64_t>(table->rowCount(), INT_MAX));
}

} // namespace

ReadingTableModel::ReadingTableModel(TableStore *table, QObject *parent)
    : QAbstractTableModel(parent), m_table(table), m_shownRows(shownRowsOf(table))
{
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(kFlushIntervalMs);
    connect(&m_flushTimer, &QTimer::timeout, this, &ReadingTableModel::flushPendingRows);
    connect(m_table, &TableStore::rowsAppended, this, &ReadingTableModel::rowsAppended);
    connect(m_table, &TableStore::aboutToReset, this, [this] {
        m_flushTimer.stop();
        beginResetModel();
    });
    connect(m_table, &TableStore::resetDone, this, [this] {
        m_shownRows = shownRowsOf(m_table);
        endResetModel();
    });
}

int ReadingTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_shownRows;
}

int ReadingTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kShownColumns;
}

QVariant ReadingTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_shownRows || index.column() >= kShownColumns)
        return {};
    const auto column = TableColumn(index.column());
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(alignmentOf(column));
    if (role != Qt::DisplayRole)
        return {};
    QString text = m_table->fieldText(index.row(), column);
    if (text.size() > kDisplayChars) {
        text.truncate(kDisplayChars - 1);
        text += QChar(0x2026);
    }
    return text;
}

QVariant ReadingTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < kShownColumns)
        return TableStore::columnName(TableColumn(section));
    if (orientation == Qt::Horizontal && role == kWidestTextRole && section == int(TableColumn::No))
        return QString::fromStdString(m_table->rows().widestNo());
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags ReadingTableModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void ReadingTableModel::rowsAppended()
{
    if (!m_flushTimer.isActive())
        m_flushTimer.start();
}

void ReadingTableModel::flushIfDue()
{
    if (m_flushTimer.isActive() && (!m_sinceFlush.isValid() || m_sinceFlush.elapsed() >= kPromptFlushMs))
        flushPendingRows();
}

void ReadingTableModel::flushPendingRows()
{
    m_flushTimer.stop();
    m_sinceFlush.start();
    const int rows = shownRowsOf(m_table);
    if (rows <= m_shownRows)
        return;
    beginInsertRows(QModelIndex(), m_shownRows, rows - 1);
    m_shownRows = rows;
    endInsertRows();
    emit newestRowShown(rows - 1);
}
