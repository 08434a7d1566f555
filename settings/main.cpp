#include "platform/BootClock.h"
#include "platform/DesktopShell.h"
#include "platform/QtSoundPlayer.h"
#include "ui/TFDlgYesNo.h"
#include "ui/TFormInfo.h"
#include "ui/TFormMain.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Chronolauf"));

    BootClock clock;
    DesktopShell shell;
    QtSoundPlayer sound({QString::fromLatin1(TFormMain::ContactSound), QString::fromLatin1(TFormMain::GongSound)});

    // The main window first, then the dialogs that serve it.
    TFormMain form(clock, sound, shell);
    auto *question = new TFDlgYesNo(&form);
    auto *info = new TFormInfo(&form, shell, form.webAddress());
    form.setDialogs(question, info);
    form.show();
    return QApplication::exec();
}
