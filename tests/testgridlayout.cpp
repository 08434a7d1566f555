#include "RaceDriver.h"

#include "core/GridLayout.h"

#include <QTest>

using Kind = RaceInput::Kind;
using Col = StandingsGrid::Column;
using GridLayout::Align;
namespace Colour = GridLayout::Colour;

// The grid's look: column widths, title shortening and the format of each cell.
class TestGridLayout : public QObject
{
    Q_OBJECT

private slots:
    void nameColumnWidth_data()
    {
        QTest::addColumn<int>("gridWidth");
        QTest::addColumn<int>("nameWidth");
        QTest::newRow("default window") << 894 << 104;
        QTest::newRow("wider window") << 1070 << 280;
        QTest::newRow("narrow") << 790 << 0;
    }

    void nameColumnWidth()
    {
        QFETCH(int, gridWidth);
        QTEST(GridLayout::NameColumnWidth(gridWidth), "nameWidth");
    }

    void colourValues()
    {
        QCOMPARE(GridLayout::RgbToBgr(230, 230, 230), Colour::LapColumns);
        QCOMPARE(GridLayout::RgbToBgr(192, 255, 192), Colour::GapToLeader);
        QCOMPARE(GridLayout::RgbToBgr(255, 255, 192), Colour::GapAhead);
        QCOMPARE(GridLayout::RgbToBgr(255, 192, 192), Colour::TotalTime);
        QCOMPARE(GridLayout::RgbToBgr(255, 160, 160), Colour::LastBooked);
        QCOMPARE(GridLayout::RgbToBgr(255, 0, 0), Colour::Red);
    }

    void shortenTitle_data()
    {
        // Every character is 10 pixels wide.
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("shown");
        QTest::newRow("fits") << "Platz" << 50 << "Platz";
        QTest::newRow("one too wide") << "Top Runde" << 80 << "Top Ru..";
        QTest::newRow("much too wide") << "Vorderer" << 40 << "Vo..";
        QTest::newRow("only three left") << "Ges. Zeit" << 5 << "G..";
        QTest::newRow("short titles stay") << "Rd." << 10 << "Rd.";
    }

    void shortenTitle()
    {
        QFETCH(QString, title);
        QFETCH(int, width);
        QTEST(GridLayout::ShortenTitle(title, width, [](const QString &text) { return int(text.size()) * 10; }), "shown");
    }

