#pragma once

#include <QObject>
#include <QString>

// The password of the publishing target (FTP, FTPS, WebDAV) in the desktop's keyring, under
// the target's user@host. Never in the settings file or the journal. The keyring is asked
// asynchronously, so the GUI thread never waits for it (it may ask the user to unlock it);
// without a keyring the answer is a German message and the program goes on without.
class PublishPassword final : public QObject
{
    Q_OBJECT

public:
    // The keyring entries' service name.
    static constexpr const char *Service = "Chronolauf";

    explicit PublishPassword(QObject *parent = nullptr);

    // The key of a target's password: "user@host" (or the host alone); empty for a URL that
    // names no host.
    static QString accountOf(const QString &publishUrl);
    // Whether the target logs in with a password (ftp://, ftps://, https://): SFTP uses a key.
    static bool needsPassword(const QString &publishUrl);

    // Asks for the password of account: found() or readFailed() follows.
    void read(const QString &account);
    // Keeps the password of account: stored() or writeFailed() follows.
    void write(const QString &account, const QString &password);

signals:
    // The password of account as the keyring keeps it.
    void found(const QString &account, const QString &password);
    void stored(const QString &account);
    // German, for the status bar: no keyring, no entry, access refused.
    void readFailed(const QString &account, const QString &message);
    void writeFailed(const QString &account, const QString &message);
};
