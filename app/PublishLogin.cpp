#include "app/PublishLogin.h"

#include "settings/PublishPassword.h"

PublishLogin::PublishLogin(PublishPassword &keyring, QObject *parent)
    : QObject(parent)
    , mKeyring(keyring)
{
    connect(&mKeyring, &PublishPassword::found, this, [this](const QString &account, const QString &password) {
        if (!mWaiting || account != mAccount)
            return;
        mWaiting = false;
        emit ready({.password = password, .keyFile = mKeyFile, .knownHostsFile = {}});
    });
    connect(&mKeyring, &PublishPassword::readFailed, this, [this](const QString &account, const QString &message) {
        if (!mWaiting || account != mAccount)
            return;
        mWaiting = false;
        emit refused(message);
    });
}

void PublishLogin::gather(const QString &url, const QString &keyFile)
{
    mKeyFile = keyFile;
    if (!PublishPassword::needsPassword(url)) {
        mWaiting = false;
        emit ready({.password = {}, .keyFile = keyFile, .knownHostsFile = {}});
        return;
    }
    mAccount = PublishPassword::accountOf(url);
    mWaiting = true;
    mKeyring.read(mAccount);
}

void PublishLogin::cancel()
{
    mWaiting = false;
}
