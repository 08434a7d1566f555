#include "app/Program.h"

#include "app/PublishLogin.h"
#include "core/TickSource.h"
#include "input/ComPorts.h"
#include "input/EComError.h"
#include "input/TComPort.h"
#include "live/LiveService.h"
#include "live/PublishFiles.h"
#include "publish/PublishService.h"
#include "publish/PublishTarget.h"
#include "platform/DataFiles.h"
#include "platform/FileWorker.h"
#include "platform/JpegImage.h"
#include "platform/SoundPlayer.h"
#include "session/JournalRecorder.h"
#include "session/RaceSession.h"
#include "session/SessionTimers.h"
#include "session/SessionRecovery.h"
#include "settings/PublishPassword.h"
#include "ui/CorrectionsWindow.h"
#include "ui/LiveAddressDialog.h"
#include "ui/PublishControl.h"
#include "ui/Scoreboard.h"
#include "ui/SpreadsheetActions.h"
#include "ui/TCfgDialog.h"
#include "ui/TFDlgYesNo.h"
#include "ui/TFormInfo.h"
#include "ui/TFormMain.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHostAddress>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>

Program::Program(Services services, QSettings &store)
    : mStore(store)
    , mLoaded(ProgramSettings::read(store))
    , mSound(services.sound)
    , mSession(std::make_unique<RaceSession>(std::move(services.clock)))
{
    connect(mSession.get(), &RaceSession::soundRequested, this, [this](RaceObserver::Sound sound) {
        mSound.play(QString::fromLatin1(sound == RaceObserver::Sound::Gong ? TFormMain::GongSound : TFormMain::ContactSound));
    });

    // Every input that changes the race is in the journal before its effect is shown.
    const QString journalDir = services.journalDir.isEmpty()
        ? QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/journal")
        : services.journalDir;
    mJournal = std::make_unique<JournalRecorder>(*mSession, QDir(journalDir));
    mTimers = std::make_unique<SessionTimers>(*mSession);
    mJournalDir = journalDir;

    // The light barriers: every wake of the port's event thread is an input with its own tick.
    mComPort = std::make_unique<TComPort>(std::move(services.serial), mSession->clock());
    SerialSettings line = mComPort->Settings();
    line.BaudRateUser = 28800;
    line.FlowControl = TFlowControl::fcRtsCts; // RTS powers the start barrier
    line.DataBits = 5;
    line.WriteBufSize = line.ReadBufSize = 64;
    mComPort->setSettings(line);
    mComPort->setEvents(EV_CTS | EV_DSR | EV_RLSD);
    mComPort->setPort(0);
    mComPort->setReopenWhenBack(true);
    connect(mComPort.get(), &TComPort::lineEvent, this, [this](std::int32_t tick, int status, int lines, int pulses) {
        mSession->submit({.kind = RaceInput::Kind::LineEvent, .tick = tick, .value = status,
                          .lines = std::uint8_t(lines), .pulses = std::uint8_t(pulses)});
    });
    connect(mComPort.get(), &TComPort::OnOpen, this, [this] { mSession->submit({.kind = RaceInput::Kind::PortOpened}); });
    connect(mComPort.get(), &TComPort::OnClose, this, [this] { mSession->submit({.kind = RaceInput::Kind::PortClosed}); });

    // The ports are probed before the program opens its own, so that one is listed too.
    mPortPresence = ProbeComPorts();
    mFormMain = std::make_unique<TFormMain>(*mSession, TFormMain::Services{services.shell, services.printer});
    mFormMain->setWebAddress(mLoaded.webAddress);
    apply(mLoaded);

    const QImage logo = JpegImage::load(DataFiles::find(QStringLiteral("Logo.jpg")));
    mFormMain->setLogo(QPixmap::fromImage(logo));

    // The question dialog takes its caption from the main window, so it comes second.
    mQuestion = new TFDlgYesNo(mFormMain.get());
    mInfo = new TFormInfo(mFormMain.get(), services.shell, mLoaded.webAddress);
    mInfo->setLogo(QPixmap::fromImage(logo));
    mCfg = new TCfgDialog(mFormMain.get(), mPortPresence);
    mFileWorker = std::make_unique<FileWorker>();
    mSpreadsheet = new SpreadsheetActions(*mSession, *mFileWorker, services.shell, mFormMain.get());
    connect(mSpreadsheet, &SpreadsheetActions::message, mFormMain.get(), &TFormMain::showMessage);
    mFormMain->setSpreadsheetActions(mSpreadsheet);
    mFormMain->setDialogs(mQuestion, mInfo, mCfg);
    mFormMain->setCloseHandler([this] {
        mTimers->stop();
        mJournal->close(QStringLiteral("Programm beendet"));
        current().write(mStore);
    });
    connect(mJournal.get(), &JournalRecorder::failed, mFormMain.get(), [this](const QString &reason) {
        mFormMain->showPersistentError(QStringLiteral("Journal kann nicht geschrieben werden: ") + reason);
    });
    connect(mJournal.get(), &JournalRecorder::recovered, mFormMain.get(), &TFormMain::clearPersistentError);

    connect(mFormMain.get(), &TFormMain::portChosen, this, &Program::openPort);
    connect(mFormMain.get(), &TFormMain::scoreboardRequested, this, &Program::showScoreboard);
    connect(mFormMain.get(), &TFormMain::liveResultsToggled, this, &Program::toggleLiveResults);
    // Publishing to a web host: the switch and its panel, the password in the keyring (asked
    // for in the settings dialog), and what each upload carries.
    mPublishPassword = new PublishPassword(this);
    connect(mPublishPassword, &PublishPassword::writeFailed, mFormMain.get(),
            [this](const QString &, const QString &message) { mFormMain->showMessage(message); });
    connect(mPublishPassword, &PublishPassword::stored, mFormMain.get(), [this](const QString &account) {
        mFormMain->showMessage(QStringLiteral("Passwort für %1 im Schlüsselbund gespeichert").arg(account));
    });
    mCfg->setPublishTarget(mPublishPassword, mLoaded.publishUrl);
    mPublishControl = new PublishControl(mStore, mFormMain.get());
    mFormMain->addStatusPanel(mPublishControl);
    const auto target = PublishTarget::parse(mLoaded.publishUrl, mLoaded.publishAllowPlain);
    mPublishControl->setTarget(!mLoaded.publishUrl.isEmpty(),
                               std::holds_alternative<PublishTarget>(target) && std::get<PublishTarget>(target).plain());
    connect(mFormMain.get(), &TFormMain::publishToggled, mPublishControl, &PublishControl::toggle);
    connect(mPublishControl, &PublishControl::message, mFormMain.get(), &TFormMain::showMessage);
    mPublishLogin = new PublishLogin(*mPublishPassword, this);
    connect(mPublishControl, &PublishControl::switchedOn, mPublishLogin,
            [this] { mPublishLogin->gather(mLoaded.publishUrl, mLoaded.publishKeyFile(QDir::homePath())); });
    connect(mPublishControl, &PublishControl::switchedOff, mPublishLogin, &PublishLogin::cancel);
    // Without its password the target cannot be used: the panel says why, in red.
    connect(mPublishLogin, &PublishLogin::refused, mPublishControl, &PublishControl::refuse);
    QFile logoFile(DataFiles::find(QStringLiteral("Logo.jpg")));
    mPublishFiles = std::make_shared<PublishFiles>(mLoaded.webAddress,
                                                   logoFile.open(QIODevice::ReadOnly) ? logoFile.readAll() : QByteArray());
    // The uploader: its worker thread runs beside the race; a login ready starts it on the
    // target, switching off stops it, and every result reaches the panel.
    mPublish = std::make_unique<PublishService>(*mSession, PublishFiles::maker(mPublishFiles));
    connect(mPublishLogin, &PublishLogin::ready, this, [this](const PublishCredentials &credentials) {
        const auto parsed = PublishTarget::parse(mLoaded.publishUrl, mLoaded.publishAllowPlain);
        if (const QString *error = std::get_if<QString>(&parsed))
            return mPublishControl->refuse(*error);
        mPublishFiles->resendLogo();
        mPublish->start(std::get<PublishTarget>(parsed), credentials, mLoaded.publishInterval);
    });
    connect(mPublishControl, &PublishControl::switchedOff, mPublish.get(), &PublishService::stop);
    connect(mPublish.get(), &PublishService::published, mPublishControl, &PublishControl::published);
    connect(mPublish.get(), &PublishService::published, this, [this] { mPublishFiles->delivered(); });
    connect(mPublish.get(), &PublishService::failed, mPublishControl, &PublishControl::failed);

    connect(mComPort.get(), &TComPort::lost, mFormMain.get(), [this] {
        mFormMain->showMessage(QStringLiteral("Lichtschranke getrennt: ") + mComPort->DevicePath());
    });
    connect(mComPort.get(), &TComPort::reconnected, mFormMain.get(),
            [this] { mFormMain->showMessage(QStringLiteral("Lichtschranke wieder verbunden")); });
}

