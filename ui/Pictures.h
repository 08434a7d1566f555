#pragma once

#include <QPixmap>

// Pictures the program draws itself.
namespace Pictures {
QPixmap gong(int size);
// The capture button's clock face.
QPixmap clockFace(int size);
}
