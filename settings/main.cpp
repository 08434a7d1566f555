#include "platform/BootClock.h"
#include "platform/QtSoundPlayer.h"
#include "ui/MessageBoxAsker.h"
#include "ui/TFormMain.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Chronolauf"));

    BootClock clock;
    QtSoundPlayer sound({QString::fromLatin1(TFormMain::ContactSound), QString::fromLatin1(TFormMain::GongSound)});
    MessageBoxAsker asker(nullptr);
    TFormMain form(clock, sound, asker);
    form.show();
    return QApplication::exec();
}
