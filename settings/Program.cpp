#include "settings/Program.h"

#include "platform/DataFiles.h"
#include "platform/JpegImage.h"
#include "ui/TFDlgYesNo.h"
#include "ui/TFormInfo.h"
#include "ui/TFormMain.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>
#include <QTimer>

Program::Program(const Services &services, QSettings &store)
    : mStore(store)
    , mLoaded(ProgramSettings::read(store))
{
    mFormMain = std::make_unique<TFormMain>(services);
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

Program::~Program() = default;

QString Program::baseName()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

void Program::apply(const ProgramSettings &s)
{
    using Kind = RaceInput::Kind;
    TFormMain &form = *mFormMain;
    form.input({Kind::CarCountChanged, 0, s.autos});
    form.input({Kind::DurationEdited, 0, 0, false, QString::number(s.time)});
    form.input({Kind::TitleEdited, 0, 0, false, s.title});
    form.input({Kind::WarnTimeEdited, 0, 0, false, s.timeWarn});
    form.TimerLockStop->setInterval(s.lockStopTime * 1000);
    // The stored height gives way to the height that fits every participant row.
    form.resize(s.width, form.height());
    if (s.left && s.top)
        form.move(*s.left, *s.top);
}

ProgramSettings Program::current() const
{
    const TFormMain &form = *mFormMain;
    ProgramSettings s = mLoaded;
    s.left = form.x();
    s.top = form.y();
    s.width = form.width();
    s.height = form.height();
    s.autos = form.core().carCount();
    s.time = form.core().raceDuration();
    s.title = form.core().title();
    s.timeWarn = form.core().warnText();
    s.lockStopTime = form.TimerLockStop->interval() / 1000;
    return s;
}
