#pragma once

#include "PreviewRun.h"

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>

// A preview report's rows as a table, one row per update, read from the
// report as they are shown: the model holds no copy of them, and nothing of
// the card records. Numbers are numbers, so that a column sorts by value.
class PreviewModel final : public QAbstractTableModel
{
public:
    enum Column { Line, SearchValue, Field, Value, Matches, Changes, Refusal, ColumnCount };

    // report must outlive the model.
    explicit PreviewModel(const PreviewReport &report, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    const PreviewRow &Row(int row) const { return report_.rows[std::size_t(row)]; }

private:
    const PreviewReport &report_;
};

// The rows that any of the ticked filters takes, or all rows while none is
// ticked, sortable by any column.
class PreviewFilter final : public QSortFilterProxyModel
{
public:
    enum Filter { NoMatch = 1, SeveralMatches = 2, Refused = 4 };

    explicit PreviewFilter(PreviewModel &rows, QObject *parent = nullptr);
    void SetFilters(int filters);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    PreviewModel &rows_;
    int filters_ = 0;
};
