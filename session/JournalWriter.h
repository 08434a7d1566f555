#pragma once

#include "core/RaceInput.h"
#include "session/JournalHeader.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QThread>
#include <QTimer>

#include <cstdint>
#include <memory>

class JournalSyncer;

// Writes a session's journal: the header, then every applied input as one line. The line
// is written with a plain write() on the caller's thread before the input's effect is
// shown, so a killed process loses nothing; a thread of the writer's own makes it durable
// with fdatasync as soon as the caller's event loop turns (one sync covers every write
// before it), so a power cut loses at most the last few milliseconds. Failures never
// throw: they are reported through failed(), the race goes on, and the lines not written
// are tried again with the next one. While open, the writer holds an exclusive lock
// (flock) on the file: no other writer, in this process or another, writes the same journal.
class JournalWriter final : public QObject
{
    Q_OBJECT

public:
    explicit JournalWriter(QObject *parent = nullptr);
    // Writes what is still waiting, syncs once more and joins the thread; no END line:
    // only close() says the program ended cleanly.
    ~JournalWriter() override;

    // Creates the file (and its folder) and writes the header. A file that already holds
    // data, or that another writer holds, is refused, so an earlier journal is never
    // overwritten. False (and failed()) only if the file cannot be opened or locked; a
    // header that cannot be written yet waits like any line.
    bool open(const QString &path, const JournalHeader &header);
    // Goes on writing an interrupted journal: cuts it after its last complete line
    // (JournalReader::validBytes), so the next line does not join a torn one, and appends.
    // Refused if another writer holds it, or if it is no longer readBytes long (when given):
    // then someone wrote it after it was read, and cutting it would lose that.
    bool resume(const QString &path, std::int64_t validBytes, std::int64_t readBytes = -1);
    bool isOpen() const { return mFd >= 0; }
    const QString &path() const { return mPath; }

    // Writes one input. False (and failed()) if it could not be written completely now;
    // it stays queued and goes out before the next line.
    bool append(const RaceInput &input);
    // Writes the END line with the reason, syncs and closes the file. False (and failed())
    // if anything of the journal could not be written or synced.
    bool close(const QString &reason);

    // Bytes written to the file since open or resume, and of those the bytes known to be
    // on the disk (behind by at most one sync).
    std::int64_t writtenBytes() const { return mWritten; }
    std::int64_t durableBytes() const;
    // Bytes of lines that failed to be written and wait for the next attempt.
    std::int64_t waitingBytes() const { return mBacklog.size(); }

    // Whether a writer, of this process or another, holds the journal at path now.
    static bool isHeld(const QString &path);

signals:
    // A write or a sync failed: reason is the system's text ("No space left on device").
    // Emitted on the writer's thread; a failed sync is reported shortly after the fact.
    void failed(const QString &reason);
    // After a failure, everything waiting has been written again: the journal is complete
    // up to now (the operator's warning can go).
    void recovered();

private:
    // Writes the backlog; false after an error, reported through failed() if report says so
    // (not while the writer is being destroyed: its listeners may be gone).
    bool flush(bool report = true);
    // Hands the lines written so far to the sync thread, from the event loop.
    void requestSync();
    // Stops the sync thread, syncs on this thread and closes the file; the errno of the
    // first failure, 0 if none.
    int shutDown();
    // Takes over an open file descriptor: starts the sync thread and writes the backlog.
    void start(int fd, const QString &path);
    // The sync thread's failure: reported, and the next complete write reports recovered().
    void syncFailed(const QString &reason);
    // Opens path and takes its lock; the descriptor, or -1 after failed().
    int openLocked(const QString &path, int flags);

    int mFd = -1;
    QString mPath;
    // Encoded lines not yet in the file: normally only the line being appended.
    QByteArray mBacklog;
    std::int64_t mWritten = 0;
    // A write or a sync failed since the backlog was last written completely.
    bool mFailing = false;
    // Runs requestSync when the event loop next turns; while it is pending, later writes ride along.
    QTimer mSyncKick;
    QThread mThread;
    std::unique_ptr<JournalSyncer> mSyncer;
};
