#include "Fakes.h"
#include "core/RaceCore.h"
#include "core/TickSource.h"
#include "session/RaceSession.h"
#include "session/SessionTimers.h"
#include "ui/BgrColour.h"
#include "ui/GridStyle.h"
#include "ui/GridView.h"
#include "ui/TimeTextPainter.h"
#include "ui/TFormMain.h"

#include <QPaintEvent>
#include <QPainter>
#include <QRandomGenerator>
#include <QScreen>
#include <QTest>

// The running times repaint only what changed, painted past the table view's machinery: what
// the window shows after many such ticks must be exactly what a full repaint of the same
// moment shows, cell for cell, and each cell in the colours the core gives it.
class TestGridPaint : public QObject
{
    Q_OBJECT

    using Kind = RaceInput::Kind;

    ManualTickSource clock{100000};
    FakeShell shell;
    FakePrinter printer;
    std::unique_ptr<RaceSession> session;
    std::unique_ptr<SessionTimers> timers;
    std::unique_ptr<TFormMain> form;
    int partialPaints = 0; // viewport paints narrower than a running-time cell

    GridView &grid() { return *form->SortGrid1; }

    // What the window holds on screen now (its backing store), the grid's viewport part.
    QImage onScreen()
    {
        const QWidget *viewport = grid().viewport();
        const QPoint origin = viewport->mapTo(form.get(), QPoint(0, 0));
        const QImage window = form->screen()->grabWindow(form->winId()).toImage();
        return window.copy(QRect(origin, viewport->size())).convertToFormat(QImage::Format_RGB32);
    }

