#include "ui/GridStyle.h"

namespace GridStyle {

QFont gridFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(GridLayout::GridFontPixels);
    font.setBold(true);
    return font;
}

QFont cellFont(const GridLayout::CellFormat &format)
{
    QFont font = gridFont();
    if (format.fontPoints)
        font.setPointSize(*format.fontPoints);
    if (format.bold)
        font.setBold(*format.bold);
    return font;
}

Qt::Alignment alignment(GridLayout::Align align)
{
    switch (align) {
    case GridLayout::Align::Left: return Qt::AlignLeft;
    case GridLayout::Align::Centre: return Qt::AlignHCenter;
    case GridLayout::Align::Right: break;
    }
    return Qt::AlignRight;
}

} // namespace GridStyle
