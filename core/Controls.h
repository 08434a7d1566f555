#pragma once

#include <QString>

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

    // seKrugs: LapLimit while idle, the leader's remaining laps during a session.
    bool lapsReadOnly = false;
    int lapsMinimum = 1;
    int lapsValue = 160;
};
