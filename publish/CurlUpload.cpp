#include "publish/CurlUpload.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <cstring>
#include <mutex>

namespace {

// Frees a libcurl string list when the request is done with it.
struct SList
{
    curl_slist *list = nullptr;
    void add(const QByteArray &line) { list = curl_slist_append(list, line.constData()); }
    ~SList() { curl_slist_free_all(list); }
};

} // namespace

CurlUpload::CurlUpload()
{
    // libcurl's global set-up is not safe to race with itself; every upload shares one.
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    mMulti = curl_multi_init();
    mEasy = curl_easy_init();
}

CurlUpload::~CurlUpload()
{
    curl_easy_cleanup(mEasy);
    curl_multi_cleanup(mMulti);
}

QString CurlUpload::temporaryName(const QString &name)
{
    // Hidden, and the same each time: an upload cut short leaves no pile of fragments.
    return QLatin1Char('.') + name + QLatin1String(".part");
}

void CurlUpload::setTarget(const PublishTarget &target, const PublishCredentials &credentials)
{
    mTarget = target;
    mCredentials = credentials;
    mFresh = true;
}

void CurlUpload::wake()
{
    curl_multi_wakeup(mMulti);
}

CurlUpload::Outcome CurlUpload::send(const std::vector<PublishFile> &files, const std::function<bool()> &cancelled)
{
    Outcome total;
    if (mTarget.scheme == PublishTarget::Scheme::Sftp && !resolveKeyFile(total.reason))
        return total;
    for (const PublishFile &file : files) {
        const Outcome one = sendOne(file, cancelled);
        total.bytes += one.bytes;
        if (!one.ok) {
            total.cancelled = one.cancelled;
            total.reason = one.reason;
            // A connection that failed is not trusted with the next attempt.
            mFresh = true;
            return total;
        }
    }
    total.ok = true;
    return total;
}

bool CurlUpload::resolveKeyFile(QString &reason)
{
    mKeyFile.clear();
    if (!mCredentials.keyFile.isEmpty()) {
        const QFileInfo key(mCredentials.keyFile);
        if (!key.isFile() || !key.isReadable()) {
            reason = QStringLiteral("Schlüsseldatei nicht lesbar: %1").arg(mCredentials.keyFile);
            return false;
        }
        mKeyFile = key.absoluteFilePath();
        return true;
    }
    for (const char *name : {"id_ed25519", "id_rsa"}) {
        const QFileInfo key(QDir::home().filePath(QLatin1String(".ssh/") + QLatin1String(name)));
        if (key.isFile() && key.isReadable()) {
            mKeyFile = key.absoluteFilePath();
            return true;
        }
    }
    if (!qEnvironmentVariableIsEmpty("SSH_AUTH_SOCK"))
        return true;
    reason = QStringLiteral("Kein SSH-Schlüssel: weder ~/.ssh/id_ed25519 noch ~/.ssh/id_rsa lesbar, und kein SSH-Agent");
    return false;
}

