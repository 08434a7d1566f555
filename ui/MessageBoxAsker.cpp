#include "ui/MessageBoxAsker.h"

#include <QMessageBox>
#include <QPushButton>

bool MessageBoxAsker::ask(const QString &question, bool focusNo)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Chronolauf v1.8"), question, QMessageBox::NoButton, mParent);
    QPushButton *yes = box.addButton(QStringLiteral("Ja"), QMessageBox::YesRole);
    QPushButton *no = box.addButton(QStringLiteral("Nein"), QMessageBox::NoRole);
    box.setEscapeButton(no);
    box.setDefaultButton(focusNo ? no : yes);
    box.exec();
    return box.clickedButton() == yes;
}
