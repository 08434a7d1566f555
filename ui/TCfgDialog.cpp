#include "ui/TCfgDialog.h"

#include "input/ComPorts.h"
#include "ui/DialogPlacement.h"
#include "ui/Pictures.h"
#include "settings/PublishPassword.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QStyledItemDelegate>

namespace {

constexpr int PictureWidth = 41;
constexpr int PictureHeight = 16;
constexpr int DialogWidth = 300;
constexpr int DialogHeight = 178;
constexpr int ButtonTop = 138;
constexpr int NoStartHeight = 16; // the line the start-barrier hint takes below the group
constexpr int PasswordHeight = 44; // the publishing password's label and field, when asked

// Draws "NPN" and "PNP" with their contact pictures; a disabled box shows only its background.
class OutputTypeDelegate final : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const bool selected = option.state & QStyle::State_Selected;
        painter->fillRect(option.rect, selected ? option.palette.highlight() : option.palette.base());
        if (!(option.state & QStyle::State_Enabled))
            return;
        painter->drawPixmap(option.rect.left() + 20, option.rect.top(), Pictures::contact(index.row() == 0, PictureWidth, PictureHeight));
        painter->setPen(selected ? option.palette.highlightedText().color() : option.palette.text().color());
        painter->drawText(option.rect.adjusted(1, 1, 0, 0), Qt::AlignLeft | Qt::AlignTop, index.data().toString());
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        return {QStyledItemDelegate::sizeHint(option, index).width() + PictureWidth + 20, PictureHeight};
    }
};

// The label is the field's buddy and its accessible name: without it a screen reader names
// the field after the group's frame.
void labelField(QLabel *label, QWidget *field)
{
    label->setBuddy(field);
    field->setAccessibleName(label->text().trimmed());
}

} // namespace

