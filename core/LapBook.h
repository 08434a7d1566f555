#pragma once

#include "core/Correction.h"
#include "core/RaceTable.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// The passes booked to each participant, in the order their laps run, struck ones included.
// The race table's lap records are computed from these; corrections change them here.
class LapBook
{
public:
    // A pass this soon after the participant's previous one is likely the same pass twice.
    static constexpr std::int32_t DoubleWithinMs = 5000;
    // The median says nothing about fewer laps than this.
    static constexpr int MedianMinimumLaps = 3;

    // Hints that help to find a wrong lap; shown, never acted on.
    enum Flag : std::uint8_t {
        Short = 1,  // under half the participant's median lap
        Long = 2,   // over twice the median: a missed pass?
        Double = 4, // within DoubleWithinMs of the previous pass
    };

    // One pass as the corrections window lists it.
    struct Row
    {
        BookedPass pass;
        int lap = 0;                // 1.. for a counted pass, 0 for a struck one
        std::int32_t raceTime = 0;  // ms from the start to the pass
        std::int32_t lapTime = 0;   // ms from the previous counted pass (0 when struck)
        std::uint8_t flags = 0;     // Flag bits

        friend bool operator==(const Row &, const Row &) = default;
    };

    // Where a pass is booked.
    struct Place
    {
        int participant = 0;
        int index = 0;
    };

    void clear();
    const std::vector<BookedPass> &passes(int participant) const { return mPasses[std::size_t(participant)]; }
    void append(int participant, const BookedPass &pass) { mPasses[std::size_t(participant)].push_back(pass); }
    std::optional<Place> find(std::uint32_t id) const;
    const BookedPass &at(const Place &place) const { return mPasses[std::size_t(place.participant)][std::size_t(place.index)]; }
    void setStruck(const Place &place, bool struck);
    // Takes the pass out of its participant's list.
    BookedPass take(const Place &place);
    // Puts the pass among the participant's passes by its tick; returns its index.
    int insert(int participant, const BookedPass &pass, std::int32_t startTick);

    int countedLaps(int participant) const;
    // The lap a counted pass ends, 0 for a struck one.
    int lapOf(const Place &place) const;
    // Whether the participant has a pass at this tick already.
    bool hasPassAt(int participant, std::int32_t tick) const;
    // The participant's last counted pass, if any.
    const BookedPass *lastCounted(int participant) const;

    std::vector<Row> rows(int participant, std::int32_t startTick) const;
    // Whether any counted lap of the participant carries a flag.
    bool flagged(int participant, std::int32_t startTick) const;

    friend bool operator==(const LapBook &, const LapBook &) = default;

private:
    // The median of the participant's counted laps; none below MedianMinimumLaps laps.
    std::optional<std::int64_t> medianLap(int participant, std::int32_t startTick) const;
    static std::uint8_t flagsOf(int lap, std::int32_t lapTime, std::optional<std::int64_t> median);

    std::array<std::vector<BookedPass>, RaceTable::MaxParticipants + 1> mPasses;
};
