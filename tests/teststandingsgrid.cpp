#include "core/RaceTable.h"
#include "core/StandingsGrid.h"
#include "core/TimeText.h"

#include <QString>
#include <QStringList>
#include <QTest>

#include <cstdint>

namespace {

int sign(int v)
{
    return (v > 0) - (v < 0);
}

// Fills rows 1.. of one column with the given texts and sets the row count to match.
void fillColumn(StandingsGrid &grid, int column, const QStringList &texts)
{
    grid.setRowCount(int(texts.size()) + 1);
    for (int r = 1; r <= texts.size(); ++r)
        grid.setCell(column, r, texts.at(r - 1));
}

QStringList columnTexts(const StandingsGrid &grid, int column, int firstRow, int lastRow)
{
    QStringList texts;
    for (int r = firstRow; r <= lastRow; ++r)
        texts << grid.cell(column, r);
    return texts;
}

} // namespace

class TestStandingsGrid : public QObject
{
    Q_OBJECT

private slots:
    void compareCellTexts_data();
    void compareCellTexts();
    void raceTimeTextsSortInTimeOrder();

    void titleRow();
    void setRowCountClamps_data();
    void setRowCountClamps();

    void sortRows_data();
    void sortRows();
    void sortIsStableAndMovesWholeRows();
    void sortLeavesTitleRowAndRowsBeyondCount();
};

// ---------------------------------------------------------------------------
// Cell comparison

void TestStandingsGrid::compareCellTexts_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("expected"); // sign of the result

    QTest::newRow("both empty") << "" << "" << 0;
    QTest::newRow("empty after text") << "" << "1." << 1;
    QTest::newRow("text before empty") << "1." << "" << -1;
    QTest::newRow("empty after long text") << "" << "99:59:59,99" << 1;

    QTest::newRow("shorter first") << "9." << "10." << -1;
    QTest::newRow("longer last") << "10." << "9." << 1;
    QTest::newRow("minute time before hour time") << "59:59,99" << "1:00:00,00" << -1;
    QTest::newRow("one-digit before two-digit minutes") << "9:59,99" << "10:00,00" << -1;
    QTest::newRow("dash before place") << "-" << "1." << -1;

    QTest::newRow("equal") << "12." << "12." << 0;
    QTest::newRow("same length, code units") << "1:05,43" << "1:05,44" << -1;
    QTest::newRow("same length, first unit decides") << "2:00,00" << "1:59,99" << 1;

    // Case does not matter.
    QTest::newRow("AUS equals aus") << "AUS" << "aus" << 0;
    QTest::newRow("aus equals AUS") << "aus" << "AUS" << 0;
    QTest::newRow("mixed case equal") << "Aus" << "aUS" << 0;
    QTest::newRow("case-insensitive order") << "B" << "a" << 1;
    QTest::newRow("case-insensitive order reversed") << "a" << "B" << -1;
}

void TestStandingsGrid::compareCellTexts()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, expected);

    QCOMPARE(sign(CompareCellTexts(a, b)), expected);
    QCOMPARE(sign(CompareCellTexts(b, a)), -expected);
}

void TestStandingsGrid::raceTimeTextsSortInTimeOrder()
{
    // The grid sorts time columns by their texts; below 100 h text order is time order.
    const QChar comma(QLatin1Char(','));
    QString previous = TimeText::FormatRaceTime(0, comma);
    for (std::int32_t ms = 9970; ms < 360000000; ms += 9970) {
        const QString current = TimeText::FormatRaceTime(ms, comma);
        if (CompareCellTexts(previous, current) >= 0)
            QFAIL(qPrintable(QStringLiteral("\"%1\" does not sort before \"%2\"").arg(previous, current)));
        previous = current;
    }
    QVERIFY(CompareCellTexts(TimeText::FormatRaceTime(3599990, comma), TimeText::FormatRaceTime(3600000, comma)) < 0);
    QVERIFY(CompareCellTexts(TimeText::FormatRaceTime(599990, comma), TimeText::FormatRaceTime(600000, comma)) < 0);
    QVERIFY(CompareCellTexts(TimeText::FormatRaceTime(35999990, comma), TimeText::FormatRaceTime(36000000, comma)) < 0);
}

// ---------------------------------------------------------------------------
// Grid shape

void TestStandingsGrid::titleRow()
{
    const StandingsGrid grid;
    const QStringList expected = {
        QStringLiteral("Platz"), QStringLiteral("Key"), QStringLiteral("Nr."), QStringLiteral("Fahrer"),
        QStringLiteral("Rd."), QStringLiteral("akt. Zeit"), QStringLiteral("L. Runde"), QStringLiteral("Vorrunde"),
        QStringLiteral("Top Runde"), QStringLiteral("Zum 1."), QStringLiteral("Vorderer"), QStringLiteral("Ges. Zeit"),
    };
    QCOMPARE(int(expected.size()), StandingsGrid::ColumnCount);
    for (int c = 0; c < StandingsGrid::ColumnCount; ++c)
        QCOMPARE(grid.cell(c, 0), expected.at(c));
    QCOMPARE(grid.rowCount(), 1);
}

void TestStandingsGrid::setRowCountClamps_data()
{
    QTest::addColumn<int>("requested");
    QTest::addColumn<int>("expected");

    QTest::newRow("one participant") << 2 << 2;
    QTest::newRow("twenty participants") << 21 << 21;
    QTest::newRow("title only") << 1 << 1;
    QTest::newRow("zero") << 0 << 1;
    QTest::newRow("negative") << -5 << 1;
    QTest::newRow("too many") << 22 << 21;
}