void CurlUpload::prepare()
{
    CURL *c = mEasy;
    curl_easy_reset(c);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    // A transfer that takes too long is cut, and so is one to a host that accepted the
    // connection and then fell silent.
    curl_easy_setopt(c, CURLOPT_TIMEOUT, long(PublishService::TransferTimeoutSeconds));
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, long(PublishService::TransferTimeoutSeconds));
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, long(PublishService::TransferTimeoutSeconds));
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &CurlUpload::progress);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(c, CURLOPT_FRESH_CONNECT, mFresh ? 1L : 0L);
    mFresh = false;
    if (!mCredentials.caFile.isEmpty())
        curl_easy_setopt(c, CURLOPT_CAINFO, QFile::encodeName(mCredentials.caFile).constData());
    const QByteArray user = mTarget.user.toUtf8();
    if (!user.isEmpty())
        curl_easy_setopt(c, CURLOPT_USERNAME, user.constData());
    const QByteArray password = mCredentials.password.toUtf8();

    switch (mTarget.scheme) {
    case PublishTarget::Scheme::Sftp: {
        curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "sftp");
        const QByteArray key = QFile::encodeName(mKeyFile);
        if (key.isEmpty()) {
            curl_easy_setopt(c, CURLOPT_SSH_AUTH_TYPES, long(CURLSSH_AUTH_AGENT));
        } else {
            // A key the operator chose is the only one; the default key may fall back to the agent.
            const bool chosen = !mCredentials.keyFile.isEmpty();
            curl_easy_setopt(c, CURLOPT_SSH_AUTH_TYPES, long(chosen ? CURLSSH_AUTH_PUBLICKEY : CURLSSH_AUTH_PUBLICKEY | CURLSSH_AUTH_AGENT));
            curl_easy_setopt(c, CURLOPT_SSH_PRIVATE_KEYFILE, key.constData());
            if (QFileInfo::exists(mKeyFile + QLatin1String(".pub")))
                curl_easy_setopt(c, CURLOPT_SSH_PUBLIC_KEYFILE, QFile::encodeName(mKeyFile + QLatin1String(".pub")).constData());
            if (!password.isEmpty())
                curl_easy_setopt(c, CURLOPT_KEYPASSWD, password.constData());
        }
        const QString knownHosts = mCredentials.knownHostsFile.isEmpty()
            ? QDir::home().filePath(QStringLiteral(".ssh/known_hosts")) : mCredentials.knownHostsFile;
        curl_easy_setopt(c, CURLOPT_SSH_KNOWNHOSTS, QFile::encodeName(knownHosts).constData());
        curl_easy_setopt(c, CURLOPT_SSH_KEYFUNCTION, &CurlUpload::keyCheck);
        curl_easy_setopt(c, CURLOPT_SSH_KEYDATA, this);
        curl_easy_setopt(c, CURLOPT_FTP_CREATE_MISSING_DIRS, long(CURLFTP_CREATE_DIR_RETRY));
        break;
    }
    case PublishTarget::Scheme::Ftps:
    case PublishTarget::Scheme::Ftp:
        curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "ftp,ftps");
        if (mTarget.scheme == PublishTarget::Scheme::Ftps)
            curl_easy_setopt(c, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
        if (!password.isEmpty())
            curl_easy_setopt(c, CURLOPT_PASSWORD, password.constData());
        curl_easy_setopt(c, CURLOPT_FTP_CREATE_MISSING_DIRS, long(CURLFTP_CREATE_DIR_RETRY));
        break;
    case PublishTarget::Scheme::WebDav:
        curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "https");
        if (!password.isEmpty()) {
            curl_easy_setopt(c, CURLOPT_PASSWORD, password.constData());
            curl_easy_setopt(c, CURLOPT_HTTPAUTH, long(CURLAUTH_BASIC));
        }
        break;
    }
    // libcurl copies string options, so the locals above may go.
}

QByteArray CurlUpload::sftpPath(const QString &name) const
{
    // "/~/" in the URL is the home folder; quote commands take paths relative to it.
    QString path = mTarget.directory + name;
    if (path.startsWith(QLatin1String("/~/")))
        path = path.mid(3);
    QByteArray quoted = path.toUtf8();
    quoted.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + quoted + '"';
}

