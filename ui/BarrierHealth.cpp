#include "ui/BarrierHealth.h"

#include "core/RaceCore.h"
#include "core/TickSource.h"
#include "core/TimeText.h"

QString BarrierHealth::text(const RaceCore &core, std::int32_t now)
{
    if (!core.controls().barrierIndicatorVisible)
        return {};
    if (const auto since = core.finishBlockedSince(); since && TickDiff(now, *since) > BlockedAfterMs)
        return QStringLiteral("Ziel-Lichtschranke blockiert");
    const auto last = core.lastFinishEvent();
    if (core.sessionState() != SessionState::Running || !last || TickDiff(*last, core.table().RaceStartTick) < 0)
        return {};
    // Whole seconds as M:SS, or H:MM:SS after an hour.
    const std::int32_t seconds = TickDiff(now, *last) / 1000;
    const QString ago = seconds < 3600 ? QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'))
                                       : TimeText::FormatClockSeconds(seconds);
    return QStringLiteral("letzte Durchfahrt vor ") + ago;
}
