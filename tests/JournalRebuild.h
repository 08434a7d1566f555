#pragma once

#include "core/TickSource.h"
#include "session/JournalFormat.h"
#include "session/JournalReader.h"
#include "session/RaceSession.h"

#include <memory>
#include <optional>

// The session rebuilt from what its journal would hold: header and lines, written and read
// back; then, if asked, the running times refreshed at the tick the live session refreshed
// them last. Null if the journal does not read back.
inline std::unique_ptr<RaceSession> RebuildFromJournal(const RaceSession &live, std::optional<std::int32_t> refresh = std::nullopt)
{
    JournalHeader header;
    header.setup = live.setup();
    header.startTick = live.core().table().RaceStartTick;
    QByteArray journal = JournalFormat::headerLine(header);
    for (const RaceInput &input : live.history())
        JournalFormat::appendInputLine(journal, input);
    JournalReader reader;
    if (!reader.parse(journal))
        return nullptr;
    auto rebuilt = std::make_unique<RaceSession>(std::make_unique<ManualTickSource>(0), QLocale(QLocale::German, QLocale::Germany));
    rebuilt->restore(reader.header().rebuildSetup(), std::vector<RaceInput>(reader.inputs().begin(), reader.inputs().end()));
    if (refresh)
        rebuilt->submit({.kind = RaceInput::Kind::TimerAll, .tick = refresh});
    return rebuilt;
}
