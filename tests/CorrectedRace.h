#pragma once

#include "RaceDriver.h"

#include "core/ResultsSnapshot.h"

#include <QDateTime>

// A stopped race of five that the operator corrects afterwards: a double pass of 1 struck,
// a pass of 2 that was 3's moved over, a pass 4's barrier missed inserted; 5 stays as booked. The results
// outputs' tests read it before and after, so they all see the same corrections.
class CorrectedRace
{
public:
    using Kind = RaceInput::Kind;

    // How many corrections after() holds, and the reason of the moved pass: markup that every
    // output has to write as text.
    static constexpr int Count = 3;
    static QString markupReason() { return QStringLiteral("<b>&\"Nr. 3\""); }
    // The wall clock of correction k (from 0): 14:03:05, then a minute later each.
    static std::int64_t wallClock(int k)
    {
        return QDateTime(QDate(2026, 12, 8), QTime(14, 3 + k, 5)).toMSecsSinceEpoch();
    }

    CorrectedRace()
    {
        d.send(Kind::CarCountChanged, 5);
        d.start();
        for (const auto &[p, tick] : {std::pair{1, 60000}, {1, 63500}, {2, 62000}, {3, 65000}, {5, 66000}, {4, 70000}, {1, 120000},
                                      {2, 124000}, {2, 130000}, {4, 210000}})
            d.book(p, tick);
        d.at(220000);
        d.stop(true);
    }

    // The results as they stood at the stop.
    ResultsSnapshot before() const { return ResultsSnapshot::of(d.core); }

    // The results once the three corrections are made.
    ResultsSnapshot after()
    {
        d.at(230000);
        correct({.kind = Kind::StrikePass, .text = QStringLiteral("doppelt erfasst"), .pass = passId(1, 1),
                 .operatorName = QStringLiteral("Anna"), .wallClockMs = wallClock(0)});
        correct({.kind = Kind::MovePass, .value = 3, .text = markupReason(), .pass = passId(2, 2),
                 .operatorName = QStringLiteral("Jürgen"), .wallClockMs = wallClock(1)});
        correct({.kind = Kind::InsertPass, .value = 4, .text = QStringLiteral("Schranke verpasst"), .raceTime = 140000,
                 .operatorName = QStringLiteral("Łukasz"), .wallClockMs = wallClock(2)});
        return ResultsSnapshot::of(d.core);
    }

    RaceDriver d;

private:
    std::uint32_t passId(int participant, int index) const { return d.core.lapBook().passes(participant)[std::size_t(index)].id; }
    void correct(RaceInput in)
    {
        in.tick = d.now;
        d.core.apply(in);
    }
};
