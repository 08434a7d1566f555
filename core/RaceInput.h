#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>

struct SessionSetup;

// One input to the race core: a command, a timer tick or an edited field, stamped with
// the race clock's tick at which it happened. Every change of the race goes through one
// of these, so a session can be recorded and replayed input by input.
struct RaceInput
{
    // The numbers are stored with recorded inputs: never renumber, only add.
    enum class Kind : std::uint8_t {
        StartCommand = 0,       // confirmed, answers: the answer to the start command's question, if it asked one
        CapturePass = 1,        // pass: the id the pass gets (none: the next one)
        Assign = 2,             // value: participant 1..20; pass: the pass it books, see below
        DeletePending = 3,      // pass: the pass deleted (none: the selected one)
        SelectPending = 4,      // pass: the pass selected (none: value is its index, as older journals have it)
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
        // One wake of the serial event thread. tick: read by that thread when its wait returned,
        // so a pass is timed when it happened, not when the GUI thread gets to it; value: the
        // modem status read then (Ms* bits); lines, pulses: Ev* bits, see below.
        LineEvent = 22,
        PortOpened = 23,        // the serial port of the barriers is open: the indicator shows
        PortClosed = 24,
        BarrierSettingsChanged = 25, // value: BarrierSettings::pack() of the settings dialog's OK
        StarterListImported = 26,    // table: one row a starter, the texts of sheet columns A..J
        Undo = 27,                   // takes the last booked lap back (the session does it)
        // setup: what an idle session starts from, in one input (settings loaded, a journal's
        // header, the record's beginning). Never a journal line: the header carries it.
        SetupRestored = 28,
        // Corrections of booked laps, each with its reason in text, who made it in
        // operatorName and when in wallClockMs. pass: the booked pass they act on.
        StrikePass = 29,   // the pass no longer counts: the laps before and after it merge
        RestorePass = 30,  // a struck pass counts again
        MovePass = 31,     // value: the participant the pass goes to
        InsertPass = 32,   // value: participant; raceTime: the missed pass; pass: the id it gets
    };

    static constexpr bool IsCorrection(Kind kind) { return kind >= Kind::StrikePass && kind <= Kind::InsertPass; }

    // Pass ids of Assign: NoPass books nothing and only makes the participant current (a key
    // press that the booking guard refused); an id that waits books that pass; any other id
    // is the key press itself as the pass, under that id. 0 in a live input: the selected
    // waiting pass, or the key press when none waits.
    static constexpr std::uint32_t NoPass = 0xFFFFFFFFu;

    // The questions an answer can belong to; stored with recorded inputs like Kind.
    enum class Question : std::uint8_t {
        None = 0,
        StopAllTimes = 1,  // "Alle Zeiten stoppen?"
        ProtocolSaved = 2, // "Haben Sie das Protokoll gespeichert?"
        Quit = 3,          // "Beenden?"
    };

    // Modem status bits of a LineEvent's value (the serial driver's values): a set bit is an asserted line.
    static constexpr int MsCtsOn = 0x10;  // start barrier, contacts 7+8
    static constexpr int MsDsrOn = 0x20;  // finish barrier, contacts 4+6
    static constexpr int MsRlsdOn = 0x80; // carrier detect: a second finish input
    // Line bits of a LineEvent's lines and pulses (the serial driver's event values).
    static constexpr std::uint8_t EvCts = 0x08;
    static constexpr std::uint8_t EvDsr = 0x10;
    static constexpr std::uint8_t EvRlsd = 0x20;

    Kind kind;
    // Empty until the session stamps it with the race clock; a serial edge or a replay brings its own.
    std::optional<std::int32_t> tick = std::nullopt;
    int value = 0;
    bool confirmed = false;
    QString text = {};
    // The question that was on the screen when the operator answered, so that a late answer
    // never acts on a state it was not asked about.
    Question answers = Question::None;
    // LineEvent: the lines the wake reported changed (Ev* bits); each is routed in the order
    // CTS, DSR, carrier detect, all with the one status read in value.
    std::uint8_t lines = 0;
    // LineEvent: lines (Ev* bits) whose change counter moved by two or more since the previous
    // wake: the line went to its other level and back before anyone could read it. Such a
    // pulse counts once even though the level read is the stored one. A line here is routed
    // even if lines misses it.
    std::uint8_t pulses = 0;
    // StarterListImported: the starters' rows (at most 20, at least 1), each the texts of the
    // sheet's columns A to J; a row may be shorter, its missing cells are empty.
    QList<QStringList> table = {};
    // The pass the input names, by its id in the session (see Kind); 0: none named.
    std::uint32_t pass = 0;
    // Assign in a record: the lap limit or the finish refused the lap. The pass is used up
    // all the same, and stays so when the record is replayed after an earlier lap went.
    bool noLap = false;
    // SetupRestored: the set-up to restore.
    std::shared_ptr<const SessionSetup> setup = {};
    // InsertPass: the race time of the missed pass, ms from the start.
    std::int32_t raceTime = 0;
    // Corrections: who made it (the operator setting, else the login name) ...
    QString operatorName = {};
    // ... and the wall clock when it was made, ms since the epoch, for the trail.
    std::int64_t wallClockMs = 0;
};
