#include "platform/BootClock.h"
#include "platform/DesktopShell.h"
#include "platform/QtPagePrinter.h"
#include "platform/QtSoundPlayer.h"
#include "settings/Program.h"
#include "ui/TFormMain.h"

#include <QApplication>
#include <QSettings>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Chronolauf"));
    QApplication::setDesktopFileName(QStringLiteral("chronolauf"));

    BootClock clock;
    DesktopShell shell;
    QtSoundPlayer sound({QString::fromLatin1(TFormMain::ContactSound), QString::fromLatin1(TFormMain::GongSound)});
    QtPagePrinter printer;
    QSettings store(QString::fromLatin1(ProgramSettings::Organisation), Program::baseName());

    Program program(Services{clock, sound, shell, printer}, store);
    program.mainWindow().show();
    return QApplication::exec();
}
