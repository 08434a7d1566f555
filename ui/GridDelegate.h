#pragma once

#include <QStyledItemDelegate>

class RaceCore;
class TickSource;

// Paints a standings cell with the format the race core gives it at this instant.
class GridDelegate final : public QStyledItemDelegate
{
    Q_OBJECT

public:
    GridDelegate(const RaceCore &core, const TickSource &clock, QObject *parent = nullptr);
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    const RaceCore &mCore;
    const TickSource &mClock;
};