    void cellFormats_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("background"); // -1: the grid's default
        QTest::addColumn<int>("align");
        QTest::addColumn<int>("points"); // 0: the grid font
        const auto row = [](const char *name, int column, int r, int background, Align align, int points) {
            QTest::newRow(name) << column << r << background << int(align) << points;
        };
        row("title", Col::Place, 0, -1, Align::Centre, 10);
        row("place", Col::Place, 2, -1, Align::Centre, 0);
        row("key", Col::Key, 2, -1, Align::Centre, 0);
        row("number", Col::Number, 2, -1, Align::Right, 0);
        row("name", Col::Name, 2, -1, Align::Left, 0);
        row("laps", Col::Laps, 2, int(Colour::LapColumns), Align::Right, 0);
        row("current time", Col::CurrentTime, 2, int(Colour::LapColumns), Align::Right, 14);
        row("last lap", Col::LastLap, 2, int(Colour::LapColumns), Align::Right, 0);
        row("previous lap", Col::PreviousLap, 2, int(Colour::LapColumns), Align::Right, 0);
        row("best lap", Col::BestLap, 2, int(Colour::LapColumns), Align::Right, 0);
        row("gap to leader", Col::GapToLeader, 2, int(Colour::GapToLeader), Align::Right, 0);
        row("gap ahead", Col::GapAhead, 2, int(Colour::GapAhead), Align::Right, 0);
        row("total time", Col::TotalTime, 2, int(Colour::TotalTime), Align::Right, 0);
        row("last booked, fixed column", Col::Place, 1, int(Colour::LastBooked), Align::Centre, 0);
        row("last booked, name", Col::Name, 1, int(Colour::LastBooked), Align::Left, 0);
        row("last booked, gap", Col::GapAhead, 1, int(Colour::LastBooked), Align::Right, 0);
    }

    void cellFormats()
    {
        QFETCH(int, column);
        QFETCH(int, row);
        QFETCH(int, background);
        RaceDriver d;
        d.start();
        d.book(4, 60000); // participant 4 moves to row 1 and is the last booked
        const GridLayout::CellFormat f = d.core.cellFormat(column, row, 61000);
        QCOMPARE(f.background.has_value(), background >= 0);
        if (f.background)
            QCOMPARE(int(*f.background), background);
        QTEST(int(f.align), "align");
        QTEST(f.fontPoints.value_or(0), "points");
    }

    void titleOfKeyColumnIsRed()
    {
        RaceDriver d;
        QCOMPARE(d.core.cellFormat(Col::Key, 0, 0).fontColour.value_or(0), Colour::Red);
        QVERIFY(!d.core.cellFormat(Col::Laps, 0, 0).fontColour);
    }

    void overdueRunningTime_data()
    {
        QTest::addColumn<int>("sinceLastPass");
        QTest::addColumn<bool>("red");
        QTest::newRow("just passed") << 0 << false;
        QTest::newRow("one tick before the warning time") << 29990 << false;
        QTest::newRow("at the warning time") << 30000 << true;
        QTest::newRow("long overdue") << 600000 << true;
    }

    void overdueRunningTime()
    {
        QFETCH(int, sinceLastPass);
        QFETCH(bool, red);
        RaceDriver d;
        d.send(Kind::WarnTimeEdited, 0, false, QStringLiteral("00:30"));
        d.start();
        d.book(2, 50000);
        const int row = d.rowOf(2);
        const GridLayout::CellFormat f = d.core.cellFormat(Col::CurrentTime, row, 50000 + sinceLastPass);
        QCOMPARE(f.fontColour.has_value(), red);
        // Only the running time turns red.
        QVERIFY(!d.core.cellFormat(Col::LastLap, row, 50000 + sinceLastPass).fontColour);
        // Since the start for a participant without a booked pass.
        QCOMPARE(d.core.cellFormat(Col::CurrentTime, d.rowOf(7), sinceLastPass).fontColour.has_value(), red);
    }

    void nextBookingEndsTheWarning()
    {
        RaceDriver d;
        d.start();
        d.book(2, 50000);
        QVERIFY(d.core.cellFormat(Col::CurrentTime, d.rowOf(2), 90000).fontColour);
        d.book(2, 90000);
        QVERIFY(!d.core.cellFormat(Col::CurrentTime, d.rowOf(2), 90010).fontColour);
    }

    void afterStopEveryRunningTimeIsBoldAndRed_data()
    {
        QTest::addColumn<uint>("clock");
        QTest::newRow("young tick counter") << 5000u;
        QTest::newRow("tick counter past 24.8 days") << 0x90000000u;
    }

    void afterStopEveryRunningTimeIsBoldAndRed()
    {
        QFETCH(uint, clock);
        RaceDriver d;
        d.at(int(clock));
        d.start();
        QCOMPARE(d.core.cellFormat(Col::CurrentTime, 1, int(clock + 10)).bold.value_or(true), false);
        d.book(3, int(clock + 60000));
        d.stop(true);
        for (int r = 1; r <= 20; ++r) {
            const GridLayout::CellFormat f = d.core.cellFormat(Col::CurrentTime, r, int(clock + 70000));
            QCOMPARE(f.bold.value_or(false), true);
            QCOMPARE(f.fontColour.value_or(0), Colour::Red);
            QVERIFY(f.background != Colour::LastBooked);
        }
    }

    void highlightFollowsTheLastKeyPress()
    {
        RaceDriver d;
        d.start();
        d.book(5, 50000);
        d.book(5, 50500); // refused by the interval, still the last key press
        d.book(6, 51000);
        QCOMPARE(d.core.cellFormat(Col::Key, d.rowOf(6), 52000).background.value_or(0), Colour::LastBooked);
        QVERIFY(d.core.cellFormat(Col::Key, d.rowOf(5), 52000).background != Colour::LastBooked);
    }
};

QTEST_GUILESS_MAIN(TestGridLayout)
#include "testgridlayout.moc"
