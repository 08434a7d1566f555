#include "ui/PublishControl.h"

#include "publish/PublishService.h"
#include "settings/ProgramSettings.h"

#include <QDateTime>
#include <QSettings>

namespace {
const QString Running = QStringLiteral("Veröffentlichung läuft");
const QString ErrorStyle = QStringLiteral("color: red; font-weight: bold;");
} // namespace

PublishControl::PublishControl(QSettings &store, QWidget *parent)
    : QLabel(parent)
    , mStore(store)
{
    setObjectName(QStringLiteral("PublishStatus"));
    setAccessibleName(QStringLiteral("Veröffentlichung im Internet"));
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setFixedWidth(PanelWidth);
    setVisible(false);
}

void PublishControl::setTarget(bool configured, bool plain)
{
    mConfigured = configured;
    mPlain = plain;
    if (mOn)
        showState(mState, mError);
}

void PublishControl::restore(bool on)
{
    setOn(on && mConfigured, false);
}

void PublishControl::toggle()
{
    if (!mOn && !mConfigured) {
        emit message(QStringLiteral("Veröffentlichung nicht eingerichtet: PublishUrl in der Einstellungsdatei fehlt"));
        return;
    }
    setOn(!mOn, true);
    if (!mOn)
        emit message(QStringLiteral("Veröffentlichung beendet"));
}

void PublishControl::refuse(const QString &reason)
{
    const bool was = mOn;
    mOn = false;
    showState(QStringLiteral("Veröffentlichung nicht möglich: ") + reason, true);
    if (was)
        emit switchedOff();
}

void PublishControl::published(const QDateTime &at)
{
    if (!mOn)
        return;
    showState(QStringLiteral("Veröffentlicht ") + at.toLocalTime().toString(QStringLiteral("HH:mm:ss")), false);
}

void PublishControl::failed(const QString &reason, int failuresInRow)
{
    // One or two misses in a row are the internet's weather; the last success stays shown.
    if (!mOn || failuresInRow < PublishService::FailuresShown)
        return;
    showState(QStringLiteral("Veröffentlichung fehlgeschlagen: ") + reason, true);
}

void PublishControl::setOn(bool on, bool save)
{
    if (save)
        ProgramSettings::writePublishOn(mStore, on);
    if (on == mOn)
        return;
    mOn = on;
    if (on) {
        showState(Running, false);
        emit switchedOn();
    } else {
        mState.clear();
        mError = false;
        clear();
        setToolTip({});
        setStyleSheet({});
        setVisible(false);
        emit switchedOff();
    }
}

void PublishControl::showState(const QString &text, bool error)
{
    mState = text;
    mError = error;
    const QString shown = mPlain && mOn ? text + QStringLiteral(" · unverschlüsselt") : text;
    setText(shown);
    // The panel is narrow; a long reason is read in full from the tooltip.
    setToolTip(shown);
    setStyleSheet(error ? ErrorStyle : QString());
    setVisible(true);
}
