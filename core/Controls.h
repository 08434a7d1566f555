#pragma once

#include <QString>

#include <algorithm>
#include <cstdint>

enum class SessionState { Idle = 0, Running = 1, Ended = 2 };

// Colours are 0x00BBGGRR values.
namespace Colours {
constexpr std::uint32_t Lime = 0x00FF00;
constexpr std::uint32_t Green = 0x008000;
constexpr std::uint32_t Red = 0x0000FF;
constexpr std::uint32_t DarkRed = 0x00007F;
constexpr std::uint32_t Black = 0x000000;
constexpr std::uint32_t Grey = 0x808080;
} // namespace Colours

// Indicator pictures of the light barriers.
enum class BarrierPicture { Locked = 0, Armed = 1, Stopped = 2 };

// The light barriers as the settings dialog sets them; the defaults are those of a fresh
// settings file ("Alg1" 0, "Alg2" 0, "OneLuch" 1, "LockStopTime" 20). Travels in one int
// (pack/unpack) so that it can be the value of a recorded input.
struct BarrierSettings
{
    static constexpr int MinLockStopSeconds = 1;
    static constexpr int MaxLockStopSeconds = 999;

    bool startPnp = false;      // "Alg1" 1: the start barrier counts when CTS drops, not when it rises
    bool finishPnp = false;     // "Alg2" 1: the same for DSR and carrier detect
    bool oneBarrier = true;     // "OneLuch": the start barrier also captures passes while running
    int lockStopSeconds = 20;   // "LockStopTime": barriers locked this long after a start
    // "Alg1"/"Alg2" neither 0 nor 1 (a hand-edited settings file): that barrier never counts.
    bool startUnknown = false;
    bool finishUnknown = false;

    // The bits of pack(): bits 0..4 the flags, bits 8..17 the lock seconds.
    static constexpr int StartPnpBit = 0x01;
    static constexpr int FinishPnpBit = 0x02;
    static constexpr int OneBarrierBit = 0x04;
    static constexpr int StartUnknownBit = 0x08;
    static constexpr int FinishUnknownBit = 0x10;
    static constexpr int LockShift = 8;
    static constexpr int LockMask = 0x3FF;

    // The lock time is clamped both ways: the dialog brings any entry into 1..999.
    static int ClampLockStop(int seconds) { return std::clamp(seconds, MinLockStopSeconds, MaxLockStopSeconds); }

    int pack() const
    {
        return (startPnp ? StartPnpBit : 0) | (finishPnp ? FinishPnpBit : 0) | (oneBarrier ? OneBarrierBit : 0)
               | (startUnknown ? StartUnknownBit : 0) | (finishUnknown ? FinishUnknownBit : 0)
               | (ClampLockStop(lockStopSeconds) << LockShift);
    }

    static BarrierSettings unpack(int value)
    {
        return {.startPnp = (value & StartPnpBit) != 0,
                .finishPnp = (value & FinishPnpBit) != 0,
                .oneBarrier = (value & OneBarrierBit) != 0,
                .lockStopSeconds = ClampLockStop((value >> LockShift) & LockMask),
                .startUnknown = (value & StartUnknownBit) != 0,
                .finishUnknown = (value & FinishUnknownBit) != 0};
    }

    friend bool operator==(const BarrierSettings &, const BarrierSettings &) = default;
};

// What the main window's controls show and allow, decided by the session.
struct Controls
{
    QString startCaption = QStringLiteral("START");
    std::uint32_t startColour = Colours::Lime;
    std::uint32_t startHotColour = Colours::Lime;
    std::uint32_t startLightColour = Colours::Green;

    bool captureEnabled = false;      // bZeit, mZeit and its Space key
    bool digitKeysBound = false;      // main digits 1..9, 0 book participants 1..10
    bool ausEnabled = false;          // mAus
    bool outputsEnabled = false;      // sbExcel, sbWeb
    bool titleEnabled = true;         // eTitle
    bool setupEnabled = true;         // cbTip, seCarCount, bStartList, meTimeWarn, sbTimeWarn
    bool durationReadOnly = false;    // meTime
    bool gongVisible = false;         // ImageGong: the race duration has elapsed
    bool timer1Enabled = false;
    bool timerAllEnabled = false;
    bool timerLockStopEnabled = false;

    bool barriersArmed = false;       // ImageLS1's flag
    BarrierPicture barrierPicture = BarrierPicture::Locked;
    // ImageLS1 shows exactly while the barriers' serial port is open; bSTART2 moves aside for it.
    bool barrierIndicatorVisible = false;
    // TimerLockStop's interval in ms: the finish lock after a start.
    int lockStopInterval = 20000;
    // Counts restarts of a running finish lock (its length changed while it ran): on a change
    // the window starts TimerLockStop afresh with lockStopInterval. Enabling alone never restarts it.
    int lockStopRestarts = 0;

    // seKrugs: LapLimit while idle, the leader's remaining laps during a session.
    bool lapsReadOnly = false;
    int lapsMinimum = 1;
    int lapsValue = 160;

    friend bool operator==(const Controls &, const Controls &) = default;
};
