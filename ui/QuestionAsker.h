#pragma once

#include <QString>

// Asks the operator a yes/no question and tells whether "Ja" was chosen.
class QuestionAsker
{
public:
    virtual ~QuestionAsker() = default;
    virtual bool ask(const QString &question, bool focusNo) = 0;
};
