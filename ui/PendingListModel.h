#pragma once

#include <QAbstractListModel>

class PendingList;

// The pending pass times, right-aligned so that the times line up.
class PendingListModel final : public QAbstractListModel
{
    Q_OBJECT

public:
    explicit PendingListModel(const PendingList &list, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

    void refresh();

private:
    const PendingList &mList;
};
