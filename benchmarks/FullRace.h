#pragma once

#include "core/TickSource.h"
#include "session/RaceSession.h"

#include <QLocale>

// Runs a full race on the session: 20 participants, 160 laps each, a pass every interval ms,
// captured first and then assigned, with the clock ticks between.
inline void RunFullRace(RaceSession &session, ManualTickSource &clock, std::uint32_t interval)
{
    using Kind = RaceInput::Kind;
    session.submit({.kind = Kind::DurationEdited, .text = QStringLiteral("86400")});
    session.submit({.kind = Kind::StartCommand});
    for (int lap = 1; lap <= 160; ++lap) {
        for (int p = 1; p <= 20; ++p) {
            clock.advance(interval + std::uint32_t(p) * 7);
            session.submit({.kind = Kind::CapturePass});
            session.submit({.kind = Kind::TimerAll});
            session.submit({.kind = Kind::Assign, .value = p});
            session.submit({.kind = Kind::Timer1});
        }
    }
}

// A live session at hour 23 of a 24-hour race: the full race spread over 23 hours.
struct Hour23
{
    ManualTickSource *clock = nullptr;
    RaceSession session;
    Hour23()
        : session([this] {
            auto owned = std::make_unique<ManualTickSource>(1000);
            clock = owned.get();
            return owned;
        }(), QLocale(QLocale::German, QLocale::Germany))
    {
        RunFullRace(session, *clock, 25800);
    }
    // Participant 7's 80th pass, struck or restored with a reason, as the corrections window sends it.
    RaceInput correction(RaceInput::Kind kind) const
    {
        return {.kind = kind, .text = QStringLiteral("doppelt erfasst"),
                .pass = session.core().lapBook().passes(7).at(79).id, .operatorName = QStringLiteral("Anna"),
                .wallClockMs = 1765000000000};
    }
};
