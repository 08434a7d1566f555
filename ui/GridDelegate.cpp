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
    paintCell(painter, option.rect, index.row(), index.column(), option.state.testFlag(QStyle::State_Selected),
              option.palette);
}

void GridDelegate::paintCell(QPainter *painter, const QRect &rect, int row, int column, bool selected,
                             const QPalette &palette) const
{
    const QString &cellText = mCore.grid().cell(column, row + 1);
    const GridLayout::CellFormat format = mCore.cellFormat(column, row + 1, ReadClock(mClock));

    // The grid's defaults: the fixed colour for the fixed columns, white elsewhere, the
    // selection colours for the focused cell, the bold grid font in black.
    QColor background = column <= StandingsGrid::Key ? fromBgr(GridLayout::Colour::Fixed) : QColor(Qt::white);
    QColor text = Qt::black;
    if (selected) {
        background = palette.color(QPalette::Active, QPalette::Highlight);
        text = palette.color(QPalette::Active, QPalette::HighlightedText);
    }
    if (format.background)
        background = fromBgr(*format.background);
    if (format.fontColour)
        text = fromBgr(*format.fontColour);

    const CachedFont &style = cached(format);
    const QRect textRect = rect.adjusted(2, 0, -2, 0);
    const Qt::Alignment alignment = GridStyle::alignment(format.align) | Qt::AlignVCenter;
    painter->save();
    painter->fillRect(rect, background);
    painter->setPen(text);
    if (format.underline) {
        // A lap with a hint: the glyph painter knows no underline, so drawText lays it out.
        QFont underlined = style.font;
        underlined.setUnderline(true);
        painter->setFont(underlined);
        painter->drawText(textRect, alignment, cellText);
    } else if (format.align != GridLayout::Align::Centre && style.times.canDraw(cellText)) {
        // Times go out as glyphs looked up once; anything else is laid out by drawText.
        painter->setFont(style.font);
        style.times.draw(*painter, textRect, alignment, cellText);
    } else {
        painter->setFont(style.font);
        painter->drawText(textRect, alignment, cellText);
    }
    painter->restore();

    if (column == StandingsGrid::CurrentTime && row >= 0) {
        if (mShown.size() <= std::size_t(row))
            mShown.resize(row + 1);
        mShown[row] = {.text = cellText, .format = format, .selected = selected, .valid = true};
    }
}

const GridDelegate::Shown &GridDelegate::shownRunningTime(int row) const
{
    static const Shown none;
    return row >= 0 && std::size_t(row) < mShown.size() ? mShown[row] : none;
}

const GridDelegate::CachedFont &GridDelegate::cached(const GridLayout::CellFormat &format) const
{
    for (const CachedFont &known : mFonts)
        if (known.points == format.fontPoints && known.bold == format.bold)
            return known;
    const QFont font = GridStyle::cellFont(format);
    mFonts.push_back({.points = format.fontPoints, .bold = format.bold, .font = font, .times = TimeTextPainter(font)});
    return mFonts.back();
}

const QFont &GridDelegate::font(const GridLayout::CellFormat &format) const
{
    return cached(format).font;
}

const TimeTextPainter &GridDelegate::times(const GridLayout::CellFormat &format) const
{
    return cached(format).times;
}
