#include "ui/Scoreboard.h"

#include "session/RaceSession.h"
#include "ui/WindowAccessibility.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QPainter>

#include <algorithm>
#include <array>
#include <vector>

namespace {

struct BoardColumn
{
    StandingsGrid::Column cell;
    Qt::AlignmentFlag align;
    // The narrowest the column gets, so that it does not jump as the race goes on.
    const char *widthSample;
};

// What the board shows of the grid, left to right.
constexpr std::array<BoardColumn, 7> Columns{{
    {StandingsGrid::Place, Qt::AlignRight, "20."},
    {StandingsGrid::Number, Qt::AlignRight, "888"},
    {StandingsGrid::Name, Qt::AlignLeft, ""},
    {StandingsGrid::Laps, Qt::AlignRight, "888"},
    {StandingsGrid::LastLap, Qt::AlignRight, "8:88,88"},
    {StandingsGrid::GapToLeader, Qt::AlignRight, "8:88,88"},
    {StandingsGrid::BestLap, Qt::AlignRight, "8:88,88"},
}};
constexpr std::size_t NameColumn = 2;

// Heights in rows: the header with the title and the countdown, then the column titles.
constexpr double HeaderRows = 2.0;
constexpr double TitleRowRows = 0.7;
// The type's size as a share of its row's height.
constexpr double TypeShare = 0.78;
// The space before each column's text, in ems.
constexpr double ColumnGap = 0.7;
// The name keeps room for this many letters before the other columns' type gets smaller.
constexpr double NameLetters = 8;
// The "korrigiert" mark's type as a share of the row's type.
constexpr double MarkShare = 0.4;

constexpr QColor Background(12, 12, 12);
constexpr QColor AlternateRow(36, 36, 36);
constexpr QColor FinishedRow(18, 78, 30);
constexpr QColor Text(255, 255, 255);
constexpr QColor Accent(255, 210, 0);   // places and laps, the countdown
constexpr QColor Dimmed(105, 105, 105); // participants out of the race
constexpr QColor Subdued(165, 165, 165); // column titles, the session type
constexpr QColor GongRed(230, 30, 30);

QFont boardFont(double pixels)
{
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setBold(true);
    font.setPixelSize(std::max(1, int(pixels)));
    return font;
}

using BoardCells = std::array<QString, Columns.size()>;

// The board's type and column widths.
struct BoardLayout
{
    QFont rowFont;
    QFont titleFont; // of the column titles
    double margin = 0;    // left and right of the table
    double flagWidth = 0; // the finish flag's column at the left
    std::array<double, Columns.size()> widths{};
};

// The type as large as the rows allow, smaller where the widest texts would not fit across;
// the name takes what the other columns leave, or, with no names, the others spread out.
BoardLayout layOut(const ResultsSnapshot &s, const std::vector<BoardCells> &cells, double width, double rowHeight, bool names)
{
    BoardLayout layout;
    const double margin = layout.margin = rowHeight * 0.3;
    double scale = 1;
    for (int pass = 0; pass < 3; ++pass) {
        layout.rowFont = boardFont(rowHeight * TypeShare * scale);
        layout.titleFont = boardFont(rowHeight * TitleRowRows * TypeShare * scale);
        const QFontMetricsF rowMetrics(layout.rowFont);
        const QFontMetricsF titleMetrics(layout.titleFont);
        layout.flagWidth = rowHeight * scale;
        double needed = 2 * margin + layout.flagWidth;
        for (std::size_t c = 0; c < Columns.size(); ++c) {
            double widest = 0;
            if (c == NameColumn) {
                if (names)
                    widest = std::max(rowMetrics.horizontalAdvance(QLatin1Char('M')) * NameLetters,
                                      titleMetrics.horizontalAdvance(s.columnTitles[Columns[c].cell]));
            } else {
                widest = std::max(rowMetrics.horizontalAdvance(QLatin1String(Columns[c].widthSample)),
                                  titleMetrics.horizontalAdvance(s.columnTitles[Columns[c].cell]));
                for (const BoardCells &row : cells)
                    widest = std::max(widest, rowMetrics.horizontalAdvance(row[c]));
            }
            layout.widths[c] = widest > 0 ? widest + layout.rowFont.pixelSize() * ColumnGap : 0;
            needed += layout.widths[c];
        }
        if (needed <= width)
            break;
        scale *= width / needed;
    }
    double fixed = 2 * margin + layout.flagWidth;
    for (std::size_t c = 0; c < Columns.size(); ++c)
        fixed += c == NameColumn ? 0 : layout.widths[c];
    const double rest = std::max(0.0, width - fixed);
    if (names) {
        layout.widths[NameColumn] = rest;
    } else {
        layout.widths[NameColumn] = 0;
        for (std::size_t c = 0; c < Columns.size(); ++c)
            layout.widths[c] += c == NameColumn ? 0 : rest / double(Columns.size() - 1);
    }
    return layout;
}

// A chequered flag: a finished participant, seen from afar.
void paintFlag(QPainter &painter, const QRectF &area)
{
    constexpr int Squares = 4;
    const double side = std::min(area.width(), area.height()) / Squares;
    const QPointF origin(area.center().x() - side * Squares / 2, area.center().y() - side * Squares / 2);
    for (int r = 0; r < Squares; ++r) {
        for (int c = 0; c < Squares; ++c)
            painter.fillRect(QRectF(origin.x() + c * side, origin.y() + r * side, side, side), (r + c) % 2 ? Qt::black : Qt::white);
    }
}

} // namespace

