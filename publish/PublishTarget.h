#pragma once

#include <QString>

#include <variant>

// Where the results go on the internet, as the setting PublishUrl names it:
//   sftp://user@host[:port]/path/     ftps://user@host[:port]/path/
//   ftp://user@host[:port]/path/      (only when plain transfers are allowed)
//   https://host[:port]/path/         (WebDAV)
struct PublishTarget
{
    enum class Scheme { Sftp, Ftps, Ftp, WebDav };

    Scheme scheme = Scheme::Sftp;
    QString user;
    QString host;
    int port = 0;      // the scheme's default when the URL names none
    QString directory; // the remote folder, always ending in '/'

    // Whether the transfer is unencrypted (the status bar says "unverschlüsselt").
    bool plain() const { return scheme == Scheme::Ftp; }
    // The URL of a file in the remote folder, as libcurl takes it.
    QString fileUrl(const QString &name) const;

    // The target, or a German message naming what is wrong with the URL.
    static std::variant<PublishTarget, QString> parse(const QString &url, bool allowPlain);

    friend bool operator==(const PublishTarget &, const PublishTarget &) = default;
};
