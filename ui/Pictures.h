#pragma once

#include "core/Controls.h"

#include <QIcon>
#include <QPixmap>

// Pictures the program draws itself.
namespace Pictures {
QPixmap gong(int size);
// The capture button's clock face.
QPixmap clockFace(int size);
// The question dialog's blue speech bubble and its (unused) warning triangle.
QPixmap questionBubble(int size);
QPixmap warningTriangle(int size);
// The light-barrier indicator: locked, armed, session stopped.
QPixmap barrierSign(BarrierPicture picture, int size);
// A barrier output's contact: closed with red points for "NPN", open and grey for "PNP".
QPixmap contact(bool closed, int width, int height);
// A stopwatch: the program's icon.
QPixmap stopwatch(int size);
QIcon appIcon();
// The small chequered flag after the word mark.
QPixmap flag(int width, int height);

enum class Glyph { Help, Settings, Info, Spreadsheet, Web, StarterList, Corrections };
QPixmap buttonGlyph(Glyph glyph, int size);
} // namespace Pictures
