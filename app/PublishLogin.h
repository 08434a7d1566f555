#pragma once

#include "publish/PublishService.h"

#include <QObject>
#include <QString>

class PublishPassword;

// Gathers what the publishing target needs to log in when the operator switches publishing
// on: for SFTP the key file at once, for FTP, FTPS and WebDAV the password from the keyring,
// which answers later. A switch-off meanwhile drops the late answer.
class PublishLogin final : public QObject
{
    Q_OBJECT

public:
    PublishLogin(PublishPassword &keyring, QObject *parent = nullptr);

    // url: PublishUrl; keyFile: the SFTP key as the settings resolve it. ready() or refused()
    // follows, at once or once the keyring answered.
    void gather(const QString &url, const QString &keyFile);
    // Publishing went off: nothing follows from an answer still on its way.
    void cancel();
    bool isWaiting() const { return mWaiting; }

signals:
    void ready(const PublishCredentials &credentials);
    // German, for the status panel: why publishing cannot start.
    void refused(const QString &reason);

private:
    PublishPassword &mKeyring;
    QString mAccount;  // whose password is asked for
    QString mKeyFile;
    bool mWaiting = false;
};
