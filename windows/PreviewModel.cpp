#include "PreviewModel.h"

PreviewModel::PreviewModel(const PreviewReport &report, QObject *parent)
    : QAbstractTableModel(parent), report_(report)
{
}

int PreviewModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(report_.rows.size());
}

int PreviewModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant PreviewModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const bool number = index.column() == Line || index.column() == Matches || index.column() == Changes;
    if (role == Qt::TextAlignmentRole)
        return number ? int(Qt::AlignRight | Qt::AlignVCenter) : int(Qt::AlignLeft | Qt::AlignVCenter);
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    const PreviewRow &row = Row(index.row());
    switch (index.column()) {
    case Line:
        return row.line;
    case SearchValue:
        return row.searchValue;
    case Field:
        return row.field;
    case Value:
        return row.value;
    case Matches:
        return row.matches;
    case Changes:
        return row.changes;
    case Refusal:
        return row.refusal;
    }
    return {};
}

QVariant PreviewModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    const char *const kHeaders[] = {"Line", "Search value", "Field", "Value", "Matches", "Changes", "Refused because"};
    if (section == Line && report_.mode == RunMode::Batch)
        return QStringLiteral("Update");
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(kHeaders[section]) : QVariant();
}

PreviewFilter::PreviewFilter(PreviewModel &rows, QObject *parent)
    : QSortFilterProxyModel(parent), rows_(rows)
{
    setSourceModel(&rows);
}

void PreviewFilter::SetFilters(int filters)
{
    filters_ = filters;
    invalidateRowsFilter();
}

bool PreviewFilter::filterAcceptsRow(int sourceRow, const QModelIndex &) const
{
    if (filters_ == 0)
        return true;
    const PreviewRow &row = rows_.Row(sourceRow);
    return ((filters_ & NoMatch) && row.matches == 0) || ((filters_ & SeveralMatches) && row.matches > 1)
           || ((filters_ & Refused) && !row.refusal.isEmpty());
}
