#include "ui/GridHeader.h"

#include "core/RaceCore.h"
#include "core/TickSource.h"
#include "ui/BgrColour.h"
#include "ui/GridStyle.h"

#include <QPainter>

GridHeader::GridHeader(const RaceCore &core, const TickSource &clock, QWidget *parent)
    : QHeaderView(Qt::Horizontal, parent)
    , mCore(core)
    , mClock(clock)
{
    setSectionsClickable(false);
    setHighlightSections(false);
    setSectionResizeMode(QHeaderView::Interactive);
    setMinimumSectionSize(8);
}

QFont GridHeader::titleFont(int column) const
{
    return GridStyle::cellFont(mCore.cellFormat(column, 0, ReadClock(mClock)));
}

QString GridHeader::shownTitle(int column) const
{
    const QFontMetrics metrics(titleFont(column));
    return GridLayout::ShortenTitle(mCore.grid().cell(column, 0), sectionSize(column) - 4,
                                    [&metrics](const QString &text) { return metrics.horizontalAdvance(text); });
}

void GridHeader::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
    const GridLayout::CellFormat format = mCore.cellFormat(logicalIndex, 0, ReadClock(mClock));
    painter->save();
    painter->fillRect(rect, fromBgr(GridLayout::Colour::Fixed));
    painter->setPen(Qt::white);
    painter->drawLine(rect.topLeft(), rect.topRight());
    painter->drawLine(rect.topLeft(), rect.bottomLeft());
    painter->setPen(QColor(96, 112, 96));
    painter->drawLine(rect.bottomLeft(), rect.bottomRight());
    painter->drawLine(rect.topRight(), rect.bottomRight());
    painter->setFont(GridStyle::cellFont(format));
    painter->setPen(format.fontColour ? fromBgr(*format.fontColour) : QColor(Qt::black));
    painter->drawText(rect, GridStyle::alignment(format.align) | Qt::AlignVCenter, shownTitle(logicalIndex));
    painter->restore();
}

QSize GridHeader::sizeHint() const
{
    return QSize(QHeaderView::sizeHint().width(), GridLayout::TitleRowHeight);
}
