#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>

// The journal's background half: makes the written lines durable with fdatasync, off the
// GUI thread, so that a slow disk never delays a booking. Lives on the writer's thread.
class JournalSyncer final : public QObject
{
    Q_OBJECT

public:
    // fd stays open and owned by the writer until this object's thread has been joined.
    explicit JournalSyncer(int fd, QObject *parent = nullptr);

    // From the writer's thread after a write: the file now holds writtenBytes. Asks for a
    // sync unless one is asked for and not begun yet; that one will cover these bytes too.
    void request(std::int64_t writtenBytes);
    // A sync on the calling thread, for the last one after the thread has been joined.
    // Returns the errno of a failure, 0 on success.
    int syncNow();

    // How much of the file is known to be on the disk, and how many syncs it took.
    std::int64_t durableBytes() const { return mDurable.load(); }
    std::uint64_t syncCount() const { return mSyncs.load(); }

signals:
    // A sync failed; reason is the system's text for the error.
    void failed(const QString &reason);

private:
    // Runs on this object's thread, once per request that found none waiting.
    void syncRequested();

    const int mFd;
    // Set by request, cleared just before a sync starts: a write that sees it set is
    // covered by the sync that will clear it, as the write happened before that sync.
    std::atomic<bool> mRequested{false};
    std::atomic<std::int64_t> mWritten{0};
    std::atomic<std::int64_t> mDurable{0};
    std::atomic<std::uint64_t> mSyncs{0};
};