    // The clock runs on by uneven steps, each followed by the refresh the window's 10 ms
    // timer makes (given here, so that a slow run under valgrind paints every step too).
    void runClock(int ticks)
    {
        for (int i = 0; i < ticks; ++i) {
            clock.advance(7 + (i * 13) % 29);
            session->submit({.kind = Kind::TimerAll});
            QTest::qWait(1);
        }
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (form && watched == grid().viewport() && event->type() == QEvent::Paint
            && static_cast<QPaintEvent *>(event)->region().boundingRect().width() < grid().columnWidth(StandingsGrid::CurrentTime) - 1)
            ++partialPaints;
        return false;
    }

private slots:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        clock.set(100000);
        session = std::make_unique<RaceSession>(std::make_unique<ClockView>(clock));
        session->submit({.kind = Kind::CarCountChanged, .value = 20});
        session->submit({.kind = Kind::WarnTimeEdited, .text = QStringLiteral("00:02")});
        timers = std::make_unique<SessionTimers>(*session);
        form = std::make_unique<TFormMain>(*session, TFormMain::Services{shell, printer});
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        grid().viewport()->installEventFilter(this);
        partialPaints = 0;
    }

    void cleanup()
    {
        form.reset();
        timers.reset();
        session.reset();
    }

    // The times drawn from looked-up glyphs are pixel for pixel what drawText draws.
    void timesDrawLikeDrawText_data()
    {
        QTest::addColumn<QFont>("font");
        QTest::addColumn<int>("alignment");
        QTest::newRow("grid font, right") << GridStyle::gridFont() << int(Qt::AlignRight | Qt::AlignVCenter);
        GridLayout::CellFormat small;
        small.fontPoints = 9;
        small.bold = false;
        QTest::newRow("9 pt regular, left") << GridStyle::cellFont(small) << int(Qt::AlignLeft | Qt::AlignVCenter);
    }

    void timesDrawLikeDrawText()
    {
        QFETCH(QFont, font);
        QFETCH(int, alignment);
        const TimeTextPainter times(font);
        QVERIFY(times.canDraw(u"1:02:03,45"));
        QVERIFY(!times.canDraw(u"Zeit"));
        QRandomGenerator random(7);
        for (int i = 0; i < 300; ++i) {
            const qint64 ms = random.bounded(360000000);
            QString text = i % 3 == 0 ? QStringLiteral("%1:%2,%3").arg(ms / 60000).arg(ms / 1000 % 60, 2, 10, QLatin1Char('0')).arg(ms / 10 % 100, 2, 10, QLatin1Char('0'))
                                      : QStringLiteral("%1:%2:%3,%4").arg(ms / 3600000).arg(ms / 60000 % 60, 2, 10, QLatin1Char('0')).arg(ms / 1000 % 60, 2, 10, QLatin1Char('0')).arg(ms / 10 % 100, 2, 10, QLatin1Char('0'));
            if (i % 50 == 0)
                text = QStringLiteral("-");
            const QRect rect(2 + i % 3, 1, 71, 22);
            QImage expected(80, 24, QImage::Format_RGB32);
            QImage drawn(expected.size(), expected.format());
            expected.fill(Qt::white);
            drawn.fill(Qt::white);
            {
                QPainter painter(&expected);
                painter.setFont(font);
                painter.drawText(rect, alignment, text);
            }
            {
                QPainter painter(&drawn);
                painter.setFont(font);
                times.draw(painter, rect, Qt::Alignment(alignment), text);
            }
            QVERIFY2(drawn == expected, qPrintable(text));
        }
    }

    void sameAsAFullRepaint_data()
    {
        QTest::addColumn<int>("booked");     // laps booked before the clock runs
        QTest::addColumn<int>("sorts");      // Alt+S presses after them
        QTest::addColumn<int>("ticks");      // refreshes the clock runs for
        QTest::addColumn<bool>("selectRow"); // a running time is the current cell
        QTest::newRow("all running") << 0 << 0 << 60 << false;
        QTest::newRow("booked, past the warning time") << 9 << 0 << 250 << false;
        QTest::newRow("sorted by current time") << 9 << 2 << 120 << false;
        QTest::newRow("a selected running time") << 5 << 1 << 80 << true;
    }

    void sameAsAFullRepaint()
    {
        QFETCH(int, booked);
        QFETCH(int, sorts);
        QFETCH(int, ticks);
        QFETCH(bool, selectRow);

        session->submit({.kind = Kind::StartCommand});
        for (int i = 0; i < booked; ++i) {
            clock.advance(3000 + 700 * i);
            session->submit({.kind = Kind::Assign, .value = 1 + (i * 7) % 20});
        }
        for (int i = 0; i < sorts; ++i)
            session->submit({.kind = Kind::SortCycle});
        if (selectRow)
            grid().setCurrentIndex(grid().model()->index(3, StandingsGrid::CurrentTime));
        QTest::qWait(30);
        partialPaints = 0;
        runClock(ticks);
        QVERIFY2(partialPaints > ticks / 2, qPrintable(QString::number(partialPaints)));

        // The clock stands still now: the refresh finds nothing new, and what is on screen must
        // be what a full repaint of this moment paints.
        QTest::qWait(30);
        const QImage shown = onScreen();
        const QImage full = grid().viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shown.size(), full.size());
        for (int row = 0; row < grid().model()->rowCount(); ++row) {
            const QRect cell = grid().visualRect(grid().model()->index(row, StandingsGrid::CurrentTime));
            QVERIFY2(shown.copy(cell) == full.copy(cell), qPrintable(QStringLiteral("row %1: %2").arg(row)
                         .arg(session->core().grid().cell(StandingsGrid::CurrentTime, row + 1))));
            const GridLayout::CellFormat format = session->core().cellFormat(StandingsGrid::CurrentTime, row + 1, ReadClock(clock));
            const bool selected = grid().selectionModel()->isSelected(grid().model()->index(row, StandingsGrid::CurrentTime));
            const QColor background = format.background ? fromBgr(*format.background)
                                    : selected ? grid().palette().color(QPalette::Active, QPalette::Highlight)
                                               : QColor(Qt::white);
            QCOMPARE(shown.pixelColor(cell.topLeft() + QPoint(1, 1)), background);
        }
        QVERIFY(shown == full);
    }
};

QTEST_MAIN(TestGridPaint)
#include "testgridpaint.moc"