void TestStandingsGrid::setRowCountClamps()
{
    QFETCH(int, requested);
    QFETCH(int, expected);

    StandingsGrid grid;
    grid.setRowCount(requested);
    QCOMPARE(grid.rowCount(), expected);
}

// ---------------------------------------------------------------------------
// Sorting

void TestStandingsGrid::sortRows_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QStringList>("expected");

    QStringList places;
    for (int i = 12; i >= 1; --i)
        places << QStringLiteral("%1.").arg(i);
    places.insert(3, QString());
    places.insert(9, QString());
    QStringList sortedPlaces;
    for (int i = 1; i <= 12; ++i)
        sortedPlaces << QStringLiteral("%1.").arg(i);
    sortedPlaces << QString() << QString();
    QTest::newRow("places with two empty cells") << places << sortedPlaces;

    QTest::newRow("already sorted")
        << QStringList{"1.", "2.", "3."} << QStringList{"1.", "2.", "3."};
    QTest::newRow("reversed")
        << QStringList{"3.", "2.", "1."} << QStringList{"1.", "2.", "3."};
    QTest::newRow("dash first, empty last")
        << QStringList{"", "2.", "-", "1."} << QStringList{"-", "1.", "2.", ""};
    QTest::newRow("best laps across the hour")
        << QStringList{"1:00:00,00", "", "59:59,99", "9:59,99", "10:00,00"}
        << QStringList{"9:59,99", "10:00,00", "59:59,99", "1:00:00,00", ""};
    QTest::newRow("out mark among running times")
        << QStringList{"1:05,43", "AUS", "0:59,99"} << QStringList{"AUS", "0:59,99", "1:05,43"};
    QTest::newRow("single row") << QStringList{"5."} << QStringList{"5."};
    QTest::newRow("twenty rows")
        << QStringList{"20.", "19.", "18.", "17.", "16.", "15.", "14.", "13.", "12.", "11.",
                       "10.", "9.", "8.", "7.", "6.", "5.", "4.", "3.", "2.", "1."}
        << QStringList{"1.", "2.", "3.", "4.", "5.", "6.", "7.", "8.", "9.", "10.",
                       "11.", "12.", "13.", "14.", "15.", "16.", "17.", "18.", "19.", "20."};
}

void TestStandingsGrid::sortRows()
{
    QFETCH(QStringList, texts);
    QFETCH(QStringList, expected);

    StandingsGrid grid;
    fillColumn(grid, StandingsGrid::Place, texts);
    grid.sortRows(StandingsGrid::Place);
    QCOMPARE(columnTexts(grid, StandingsGrid::Place, 1, int(texts.size())), expected);
}

void TestStandingsGrid::sortIsStableAndMovesWholeRows()
{
    // Sorting by best lap: equal texts (in any case) keep their previous order.
    StandingsGrid grid;
    const QStringList best = {"1:02,00", "", "1:01,00", "AUS", "1:02,00", "", "aus", "1:01,00"};
    fillColumn(grid, StandingsGrid::BestLap, best);
    for (int r = 1; r <= best.size(); ++r) {
        grid.setCell(StandingsGrid::Key, r, KeyLabel(r));
        grid.setCell(StandingsGrid::Name, r, QStringLiteral("Name %1").arg(r));
        grid.setCell(StandingsGrid::TotalTime, r, QStringLiteral("total %1").arg(r));
    }

    grid.sortRows(StandingsGrid::BestLap);

    // Original rows in their new order.
    const QList<int> order = {4, 7, 3, 8, 1, 5, 2, 6};
    for (int r = 1; r <= order.size(); ++r) {
        const int from = order.at(r - 1);
        QCOMPARE(grid.cell(StandingsGrid::BestLap, r), best.at(from - 1));
        QCOMPARE(grid.cell(StandingsGrid::Key, r), KeyLabel(from));
        QCOMPARE(grid.cell(StandingsGrid::Name, r), QStringLiteral("Name %1").arg(from));
        QCOMPARE(grid.cell(StandingsGrid::TotalTime, r), QStringLiteral("total %1").arg(from));
    }
}

void TestStandingsGrid::sortLeavesTitleRowAndRowsBeyondCount()
{
    StandingsGrid grid;
    grid.setRowCount(StandingsGrid::MaxRows);
    for (int r = 1; r < StandingsGrid::MaxRows; ++r)
        grid.setCell(StandingsGrid::Place, r, QStringLiteral("%1.").arg(StandingsGrid::MaxRows - r));
    // "z" is shorter than the title "Platz": it would move above the title row if row 0 took part.
    grid.setCell(StandingsGrid::Place, 1, QStringLiteral("z"));

    // Only rows 1..4 belong to the grid now; rows 5.. keep stale texts.
    grid.setRowCount(5);
    grid.sortRows(StandingsGrid::Place);

    QCOMPARE(grid.cell(StandingsGrid::Place, 0), QStringLiteral("Platz"));
    QCOMPARE(columnTexts(grid, StandingsGrid::Place, 1, 4),
             (QStringList{"z", "17.", "18.", "19."}));
    for (int r = 5; r < StandingsGrid::MaxRows; ++r)
        QCOMPARE(grid.cell(StandingsGrid::Place, r), QStringLiteral("%1.").arg(StandingsGrid::MaxRows - r));
}

QTEST_GUILESS_MAIN(TestStandingsGrid)
#include "teststandingsgrid.moc"
