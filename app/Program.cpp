#include "app/Program.h"

#include "core/TickSource.h"
#include "platform/DataFiles.h"
#include "platform/JpegImage.h"
#include "platform/SoundPlayer.h"
#include "session/RaceSession.h"
#include "ui/TFDlgYesNo.h"
#include "ui/TFormInfo.h"
#include "ui/TFormMain.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>
#include <QTimer>

Program::Program(Services services, QSettings &store)
    : mStore(store)
    , mLoaded(ProgramSettings::read(store))
    , mSound(services.sound)
    , mSession(std::make_unique<RaceSession>(std::move(services.clock)))
{
    connect(mSession.get(), &RaceSession::soundRequested, this, [this](RaceObserver::Sound sound) {
        mSound.play(QString::fromLatin1(sound == RaceObserver::Sound::Gong ? TFormMain::GongSound : TFormMain::ContactSound));
    });

    mFormMain = std::make_unique<TFormMain>(*mSession, TFormMain::Services{services.shell, services.printer});
    mFormMain->setWebAddress(mLoaded.webAddress);
    apply(mLoaded);

    const QImage logo = JpegImage::load(DataFiles::find(QStringLiteral("Logo.jpg")));
    mFormMain->setLogo(QPixmap::fromImage(logo));

    // The question dialog takes its caption from the main window, so it comes second.
    mQuestion = new TFDlgYesNo(mFormMain.get());
    mInfo = new TFormInfo(mFormMain.get(), services.shell, mLoaded.webAddress);
    mInfo->setLogo(QPixmap::fromImage(logo));
    mFormMain->setDialogs(mQuestion, mInfo);
    mFormMain->setCloseHandler([this] { current().write(mStore); });
}

Program::~Program()
{
    // The windows go first, while the session they show still exists.
    mFormMain.reset();
}

QString Program::baseName()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

void Program::apply(const ProgramSettings &s)
{
    using Kind = RaceInput::Kind;
    RaceSession &session = *mSession;
    session.submit({.kind = Kind::CarCountChanged, .value = s.autos});
    session.submit({.kind = Kind::DurationEdited, .text = QString::number(s.time)});
    session.submit({.kind = Kind::TitleEdited, .text = s.title});
    session.submit({.kind = Kind::WarnTimeEdited, .text = s.timeWarn});
    session.submit({.kind = Kind::WarnTimeLeft});
    TFormMain &form = *mFormMain;
    form.TimerLockStop->setInterval(s.lockStopTime * 1000);
    // The stored height gives way to the height that fits every participant row.
    form.resize(s.width, form.height());
    if (s.left && s.top)
        form.move(*s.left, *s.top);
}

ProgramSettings Program::current() const
{
    const TFormMain &form = *mFormMain;
    const RaceCore &core = mSession->core();
    ProgramSettings s = mLoaded;
    s.left = form.x();
    s.top = form.y();
    s.width = form.width();
    s.height = form.height();
    s.autos = core.carCount();
    s.time = core.raceDuration();
    s.title = core.title();
    s.timeWarn = core.acceptedWarnText();
    s.lockStopTime = form.TimerLockStop->interval() / 1000;
    return s;
}
