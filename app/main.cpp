#include "app/Program.h"
#include "app/Replay.h"
#include "platform/BootClock.h"
#include "platform/DesktopShell.h"
#include "platform/LinuxSerialDevice.h"
#include "platform/QtPagePrinter.h"
#include "platform/QtSoundPlayer.h"
#include "platform/QtTranslations.h"
#include "ui/TFormMain.h"

#include <QApplication>
#include <QSettings>
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

    // The services outlive the program: the printer's thread is joined after the windows are gone.
    DesktopShell shell;
    QtSoundPlayer sound({QString::fromLatin1(TFormMain::ContactSound), QString::fromLatin1(TFormMain::GongSound)});
    QtPagePrinter printer;
    QSettings store(QString::fromLatin1(ProgramSettings::Organisation), Program::baseName());

    Program program({std::make_unique<BootClock>(), sound, shell, printer, std::make_unique<LinuxSerialDevice>()}, store);
    program.mainWindow().show();
    program.offerRecovery();
    return QApplication::exec();
}
