#pragma once

#include <QImage>
#include <QString>

// A text as a QR code picture (black modules on white, a quiet zone of four modules), for a
// phone's camera. A null image when the text does not fit a QR code.
QImage QrCodeImage(const QString &text, int moduleSize);
