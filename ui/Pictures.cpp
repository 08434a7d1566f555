#include "ui/Pictures.h"

#include <QPainter>
#include <QRadialGradient>

namespace Pictures {

QPixmap gong(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
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
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
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

} // namespace Pictures
