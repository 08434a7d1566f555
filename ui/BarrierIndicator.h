#pragma once

#include "core/Controls.h"

#include <QLabel>

#include <optional>

class RaceSession;

// The light-barrier sign "ImageLS1": locked, armed or stopped, shown exactly while the
// serial port is open; a left click arms or locks the barriers.
class BarrierIndicator final : public QLabel
{
    Q_OBJECT

public:
    BarrierIndicator(RaceSession &session, QWidget *parent);

signals:
    // The start button makes room for the sign while it is shown.
    void shownChanged(bool shown);

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void showControls();

    RaceSession &mSession;
    std::optional<BarrierPicture> mShownPicture;
};
