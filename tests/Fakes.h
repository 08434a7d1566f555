#pragma once

// Stand-ins for what cannot run here: the audio device, the desktop's opener, the printer,
// and an operator who answers questions as told.

#include "ClockView.h"
#include "platform/PagePrinter.h"
#include "platform/Shell.h"
#include "platform/SoundPlayer.h"
#include "ui/QuestionAsker.h"

#include <QStringList>

#include <functional>

class FakeSound final : public SoundPlayer
{
public:
    void play(const QString &fileName) override { played << fileName; }
    QStringList played;
};

class FakeShell final : public Shell
{
public:
    bool open(const QString &pathOrUrl) override
    {
        opened << pathOrUrl;
        return true;
    }
    QStringList opened;
};

// Records the pages and answers after print() has returned, as the real printer does.
class FakePrinter final : public PagePrinter
{
    Q_OBJECT

public:
    // What the next pages come to.
    enum class Outcome { Printed, NoPrinter };

    void print(const QString &htmlFile) override
    {
        printed << htmlFile;
        QMetaObject::invokeMethod(
            this,
            [this, answer = outcome] {
                if (answer == Outcome::Printed)
                    emit PagePrinter::printed(QStringLiteral("Testdrucker"));
                else
                    emit noPrinter();
            },
            Qt::QueuedConnection);
    }
    QStringList printed; // the pages asked for, in order
    Outcome outcome = Outcome::Printed;
};

class FakeAsker final : public QuestionAsker
{
public:
    bool ask(const QString &question, bool focusNo) override
    {
        asked << question;
        lastFocusNo = focusNo;
        if (whileAsking)
            whileAsking();
        return answer;
    }
    QStringList asked;
    bool answer = true;
    bool lastFocusNo = false;
    // Runs while the question is open, as the race's timers do behind a modal dialog.
    std::function<void()> whileAsking;
};
