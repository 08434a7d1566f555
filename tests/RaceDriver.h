#pragma once

#include "core/RaceCore.h"
#include "core/TimeText.h"

#include <QLocale>
#include <QStringList>

// Drives a race core the way the main window does, on a clock the test moves by hand.
class RecordingObserver : public RaceObserver
{
public:
    void playSound(Sound sound) override { sounds.append(sound == Sound::Gong ? "gong" : "contact"); }
    void focusPendingList() override { ++focusRequests; }
    QStringList sounds;
    int focusRequests = 0;
};

class RaceDriver
{
public:
    using Kind = RaceInput::Kind;

    RaceDriver()
        : core(QLocale(QLocale::German, QLocale::Germany))
    {
        core.setObserver(&observer);
    }

    void at(std::int32_t tick) { now = tick; }
    void send(Kind kind, int value = 0, bool confirmed = false, const QString &text = {})
    {
        core.apply({.kind = kind, .tick = now, .value = value, .confirmed = confirmed, .text = text});
    }
    void start()
    {
        send(Kind::StartCommand);
        nextTimer1 = now + 450;
    }
    // Answers the start command's question as it stands now (stop, or new session).
    void stop(bool yes = true)
    {
        const auto question = core.startQuestion();
        core.apply({.kind = Kind::StartCommand, .tick = now, .confirmed = yes,
                    .answers = question ? question->id : RaceInput::Question::None});
    }
    void capture() { send(Kind::CapturePass); }
    // One wake of the serial event thread at the current tick: changed lines, modem status, pulsed lines.
    void line(int lines, int status, int pulses = 0)
    {
        core.apply({.kind = Kind::LineEvent, .tick = now, .value = status, .lines = std::uint8_t(lines),
                    .pulses = std::uint8_t(pulses)});
    }
    // The settings dialog's OK.
    void barriers(const BarrierSettings &settings) { send(Kind::BarrierSettingsChanged, settings.pack()); }
    void assign(int p) { send(Kind::Assign, p); }
    // The operator presses a participant's key at tick; with no pending time the key press is the pass.
    void book(int p, std::int32_t tick)
    {
        at(tick);
        assign(p);
    }
    // Runs both session timers up to tick, as the window's timers would.
    void runTimersTo(std::int32_t tick)
    {
        while (nextTimer1 <= tick) {
            at(nextTimer1);
            send(Kind::Timer1);
            nextTimer1 += 450;
        }
        at(tick);
        send(Kind::TimerAll);
    }

    const QString &cell(int column, int row) const { return core.grid().cell(column, row); }
    int rowOf(int p) const { return core.table().RowOfParticipant[p]; }
    const QString &cellOf(int column, int p) const { return cell(column, rowOf(p)); }
    static QString time(std::int32_t ms) { return TimeText::FormatRaceTime(ms, QLatin1Char(',')); }

    RaceCore core;
    RecordingObserver observer;
    std::int32_t now = 0;
    std::int32_t nextTimer1 = 450;
};
