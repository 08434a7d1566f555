#pragma once

#include <QDialog>

class QLabel;

// "Live-Ergebnisse im Netz": where phones and other computers find the live standings, as
// text and as a QR code. Not modal and opened without taking the focus: the race keys stay
// with the main window while it shows.
class LiveAddressDialog final : public QDialog
{
    Q_OBJECT

public:
    explicit LiveAddressDialog(QWidget *parent = nullptr);

    // Shows the address (and its code) and brings the dialog up.
    void showAddress(const QString &address);
    const QString &address() const { return mAddress; }

private:
    QString mAddress;
    QLabel *mText;
    QLabel *mCode;
};
