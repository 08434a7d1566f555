#pragma once

#include <QPushButton>

// A button that acts when any mouse button goes down on it, not on release.
class PressButton final : public QPushButton
{
    Q_OBJECT
public:
    using QPushButton::QPushButton;

signals:
    void mouseDown();

protected:
    void mousePressEvent(QMouseEvent *event) override;
};
