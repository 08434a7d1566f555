#pragma once

#include "core/CommandMap.h"

#include <QObject>

#include <functional>
#include <vector>

class QWidget;

// Looks every key pressed in the main window (or a window sharing its keys) up in the
// command table before the focused widget sees it. A bound key runs its command and is
// consumed, even when the command cannot act; unbound keys go on to the focused widget.
// Keys aimed at any other window (the corrections window's fields, a dialog) are left
// alone: they are text there.
class KeyDispatcher final : public QObject
{
    Q_OBJECT

public:
    using StateFn = std::function<KeyBindingState()>;
    using RunFn = std::function<void(const Command &)>;

    KeyDispatcher(QWidget *window, StateFn state, RunFn run);
    ~KeyDispatcher() override;

    // Another window whose keys run the main window's commands (the scoreboard on a second
    // screen has the focus, the race keys still book); forgotten when it is destroyed.
    void addWindow(QWidget *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *mWindow;
    // The windows added besides the main window; a handful at most, so a plain list.
    std::vector<QWidget *> mOthers;
    StateFn mState;
    RunFn mRun;
};
