#pragma once

#include <QAbstractTableModel>

class RaceCore;

// The standings grid's texts as a table: the grid's title row becomes the header,
// participant row r is model row r - 1.
class GridModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit GridModel(const RaceCore &core, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void allChanged();
    void rowCountChanged();

private:
    const RaceCore &mCore;
};
