#include "core/RaceTable.h"

#include <QString>
#include <QTest>

#include <cstdint>
#include <memory>
#include <utility>

class TestRaceTable : public QObject
{
    Q_OBJECT

private slots:
    void keyLabel_data();
    void keyLabel();
    void keyLabelRoundTrip();
    void participantOfLabel_data();
    void participantOfLabel();

    void lapCountIgnoresFlags_data();
    void lapCountIgnoresFlags();
    void latestPassTickFollowsLapCount();
    void lapAndRaceTimeElements();
    void bestLapAndLeaderLapsElements();
    void identityRowMaps();
};

// ---------------------------------------------------------------------------
// Key labels

void TestRaceTable::keyLabel_data()
{
    QTest::addColumn<int>("participant");
    QTest::addColumn<QString>("label");

    for (int p = 1; p <= 10; ++p)
        QTest::addRow("participant %d", p) << p << QString::number(p);
    for (int p = 11; p <= 20; ++p)
        QTest::addRow("participant %d", p) << p << QStringLiteral("F%1").arg(p - 10);
}

void TestRaceTable::keyLabel()
{
    QFETCH(int, participant);
    QFETCH(QString, label);

    QCOMPARE(KeyLabel(participant), label);
}

void TestRaceTable::keyLabelRoundTrip()
{
    for (int p = 1; p <= RaceTable::MaxParticipants; ++p)
        QCOMPARE(ParticipantOfLabel(KeyLabel(p)), p);
}

void TestRaceTable::participantOfLabel_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<int>("participant");

    QTest::newRow("1") << "1" << 1;
    QTest::newRow("9") << "9" << 9;
    QTest::newRow("10 is participant 10") << "10" << 10;
    QTest::newRow("F1") << "F1" << 11;
    QTest::newRow("F9") << "F9" << 19;
    QTest::newRow("F10 is participant 20") << "F10" << 20;

    // Only the two characters after 'F' are read.
    QTest::newRow("F100 reads F10") << "F100" << 20;

    // Unreadable labels and labels outside 1..20 name nobody.
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("F alone") << "F" << 0;
    QTest::newRow("F with letters") << "Fx" << 0;
    QTest::newRow("lower-case f") << "f1" << 0;
    QTest::newRow("letters") << "abc" << 0;
    QTest::newRow("decimal point") << "1.5" << 0;
    QTest::newRow("zero") << "0" << 0;
    QTest::newRow("negative") << "-1" << 0;
    QTest::newRow("21") << "21" << 0;
    QTest::newRow("F11 is 21") << "F11" << 0;
}

void TestRaceTable::participantOfLabel()
{
    QFETCH(QString, label);
    QFETCH(int, participant);

    QCOMPARE(ParticipantOfLabel(label), participant);
}

// ---------------------------------------------------------------------------
// Lap records

void TestRaceTable::lapCountIgnoresFlags_data()
{
    QTest::addColumn<int>("laps");
    QTest::addColumn<int>("flags");

    QTest::newRow("no laps, no flags") << 0 << 0;
    QTest::newRow("running") << 12 << 0;
    QTest::newRow("limit") << 160 << 0;
    QTest::newRow("finished") << 12 << int(RaceTable::FinishedFlag);
    QTest::newRow("out") << 12 << int(RaceTable::OutFlag);
    QTest::newRow("out without laps") << 0 << int(RaceTable::OutFlag);
    QTest::newRow("finished and out") << 160 << int(RaceTable::FinishedFlag | RaceTable::OutFlag);
    QTest::newRow("full count field") << 1023 << int(RaceTable::FinishedFlag);
}

void TestRaceTable::lapCountIgnoresFlags()
{
    QFETCH(int, laps);
    QFETCH(int, flags);

    auto table = std::make_unique<RaceTable>();
    const int p = 7;
    table->LapWord(p) = laps | flags;

    QCOMPARE(table->lapCount(p), laps);
    // A flagged participant's whole word is at least 1024, so it is never below the lap limit.
    if (flags != 0)
        QVERIFY(table->LapWord(p) >= 1024);
    else
        QCOMPARE(table->LapWord(p), laps);
}