Scoreboard::Scoreboard(RaceSession &session, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , mSession(session)
{
    WindowAccessibility::install();
    setWindowTitle(QStringLiteral("Anzeigetafel"));
    setObjectName(QStringLiteral("Scoreboard"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Closing the main window ends the program, whether the board is open or not.
    setAttribute(Qt::WA_QuitOnClose, false);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(320, 180);
    resize(1280, 720);
    connect(&mSession, &RaceSession::resultsChanged, this, &Scoreboard::follow);
    follow();
}

void Scoreboard::follow()
{
    mShown = mSession.snapshot();
    const auto noneHas = [this](StandingsGrid::Column cell) {
        return std::all_of(mShown->rows.begin(), mShown->rows.end(),
                           [cell](const ResultsSnapshot::Row &row) { return row.cells[cell].isEmpty(); });
    };
    mNumbersFromKeys = noneHas(StandingsGrid::Number);
    mHasNames = !noneHas(StandingsGrid::Name);
    update();
}

QString Scoreboard::cellText(const ResultsSnapshot::Row &row, std::size_t column) const
{
    const StandingsGrid::Column cell = Columns[column].cell;
    if (cell == StandingsGrid::Number && mNumbersFromKeys && row.participant >= 1)
        return QString::number(row.participant);
    return row.cells[cell];
}

QStringList Scoreboard::rowTexts() const
{
    QStringList texts;
    for (const ResultsSnapshot::Row &row : mShown->rows) {
        QStringList cells;
        for (std::size_t c = 0; c < Columns.size(); ++c)
            cells << cellText(row, c);
        texts << cells.join(QLatin1Char('\t'));
    }
    return texts;
}

QString Scoreboard::markOf(const ResultsSnapshot::Row &row)
{
    return row.corrected ? QStringLiteral("korrigiert") : QString();
}

QStringList Scoreboard::rowMarks() const
{
    QStringList marks;
    for (const ResultsSnapshot::Row &row : mShown->rows)
        marks << markOf(row);
    return marks;
}

void Scoreboard::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_F11:
        if (!event->isAutoRepeat())
            setWindowState(windowState() ^ Qt::WindowFullScreen);
        event->accept();
        return;
    case Qt::Key_Escape:
        close();
        event->accept();
        return;
    default: QWidget::keyPressEvent(event);
    }
}

void Scoreboard::paintHeader(QPainter &painter, double height) const
{
    const ResultsSnapshot &s = *mShown;
    const double w = width();
    const double margin = height * 0.15;

    // The countdown as large as the header allows, at most half the width.
    QFont countdownFont = boardFont(height * 0.8);
    double countdownWidth = QFontMetricsF(countdownFont).horizontalAdvance(s.remainingText);
    if (countdownWidth > w / 2) {
        countdownFont = boardFont(height * 0.8 * (w / 2) / countdownWidth);
        countdownWidth = QFontMetricsF(countdownFont).horizontalAdvance(s.remainingText);
    }
    const QRectF countdown(w - margin - countdownWidth, 0, countdownWidth, height);
    painter.setFont(countdownFont);
    painter.setPen(s.gong ? GongRed : Accent);
    painter.drawText(countdown, Qt::AlignRight | Qt::AlignVCenter, s.remainingText);

    double leftEnd = countdown.left() - margin;
    if (s.gong) {
        const QString gong = QStringLiteral("GONG");
        const QFont gongFont = boardFont(height * 0.42);
        const double textWidth = QFontMetricsF(gongFont).horizontalAdvance(gong);
        const QRectF banner(leftEnd - textWidth - height * 0.4, height * 0.18, textWidth + height * 0.4, height * 0.64);
        painter.fillRect(banner, GongRed);
        painter.setFont(gongFont);
        painter.setPen(Text);
        painter.drawText(banner, Qt::AlignCenter, gong);
        leftEnd = banner.left() - margin;
    }

    const double textWidth = std::max(0.0, leftEnd - margin);
    const QFont titleFont = boardFont(height * 0.4);
    painter.setFont(titleFont);
    painter.setPen(Text);
    painter.drawText(QRectF(margin, 0, textWidth, height * 0.6), Qt::AlignLeft | Qt::AlignBottom,
                     QFontMetricsF(titleFont).elidedText(s.title, Qt::ElideRight, textWidth));
    const QFont typeFont = boardFont(height * 0.24);
    painter.setFont(typeFont);
    painter.setPen(Subdued);
    painter.drawText(QRectF(margin, height * 0.62, textWidth, height * 0.36), Qt::AlignLeft | Qt::AlignTop,
                     QFontMetricsF(typeFont).elidedText(s.sessionType, Qt::ElideRight, textWidth));
}

void Scoreboard::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Background);
    const ResultsSnapshot &s = *mShown;
    const double w = width();
    const int rowCount = int(s.rows.size());
    const double rowHeight = height() / (HeaderRows + TitleRowRows + std::max(rowCount, MinLines));
    paintHeader(painter, rowHeight * HeaderRows);

    std::vector<BoardCells> cells(s.rows.size());
    for (std::size_t r = 0; r < cells.size(); ++r) {
        for (std::size_t c = 0; c < Columns.size(); ++c)
            cells[r][c] = cellText(s.rows[r], c);
    }
    // A "korrigiert" mark needs the name column even when nobody has a name.
    const bool marks = std::any_of(s.rows.begin(), s.rows.end(), [](const ResultsSnapshot::Row &row) { return row.corrected; });
    const BoardLayout layout = layOut(s, cells, w, rowHeight, mHasNames || marks);
    const double margin = layout.margin;
    const QFont &rowFont = layout.rowFont;
    const double flagWidth = layout.flagWidth;
    const auto &widths = layout.widths;

    // Each column's gap lies at its left: the texts sit in the rest.
    const auto textRect = [&](std::size_t c, double x, double y, double h) {
        const double gap = rowFont.pixelSize() * ColumnGap;
        return QRectF(x + gap, y, std::max(0.0, widths[c] - gap), h);
    };

    double y = rowHeight * HeaderRows;
    const double titleHeight = rowHeight * TitleRowRows;
    painter.setFont(layout.titleFont);
    painter.setPen(Subdued);
    double x = margin + flagWidth;
    for (std::size_t c = 0; c < Columns.size(); ++c) {
        if (widths[c] > 0)
            painter.drawText(textRect(c, x, y, titleHeight), Columns[c].align | Qt::AlignBottom, s.columnTitles[Columns[c].cell]);
        x += widths[c];
    }
    y += titleHeight;

    painter.setFont(rowFont);
    const QFontMetricsF rowMetrics(rowFont);
    for (int r = 0; r < rowCount; ++r, y += rowHeight) {
        const ResultsSnapshot::Row &row = s.rows[std::size_t(r)];
        const QRectF band(0, y, w, rowHeight);
        if (row.finished)
            painter.fillRect(band, FinishedRow);
        else if (r % 2)
            painter.fillRect(band, AlternateRow);
        if (row.finished)
            paintFlag(painter, QRectF(margin, y + rowHeight * 0.15, flagWidth * 0.8, rowHeight * 0.7));
        x = margin + flagWidth;
        for (std::size_t c = 0; c < Columns.size(); ++c) {
            const StandingsGrid::Column cell = Columns[c].cell;
            const bool accent = cell == StandingsGrid::Place || cell == StandingsGrid::Laps;
            painter.setPen(row.out ? Dimmed : accent ? Accent : Text);
            const QRectF area = textRect(c, x, y, rowHeight);
            const QString &text = cells[std::size_t(r)][c];
            if (c == NameColumn && !markOf(row).isEmpty()) {
                // The mark sits small at the name column's right end; the name gives way to it.
                const QString mark = markOf(row);
                const QFont markFont = boardFont(rowFont.pixelSize() * MarkShare);
                const double markWidth = QFontMetricsF(markFont).horizontalAdvance(mark);
                const QRectF markArea(area.right() - markWidth, area.top(), markWidth, area.height());
                painter.setFont(markFont);
                painter.setPen(Subdued);
                painter.drawText(markArea, Qt::AlignRight | Qt::AlignVCenter, mark);
                painter.setFont(rowFont);
                painter.setPen(row.out ? Dimmed : Text);
                const double nameWidth = std::max(0.0, area.width() - markWidth - rowFont.pixelSize() * ColumnGap);
                painter.drawText(QRectF(area.left(), area.top(), nameWidth, area.height()), Columns[c].align | Qt::AlignVCenter,
                                 rowMetrics.elidedText(text, Qt::ElideRight, nameWidth));
            } else {
                painter.drawText(area, Columns[c].align | Qt::AlignVCenter,
                                 c == NameColumn ? rowMetrics.elidedText(text, Qt::ElideRight, area.width()) : text);
            }
            x += widths[c];
        }
    }
}
