#pragma once

#include <QColor>

#include <cstdint>

// Colours are kept as 0x00BBGGRR values.
inline QColor fromBgr(std::uint32_t bgr)
{
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}
