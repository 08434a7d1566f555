#include "ui/GridDelegate.h"

#include "core/RaceCore.h"
#include "core/TickSource.h"
#include "ui/BgrColour.h"
#include "ui/GridStyle.h"

#include <QPainter>

GridDelegate::GridDelegate(const RaceCore &core, const TickSource &clock, QObject *parent)
    : QStyledItemDelegate(parent)
    , mCore(core)
    , mClock(clock)
{
}

void GridDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const int column = index.column();
    const int row = index.row() + 1;
    const GridLayout::CellFormat format = mCore.cellFormat(column, row, ReadClock(mClock));

    // The grid's defaults: the fixed colour for the fixed columns, white elsewhere, the
    // selection colours for the focused cell, the bold grid font in black.
    const bool focused = option.state.testFlag(QStyle::State_Selected);
    QColor background = column <= StandingsGrid::Key ? fromBgr(GridLayout::Colour::Fixed) : QColor(Qt::white);
    QColor text = Qt::black;
    if (focused) {
        background = option.palette.color(QPalette::Active, QPalette::Highlight);
        text = option.palette.color(QPalette::Active, QPalette::HighlightedText);
    }
    if (format.background)
        background = fromBgr(*format.background);
    if (format.fontColour)
        text = fromBgr(*format.fontColour);

    painter->save();
    painter->fillRect(option.rect, background);
    painter->setFont(GridStyle::cellFont(format));
    painter->setPen(text);
    painter->drawText(option.rect.adjusted(2, 0, -2, 0), GridStyle::alignment(format.align) | Qt::AlignVCenter,
                      index.data(Qt::DisplayRole).toString());
    painter->restore();
}
