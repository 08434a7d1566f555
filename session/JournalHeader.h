#pragma once

#include "core/Controls.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>

// The first line of a journal: what a replay needs to set up the core before the first
// input, and what a recovery needs to put the race clock back where it was.
struct JournalHeader
{
    // The layout of the lines. A change that an older reader would misread bumps it, so
    // that the older program refuses the journal instead of replaying it wrongly.
    static constexpr int FormatVersion = 1;

    // Filled by the reader: the program that wrote the journal (the writer always puts its own).
    QString programVersion = {};
    // Filled by the reader: the format the journal was written in.
    int formatVersion = FormatVersion;

    // The setup fields, as the core had them when the journal began.
    int participantCount = 20;
    int durationSeconds = 14400;
    // The accepted warning time as typed ("MM:SS"): the start reads this text, not a number.
    QString warnText = QStringLiteral("00:30");
    int lapLimit = 160;
    // BarrierSettings::pack(), so the journal stores exactly what the settings input carries.
    int barrierSettings = BarrierSettings{}.pack();
    QString title = {};
    // 0 "Rennen", 1 "Training", like the SessionTypeChosen input.
    int sessionType = 1;
    // The imported starter rows (texts of columns A..J), empty without a starter list.
    QList<QStringList> starterRows = {};
    // The time texts depend on the locale's separators: a replay must use the same one.
    QString locale = QStringLiteral("de_DE");
    // The barrier indicator: whether the serial port was open, and whether it was armed.
    bool portOpen = false;
    bool barriersArmed = false;

    // The race clock and the wall clock, read together when the journal began: after a
    // reboot the boot clock starts again, and these two map the old ticks onto the new clock.
    std::int32_t startTick = 0;
    std::int64_t startWallClockMs = 0; // ms since 1970-01-01 UTC
    // The kernel's boot id at that moment: a different one at recovery means the machine rebooted.
    QString bootId = {};

    friend bool operator==(const JournalHeader &, const JournalHeader &) = default;
};
