#include "app/Program.h"
#include "app/Replay.h"
#include "app/SingleInstance.h"
#include "platform/BootClock.h"
#include "platform/DesktopShell.h"
#include "platform/LinuxSerialDevice.h"
#include "platform/QtPagePrinter.h"
#include "platform/QtSoundPlayer.h"
#include "platform/QtTranslations.h"
#include "ui/TFormMain.h"

#include <QApplication>
#include <QMessageBox>
#include <QSettings>
#include <QStandardPaths>
#include <QTextStream>

int main(int argc, char *argv[])
{
    // A replay runs without a window: results from a journal, for audits and after the fact.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (Replay::Requested(arguments)) {
        QCoreApplication core(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("Chronolauf"));
        QSettings store(QString::fromLatin1(ProgramSettings::Organisation), Program::baseName());
        QTextStream err(stderr);
        return Replay::Run(arguments, ProgramSettings::read(store).webAddress, err);
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Chronolauf"));
    QApplication::setDesktopFileName(QStringLiteral("chronolauf"));
    installQtTranslations(app);

    // One program at a time: a second one would take the running race for an interrupted one.
    const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    SingleInstance instance(dataDir);
    switch (instance.acquire()) {
    case SingleInstance::Result::First: break;
    case SingleInstance::Result::Running: {
        const QString text = QString::fromUtf8(SingleInstance::RunningText);
        QTextStream(stderr) << text << "\n";
        instance.activateRunning();
        // Nobody could see or close a box on a platform without a screen.
        const QString platform = QGuiApplication::platformName();
        if (platform != QLatin1String("offscreen") && platform != QLatin1String("minimal"))
            QMessageBox::information(nullptr, QStringLiteral("Chronolauf"), text);
        instance.waitForDelivery(2000);
        return 0;
    }
    case SingleInstance::Result::Unavailable:
        QTextStream(stderr) << "Sperrdatei " << instance.lockPath() << " kann nicht angelegt werden\n";
        break;
    }

    // The services outlive the program: the printer's thread is joined after the windows are gone.
    DesktopShell shell;
    QtSoundPlayer sound({QString::fromLatin1(TFormMain::ContactSound), QString::fromLatin1(TFormMain::GongSound)});
    QtPagePrinter printer;
    QSettings store(QString::fromLatin1(ProgramSettings::Organisation), Program::baseName());

    Program program({std::make_unique<BootClock>(), sound, shell, printer, std::make_unique<LinuxSerialDevice>(),
                     dataDir + QStringLiteral("/journal")},
                    store);
    QObject::connect(&instance, &SingleInstance::activationRequested, &program, &Program::bringToFront);
    program.mainWindow().show();
    program.start();
    return QApplication::exec();
}
