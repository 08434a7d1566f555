#pragma once

#include "ServerProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <pwd.h>
#include <unistd.h>

// OpenSSH's sshd on the loopback, run as the current user with throw-away keys: its host key,
// the user's key it accepts and one it does not, and a remote folder that is a local one.
class SshServer
{
public:
    static constexpr const char *Program = "/usr/sbin/sshd";
    static bool available() { return QFileInfo(QLatin1String(Program)).isExecutable(); }

    SshServer()
    {
        keygen(QStringLiteral("host"));
        keygen(QStringLiteral("otherhost"));
        keygen(QStringLiteral("user"));
        keygen(QStringLiteral("stranger"));
        QFile::copy(path(QStringLiteral("user.pub")), path(QStringLiteral("authorized_keys")));
        QDir(mDir.path()).mkdir(QStringLiteral("remote"));
        // Run as root, sshd insists on its privilege separation folder.
        if (::geteuid() == 0)
            QDir().mkpath(QStringLiteral("/run/sshd"));
        mPort = ServerProcess::freePort();
        QFile config(path(QStringLiteral("sshd_config")));
        config.open(QIODevice::WriteOnly);
        config.write(QStringLiteral("ListenAddress 127.0.0.1\n"
                                    "HostKey %1\n"
                                    "AuthorizedKeysFile %2\n"
                                    "PidFile %3\n"
                                    "StrictModes no\n"
                                    "PermitRootLogin yes\n"
                                    "PasswordAuthentication no\n"
                                    "KbdInteractiveAuthentication no\n"
                                    "UsePAM no\n"
                                    "Subsystem sftp internal-sftp\n"
                                    "LogLevel FATAL\n")
                         .arg(path(QStringLiteral("host")), path(QStringLiteral("authorized_keys")), path(QStringLiteral("sshd.pid")))
                         .toUtf8());
        knownHosts(QStringLiteral("known_hosts"), QStringLiteral("host.pub"));
        knownHosts(QStringLiteral("changed_hosts"), QStringLiteral("otherhost.pub"));
        QFile empty(path(QStringLiteral("unknown_hosts")));
        empty.open(QIODevice::WriteOnly);
    }

    bool start()
    {
        return mProcess.start(QLatin1String(Program),
                              {QStringLiteral("-D"), QStringLiteral("-e"), QStringLiteral("-f"), path(QStringLiteral("sshd_config")),
                               QStringLiteral("-p"), QString::number(mPort)},
                              mPort);
    }
    void stop() { mProcess.stop(); }

    QString path(const QString &name) const { return mDir.filePath(name); }
    QString remote() const { return path(QStringLiteral("remote")) + QLatin1Char('/'); }
    QString url() const
    {
        return QStringLiteral("sftp://%1@127.0.0.1:%2%3").arg(QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name)).arg(mPort).arg(remote());
    }
    quint16 port() const { return mPort; }

private:
    void keygen(const QString &name)
    {
        QProcess::execute(QStringLiteral("ssh-keygen"),
                          {QStringLiteral("-q"), QStringLiteral("-t"), QStringLiteral("ed25519"), QStringLiteral("-N"), QString(),
                           QStringLiteral("-f"), path(name)});
    }
    // A known_hosts file naming the loopback at our port with the key of pub.
    void knownHosts(const QString &name, const QString &pub)
    {
        QFile key(path(pub));
        key.open(QIODevice::ReadOnly);
        const QList<QByteArray> parts = key.readAll().trimmed().split(' ');
        QFile file(path(name));
        file.open(QIODevice::WriteOnly);
        file.write(QStringLiteral("[127.0.0.1]:%1 ").arg(mPort).toUtf8() + parts.value(0) + ' ' + parts.value(1) + '\n');
    }

    QTemporaryDir mDir;
    ServerProcess mProcess;
    quint16 mPort = 0;
};
