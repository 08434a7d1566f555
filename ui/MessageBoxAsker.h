#pragma once

#include "ui/QuestionAsker.h"

class QWidget;

// A modal "Ja"/"Nein" box over the main window.
class MessageBoxAsker final : public QuestionAsker
{
public:
    explicit MessageBoxAsker(QWidget *parent) : mParent(parent) {}
    bool ask(const QString &question, bool focusNo) override;

private:
    QWidget *mParent;
};
