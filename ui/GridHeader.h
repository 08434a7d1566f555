#pragma once

#include <QHeaderView>

class RaceCore;
class TickSource;

// The grid's title row: fixed colour, small centred titles, shortened when too wide.
class GridHeader final : public QHeaderView
{
    Q_OBJECT

public:
    GridHeader(const RaceCore &core, const TickSource &clock, QWidget *parent = nullptr);

    // The text shown for a column at its current width.
    QString shownTitle(int column) const;

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;
    QSize sizeHint() const override;

private:
    QFont titleFont(int column) const;

    const RaceCore &mCore;
    const TickSource &mClock;
};
