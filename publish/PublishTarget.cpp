#include "publish/PublishTarget.h"

#include <QUrl>

namespace {

// The port a scheme uses when the URL names none.
int defaultPort(PublishTarget::Scheme scheme)
{
    switch (scheme) {
    case PublishTarget::Scheme::Sftp:
        return 22;
    case PublishTarget::Scheme::Ftps:
    case PublishTarget::Scheme::Ftp:
        return 21;
    case PublishTarget::Scheme::WebDav:
        return 443;
    }
    return 0;
}

} // namespace

QString PublishTarget::fileUrl(const QString &name) const
{
    QUrl url;
    switch (scheme) {
    case Scheme::Sftp:
        url.setScheme(QStringLiteral("sftp"));
        break;
    case Scheme::Ftps:
        // Port 990 is implicit TLS; anywhere else the session starts plain and asks for TLS.
        url.setScheme(port == 990 ? QStringLiteral("ftps") : QStringLiteral("ftp"));
        break;
    case Scheme::Ftp:
        url.setScheme(QStringLiteral("ftp"));
        break;
    case Scheme::WebDav:
        url.setScheme(QStringLiteral("https"));
        break;
    }
    url.setHost(host);
    url.setPort(port);
    url.setPath(directory + name, QUrl::DecodedMode);
    return url.toString(QUrl::FullyEncoded);
}

std::variant<PublishTarget, QString> PublishTarget::parse(const QString &text, bool allowPlain)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return QStringLiteral("Keine Adresse zum Veröffentlichen angegeben.");
    const QUrl url(trimmed, QUrl::TolerantMode);
    // The text itself is not repeated: it may hold a password.
    if (!url.isValid() || url.scheme().isEmpty() || !trimmed.contains(QLatin1String("://")))
        return QStringLiteral("Die Adresse ist ungültig; erwartet wird z. B. sftp://benutzer@server/ordner/.");
    if (!url.password().isEmpty())
        return QStringLiteral("Das Passwort gehört nicht in die Adresse; es wird getrennt gespeichert.");
    if (url.hasQuery() || url.hasFragment())
        return QStringLiteral("Die Adresse darf weder „?“ noch „#“ enthalten.");

    PublishTarget target;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("sftp")) {
        target.scheme = Scheme::Sftp;
    } else if (scheme == QLatin1String("ftps")) {
        target.scheme = Scheme::Ftps;
    } else if (scheme == QLatin1String("ftp")) {
        if (!allowPlain)
            return QStringLiteral("Unverschlüsseltes FTP ist nicht erlaubt: bitte ftps:// oder sftp:// verwenden "
                                  "oder unverschlüsselte Übertragung erlauben.");
        target.scheme = Scheme::Ftp;
    } else if (scheme == QLatin1String("https")) {
        target.scheme = Scheme::WebDav;
    } else if (scheme == QLatin1String("http")) {
        return QStringLiteral("WebDAV nur verschlüsselt: bitte https:// statt http:// verwenden.");
    } else {
        return QStringLiteral("Unbekanntes Verfahren „%1“: möglich sind sftp://, ftps://, ftp:// und https://.").arg(scheme);
    }

    target.host = url.host();
    if (target.host.isEmpty())
        return QStringLiteral("In der Adresse fehlt der Server.");
    target.user = url.userName();
    if (target.user.isEmpty() && target.scheme != Scheme::WebDav)
        return QStringLiteral("In der Adresse fehlt der Benutzer (benutzer@server).");
    target.port = url.port(defaultPort(target.scheme));
    if (target.port <= 0 || target.port > 65535)
        return QStringLiteral("Der Port in der Adresse ist ungültig.");
    target.directory = url.path(QUrl::FullyDecoded);
    if (!target.directory.startsWith(QLatin1Char('/')))
        target.directory.prepend(QLatin1Char('/'));
    // The URL names a folder, with or without its closing slash.
    if (!target.directory.endsWith(QLatin1Char('/')))
        target.directory.append(QLatin1Char('/'));
    return target;
}
