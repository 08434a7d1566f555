#include "ui/BarrierIndicator.h"

#include "core/RaceCore.h"
#include "session/RaceSession.h"
#include "ui/Pictures.h"

#include <QMouseEvent>

BarrierIndicator::BarrierIndicator(RaceSession &session, QWidget *parent)
    : QLabel(parent)
    , mSession(session)
{
    setObjectName(QStringLiteral("ImageLS1"));
    setToolTip(QStringLiteral("[Ctrl+L]"));
    setCursor(Qt::PointingHandCursor);
    hide();
    connect(&mSession, &RaceSession::controlsChanged, this, &BarrierIndicator::showControls);
    showControls();
}

void BarrierIndicator::mouseReleaseEvent(QMouseEvent *event)
{
    // Only the left button arms or locks: a stray right or middle click must not change a race.
    if (event->button() != Qt::LeftButton) {
        QLabel::mouseReleaseEvent(event);
        return;
    }
    mSession.submit({.kind = RaceInput::Kind::ToggleArming});
    event->accept();
}

void BarrierIndicator::showControls()
{
    const Controls &c = mSession.core().controls();
    // Redrawn only when the picture changes: this runs with every clock tick.
    if (mShownPicture != c.barrierPicture) {
        setPixmap(Pictures::barrierSign(c.barrierPicture, 32));
        mShownPicture = c.barrierPicture;
    }
    if (isVisibleTo(parentWidget()) != c.barrierIndicatorVisible) {
        setVisible(c.barrierIndicatorVisible);
        emit shownChanged(c.barrierIndicatorVisible);
    }
}