void Program::start()
{
    offerRecovery();
    if (mLoaded.port != 0)
        openPort(mLoaded.port);
    // Publishing comes back on as the operator left it, once the race it shows is settled.
    mPublishControl->restore(mLoaded.publishOn);
}

void Program::bringToFront()
{
    mFormMain->setWindowState(mFormMain->windowState() & ~Qt::WindowMinimized);
    mFormMain->show();
    mFormMain->raise();
    mFormMain->activateWindow();
}

void Program::offerRecovery()
{
    SessionRecovery recovery(*mSession, *mJournal);
    for (const QString &path : SessionRecovery::interrupted(QDir(mJournalDir))) {
        if (!recovery.read(path)) {
            QMessageBox::critical(mFormMain.get(), QStringLiteral("Chronolauf"),
                                  QStringLiteral("Die unterbrochene Sitzung kann nicht wiederhergestellt werden: %1\n%2")
                                      .arg(recovery.error(), QDir::toNativeSeparators(path)));
            continue;
        }
        // The operator can go on with one race only: the rest stay as they are, offered again next time.
        if (mQuestion->ask(QStringLiteral("Unterbrochene Sitzung wiederherstellen?"), false)) {
            recovery.restore();
            // The journal remembers the port as it was before the interruption; the sign shows
            // it as it is (closed until the port opens, right after this question).
            const bool open = mComPort->Connected();
            if (mSession->core().controls().barrierIndicatorVisible != open)
                mSession->submit({.kind = open ? RaceInput::Kind::PortOpened : RaceInput::Kind::PortClosed});
            mFormMain->showMessage(QStringLiteral("Sitzung wiederhergestellt"));
            return;
        }
        // Not closed, it is offered again at the next start; the operator hears why.
        if (!recovery.decline())
            mFormMain->showMessage(QStringLiteral("Journal kann nicht abgeschlossen werden: ") + recovery.error());
    }
}