void TestRaceTable::latestPassTickFollowsLapCount()
{
    auto table = std::make_unique<RaceTable>();
    const int p = 3;
    const std::int32_t startTick = 1000000;

    // No laps: the latest pass slot is element 3 and holds the start tick.
    table->LapRecord[p][RaceTable::FirstLapElement] = startTick;
    QCOMPARE(table->latestPassTick(p), startTick);

    // Two laps booked: times in elements 3 and 4, latest pass tick in element 5.
    table->LapRecord[p][3] = 61230;
    table->LapRecord[p][4] = 59870;
    table->LapRecord[p][5] = startTick + 61230 + 59870;
    table->LapWord(p) = 2;
    QCOMPARE(table->latestPassTick(p), startTick + 121100);

    // Flags do not move the slot.
    table->LapWord(p) = 2 | RaceTable::FinishedFlag;
    QCOMPARE(table->latestPassTick(p), startTick + 121100);
    table->LapWord(p) = 2 | RaceTable::FinishedFlag | RaceTable::OutFlag;
    QCOMPARE(table->latestPassTick(p), startTick + 121100);

    // At 160 laps the slot is element 163.
    table->LapRecord[p][163] = 424242;
    table->LapWord(p) = 160 | RaceTable::OutFlag;
    QCOMPARE(table->latestPassTick(p), 424242);
}

void TestRaceTable::lapAndRaceTimeElements()
{
    auto table = std::make_unique<RaceTable>();
    const int p = 20;

    // Lap k sits at element k + 2 of both records.
    for (int k = 1; k <= 160; ++k) {
        table->LapRecord[p][k + 2] = 50000 + k * 10;
        table->ElapsedRecord[p][k + 2] = 1000000 + k * 10;
    }
    QCOMPARE(table->lapTime(p, 1), 50010);
    QCOMPARE(table->lapTime(p, 2), 50020);
    QCOMPARE(table->lapTime(p, 160), 51600);
    QCOMPARE(table->raceTimeAtLap(p, 1), 1000010);
    QCOMPARE(table->raceTimeAtLap(p, 160), 1001600);

    // The records of other participants are separate.
    QCOMPARE(table->lapTime(p - 1, 1), 0);
    QCOMPARE(table->raceTimeAtLap(p - 1, 1), 0);
}

void TestRaceTable::bestLapAndLeaderLapsElements()
{
    auto table = std::make_unique<RaceTable>();

    table->BestLap(4) = RaceTable::NoBestLap;
    QCOMPARE(table->LapRecord[4][RaceTable::BestLapElement], 2147483647);
    table->BestLap(4) = 58120;
    QCOMPARE(table->LapRecord[4][1], 58120);

    table->LapWord(4) = 5;
    QCOMPARE(table->LapRecord[4][2], 5);

    // The leader's lap count lives in element 2 of the race record 0.
    table->LeaderLaps() = 17;
    QCOMPARE(table->LapRecord[0][2], 17);
    QCOMPARE(std::as_const(*table).LeaderLaps(), 17);
}

void TestRaceTable::identityRowMaps()
{
    auto table = std::make_unique<RaceTable>();
    table->setIdentityRowMaps(12);

    for (int r = 1; r <= 12; ++r) {
        QCOMPARE(table->RowOfParticipant[r], r);
        QCOMPARE(table->ParticipantAtRow[r], r);
    }
    // Rows beyond N are not touched.
    for (int r = 13; r <= RaceTable::MaxParticipants; ++r) {
        QCOMPARE(table->RowOfParticipant[r], 0);
        QCOMPARE(table->ParticipantAtRow[r], 0);
    }
}

QTEST_GUILESS_MAIN(TestRaceTable)
#include "testracetable.moc"
