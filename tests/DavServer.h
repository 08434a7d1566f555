#pragma once

#include "ServerProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <pwd.h>
#include <unistd.h>

// nginx serving WebDAV over TLS on the loopback, in a folder of its own, with a throw-away
// certificate for 127.0.0.1 that the client is told to trust.
class DavServer
{
public:
    static constexpr const char *Program = "/usr/sbin/nginx";
    static bool available() { return QFileInfo(QLatin1String(Program)).isExecutable(); }

    DavServer()
    {
        QDir(mDir.path()).mkpath(QStringLiteral("www/dav"));
        QDir(mDir.path()).mkpath(QStringLiteral("temp"));
        QProcess openssl;
        openssl.setProcessChannelMode(QProcess::MergedChannels);
        openssl.setStandardOutputFile(QProcess::nullDevice());
        openssl.start(QStringLiteral("openssl"),
                          {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
                           QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                           QStringLiteral("-keyout"), path(QStringLiteral("key.pem")), QStringLiteral("-out"), certificate(),
                           QStringLiteral("-days"), QStringLiteral("1"), QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
                           QStringLiteral("-addext"), QStringLiteral("subjectAltName=IP:127.0.0.1")});
        openssl.waitForFinished();
        mPort = ServerProcess::freePort();
        const QString temp = path(QStringLiteral("temp"));
        // One process and no daemon: the test ends it by its id. As root it stays root, so
        // that it may write to the test's folder.
        const QString user = ::geteuid() == 0 ? QStringLiteral("user %1;\n").arg(QString::fromLocal8Bit(::getpwuid(0)->pw_name)) : QString();
        QFile config(path(QStringLiteral("nginx.conf")));
        config.open(QIODevice::WriteOnly);
        config.write(QStringLiteral("%1daemon off;\nmaster_process off;\npid %2/nginx.pid;\nerror_log %2/error.log;\n"
                                    "events { worker_connections 64; }\n"
                                    "http {\n access_log off;\n"
                                    " client_body_temp_path %3/body;\n proxy_temp_path %3/proxy;\n fastcgi_temp_path %3/fastcgi;\n"
                                    " uwsgi_temp_path %3/uwsgi;\n scgi_temp_path %3/scgi;\n"
                                    " server {\n  listen 127.0.0.1:%4 ssl;\n"
                                    "  ssl_certificate %5;\n  ssl_certificate_key %2/key.pem;\n"
                                    "  root %2/www;\n"
                                    "  location /dav/ {\n   dav_methods PUT DELETE MOVE;\n   create_full_put_path on;\n"
                                    "   client_max_body_size 64m;\n  }\n }\n}\n")
                         .arg(user, mDir.path(), temp)
                         .arg(mPort)
                         .arg(certificate())
                         .toUtf8());
    }

    bool start()
    {
        return mProcess.start(QLatin1String(Program),
                              {QStringLiteral("-p"), mDir.path(), QStringLiteral("-e"), path(QStringLiteral("error.log")),
                               QStringLiteral("-c"), path(QStringLiteral("nginx.conf"))},
                              mPort);
    }

    QString path(const QString &name) const { return mDir.filePath(name); }
    QString certificate() const { return path(QStringLiteral("cert.pem")); }
    QString remote() const { return path(QStringLiteral("www/dav/results")) + QLatin1Char('/'); }
    QString url() const { return QStringLiteral("https://127.0.0.1:%1/dav/results/").arg(mPort); }

private:
    QTemporaryDir mDir;
    ServerProcess mProcess;
    quint16 mPort = 0;
};
