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
    std::vector<std::int32_t> laps;
    laps.reserve(list.size());
    std::int32_t previous = startTick;
    for (const BookedPass &pass : list) {
        Row row{.pass = pass, .raceTime = TickDiff(pass.tick, startTick)};
        if (!pass.struck) {
            row.lap = int(laps.size()) + 1;
            row.lapTime = TickDiff(pass.tick, previous);
            // A pass soon after the previous pass (not the start) may be the same one twice.
            if (row.lap >= 2 && row.lapTime < DoubleWithinMs)
                row.flags |= Double;
            laps.push_back(row.lapTime);
            previous = pass.tick;
        }
        rows.push_back(row);
    }
    if (int(laps.size()) >= MedianMinimumLaps) {
        std::vector<std::int32_t> sorted = laps;
        std::sort(sorted.begin(), sorted.end());
        const std::size_t n = sorted.size();
        const std::int64_t median = n % 2 ? sorted[n / 2] : (std::int64_t(sorted[n / 2 - 1]) + sorted[n / 2]) / 2;
        for (Row &row : rows) {
            if (row.lap == 0)
                continue;
            if (2 * std::int64_t(row.lapTime) < median)
                row.flags |= Short;
            else if (std::int64_t(row.lapTime) > 2 * median)
                row.flags |= Long;
        }
    }
    return rows;
}

bool LapBook::flagged(int participant, std::int32_t startTick) const
{
    const auto list = rows(participant, startTick);
    return std::any_of(list.begin(), list.end(), [](const Row &r) { return r.flags != 0; });
}
