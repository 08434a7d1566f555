#include "settings/PublishPassword.h"

#include <qt6keychain/keychain.h>

#include <QUrl>

namespace {

// The operator's words for what went wrong; the keyring's own text in brackets for support.
QString problem(const QKeychain::Job &job, const QString &account, bool reading)
{
    const QString detail = job.errorString().isEmpty() ? QString() : QStringLiteral(" (%1)").arg(job.errorString());
    switch (job.error()) {
    case QKeychain::EntryNotFound:
        return QStringLiteral("Kein Passwort für %1 im Schlüsselbund – bitte in den Einstellungen (Strg+E) eingeben").arg(account);
    case QKeychain::AccessDenied:
    case QKeychain::AccessDeniedByUser:
        return QStringLiteral("Zugriff auf den Schlüsselbund verweigert: Passwort für %1%2").arg(account, detail);
    case QKeychain::NoError:
    case QKeychain::CouldNotDeleteEntry:
    case QKeychain::NoBackendAvailable:
    case QKeychain::NotImplemented:
    case QKeychain::OtherError:
        break;
    }
    return reading ? QStringLiteral("Kein Schlüsselbund verfügbar: Passwort für %1 nicht gelesen%2").arg(account, detail)
                   : QStringLiteral("Kein Schlüsselbund verfügbar: Passwort für %1 nicht gespeichert%2").arg(account, detail);
}

} // namespace

PublishPassword::PublishPassword(QObject *parent)
    : QObject(parent)
{
}

QString PublishPassword::accountOf(const QString &publishUrl)
{
    const QUrl url(publishUrl.trimmed());
    if (url.host().isEmpty())
        return {};
    return url.userName().isEmpty() ? url.host() : url.userName() + QLatin1Char('@') + url.host();
}

bool PublishPassword::needsPassword(const QString &publishUrl)
{
    const QString scheme = QUrl(publishUrl.trimmed()).scheme().toLower();
    return scheme == QLatin1String("ftp") || scheme == QLatin1String("ftps") || scheme == QLatin1String("https");
}

void PublishPassword::read(const QString &account)
{
    auto *job = new QKeychain::ReadPasswordJob(QString::fromLatin1(Service), this);
    job->setKey(account);
    // Never a plain file beside the settings: without a keyring there is no password.
    job->setInsecureFallback(false);
    connect(job, &QKeychain::Job::finished, this, [this, account](QKeychain::Job *done) {
        if (done->error() == QKeychain::NoError)
            emit found(account, static_cast<QKeychain::ReadPasswordJob *>(done)->textData());
        else
            emit readFailed(account, problem(*done, account, true));
    });
    job->start();
}

void PublishPassword::write(const QString &account, const QString &password)
{
    auto *job = new QKeychain::WritePasswordJob(QString::fromLatin1(Service), this);
    job->setKey(account);
    job->setInsecureFallback(false);
    job->setTextData(password);
    connect(job, &QKeychain::Job::finished, this, [this, account](QKeychain::Job *done) {
        if (done->error() == QKeychain::NoError)
            emit stored(account);
        else
            emit writeFailed(account, problem(*done, account, false));
    });
    job->start();
}
