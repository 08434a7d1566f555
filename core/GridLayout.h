#pragma once

#include "core/StandingsGrid.h"

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

// How the standings grid looks: column widths, and the format of every cell, computed
// afresh from the race state each time a cell is painted.
namespace GridLayout {

constexpr int TitleRowHeight = 30;
constexpr int RowHeight = 22;
constexpr int GridFontPixels = 16;
constexpr int TitleFontPoints = 10;
constexpr int CurrentTimeFontPoints = 14;

// Widths as built; the name column takes what the others leave.
constexpr std::array<int, StandingsGrid::ColumnCount> ColumnWidths = {38, 33, 38, 0, 32, 110, 86, 86, 86, 86, 86, 92};
int NameColumnWidth(int gridWidth);

// Colours as 0x00BBGGRR.
namespace Colour {
constexpr std::uint32_t Fixed = 0xA0BCA0;
constexpr std::uint32_t White = 0xFFFFFF;
constexpr std::uint32_t Black = 0x000000;
constexpr std::uint32_t Red = 0x0000FF;
constexpr std::uint32_t LapColumns = 0xE6E6E6;   // RGB 230,230,230
constexpr std::uint32_t GapToLeader = 0xC0FFC0;  // RGB 192,255,192
constexpr std::uint32_t GapAhead = 0xC0FFFF;     // RGB 255,255,192
constexpr std::uint32_t TotalTime = 0xC0C0FF;    // RGB 255,192,192
constexpr std::uint32_t LastBooked = 0xA0A0FF;   // RGB 255,160,160
} // namespace Colour

std::uint32_t RgbToBgr(int r, int g, int b);

enum class Align { Left, Centre, Right };

// What a cell's format changes; an empty field keeps the grid's default (fixed colour or
// white, or the selection colours for the focused cell; the bold 16-pixel grid font in black).
struct CellFormat
{
    std::optional<std::uint32_t> background;
    std::optional<std::uint32_t> fontColour;
    std::optional<int> fontPoints;
    std::optional<bool> bold;
    // A lap of the participant carries a hint worth a look in the corrections window.
    bool underline = false;
    Align align = Align::Right;

    friend bool operator==(const CellFormat &, const CellFormat &) = default;
};

// A title wider than its column ends in ".." and loses characters before them until it
// fits or only three characters are left.
QString ShortenTitle(const QString &title, int width, const std::function<int(const QString &)> &textWidth);

} // namespace GridLayout
