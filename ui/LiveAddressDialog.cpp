#include "ui/LiveAddressDialog.h"

#include "platform/QrCodeImage.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

LiveAddressDialog::LiveAddressDialog(QWidget *parent)
    : QDialog(parent)
    , mText(new QLabel(this))
    , mCode(new QLabel(this))
{
    setWindowTitle(QStringLiteral("Live-Ergebnisse im Netz"));
    setModal(false);
    setAttribute(Qt::WA_ShowWithoutActivating);
    auto *hint = new QLabel(QStringLiteral("Im selben Netz mit dem Browser öffnen oder den Code mit dem Telefon scannen:"), this);
    hint->setWordWrap(true);
    mText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    mText->setAlignment(Qt::AlignCenter);
    QFont big = mText->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    mText->setFont(big);
    mCode->setAlignment(Qt::AlignCenter);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("Schließen"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::hide);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(hint);
    layout->addWidget(mText);
    layout->addWidget(mCode);
    layout->addWidget(buttons);
}

void LiveAddressDialog::showAddress(const QString &address)
{
    mAddress = address;
    mText->setText(address);
    mCode->setPixmap(QPixmap::fromImage(QrCodeImage(address, 6)));
    adjustSize();
    // Beside the main window where the screen has room, else in its lower right corner: the
    // operator keeps the grid and the waiting times in sight.
    if (const QWidget *main = parentWidget()) {
        const QRect frame = main->frameGeometry();
        const QRect screen = main->screen()->availableGeometry();
        const QSize size = frameGeometry().size();
        QPoint place = frame.bottomRight() - QPoint(size.width(), size.height()) + QPoint(1, 1);
        if (frame.right() + size.width() <= screen.right())
            place = QPoint(frame.right() + 1, frame.top());
        move(place);
    }
    show();
    raise();
}
