#pragma once

#include "ui/QuestionAsker.h"

#include <QDialog>

class QLabel;
class QPushButton;

// The program's yes/no question. One instance serves every question of the run.
class TFDlgYesNo final : public QDialog, public QuestionAsker
{
    Q_OBJECT

public:
    // Modal results, as the callers compare them.
    static constexpr int ResultYes = 6;
    static constexpr int ResultCancel = 2;

    explicit TFDlgYesNo(QWidget *mainWindow);

    // Shows the question modally; true only for "Ja". focusNo puts the focus on "Nein",
    // otherwise "Ja" has it.
    bool ask(const QString &question, bool focusNo) override;

    QLabel *Label1 = nullptr;
    QLabel *Icon = nullptr;
    QLabel *Icon2 = nullptr;
    QPushButton *OKBtn = nullptr;
    QPushButton *CancelBtn = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void reject() override;

private:
    QWidget *mMainWindow;
};
