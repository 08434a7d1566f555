#pragma once

#include "core/CommandMap.h"

#include <QObject>

#include <functional>

class QWidget;

// Looks every key pressed in the main window up in the command table before the focused
// widget sees it. A bound key runs its command and is consumed, even when the command
// cannot act; unbound keys go on to the focused widget.
class KeyDispatcher final : public QObject
{
    Q_OBJECT

public:
    using StateFn = std::function<KeyBindingState()>;
    using RunFn = std::function<void(const Command &)>;

    KeyDispatcher(QWidget *window, StateFn state, RunFn run);
    ~KeyDispatcher() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *mWindow;
    StateFn mState;
    RunFn mRun;
};
