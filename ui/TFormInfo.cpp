#include "ui/TFormInfo.h"

#include "platform/Shell.h"
#include "ui/DialogPlacement.h"
#include "ui/Pictures.h"

#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

TFormInfo::TFormInfo(QWidget *mainWindow, Shell &shell, const QString &webAddress)
    : QDialog(mainWindow, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , mMainWindow(mainWindow)
    , mShell(shell)
    , mWebAddress(webAddress)
{
    setObjectName(QStringLiteral("FormInfo"));
    setWindowTitle(QStringLiteral("Information"));
    setFixedSize(256, 323);
    setModal(true);
    setAutoFillBackground(true);
    QPalette silver = palette();
    silver.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    setPalette(silver);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(9, 8, 238, 65);
    Image1->setAlignment(Qt::AlignCenter);
    Image1->setCursor(Qt::PointingHandCursor);
    Image1->installEventFilter(this);

    auto *panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setGeometry(12, 96, 49, 49);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setLineWidth(2);
    ImageICON = new QLabel(panel);
    ImageICON->setGeometry(8, 8, 32, 32);
    ImageICON->setPixmap(Pictures::stopwatch(32));

    Label1 = new QLabel(QStringLiteral("Chronolauf"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(70, 96, 174, 28);
    Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont nameFont(QStringLiteral("Arial"));
    nameFont.setPixelSize(19);
    nameFont.setBold(true);
    nameFont.setUnderline(true);
    Label1->setFont(nameFont);
    Label1->setStyleSheet(QStringLiteral("color: #800000;"));

    LabelVer = new QLabel(QStringLiteral("Version 1.8 (19.03.2010)"), this);
    LabelVer->setObjectName(QStringLiteral("LabelVer"));
    LabelVer->setGeometry(40, 128, 204, 22);
    LabelVer->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont versionFont(QStringLiteral("Arial"));
    versionFont.setPixelSize(15);
    LabelVer->setFont(versionFont);

    sOK = new QPushButton(QStringLiteral("Einverstanden"), this);
    sOK->setObjectName(QStringLiteral("sOK"));
    sOK->setGeometry(55, 282, 145, 28);
    sOK->setIcon(Pictures::barrierSign(BarrierPicture::Armed, 18));
    QFont okFont(QStringLiteral("Arial"));
    okFont.setPixelSize(15);
    okFont.setBold(true);
    sOK->setFont(okFont);
    sOK->setDefault(true);
    connect(sOK, &QPushButton::clicked, this, &QDialog::accept);
}

void TFormInfo::setLogo(const QPixmap &logo)
{
    Image1->setPixmap(logo.isNull() ? QPixmap() : logo.scaled(Image1->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

bool TFormInfo::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Image1 && event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        mShell.open(mWebAddress);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TFormInfo::showEvent(QShowEvent *event)
{
    CentreOver(this, mMainWindow);
    QDialog::showEvent(event);
}
