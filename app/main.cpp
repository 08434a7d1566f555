#include "app/Program.h"
#include "platform/BootClock.h"
#include "platform/DesktopShell.h"
#include "platform/LinuxSerialDevice.h"
#include "platform/QtPagePrinter.h"
#include "platform/QtSoundPlayer.h"
#include "platform/QtTranslations.h"
#include "ui/TFormMain.h"

#include <QApplication>
#include <QSettings>

int main(int argc, char *argv[])
{
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
    return QApplication::exec();
}
