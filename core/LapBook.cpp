#include "core/LapBook.h"

#include "core/TickSource.h"

#include <algorithm>

void LapBook::clear()
{
    for (auto &passes : mPasses)
        passes.clear();
}

std::optional<LapBook::Place> LapBook::find(std::uint32_t id) const
{
    for (int p = 1; p <= RaceTable::MaxParticipants; ++p) {
        const auto &list = mPasses[std::size_t(p)];
        const auto it = std::find_if(list.begin(), list.end(), [id](const BookedPass &b) { return b.id == id; });
        if (it != list.end())
            return Place{p, int(it - list.begin())};
    }
    return std::nullopt;
}

void LapBook::setStruck(const Place &place, bool struck)
{
    mPasses[std::size_t(place.participant)][std::size_t(place.index)].struck = struck;
}

BookedPass LapBook::take(const Place &place)
{
    auto &list = mPasses[std::size_t(place.participant)];
    const BookedPass pass = list[std::size_t(place.index)];
    list.erase(list.begin() + place.index);
    return pass;
}

int LapBook::insert(int participant, const BookedPass &pass, std::int32_t startTick)
{
    auto &list = mPasses[std::size_t(participant)];
    // Before the first pass that came later; ticks count from the start, as the clock may wrap.
    const std::int32_t at = TickDiff(pass.tick, startTick);
    const auto it = std::find_if(list.begin(), list.end(),
                                 [&](const BookedPass &b) { return TickDiff(b.tick, startTick) > at; });
    const auto inserted = list.insert(it, pass);
    return int(inserted - list.begin());
}

int LapBook::countedLaps(int participant) const
{
    const auto &list = mPasses[std::size_t(participant)];
    return int(std::count_if(list.begin(), list.end(), [](const BookedPass &b) { return !b.struck; }));
}

int LapBook::lapOf(const Place &place) const
{
    const auto &list = mPasses[std::size_t(place.participant)];
    if (list[std::size_t(place.index)].struck)
        return 0;
    return int(std::count_if(list.begin(), list.begin() + place.index + 1, [](const BookedPass &b) { return !b.struck; }));
}

bool LapBook::hasPassAt(int participant, std::int32_t tick) const
{
    const auto &list = mPasses[std::size_t(participant)];
    return std::any_of(list.begin(), list.end(), [tick](const BookedPass &b) { return b.tick == tick; });
}

const BookedPass *LapBook::lastCounted(int participant) const
{
    const auto &list = mPasses[std::size_t(participant)];
    const auto it = std::find_if(list.rbegin(), list.rend(), [](const BookedPass &b) { return !b.struck; });
    return it == list.rend() ? nullptr : &*it;
}

std::vector<LapBook::Row> LapBook::rows(int participant, std::int32_t startTick) const
{
    std::vector<Row> rows;
    const auto &list = mPasses[std::size_t(participant)];
    rows.reserve(list.size());
    std::int32_t previous = startTick;
    int laps = 0;
    for (const BookedPass &pass : list) {
        Row row{.pass = pass, .raceTime = TickDiff(pass.tick, startTick)};
        if (!pass.struck) {
            row.lap = ++laps;
            row.lapTime = TickDiff(pass.tick, previous);
            previous = pass.tick;
        }
        rows.push_back(row);
    }
    const std::optional<std::int64_t> median = medianLap(participant, startTick);
    for (Row &row : rows) {
        if (row.lap != 0)
            row.flags = flagsOf(row.lap, row.lapTime, median);
    }
    return rows;
}

std::optional<std::int64_t> LapBook::medianLap(int participant, std::int32_t startTick) const
{
    // At most the lap limit's 160 laps and a few struck passes: the stack holds them.
    std::array<std::int32_t, RaceTable::RecordWords> laps;
    std::size_t n = 0;
    std::int32_t previous = startTick;
    for (const BookedPass &pass : mPasses[std::size_t(participant)]) {
        if (pass.struck || n == laps.size())
            continue;
        laps[n++] = TickDiff(pass.tick, previous);
        previous = pass.tick;
    }
    if (int(n) < MedianMinimumLaps)
        return std::nullopt;
    const auto middle = laps.begin() + std::ptrdiff_t(n / 2);
    std::nth_element(laps.begin(), middle, laps.begin() + std::ptrdiff_t(n));
    if (n % 2)
        return *middle;
    const std::int32_t below = *std::max_element(laps.begin(), middle);
    return (std::int64_t(below) + *middle) / 2;
}

std::uint8_t LapBook::flagsOf(int lap, std::int32_t lapTime, std::optional<std::int64_t> median)
{
    std::uint8_t flags = 0;
    // A pass soon after the previous pass (not the start) may be the same one twice.
    if (lap >= 2 && lapTime < DoubleWithinMs)
        flags |= Double;
    if (median && 2 * std::int64_t(lapTime) < *median)
        flags |= Short;
    else if (median && std::int64_t(lapTime) > 2 * *median)
        flags |= Long;
    return flags;
}

bool LapBook::flagged(int participant, std::int32_t startTick) const
{
    const std::optional<std::int64_t> median = medianLap(participant, startTick);
    std::int32_t previous = startTick;
    int lap = 0;
    for (const BookedPass &pass : mPasses[std::size_t(participant)]) {
        if (pass.struck)
            continue;
        if (flagsOf(++lap, TickDiff(pass.tick, previous), median) != 0)
            return true;
        previous = pass.tick;
    }
    return false;
}