CurlUpload::Outcome CurlUpload::sendOne(const PublishFile &file, const std::function<bool()> &cancelled)
{
    Outcome outcome;
    const QString temporary = temporaryName(file.name);
    const QByteArray temporaryUrl = mTarget.fileUrl(temporary).toUtf8();
    const auto finish = [&](CURLcode code, const QString &failedName) {
        curl_off_t sent = 0;
        curl_easy_getinfo(mEasy, CURLINFO_SIZE_UPLOAD_T, &sent);
        outcome.bytes += sent;
        long response = 0;
        curl_easy_getinfo(mEasy, CURLINFO_RESPONSE_CODE, &response);
        if (code == CURLE_ABORTED_BY_CALLBACK && cancelled()) {
            outcome.cancelled = true;
            return false;
        }
        const bool httpError = mTarget.scheme == PublishTarget::Scheme::WebDav && response >= 300;
        if (code != CURLE_OK || httpError) {
            outcome.reason = reasonOf(code == CURLE_OK ? CURLE_HTTP_RETURNED_ERROR : code, response, failedName);
            return false;
        }
        return true;
    };

    // The upload to the temporary name; FTP and SFTP rename it right after, on the same session.
    prepare();
    curl_easy_setopt(mEasy, CURLOPT_URL, temporaryUrl.constData());
    curl_easy_setopt(mEasy, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(mEasy, CURLOPT_READFUNCTION, &CurlUpload::readBody);
    curl_easy_setopt(mEasy, CURLOPT_READDATA, this);
    curl_easy_setopt(mEasy, CURLOPT_SEEKFUNCTION, &CurlUpload::seekBody);
    curl_easy_setopt(mEasy, CURLOPT_SEEKDATA, this);
    curl_easy_setopt(mEasy, CURLOPT_INFILESIZE_LARGE, curl_off_t(file.content.size()));
    mBody = &file.content;
    mBodyOffset = 0;
    SList rename;
    if (mTarget.scheme == PublishTarget::Scheme::Sftp) {
        // SFTP version 3 does not rename onto an existing file: the old one goes first ('*':
        // there may be none), so for a moment there is no file, but never a partial one.
        rename.add("*rm " + sftpPath(file.name));
        rename.add("rename " + sftpPath(temporary) + ' ' + sftpPath(file.name));
    } else if (mTarget.scheme != PublishTarget::Scheme::WebDav) {
        // After the transfer the session is in the target folder.
        rename.add("RNFR " + temporary.toUtf8());
        rename.add("RNTO " + file.name.toUtf8());
    }
    if (rename.list)
        curl_easy_setopt(mEasy, CURLOPT_POSTQUOTE, rename.list);
    const CURLcode put = perform(cancelled);
    mBody = nullptr;
    if (!finish(put, file.name))
        return outcome;
    if (mTarget.scheme != PublishTarget::Scheme::WebDav) {
        outcome.ok = true;
        return outcome;
    }

    // WebDAV: the uploaded file moved over the old one in one request.
    prepare();
    SList headers;
    headers.add("Destination: " + mTarget.fileUrl(file.name).toUtf8());
    headers.add("Overwrite: T");
    curl_easy_setopt(mEasy, CURLOPT_URL, temporaryUrl.constData());
    curl_easy_setopt(mEasy, CURLOPT_CUSTOMREQUEST, "MOVE");
    curl_easy_setopt(mEasy, CURLOPT_HTTPHEADER, headers.list);
    const CURLcode move = perform(cancelled);
    if (!finish(move, file.name))
        return outcome;
    outcome.ok = true;
    return outcome;
}

CURLcode CurlUpload::perform(const std::function<bool()> &cancelled)
{
    mCancelled = &cancelled;
    mHostKey = HostKey::Unchecked;
    curl_multi_add_handle(mMulti, mEasy);
    CURLcode result = CURLE_OK;
    for (;;) {
        int running = 0;
        if (curl_multi_perform(mMulti, &running) != CURLM_OK) {
            result = CURLE_OUT_OF_MEMORY;
            break;
        }
        bool done = false;
        int queued = 0;
        while (CURLMsg *message = curl_multi_info_read(mMulti, &queued)) {
            if (message->msg == CURLMSG_DONE) {
                result = message->data.result;
                done = true;
            }
        }
        if (done || running == 0)
            break;
        // Polled between waits as well as from the progress callback: wake() ends a wait at once.
        if (cancelled()) {
            result = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        curl_multi_poll(mMulti, nullptr, 0, 1000, nullptr);
    }
    // Taking the handle off mid-transfer closes its connection.
    curl_multi_remove_handle(mMulti, mEasy);
    mCancelled = nullptr;
    return result;
}

int CurlUpload::progress(void *self, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    const auto *me = static_cast<CurlUpload *>(self);
    return me->mCancelled && (*me->mCancelled)() ? 1 : 0;
}

std::size_t CurlUpload::readBody(char *buffer, std::size_t size, std::size_t count, void *self)
{
    auto *me = static_cast<CurlUpload *>(self);
    if (!me->mBody)
        return 0;
    const qsizetype n = std::min(qsizetype(size * count), me->mBody->size() - me->mBodyOffset);
    std::memcpy(buffer, me->mBody->constData() + me->mBodyOffset, std::size_t(n));
    me->mBodyOffset += n;
    return std::size_t(n);
}

int CurlUpload::seekBody(void *self, curl_off_t offset, int origin)
{
    // libcurl rewinds the body when it has to send it again (a retried or redirected request).
    auto *me = static_cast<CurlUpload *>(self);
    if (origin != SEEK_SET || !me->mBody || offset < 0 || offset > me->mBody->size())
        return CURL_SEEKFUNC_CANTSEEK;
    me->mBodyOffset = qsizetype(offset);
    return CURL_SEEKFUNC_OK;
}

int CurlUpload::keyCheck(CURL *, const curl_khkey *, const curl_khkey *, curl_khmatch match, void *self)
{
    // A key not in known_hosts, or one that differs from it, is refused: nobody at the track
    // is asked whether to trust it.
    auto *me = static_cast<CurlUpload *>(self);
    switch (match) {
    case CURLKHMATCH_OK:
        me->mHostKey = HostKey::Known;
        return CURLKHSTAT_FINE;
    case CURLKHMATCH_MISMATCH:
        me->mHostKey = HostKey::Changed;
        return CURLKHSTAT_REJECT;
    default:
        me->mHostKey = HostKey::Unknown;
        return CURLKHSTAT_REJECT;
    }
}

QString CurlUpload::reasonOf(CURLcode code, long response, const QString &name) const
{
    const QString &host = mTarget.host;
    if (mHostKey == HostKey::Unknown)
        return QStringLiteral("Unbekannter Server-Schlüssel: %1").arg(host);
    if (mHostKey == HostKey::Changed)
        return QStringLiteral("Server-Schlüssel hat sich geändert: %1").arg(host);
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
        return QStringLiteral("Server nicht gefunden: %1").arg(host);
    case CURLE_COULDNT_CONNECT:
        return QStringLiteral("Server nicht erreichbar: %1").arg(host);
    case CURLE_OPERATION_TIMEDOUT:
        return QStringLiteral("Zeitüberschreitung: %1 antwortet nicht").arg(host);
    case CURLE_LOGIN_DENIED:
        return QStringLiteral("Anmeldung abgelehnt");
    case CURLE_PEER_FAILED_VERIFICATION:
        return QStringLiteral("Zertifikat des Servers nicht vertrauenswürdig: %1").arg(host);
    case CURLE_SSL_CACERT_BADFILE:
        return QStringLiteral("Zertifikatsdatei nicht lesbar: %1").arg(mCredentials.caFile);
    case CURLE_SSL_CONNECT_ERROR:
        return QStringLiteral("Verschlüsselte Verbindung fehlgeschlagen: %1").arg(host);
    case CURLE_USE_SSL_FAILED:
        return QStringLiteral("Server bietet keine Verschlüsselung an: %1").arg(host);
    case CURLE_REMOTE_DISK_FULL:
        return QStringLiteral("Speicher auf dem Server voll");
    case CURLE_REMOTE_ACCESS_DENIED:
        return QStringLiteral("Zugriff verweigert: %1").arg(mTarget.directory);
    case CURLE_REMOTE_FILE_NOT_FOUND:
        return QStringLiteral("Ordner auf dem Server fehlt: %1").arg(mTarget.directory);
    case CURLE_QUOTE_ERROR:
        return QStringLiteral("Umbenennen auf dem Server fehlgeschlagen: %1").arg(name);
    case CURLE_UPLOAD_FAILED:
        // 452 and 552: the FTP server has no room for the file.
        if (response == 452 || response == 552)
            return QStringLiteral("Speicher auf dem Server voll");
        return QStringLiteral("Server nimmt die Datei nicht an: %1").arg(name);
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_SSH:
        return QStringLiteral("Verbindung zu %1 abgebrochen").arg(host);
    case CURLE_HTTP_RETURNED_ERROR:
        switch (response) {
        case 401:
            return QStringLiteral("Anmeldung abgelehnt");
        case 403:
            return QStringLiteral("Zugriff verweigert: %1").arg(mTarget.directory);
        case 404:
        case 409:
            return QStringLiteral("Ordner auf dem Server fehlt: %1").arg(mTarget.directory);
        case 405:
        case 501:
            return QStringLiteral("Server nimmt keine Dateien an (WebDAV nicht eingeschaltet?): %1").arg(host);
        case 413:
            return QStringLiteral("Datei zu groß für den Server: %1").arg(name);
        case 507:
            return QStringLiteral("Speicher auf dem Server voll");
        default:
            return QStringLiteral("Server meldet Fehler %1 bei %2").arg(response).arg(name);
        }
    default:
        return QStringLiteral("Übertragung fehlgeschlagen: %1").arg(QString::fromUtf8(curl_easy_strerror(code)));
    }
}
