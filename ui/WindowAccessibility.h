#pragma once

#include <QString>

class QAccessibleInterface;
class QObject;

// Our own top-level windows (the corrections window, the scoreboard) are plain widgets, which
// a screen reader would hear as a client area or a filler. This factory makes them windows,
// named by their window titles.
class WindowAccessibility final
{
public:
    // Installs the factory once; every later call does nothing. Call it before the window's
    // accessible interface is first asked for, which caches it.
    static void install();

private:
    static QAccessibleInterface *create(const QString &className, QObject *object);
};
