#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class Shell;

// The information box: the program's name, version and icon.
class TFormInfo final : public QDialog
{
    Q_OBJECT

public:
    TFormInfo(QWidget *mainWindow, Shell &shell, const QString &webAddress);

    void setLogo(const QPixmap &logo);

    QLabel *Image1 = nullptr;
    QLabel *ImageICON = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *LabelVer = nullptr;
    QPushButton *sOK = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *mMainWindow;
    Shell &mShell;
    QString mWebAddress;
};
