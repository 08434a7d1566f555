#include "ui/Pictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace Pictures {
namespace {

QPixmap canvas(int width, int height)
{
    QPixmap pixmap(width, height);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

void centredText(QPainter &painter, const QRectF &rect, const QString &text, const QColor &colour, qreal pixels)
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(qMax(1, qRound(pixels)));
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(colour);
    painter.drawText(rect, Qt::AlignCenter, text);
}

} // namespace

QPixmap gong(int size)
{
    QPixmap pixmap = canvas(size, size);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF disc(1.5, 1.5, size - 3.0, size - 3.0);
    QRadialGradient shine(disc.center(), disc.width() / 2, disc.center() - QPointF(size / 6.0, size / 6.0));
    shine.setColorAt(0.0, QColor(255, 236, 150));
    shine.setColorAt(0.6, QColor(214, 160, 40));
    shine.setColorAt(1.0, QColor(140, 90, 10));
    painter.setPen(QPen(QColor(90, 55, 0), 1.2));
    painter.setBrush(shine);
    painter.drawEllipse(disc);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(120, 75, 5), 1.0));
    painter.drawEllipse(disc.adjusted(size / 4.0, size / 4.0, -size / 4.0, -size / 4.0));
    return pixmap;
}

QPixmap clockFace(int size)
{
    QPixmap pixmap = canvas(size, size);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF face(1.5, 1.5, size - 3.0, size - 3.0);
    painter.setPen(QPen(Qt::white, 2.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(face);
    const QPointF centre = face.center();
    painter.drawLine(centre, centre - QPointF(0, size * 0.32));
    painter.drawLine(centre, centre + QPointF(size * 0.22, 0));
    return pixmap;
}

QPixmap questionBubble(int size)
{
    QPixmap pixmap = canvas(size, size);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    QPainterPath bubble;
    bubble.addRoundedRect(QRectF(1, 1, s - 2, s * 0.72), s * 0.2, s * 0.2);
    QPainterPath tail;
    tail.moveTo(s * 0.25, s * 0.65);
    tail.lineTo(s * 0.18, s - 1);
    tail.lineTo(s * 0.5, s * 0.68);
    tail.closeSubpath();
    painter.setPen(QPen(QColor(0, 40, 140), 1.2));
    painter.setBrush(QColor(40, 100, 220));
    painter.drawPath(bubble.united(tail));
    centredText(painter, QRectF(0, 0, s, s * 0.74), QStringLiteral("?"), Qt::white, s * 0.6);
    return pixmap;
}

QPixmap warningTriangle(int size)
{
    QPixmap pixmap = canvas(size, size);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    const QPointF corners[3] = {{s / 2, 1.5}, {s - 1.5, s - 2}, {1.5, s - 2}};
    painter.setPen(QPen(Qt::black, 1.5));
    painter.setBrush(QColor(255, 215, 0));
    painter.drawPolygon(corners, 3);
    centredText(painter, QRectF(0, s * 0.25, s, s * 0.7), QStringLiteral("!"), Qt::black, s * 0.55);
    return pixmap;
}

QPixmap barrierSign(BarrierPicture picture, int size)
{
    QPixmap pixmap = canvas(size, size);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    const QRectF disc(1.5, 1.5, s - 3, s - 3);
    QColor fill;
    switch (picture) {
    case BarrierPicture::Locked: fill = QColor(210, 0, 0); break;
    case BarrierPicture::Armed: fill = QColor(0, 160, 0); break;
    case BarrierPicture::Stopped: fill = QColor(128, 128, 128); break;
    }
    painter.setPen(QPen(Qt::black, 1.2));
    painter.setBrush(fill);
    painter.drawEllipse(disc);
    painter.setPen(QPen(Qt::white, s * 0.12, Qt::SolidLine, Qt::RoundCap));
    if (picture == BarrierPicture::Armed) {
        const QPointF tick[3] = {{s * 0.28, s * 0.52}, {s * 0.44, s * 0.68}, {s * 0.72, s * 0.34}};
        painter.drawPolyline(tick, 3);
    } else {
        painter.drawLine(QPointF(s * 0.28, s / 2), QPointF(s * 0.72, s / 2));
    }
    return pixmap;
}

QPixmap contact(bool closed, int width, int height)
{
    QPixmap pixmap = canvas(width, height);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor colour = closed ? QColor(220, 0, 0) : QColor(128, 128, 128);
    const qreal y = height * 0.65;
    const QPointF left(width * 0.2, y);
    const QPointF right(width * 0.8, y);
    painter.setPen(QPen(colour, 2, Qt::SolidLine, Qt::RoundCap));
    // The switch arm: lying on both points when closed, raised from the left one when open.
    painter.drawLine(left, closed ? right : QPointF(width * 0.75, height * 0.15));
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawEllipse(left, 2.5, 2.5);
    painter.drawEllipse(right, 2.5, 2.5);
    return pixmap;
}

QPixmap stopwatch(int size)
{
    QPixmap pixmap = canvas(size, size);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 128, 0));
    painter.drawRect(QRectF(s * 0.42, 0, s * 0.16, s * 0.16));
    const QRectF face(s * 0.08, s * 0.14, s * 0.84, s * 0.84);
    painter.setPen(QPen(QColor(0, 128, 0), s * 0.08));
    painter.setBrush(QColor(192, 220, 192));
    painter.drawEllipse(face);
    painter.setPen(QPen(Qt::black, s * 0.05, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(face.center(), face.center() - QPointF(0, s * 0.28));
    painter.setPen(QPen(QColor(255, 0, 0), s * 0.05, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(face.center(), face.center() + QPointF(s * 0.22, s * 0.1));
    return pixmap;
}

QIcon appIcon()
{
    QIcon icon;
    for (const int size : {16, 32, 48, 64})
        icon.addPixmap(stopwatch(size));
    return icon;
}

QPixmap flag(int width, int height)
{
    QPixmap pixmap = canvas(width, height);
    QPainter painter(&pixmap);
    const int square = qMax(1, height / 4);
    for (int y = 0; y * square < height; ++y) {
        for (int x = 0; x * square < width; ++x)
            painter.fillRect(x * square, y * square, square, square, (x + y) % 2 ? Qt::black : Qt::white);
    }
    painter.setPen(Qt::black);
    painter.drawRect(0, 0, width - 1, height - 1);
    return pixmap;
}

QPixmap buttonGlyph(Glyph glyph, int size)
{
    QPixmap pixmap = canvas(size, size);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    const QRectF all(0, 0, s, s);
    switch (glyph) {
    case Glyph::Help:
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 90, 200));
        painter.drawEllipse(all.adjusted(1, 1, -1, -1));
        centredText(painter, all, QStringLiteral("?"), Qt::white, s * 0.7);
        break;
    case Glyph::Info:
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 128, 0));
        painter.drawEllipse(all.adjusted(1, 1, -1, -1));
        centredText(painter, all, QStringLiteral("i"), Qt::white, s * 0.7);
        break;
    case Glyph::Settings: {
        painter.translate(s / 2, s / 2);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(70, 70, 70));
        for (int i = 0; i < 8; ++i) {
            painter.drawRect(QRectF(-s * 0.07, -s * 0.46, s * 0.14, s * 0.2));
            painter.rotate(45);
        }
        painter.drawEllipse(QPointF(0, 0), s * 0.32, s * 0.32);
        painter.setBrush(QColor(220, 220, 220));
        painter.drawEllipse(QPointF(0, 0), s * 0.13, s * 0.13);
        break;
    }
    case Glyph::Spreadsheet: {
        const QRectF sheet = all.adjusted(2, 3, -2, -3);
        painter.setPen(QPen(QColor(0, 100, 0), 1));
        painter.setBrush(Qt::white);
        painter.drawRect(sheet);
        painter.fillRect(QRectF(sheet.left(), sheet.top(), sheet.width(), sheet.height() / 4), QColor(0, 128, 0));
        for (int i = 1; i < 4; ++i) {
            const qreal y = sheet.top() + sheet.height() * i / 4;
            const qreal x = sheet.left() + sheet.width() * i / 4;
            painter.drawLine(QPointF(sheet.left(), y), QPointF(sheet.right(), y));
            painter.drawLine(QPointF(x, sheet.top()), QPointF(x, sheet.bottom()));
        }
        break;
    }
    case Glyph::Web: {
        const QRectF globe = all.adjusted(2, 2, -2, -2);
        painter.setPen(QPen(QColor(0, 70, 160), 1.3));
        painter.setBrush(QColor(170, 210, 255));
        painter.drawEllipse(globe);
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(globe.adjusted(globe.width() * 0.3, 0, -globe.width() * 0.3, 0));
        painter.drawLine(QPointF(globe.left(), globe.center().y()), QPointF(globe.right(), globe.center().y()));
        painter.drawLine(QPointF(globe.center().x(), globe.top()), QPointF(globe.center().x(), globe.bottom()));
        break;
    }
    case Glyph::StarterList:
    case Glyph::Corrections: {
        // A page of lines; for the corrections one of them struck through in red.
        const QRectF page = all.adjusted(4, 2, -4, -2);
        painter.setPen(QPen(Qt::black, 1));
        painter.setBrush(QColor(255, 255, 230));
        painter.drawRect(page);
        for (int i = 1; i <= 4; ++i) {
            const qreal y = page.top() + page.height() * i / 5;
            painter.drawLine(QPointF(page.left() + 3, y), QPointF(page.right() - 3, y));
        }
        if (glyph == Glyph::StarterList)
            break;
        painter.setPen(QPen(QColor(200, 0, 0), s * 0.1, Qt::SolidLine, Qt::RoundCap));
        const qreal y = page.top() + page.height() * 2 / 5;
        painter.drawLine(QPointF(page.left() + 1, y), QPointF(page.right() - 1, y));
        break;
    }
    }
    return pixmap;
}

} // namespace Pictures
