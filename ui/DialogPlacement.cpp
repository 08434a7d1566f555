#include "ui/DialogPlacement.h"

#include <QWidget>

void CentreOver(QWidget *dialog, const QWidget *mainWindow)
{
    if (!mainWindow)
        return;
    QRect frame = dialog->frameGeometry();
    frame.moveCenter(mainWindow->frameGeometry().center());
    dialog->move(frame.topLeft());
}
