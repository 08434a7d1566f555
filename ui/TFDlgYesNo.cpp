#include "ui/TFDlgYesNo.h"

#include "ui/DialogPlacement.h"
#include "ui/Pictures.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>

TFDlgYesNo::TFDlgYesNo(QWidget *mainWindow)
    : QDialog(mainWindow, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint)
    , mMainWindow(mainWindow)
{
    setObjectName(QStringLiteral("FDlgYesNo"));
    // The caption is the application's title as it stands when the dialog is made.
    setWindowTitle(mainWindow ? mainWindow->windowTitle() : QApplication::applicationDisplayName());
    setFixedSize(222, 94);
    setModal(true);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSize(8);
    setFont(font);

    Icon = new QLabel(this);
    Icon->setGeometry(12, 12, 32, 32);
    Icon->setPixmap(Pictures::questionBubble(32));
    Icon2 = new QLabel(this);
    Icon2->setGeometry(12, 12, 32, 32);
    Icon2->setPixmap(Pictures::warningTriangle(32));
    Icon2->hide();

    Label1 = new QLabel(QStringLiteral("?"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(48, 6, 169, 49);
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setWordWrap(true);

    OKBtn = new QPushButton(QStringLiteral("Ja"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setGeometry(30, 61, 75, 25);
    CancelBtn = new QPushButton(QStringLiteral("Nein"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setGeometry(117, 61, 75, 25);
    setTabOrder(OKBtn, CancelBtn);
    // Enter presses the focused button.
    OKBtn->setAutoDefault(true);
    CancelBtn->setAutoDefault(true);
    connect(OKBtn, &QPushButton::clicked, this, [this] { done(ResultYes); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { done(ResultCancel); });
}

bool TFDlgYesNo::ask(const QString &question, bool focusNo)
{
    Label1->setText(question);
    QPushButton *focus = focusNo ? CancelBtn : OKBtn;
    focus->setDefault(true);
    (focusNo ? OKBtn : CancelBtn)->setDefault(false);
    focus->setFocus();
    return exec() == ResultYes;
}

void TFDlgYesNo::reject()
{
    // Esc and the window's close button answer no.
    done(ResultCancel);
}

void TFDlgYesNo::showEvent(QShowEvent *event)
{
    CentreOver(this, mMainWindow);
    QDialog::showEvent(event);
    (CancelBtn->isDefault() ? CancelBtn : OKBtn)->setFocus();
}
