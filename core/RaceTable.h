#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>

// The in-memory state of one timing session. Arrays indexed by participant or row are
// 1-based (index 0 unused) except RankSlots; nothing is allocated during a session.
struct RaceTable
{
    static constexpr int MaxParticipants = 20;
    static constexpr int RecordWords = 203;

    // Elements of a LapRecord: lap k sits at element k + 2, the latest pass tick right after the last lap.
    static constexpr int BestLapElement = 1;
    static constexpr int LapWordElement = 2;
    static constexpr int FirstLapElement = 3;

    static constexpr std::int32_t NoBestLap = 0x7FFFFFFF;
    static constexpr std::int32_t LapCountMask = 0x3FF;
    static constexpr std::int32_t FinishedFlag = 0x400;
    static constexpr std::int32_t OutFlag = 0x800;

    // RankSlots entries: participant in bits 27..31, mean lap time in bits 0..26.
    static constexpr std::uint32_t EmptySlot = 0x7FFFFFF;
    static constexpr int SlotShift = 27;

    using Record = std::array<std::int32_t, RecordWords>;

    std::int32_t RaceStartTick = 0;
    std::array<std::int32_t, MaxParticipants + 1> RowOfParticipant{};
    std::array<std::int32_t, MaxParticipants + 1> ParticipantAtRow{};
    std::array<Record, MaxParticipants + 1> ElapsedRecord{};
    std::array<Record, MaxParticipants + 1> LapRecord{};
    std::array<std::int32_t, MaxParticipants + 1> LastPassTick{};
    std::array<std::int32_t, MaxParticipants + 1> WarnSinceTick{};
    std::array<std::uint32_t, MaxParticipants> RankSlots{};
    std::int32_t CurrentParticipant = 0;
    bool ResortInProgress = false;

    std::int32_t &LapWord(int p) { return LapRecord[p][LapWordElement]; }
    std::int32_t LapWord(int p) const { return LapRecord[p][LapWordElement]; }
    std::int32_t &BestLap(int p) { return LapRecord[p][BestLapElement]; }
    std::int32_t BestLap(int p) const { return LapRecord[p][BestLapElement]; }
    // The highest lap count reached by anybody in this session (kept in the race record 0).
    std::int32_t &LeaderLaps() { return LapRecord[0][LapWordElement]; }
    std::int32_t LeaderLaps() const { return LapRecord[0][LapWordElement]; }

    int lapCount(int p) const { return LapWord(p) & LapCountMask; }
    // Tick of the participant's most recent booked pass (the race start before the first lap).
    std::int32_t latestPassTick(int p) const { return LapRecord[p][lapCount(p) + FirstLapElement]; }
    std::int32_t lapTime(int p, int lap) const { return LapRecord[p][lap + 2]; }
    std::int32_t raceTimeAtLap(int p, int lap) const { return ElapsedRecord[p][lap + 2]; }

    void setIdentityRowMaps(int n);

    friend bool operator==(const RaceTable &, const RaceTable &) = default;
};

// Grid column 1 text of a participant: "1".."10", then "F1".."F10".
QString KeyLabel(int participant);
// The participant a key label names: "F" plus digits gives 10 plus them, else the label's integer. 0 when unreadable.
int ParticipantOfLabel(QStringView label);
