#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// One input to the race core: a command, a timer tick or an edited field, stamped with
// the race clock's tick at which it happened. Every change of the race goes through one
// of these, so a session can be recorded and replayed input by input.
struct RaceInput
{
    // The numbers are stored with recorded inputs: never renumber, only add.
    enum class Kind : std::uint8_t {
        StartCommand = 0,       // confirmed, answers: the answer to the start command's question, if it asked one
        CapturePass = 1,
        Assign = 2,             // value: participant 1..20
        DeletePending = 3,
        SelectPending = 4,      // value: index in the pending list
        SortCycle = 5,
        MarkOut = 6,            // value: grid row
        TimerAll = 7,           // 10 ms running times
        Timer1 = 8,             // 450 ms countdown
        TimerDate = 9,          // value: local time of day in ms
        TimerLockStop = 10,
        ToggleArming = 11,
        DurationTyped = 12,     // text: the race duration field while it is being edited
        DurationEdited = 13,    // text: the race duration field on leaving it
        WarnTimeEdited = 14,    // text: the warning time field while it is being edited
        WarnStepUp = 15,
        WarnStepDown = 16,
        TitleEdited = 17,       // text
        SessionTypeChosen = 18, // value: 0 "Rennen", 1 "Training"
        CarCountChanged = 19,   // value: participant count
        WarnTimeLeft = 20,      // the warning time field lost the focus
        LapLimitChanged = 21,   // value: laps a participant may run
    };

    // The questions an answer can belong to; stored with recorded inputs like Kind.
    enum class Question : std::uint8_t {
        None = 0,
        StopAllTimes = 1,  // "Alle Zeiten stoppen?"
        ProtocolSaved = 2, // "Haben Sie das Protokoll gespeichert?"
        Quit = 3,          // "Beenden?"
    };

    Kind kind;
    // Empty until the session stamps it with the race clock; a serial edge or a replay brings its own.
    std::optional<std::int32_t> tick = std::nullopt;
    int value = 0;
    bool confirmed = false;
    QString text = {};
    // The question that was on the screen when the operator answered, so that a late answer
    // never acts on a state it was not asked about.
    Question answers = Question::None;
};
