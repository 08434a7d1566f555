#include "ui/WindowAccessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QWidget>

void WindowAccessibility::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(&WindowAccessibility::create);
        return true;
    }();
    Q_UNUSED(installed);
}

QAccessibleInterface *WindowAccessibility::create(const QString &className, QObject *object)
{
    // QAccessibleWidget names a window by its title unless an accessible name is set.
    if (object && object->isWidgetType() && (className == QLatin1String("CorrectionsWindow") || className == QLatin1String("Scoreboard")))
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Window);
    return nullptr;
}
