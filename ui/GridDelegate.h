#pragma once

#include "core/GridLayout.h"
#include "ui/TimeTextPainter.h"

#include <QFont>
#include <QStyledItemDelegate>

#include <deque>
#include <vector>

class RaceCore;
class TickSource;

// Paints a standings cell with the format the race core gives it at this instant, and keeps
// what it last painted in each running time, so that the view can tell which of them changed.
class GridDelegate final : public QStyledItemDelegate
{
    Q_OBJECT

public:
    // A running-time cell as it was last painted.
    struct Shown
    {
        QString text;
        GridLayout::CellFormat format;
        bool selected = false;
        bool valid = false;
    };

    GridDelegate(const RaceCore &core, const TickSource &clock, QObject *parent = nullptr);
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // One cell (model row and column) into rect, as paint() does, without a style option.
    void paintCell(QPainter *painter, const QRect &rect, int row, int column, bool selected, const QPalette &palette) const;
    // What the running time of a model row showed when it was last painted.
    const Shown &shownRunningTime(int row) const;
    // The font of a format, and its time painter; made once per format, since every tick
    // paints twenty cells.
    const QFont &font(const GridLayout::CellFormat &format) const;
    const TimeTextPainter &times(const GridLayout::CellFormat &format) const;

private:
    struct CachedFont
    {
        std::optional<int> points;
        std::optional<bool> bold;
        QFont font;
        TimeTextPainter times;
    };
    const CachedFont &cached(const GridLayout::CellFormat &format) const;

    const RaceCore &mCore;
    const TickSource &mClock;
    mutable std::vector<Shown> mShown;
    mutable std::deque<CachedFont> mFonts; // a deque: fonts handed out stay where they are
};
