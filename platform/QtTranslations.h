#pragma once

#include <QLocale>

class QCoreApplication;

// Loads Qt's own translations (dialog buttons, text field menus, file and print dialogs) for the
// system language and installs them on the application; true when Qt's base catalog was found.
bool installQtTranslations(QCoreApplication &app, const QLocale &locale = QLocale::system());
