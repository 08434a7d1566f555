#include "ui/GridView.h"

#include "core/RaceCore.h"
#include "core/TickSource.h"
#include "ui/GridDelegate.h"

#include <QHeaderView>
#include <QPaintEvent>
#include <QPainter>

#include <cmath>

namespace {

// Room beside a glyph that antialiasing may touch.
constexpr int GlyphOverhang = 3;

} // namespace

GridView::GridView(const RaceCore &core, const TickSource &clock, QWidget *parent)
    : QTableView(parent)
    , mCore(core)
    , mClock(clock)
    , mDelegate(new GridDelegate(core, clock, this))
{
    setItemDelegate(mDelegate);
    // Every pixel of a repainted area is painted here, so Qt need not clear it first; what is
    // not repainted (the grid lines between running times) stays as it is.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
}

std::pair<int, int> GridView::runningTimeSpan() const
{
    const int left = columnViewportPosition(StandingsGrid::CurrentTime);
    const int width = columnWidth(StandingsGrid::CurrentTime) - (showGrid() ? 1 : 0);
    return {left, left + width - 1};
}

void GridView::refreshRunningTimes()
{
    if (!model())
        return;
    const std::int32_t now = ReadClock(mClock);
    const int rows = model()->rowCount();
    // One area for all of them: the window system gets one picture a tick, not twenty.
    QRect dirty;
    for (int row = 0; row < rows; ++row) {
        const QString &text = mCore.grid().cell(StandingsGrid::CurrentTime, row + 1);
        const GridLayout::CellFormat format = mCore.cellFormat(StandingsGrid::CurrentTime, row + 1, now);
        const GridDelegate::Shown &shown = mDelegate->shownRunningTime(row);
        if (shown.valid && shown.text == text && shown.format == format)
            continue;
        const QRect cell = visualRect(model()->index(row, StandingsGrid::CurrentTime));
        if (cell.isEmpty() || !cell.intersects(viewport()->rect()))
            continue;
        const bool textOnly = shown.valid && shown.format == format;
        const bool rightAligned = format.align == GridLayout::Align::Right;
        dirty |= textOnly && rightAligned ? changedPart(cell, shown.text, text, mDelegate->times(format)) : cell;
    }
    if (!dirty.isEmpty())
        viewport()->update(dirty);
}

QRect GridView::changedPart(const QRect &cell, const QString &shown, const QString &text, const TimeTextPainter &times)
{
    if (shown.size() != text.size() || !times.canDraw(shown) || !times.canDraw(text))
        return cell;
    qsizetype first = 0;
    while (first < text.size() && shown[first] == text[first])
        ++first;
    // Right-aligned: when the changed characters take the same room, nothing before them moves.
    const qreal before = times.advance(QStringView(shown).sliced(first));
    const qreal after = times.advance(QStringView(text).sliced(first));
    if (before != after)
        return cell;
    // The delegate leaves two pixels at the right.
    const int left = cell.right() - 2 - int(std::ceil(after)) - GlyphOverhang;
    QRect part = cell;
    part.setLeft(std::max(cell.left(), left));
    return part;
}

void GridView::paintEvent(QPaintEvent *event)
{
    const QRegion region = event->region();
    const auto [left, right] = runningTimeSpan();
    const int rows = model() ? model()->rowCount() : 0;
    const int bottom = rows > 0 ? rowViewportPosition(rows - 1) + rowHeight(rows - 1) - 1 : -1;
    bool runningTimesOnly = rows > 0;
    for (const QRect &rect : region)
        runningTimesOnly = runningTimesOnly && rect.left() >= left && rect.right() <= right && rect.bottom() <= bottom;

    if (runningTimesOnly) {
        // Only running times: each cell the area touches, clipped to it, nothing else.
        QPainter painter(viewport());
        painter.setClipRegion(region);
        const int firstRow = std::max(0, rowAt(region.boundingRect().top()));
        const int lastRow = rowAt(region.boundingRect().bottom());
        for (int row = firstRow; row <= (lastRow < 0 ? rows - 1 : lastRow); ++row) {
            const QModelIndex index = model()->index(row, StandingsGrid::CurrentTime);
            const QRect cell = visualRect(index);
            if (!region.intersects(cell))
                continue;
            const bool selected = selectionModel() && selectionModel()->isSelected(index);
            mDelegate->paintCell(&painter, cell, row, StandingsGrid::CurrentTime, selected, palette());
        }
        return;
    }
    {
        // What the viewport would clear by itself if it were not opaque.
        QPainter background(viewport());
        const QBrush brush = viewport()->palette().brush(viewport()->backgroundRole());
        for (const QRect &rect : region)
            background.fillRect(rect, brush);
    }
    QTableView::paintEvent(event);
}
