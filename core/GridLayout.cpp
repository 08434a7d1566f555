#include "core/GridLayout.h"

#include <numeric>

namespace GridLayout {

int NameColumnWidth(int gridWidth)
{
    const int others = std::accumulate(ColumnWidths.begin(), ColumnWidths.end(), 0);
    return gridWidth - others - StandingsGrid::ColumnCount - 5;
}

std::uint32_t RgbToBgr(int r, int g, int b)
{
    return std::uint32_t(r) | (std::uint32_t(g) << 8) | (std::uint32_t(b) << 16);
}

QString ShortenTitle(const QString &title, int width, const std::function<int(const QString &)> &textWidth)
{
    if (textWidth(title) <= width || title.size() <= 3)
        return title;
    QString shortened = title.left(title.size() - 2) + QStringLiteral("..");
    while (shortened.size() > 3 && textWidth(shortened) > width)
        shortened.remove(shortened.size() - 3, 1);
    return shortened;
}

} // namespace GridLayout
