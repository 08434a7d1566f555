#pragma once

#include "core/GridLayout.h"

#include <QFont>

// The grid's fonts and alignments in Qt terms.
namespace GridStyle {
QFont gridFont();
QFont cellFont(const GridLayout::CellFormat &format);
Qt::Alignment alignment(GridLayout::Align align);
} // namespace GridStyle
