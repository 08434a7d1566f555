#pragma once

#include "core/Controls.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

// Everything an idle session starts from and the core keeps between sessions: the set-up
// fields, the starters, the light barriers' settings, arming and the line levels they saw
// last. A session's record begins with it, a journal's header carries it and the settings
// are loaded into it, so a rebuilt session starts exactly where the live one did.
struct SessionSetup
{
    int participantCount = 20;
    // The starters' rows, participant 1 first: the texts of sheet columns A..J. Empty when
    // no participant has a number, name or other starter text.
    QList<QStringList> starters = {};
    std::int32_t durationSeconds = 14400;
    QString title = QStringLiteral("Circuit de Monaco, Monte Carlo");
    // 0 "Rennen", 1 "Training".
    int sessionType = 1;
    // The accepted warning time as typed ("MM:SS"): the start reads this text.
    QString warnText = QStringLiteral("00:30");
    int lapLimit = 160;
    BarrierSettings barriers = {};
    // Whether the barriers' serial port is open (the sign shows), and whether they are armed.
    bool portOpen = false;
    bool barriersArmed = false;
    // The level each barrier line had at its previous event (CTS bit; DSR and carrier detect
    // bits), none before the first: a repeated level does not count, a pulse does.
    std::optional<int> startLevel = std::nullopt;
    std::optional<int> finishLevel = std::nullopt;

    friend bool operator==(const SessionSetup &, const SessionSetup &) = default;
};
