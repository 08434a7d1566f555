#pragma once

#include "core/SessionSetup.h"

#include <QString>

#include <cstdint>

// The first line of a journal: the set-up the session started from, what a replay needs to
// write the same texts, and what a recovery needs to put the race clock back where it was.
struct JournalHeader
{
    // The layout of the lines. A change that an older reader would misread bumps it, so
    // that the older program refuses the journal instead of replaying it wrongly.
    // 2: the header holds the whole set-up (line levels included) and inputs name passes by id.
    static constexpr int FormatVersion = 2;

    // Filled by the reader: the program that wrote the journal (the writer always puts its own).
    QString programVersion = {};
    // Filled by the reader: the format the journal was written in.
    int formatVersion = FormatVersion;

    // What the session started from, as it stood just before its start. Format 1 wrote the
    // state just after the start and repeated the set-up as inputs: a replay of such a journal
    // starts from a fresh core instead.
    SessionSetup setup = {};
    // The time texts depend on the locale's separators: a replay must use the same one.
    QString locale = QStringLiteral("de_DE");

    // The race clock and the wall clock, read together when the journal began: after a
    // reboot the boot clock starts again, and these two map the old ticks onto the new clock.
    std::int32_t startTick = 0;
    std::int64_t startWallClockMs = 0; // ms since 1970-01-01 UTC
    // The kernel's boot id at that moment: a different one at recovery means the machine rebooted.
    QString bootId = {};

    // The set-up a rebuild starts from: none for format 1, whose inputs bring their own.
    std::optional<SessionSetup> rebuildSetup() const { return formatVersion >= 2 ? std::optional(setup) : std::nullopt; }

    friend bool operator==(const JournalHeader &, const JournalHeader &) = default;
};
