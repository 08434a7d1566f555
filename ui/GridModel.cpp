#include "ui/GridModel.h"

#include "core/RaceCore.h"

GridModel::GridModel(const RaceCore &core, QObject *parent)
    : QAbstractTableModel(parent)
    , mCore(core)
{
}

int GridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : mCore.grid().rowCount() - 1;
}

int GridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : StandingsGrid::ColumnCount;
}

QVariant GridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return mCore.grid().cell(index.column(), index.row() + 1);
    case Qt::TextAlignmentRole:
        switch (index.column()) {
        case StandingsGrid::Place:
        case StandingsGrid::Key: return int(Qt::AlignCenter);
        case StandingsGrid::Name: return int(Qt::AlignLeft | Qt::AlignVCenter);
        default: return int(Qt::AlignRight | Qt::AlignVCenter);
        }
    default:
        return {};
    }
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return mCore.grid().cell(section, 0);
    return QAbstractTableModel::headerData(section, orientation, role);
}

void GridModel::allChanged()
{
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

void GridModel::rowCountChanged()
{
    beginResetModel();
    endResetModel();
}
