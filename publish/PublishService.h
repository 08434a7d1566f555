#pragma once

#include "publish/PublishTarget.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class Publisher;
class QThread;
class QTimer;
class RaceSession;
struct ResultsSnapshot;

// One file to upload: its name in the remote folder and its bytes.
struct PublishFile
{
    QString name;
    QByteArray content;
};

// What a target needs besides its URL; never written to the settings file or the journal.
struct PublishCredentials
{
    QString password;        // FTP, FTPS and WebDAV; from the desktop's keyring
    QString keyFile;         // SFTP: the private key (empty: ~/.ssh/id_ed25519, then id_rsa, or the agent)
    QString knownHostsFile;  // SFTP: empty means ~/.ssh/known_hosts
    QString caFile = {};     // HTTPS and FTPS: a host's own certificate authority; empty means the system's
};

// Publishes the standings to a web host while the race runs. The uploads run on a worker
// thread that this object owns and joins; the GUI thread only hands over the newest results.
// When the standings changed, at most every interval seconds, the files the maker makes of
// the newest results go up; each to a temporary name first, then renamed into place.
class PublishService final : public QObject
{
    Q_OBJECT

public:
    // Makes the files of one upload from the results (index.html, standings.json, ...). It
    // runs on the publishing thread: what it shares with the program must be guarded.
    using FileMaker = std::function<std::vector<PublishFile>(const std::shared_ptr<const ResultsSnapshot> &)>;

    static constexpr int DefaultIntervalSeconds = 10;
    static constexpr int MinimumIntervalSeconds = 2;
    static constexpr int MaximumIntervalSeconds = 600;
    // A transfer that takes longer than this is cut.
    static constexpr int TransferTimeoutSeconds = 30;
    // This many failures in a row make the status an error.
    static constexpr int FailuresShown = 3;

    PublishService(RaceSession &session, FileMaker maker, QObject *parent = nullptr);
    // Stops publishing and joins the worker thread.
    ~PublishService() override;

    // Starts publishing to the target (the interval clamped to 2..600 s); the current
    // results go up at once. Starting again replaces the target.
    void start(const PublishTarget &target, const PublishCredentials &credentials, int intervalSeconds);
    void stop();
    bool isRunning() const { return mRunning; }

signals:
    // An upload of every file succeeded.
    void published(const QDateTime &at);
    // An upload failed; reason is German and names the cause ("Unbekannter Server-Schlüssel:
    // <host>", "Anmeldung abgelehnt", ...). failuresInRow counts since the last success.
    void failed(const QString &reason, int failuresInRow);
    // Bytes sent by the uploads so far, for the traffic figures.
    void bytesSent(qint64 total);

private:
    // The standings changed: they go up at the next tick.
    void changed();
    void tick();
    // Makes the files of the newest results and hands them to the publishing thread.
    void publishNow();
    void uploaded(const QDateTime &at, int generation);
    void uploadFailed(const QString &reason, int failuresInRow, int generation);

    RaceSession &mSession;
    bool mRunning = false;
    QThread *mThread;
    Publisher *mPublisher; // lives on mThread, deleted there when it finishes
    // Every interval, what changed goes up: a booking itself only sets mChanged.
    QTimer *mTimer;
    bool mChanged = false;
    // Each start and stop gets a number, so that the outcome of an older upload is ignored.
    int mGeneration = 0;
};
