#pragma once

#include <QString>

#include <cstdint>

class RaceCore;

// What the light barriers' state tells the operator in the status bar while the port is
// open: a finish beam blocked for too long, and how long ago the last pass was counted.
// Empty when there is nothing to say. It never changes what the barriers do.
namespace BarrierHealth {

// A beam interrupted for longer than this is blocked, not a pass.
constexpr std::int32_t BlockedAfterMs = 5000;

QString text(const RaceCore &core, std::int32_t now);

} // namespace BarrierHealth
