#pragma once

#include <QTableView>

class GridDelegate;
class RaceCore;
class TickSource;
class TimeTextPainter;

// The standings grid. The running times change every 10 ms: for them it repaints only the
// part of each cell whose text changed, and paints those parts itself, past the item view's
// per-cell machinery. Everything else it paints as a table view does.
class GridView final : public QTableView
{
    Q_OBJECT

public:
    GridView(const RaceCore &core, const TickSource &clock, QWidget *parent = nullptr);

    // The running times changed: marks what differs from what each cell shows.
    void refreshRunningTimes();
    GridDelegate &delegate() const { return *mDelegate; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // The horizontal extent of the running-time cells, grid line excluded.
    std::pair<int, int> runningTimeSpan() const;
    // The part of the cell that changed from shown to the new text: the trailing characters
    // when only they changed and take the room they took, else the whole cell.
    QRect changedPart(const QRect &cell, const QString &shown, const QString &text, const TimeTextPainter &times);

    const RaceCore &mCore;
    const TickSource &mClock;
    GridDelegate *mDelegate;
};
