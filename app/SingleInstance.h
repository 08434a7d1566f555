#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

class QLocalSocket;

// One program at a time per data folder: a second one would offer the running race for
// recovery and write into its journal. The first holds a lock file in the data folder and
// listens on a local socket; a later start finds the lock, asks the first to bring its
// window to the front, and ends without touching any journal.
class SingleInstance final : public QObject
{
    Q_OBJECT

public:
    enum class Result {
        First,       // this program holds the lock
        Running,     // another program holds it: this one must end
        Unavailable, // the lock cannot be made (folder not writable): go on without it
    };

    // What a second start prints and shows.
    static constexpr char RunningText[] = "Chronolauf läuft bereits.";

    explicit SingleInstance(const QString &dataDir, QObject *parent = nullptr);
    // Releases the lock and stops listening.
    ~SingleInstance() override;

    // Takes the lock; the first program then listens for later starts.
    Result acquire();
    // A later start: asks the running program to come to the front. Returns at once; the
    // event loop carries the request, waitForDelivery() waits for it.
    void activateRunning();
    // Runs the event loop until the request is out or timeoutMs have passed; true if delivered.
    bool waitForDelivery(int timeoutMs);

    const QString &lockPath() const { return mLockPath; }
    // The socket's name: per user and data folder, so that only the same folder's program answers.
    static QString serverName(const QString &dataDir);

signals:
    // A later start asked for the window.
    void activationRequested();
    // activateRunning() is done, the request out (delivered) or not.
    void deliveryDone(bool delivered);

private:
    // A later start's request: the one word, then the line is hung up.
    void readRequest(QLocalSocket *socket);

    QString mDataDir;
    QString mLockPath;
    // Held for the whole run; released by the system if the program dies.
    QLockFile mLock;
    // The first program's ear for later starts.
    QLocalServer mServer;
    // A later start's line to the first program; a child of this object.
    QLocalSocket *mClient = nullptr;
    // activateRunning() has come to an end, and whether the word went out.
    bool mDone = false;
    bool mDelivered = false;
};
