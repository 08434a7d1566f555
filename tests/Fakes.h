#pragma once

// Stand-ins for what cannot run here: the audio device, the desktop's opener, the printer,
// and an operator who answers questions as told.

#include "platform/PagePrinter.h"
#include "platform/Shell.h"
#include "platform/SoundPlayer.h"
#include "ui/QuestionAsker.h"

#include <QStringList>

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

class FakePrinter final : public PagePrinter
{
public:
    void print(QWidget *, const QString &htmlFile) override { printed << htmlFile; }
    QStringList printed;
};

class FakeAsker final : public QuestionAsker
{
public:
    bool ask(const QString &question, bool focusNo) override
    {
        asked << question;
        lastFocusNo = focusNo;
        return answer;
    }
    QStringList asked;
    bool answer = true;
    bool lastFocusNo = false;
};