TCfgDialog::TCfgDialog(QWidget *mainWindow, std::uint32_t portPresence)
    : QDialog(mainWindow, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
    , mMainWindow(mainWindow)
{
    setObjectName(QStringLiteral("CfgDialog"));
    setWindowTitle(QStringLiteral("Einstellungen"));
    setModal(true);
    setFixedSize(DialogWidth, DialogHeight);
    QFont font = this->font();
    font.setPointSize(8);
    setFont(font);

    auto *group = new QGroupBox(QStringLiteral(" Lichtschranke/n "), this);
    group->setGeometry(12, 6, 276, 120);

    auto *portLabel = new QLabel(QStringLiteral("Port:"), group);
    portLabel->setGeometry(8, 26, 32, 21);
    cbPort = new QComboBox(group);
    cbPort->setObjectName(QStringLiteral("cbPort"));
    cbPort->setGeometry(40, 26, 72, 21);
    cbPort->setMaxVisibleItems(20);
    cbPort->addItems(PortItems(portPresence));
    cbPort->setEnabled(false);
    labelField(portLabel, cbPort);

    // " Ausgang: " sits on the frame above the two output-type boxes.
    auto *output = new QLabel(QStringLiteral(" Ausgang: "), group);
    output->setGeometry(196, 0, 60, 14);
    output->setAutoFillBackground(true);

    LabelStart = new QLabel(QStringLiteral("Start (7+8):"), group);
    LabelStart->setObjectName(QStringLiteral("LabelStart"));
    LabelStart->setGeometry(120, 26, 74, 21);
    LabelStart->setEnabled(false);
    cbAlg1 = outputTypeBox(QStringLiteral("Kontakt 7+8"));
    cbAlg1->setObjectName(QStringLiteral("cbAlg1"));
    cbAlg1->setGeometry(196, 26, 72, 21);
    labelField(LabelStart, cbAlg1);

    cbLuch2 = new QCheckBox(group);
    cbLuch2->setObjectName(QStringLiteral("cbLuch2"));
    cbLuch2->setGeometry(104, 56, 16, 21);
    cbLuch2->setEnabled(false);
    LabelStop1 = new QLabel(QStringLiteral("Ziel (4+6):"), group);
    LabelStop1->setObjectName(QStringLiteral("LabelStop1"));
    LabelStop1->setGeometry(120, 56, 74, 21);
    LabelStop1->setEnabled(false);
    cbAlg2 = outputTypeBox(QStringLiteral("Kontakt 4+6"));
    cbAlg2->setObjectName(QStringLiteral("cbAlg2"));
    cbAlg2->setGeometry(196, 56, 72, 21);
    labelField(LabelStop1, cbAlg2);
    // The box has no text of its own: it switches the finish barrier at contacts 4+6 on.
    cbLuch2->setAccessibleName(QStringLiteral("Zweite Lichtschranke"));

    LabelPath = new QLabel(group);
    LabelPath->setObjectName(QStringLiteral("LabelPath"));
    LabelPath->setGeometry(8, 56, 94, 21);
    QFont small = LabelPath->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    LabelPath->setFont(small);
    LabelAbsent = new QLabel(QStringLiteral("nicht angeschlossen"), group);
    LabelAbsent->setObjectName(QStringLiteral("LabelAbsent"));
    LabelAbsent->setGeometry(LabelPath->geometry());
    LabelAbsent->setFont(small);
    LabelAbsent->setStyleSheet(QStringLiteral("color: #C00000"));
    LabelAbsent->hide();
    // Below the group, right-aligned under the start type; the dialog grows by its line only when it shows.
    LabelNoStart = new QLabel(QStringLiteral("Startlichtschranke an diesem Anschluss nicht möglich"), this);
    LabelNoStart->setObjectName(QStringLiteral("LabelNoStart"));
    LabelNoStart->setGeometry(12, 128, 276, NoStartHeight);
    LabelNoStart->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    LabelNoStart->setFont(small);
    LabelNoStart->setStyleSheet(QStringLiteral("color: #C00000"));
    LabelNoStart->hide();

    auto *lock = new QLabel(QStringLiteral("Ziel-Sperre nach dem START:"), group);
    lock->setGeometry(8, 88, 168, 21);
    seLock = new QSpinBox(group);
    seLock->setObjectName(QStringLiteral("seLock"));
    seLock->setRange(BarrierSettings::MinLockStopSeconds, BarrierSettings::MaxLockStopSeconds);
    seLock->setGeometry(178, 88, 52, 21);
    labelField(lock, seLock);
    auto *seconds = new QLabel(QStringLiteral("Sek."), group);
    seconds->setGeometry(236, 88, 32, 21);

    // Asked only for a target that logs in with a password; hidden otherwise.
    LabelPassword = new QLabel(QStringLiteral("Passwort für die Veröffentlichung:"), this);
    LabelPassword->setObjectName(QStringLiteral("LabelPassword"));
    ePassword = new QLineEdit(this);
    ePassword->setObjectName(QStringLiteral("ePassword"));
    ePassword->setEchoMode(QLineEdit::Password);
    labelField(LabelPassword, ePassword);
    LabelPassword->hide();
    ePassword->hide();

    CancelBtn = new QPushButton(QStringLiteral("Abbrechen"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setGeometry(12, ButtonTop, 130, 28);
    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setGeometry(158, ButtonTop, 130, 28);
    OKBtn->setDefault(true);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    connect(cbPort, &QComboBox::currentIndexChanged, this, &TCfgDialog::cbPortChange);
    connect(cbLuch2, &QCheckBox::clicked, this, &TCfgDialog::cbPortChange);
}

QComboBox *TCfgDialog::outputTypeBox(const QString &hint)
{
    auto *box = new QComboBox(findChild<QGroupBox *>());
    box->addItems({QStringLiteral("NPN"), QStringLiteral("PNP")});
    box->setItemDelegate(new OutputTypeDelegate(box));
    box->setToolTip(hint);
    box->setEnabled(false);
    return box;
}

QStringList TCfgDialog::PortItems(std::uint32_t portPresence)
{
    QStringList items{QStringLiteral("Kein")};
    for (const int port : PresentComPorts(portPresence))
        items << QStringLiteral("COM%1").arg(port);
    return items;
}

std::optional<TCfgDialog::Result> TCfgDialog::edit(const Values &current)
{
    // Each cycle starts from the current values: a cancelled one leaves nothing behind.
    if (mAbsentPort != 0) {
        cbPort->removeItem(cbPort->findText(QStringLiteral("COM%1").arg(mAbsentPort)));
        mAbsentPort = 0;
    }
    int index = current.port == 0 ? 0 : cbPort->findText(QStringLiteral("COM%1").arg(current.port));
    if (index < 0) {
        // The configured adapter is not plugged in: it stays the choice, marked as missing,
        // so that "OK" never moves the barriers to another port unasked.
        mAbsentPort = current.port;
        index = 1;
        while (index < cbPort->count() && portAt(index) < current.port)
            ++index;
        cbPort->insertItem(index, QStringLiteral("COM%1").arg(current.port));
    }
    cbPort->setCurrentIndex(index);
    cbAlg1->setCurrentIndex(current.barriers.startUnknown ? -1 : int(current.barriers.startPnp));
    cbAlg2->setCurrentIndex(current.barriers.finishUnknown ? -1 : int(current.barriers.finishPnp));
    cbLuch2->setChecked(!current.barriers.oneBarrier);
    seLock->setValue(current.barriers.lockStopSeconds);
    ePassword->clear();
    const int answer = exec();
    // The password goes to the keyring and nowhere else: not kept in the field either.
    const QString password = ePassword->text();
    ePassword->clear();
    if (answer != QDialog::Accepted)
        return std::nullopt;
    if (mKeyring && !mPasswordAccount.isEmpty() && !password.isEmpty())
        mKeyring->write(mPasswordAccount, password);

    Result result{.values = current};
    BarrierSettings &b = result.values.barriers;
    b.oneBarrier = !cbLuch2->isChecked();
    b.lockStopSeconds = BarrierSettings::ClampLockStop(seLock->value());
    result.values.port = portAt(cbPort->currentIndex());
    result.portChanged = result.values.port != current.port;
    // With "Kein" the output types shown are discarded and the previous ones stay.
    if (result.values.port != 0) {
        b.startPnp = cbAlg1->currentIndex() == 1;
        b.startUnknown = cbAlg1->currentIndex() < 0;
        b.finishPnp = cbAlg2->currentIndex() == 1;
        b.finishUnknown = cbAlg2->currentIndex() < 0;
    }
    return result;
}

int TCfgDialog::portAt(int index) const
{
    return index > 0 ? cbPort->itemText(index).mid(3).toInt() : 0;
}

void TCfgDialog::showEvent(QShowEvent *event)
{
    if (cbPort->currentIndex() < 0)
        cbPort->setCurrentIndex(cbPort->count() - 1);
    cbPort->setEnabled(cbPort->count() > 1);
    cbPortChange();
    CentreOver(this, mMainWindow);
    QDialog::showEvent(event);
}

void TCfgDialog::cbPortChange()
{
    const int chosen = portAt(cbPort->currentIndex());
    const bool port = chosen != 0;
    for (QWidget *w : std::initializer_list<QWidget *>{cbAlg1, LabelStart, cbLuch2})
        w->setEnabled(port);
    for (QWidget *w : std::initializer_list<QWidget *>{cbAlg2, LabelStop1})
        w->setEnabled(port && cbLuch2->isChecked());
    LabelPath->setText(port ? ComPortPath(chosen) : QString());
    const bool absent = port && chosen == mAbsentPort;
    LabelPath->setVisible(!absent);
    LabelAbsent->setVisible(absent);
    LabelAbsent->setToolTip(LabelPath->text());
    const bool noStart = port && !ComPortReportsCts(chosen);
    LabelNoStart->setVisible(noStart);
    placeRows();
}

void TCfgDialog::setPublishTarget(PublishPassword *keyring, const QString &publishUrl)
{
    mKeyring = keyring;
    mPasswordAccount = PublishPassword::needsPassword(publishUrl) ? PublishPassword::accountOf(publishUrl) : QString();
    const bool asked = !mPasswordAccount.isEmpty();
    // The field names whose password it takes; what is stored is never shown.
    ePassword->setPlaceholderText(mPasswordAccount);
    ePassword->setToolTip(asked ? QStringLiteral("Leer lassen, um das gespeicherte Passwort zu behalten") : QString());
    LabelPassword->setVisible(asked);
    ePassword->setVisible(asked);
    placeRows();
}

void TCfgDialog::placeRows()
{
    int top = ButtonTop;
    if (!LabelNoStart->isHidden())
        top += NoStartHeight;
    if (!ePassword->isHidden()) {
        LabelPassword->setGeometry(12, top - 6, 276, 16);
        ePassword->setGeometry(12, top + 12, 276, 21);
        top += PasswordHeight;
    }
    setFixedSize(DialogWidth, DialogHeight + top - ButtonTop);
    CancelBtn->move(CancelBtn->x(), top);
    OKBtn->move(OKBtn->x(), top);
}

#include "TCfgDialog.moc"
