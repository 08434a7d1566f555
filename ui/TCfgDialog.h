#pragma once

#include "core/Controls.h"

#include <QDialog>

#include <cstdint>
#include <optional>

class PublishPassword;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

// The light-barrier settings dialog "Einstellungen": port, output types, one or two
// barriers, finish lock. Made once with the program; its port list is filled once.
class TCfgDialog final : public QDialog
{
    Q_OBJECT

public:
    // What one edit cycle works on.
    struct Values
    {
        int port = 0; // "COM" n, 0 = none
        BarrierSettings barriers;
    };
    // What "OK" gives back: the values to apply and whether the port choice changed, in
    // which case the old port is closed and the new one (if any) opened.
    struct Result
    {
        Values values;
        bool portChanged = false;
    };

    // portPresence: bit n-1 for each present "COM" n, the highest present number above bit 15.
    TCfgDialog(QWidget *mainWindow, std::uint32_t portPresence);

    // Loads the current values, asks modally, and gives the values to apply on "OK".
    // Barrier events and the race's timers go on while it is open.
    std::optional<Result> edit(const Values &current);

    // The publishing target (PublishUrl): for one that logs in with a password (FTP, FTPS,
    // WebDAV) the dialog asks for it and, on "OK", hands a typed one to the keyring; the
    // field never shows the stored password, and an empty field keeps it.
    void setPublishTarget(PublishPassword *keyring, const QString &publishUrl);

    // "Kein", then "COM" n for each present port in ascending order. A configured port that is
    // not present joins the list for the edit cycle that shows it.
    static QStringList PortItems(std::uint32_t portPresence);

    QComboBox *cbPort = nullptr;
    QComboBox *cbAlg1 = nullptr;
    QComboBox *cbAlg2 = nullptr;
    QCheckBox *cbLuch2 = nullptr;
    QSpinBox *seLock = nullptr;
    QLabel *LabelStart = nullptr;
    QLabel *LabelStop1 = nullptr;
    QLabel *LabelPath = nullptr; // the chosen port's device path
    QLabel *LabelAbsent = nullptr; // in the path's place: the configured port is not there
    QLabel *LabelNoStart = nullptr; // under the start type: this port's driver never reports CTS
    QLabel *LabelPassword = nullptr;
    QLineEdit *ePassword = nullptr; // "Passwort für die Veröffentlichung:"
    QPushButton *OKBtn = nullptr;
    QPushButton *CancelBtn = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    // Which controls the port choice and the second-barrier box enable.
    void cbPortChange();
    QComboBox *outputTypeBox(const QString &hint);
    // The rows below the group (start hint, password) and the buttons under them.
    void placeRows();
    // The port's number of a "COM" n item; 0 for "Kein".
    int portAt(int index) const;

    QWidget *mMainWindow;
    // The configured port while it is listed without being present; 0 when there is none.
    int mAbsentPort = 0;
    PublishPassword *mKeyring = nullptr;
    QString mPasswordAccount; // the target's user@host; empty: no password asked
};
