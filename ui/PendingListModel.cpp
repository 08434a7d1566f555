#include "ui/PendingListModel.h"

#include "core/PendingList.h"

PendingListModel::PendingListModel(const PendingList &list, QObject *parent)
    : QAbstractListModel(parent)
    , mList(list)
{
}

int PendingListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : mList.count();
}

QVariant PendingListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= mList.count())
        return {};
    if (role == Qt::DisplayRole)
        return mList.at(index.row());
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

void PendingListModel::refresh()
{
    beginResetModel();
    endResetModel();
}
