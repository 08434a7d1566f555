#include "platform/QrCodeImage.h"

#include <QPainter>

#include <qrencode.h>

#include <memory>

QImage QrCodeImage(const QString &text, int moduleSize)
{
    const QByteArray bytes = text.toUtf8();
    // Level M: a screen photographed at an angle still reads, and an address stays small.
    const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString8bit(bytes.constData(), 0, QR_ECLEVEL_M), &QRcode_free);
    if (!code || moduleSize < 1)
        return {};
    constexpr int Quiet = 4;
    const int side = (code->width + 2 * Quiet) * moduleSize;
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    for (int y = 0; y < code->width; ++y)
        for (int x = 0; x < code->width; ++x)
            // Bit 0 of each byte is the module's colour.
            if (code->data[y * code->width + x] & 1)
                painter.fillRect((x + Quiet) * moduleSize, (y + Quiet) * moduleSize, moduleSize, moduleSize, Qt::black);
    return image;
}
