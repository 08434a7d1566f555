#pragma once

#include "publish/PublishService.h"
#include "publish/PublishTarget.h"

#include <QString>

#include <curl/curl.h>

#include <functional>
#include <vector>

// The transfer itself, through libcurl: each file to a temporary name in the remote folder,
// then renamed into place, so that a reader only ever finds complete files. Lives on the
// publisher's thread; only wake() may be called from elsewhere.
class CurlUpload final
{
public:
    // What one upload came to.
    struct Outcome
    {
        bool ok = false;
        bool cancelled = false; // stopped by the caller: nothing to report
        QString reason;         // German, naming the cause, when neither ok nor cancelled
        qint64 bytes = 0;       // sent on the wire, failed attempts included
    };

    // Sets libcurl up once for the program; the handles live as long as this object.
    CurlUpload();
    ~CurlUpload();
    CurlUpload(const CurlUpload &) = delete;
    CurlUpload &operator=(const CurlUpload &) = delete;

    // Where the next uploads go; an open connection to an older target is dropped.
    void setTarget(const PublishTarget &target, const PublishCredentials &credentials);
    // Uploads every file in turn; cancelled() is asked while waiting on the network.
    Outcome send(const std::vector<PublishFile> &files, const std::function<bool()> &cancelled);
    // Makes a waiting send() ask cancelled() at once. Any thread.
    void wake();

    // The name a file is uploaded under before it is renamed into place.
    static QString temporaryName(const QString &name);

private:
    // The state of the SSH host key check of the current connection.
    enum class HostKey { Unchecked, Known, Unknown, Changed };

    Outcome sendOne(const PublishFile &file, const std::function<bool()> &cancelled);
    // Runs the prepared easy handle to its end; CURLE_ABORTED_BY_CALLBACK when cancelled.
    CURLcode perform(const std::function<bool()> &cancelled);
    // Sets what every request of the target shares: login, timeouts, TLS, the host key check.
    void prepare();
    QString reasonOf(CURLcode code, long response, const QString &name) const;
    // The SSH key to log in with, or the reason there is none.
    bool resolveKeyFile(QString &reason);
    // A path in an SFTP quote command, quoted.
    QByteArray sftpPath(const QString &name) const;

    // libcurl's callbacks: the SSH host key verdict, the cancel check, and the body's bytes.
    static int keyCheck(CURL *easy, const curl_khkey *known, const curl_khkey *found, curl_khmatch match, void *self);
    static int progress(void *self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
    static std::size_t readBody(char *buffer, std::size_t size, std::size_t count, void *self);
    static int seekBody(void *self, curl_off_t offset, int origin);

    CURLM *mMulti = nullptr; // holds the open connection between uploads
    CURL *mEasy = nullptr;   // the one request running at a time
    PublishTarget mTarget;           // where the uploads go
    PublishCredentials mCredentials; // how they log in; the password is never logged
    QString mKeyFile;       // the SSH key actually used (empty: the agent alone)
    bool mFresh = true;     // the next request opens a new connection
    HostKey mHostKey = HostKey::Unchecked;
    const std::function<bool()> *mCancelled = nullptr; // the running send()'s, for the progress callback
    // The body of the running PUT or STOR and how much of it libcurl has read.
    const QByteArray *mBody = nullptr;
    qsizetype mBodyOffset = 0;
};
