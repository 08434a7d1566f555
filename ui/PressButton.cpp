#include "ui/PressButton.h"

#include <QMouseEvent>

void PressButton::mousePressEvent(QMouseEvent *event)
{
    QPushButton::mousePressEvent(event);
    if (isEnabled())
        emit mouseDown();
}
