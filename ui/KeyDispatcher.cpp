#include "ui/KeyDispatcher.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include <algorithm>

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

void KeyDispatcher::addWindow(QWidget *window)
{
    if (!window || window == mWindow || std::find(mOthers.begin(), mOthers.end(), window) != mOthers.end())
        return;
    mOthers.push_back(window);
    connect(window, &QObject::destroyed, this, [this, window] { std::erase(mOthers, window); });
}

bool KeyDispatcher::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride)
        return false;
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget)
        return false;
    const QWidget *window = widget->window();
    if (window != mWindow && std::find(mOthers.begin(), mOthers.end(), window) == mOthers.end())
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
