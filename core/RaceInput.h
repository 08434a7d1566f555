#pragma once

#include <QString>

#include <cstdint>

// One input to the race core: a command, a timer tick or an edited field, stamped with
// the race clock's tick at which it happened. Every change of the race goes through one
// of these, so a session can be recorded and replayed input by input.
struct RaceInput
{
    enum class Kind : std::uint8_t {
        StartCommand,      // confirmed: the answer to the start command's question, if it asked one
        CapturePass,
        Assign,            // value: participant 1..20
        DeletePending,
        SelectPending,     // value: index in the pending list
        SortCycle,
        MarkOut,           // value: grid row
        TimerAll,          // 10 ms running times
        Timer1,            // 450 ms countdown
        TimerDate,         // value: local time of day in ms
        TimerLockStop,
        ToggleArming,
        DurationTyped,     // text: the race duration field while it is being edited
        DurationEdited,    // text: the race duration field on leaving it
        WarnTimeEdited,    // text
        WarnStepUp,
        WarnStepDown,
        TitleEdited,       // text
        SessionTypeChosen, // value: 0 "Rennen", 1 "Training"
        CarCountChanged,   // value: participant count
    };

    Kind kind;
    std::int32_t tick = 0;
    int value = 0;
    bool confirmed = false;
    QString text = {};
};
