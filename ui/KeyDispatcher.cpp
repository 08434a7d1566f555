#include "ui/KeyDispatcher.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

KeyDispatcher::KeyDispatcher(QWidget *window, StateFn state, RunFn run)
    : QObject(window)
    , mWindow(window)
    , mState(std::move(state))
    , mRun(std::move(run))
{
    qApp->installEventFilter(this);
}

KeyDispatcher::~KeyDispatcher()
{
    qApp->removeEventFilter(this);
}

bool KeyDispatcher::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride)
        return false;
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget || widget->window() != mWindow)
        return false;

    auto *key = static_cast<QKeyEvent *>(event);
    const std::optional<Command> command = CommandMap::lookup(key->key(), key->modifiers(), mState());
    if (!command)
        return false;
    if (type == QEvent::ShortcutOverride) {
        // Keep the key away from shortcuts; it arrives again as a key press.
        event->accept();
        return true;
    }
    // A held key repeats: only its first press acts.
    if (!key->isAutoRepeat())
        mRun(*command);
    return true;
}
