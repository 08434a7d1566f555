#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// JPEG pictures decoded with libjpeg. Anything that is not a whole, readable JPEG of a
// sensible size gives a null image: a broken logo must never take the program down.
namespace JpegImage {

// Pictures larger than this (in pixels, width times height) are refused.
constexpr qint64 MaxPixels = 40'000'000;
// Files larger than this are not read at all.
constexpr qint64 MaxFileBytes = 64 * 1024 * 1024;

QImage decode(const QByteArray &data);
QImage load(const QString &path);

} // namespace JpegImage
