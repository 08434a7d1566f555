#pragma once

#include <QPixmap>

// Pictures the program draws itself.
namespace Pictures {
QPixmap gong(int size);
}