void Program::showScoreboard()
{
    if (!mScoreboard) {
        mScoreboard = std::make_unique<Scoreboard>(*mSession);
        mFormMain->shareKeys(mScoreboard.get());
        // Meant for a second screen: it opens on one the main window is not on, if there is one.
        const QList<QScreen *> screens = QGuiApplication::screens();
        const auto other = std::find_if(screens.begin(), screens.end(), [this](QScreen *s) { return s != mFormMain->screen(); });
        if (other != screens.end())
            mScoreboard->move((*other)->availableGeometry().topLeft());
    }
    // A window that is shown already may be hidden behind others; a new one comes up on top.
    const bool shown = mScoreboard->isVisible();
    mScoreboard->show();
    if (shown)
        mScoreboard->raise();
    mScoreboard->activateWindow();
}

void Program::openPort(int port)
{
    mComPort->Close();
    mComPort->setPort(port);
    mFormMain->setPort(port);
    if (port == 0)
        return;
    // A port that cannot be opened leaves the barriers off (the indicator stays hidden) and is
    // tried again once a second; the operator learns which device is missing.
    try {
        mComPort->Open();
    } catch (const EComError &) {
        mFormMain->showMessage(QStringLiteral("Lichtschranke nicht gefunden: ") + mComPort->DevicePath());
    }
}

void Program::toggleLiveResults()
{
    if (!mLive) {
        mLive = std::make_unique<LiveService>(*mSession);
        connect(mLive.get(), &LiveService::started, this, [this](const QString &address) {
            mFormMain->setLiveAddress(QStringLiteral("Live: ") + address);
            if (!mLiveDialog) {
                mLiveDialog = new LiveAddressDialog(mFormMain.get());
                mFormMain->shareKeys(mLiveDialog);
            }
            mLiveDialog->showAddress(address);
        });
        connect(mLive.get(), &LiveService::failed, this, [this](const QString &error) {
            mFormMain->showMessage(QStringLiteral("Live-Ergebnisse nicht gestartet: ") + error);
        });
        connect(mLive.get(), &LiveService::stopped, this, [this] {
            mFormMain->setLiveAddress({});
            mFormMain->showMessage(QStringLiteral("Live-Ergebnisse beendet"));
            if (mLiveDialog)
                mLiveDialog->hide();
        });
    }
    if (mLive->isRunning())
        mLive->stop();
    else
        mLive->start(static_cast<quint16>(mLoaded.livePort),
                     mLoaded.liveBind.isEmpty() ? QHostAddress(QHostAddress::Any) : QHostAddress(mLoaded.liveBind));
}

Program::~Program()
{
    // The windows go first, while the session they show still exists; then the port, whose
    // last OnClose still reaches the session.
    mFileWorker.reset();
    mLive.reset();
    mPublish.reset();
    mScoreboard.reset();
    mFormMain.reset();
    mComPort.reset();
    mTimers.reset();
    // No END line: only a close that the operator granted ends a journal cleanly.
    mJournal.reset();
}

QString Program::baseName()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

void Program::apply(const ProgramSettings &s)
{
    using Kind = RaceInput::Kind;
    SessionSetup setup = mSession->core().setup();
    s.applyTo(setup);
    mSession->submit({.kind = Kind::SetupRestored, .setup = std::make_shared<const SessionSetup>(setup)});
    TFormMain &form = *mFormMain;
    // The stored height gives way to the height that fits every participant row.
    form.resize(s.width, form.height());
    if (s.left && s.top)
        form.move(*s.left, *s.top);
    form.Corrections->setOperatorName(s.operatorName());
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
    s.takeFrom(core.setup());
    s.port = form.port();
    return s;
}
