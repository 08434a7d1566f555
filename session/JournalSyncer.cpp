#include "session/JournalSyncer.h"

#include <cerrno>
#include <unistd.h>

JournalSyncer::JournalSyncer(int fd, QObject *parent)
    : QObject(parent)
    , mFd(fd)
{
}

void JournalSyncer::request(std::int64_t writtenBytes)
{
    mWritten.store(writtenBytes);
    if (!mRequested.exchange(true))
        QMetaObject::invokeMethod(this, &JournalSyncer::syncRequested, Qt::QueuedConnection);
}

void JournalSyncer::syncRequested()
{
    const int error = syncNow();
    if (error != 0)
        emit failed(qt_error_string(error));
}

int JournalSyncer::syncNow()
{
    mRequested.store(false);
    const std::int64_t target = mWritten.load();
    int result;
    do {
        result = ::fdatasync(mFd);
    } while (result != 0 && errno == EINTR);
    // A pipe or a device cannot be synced: nothing more can be made durable there.
    if (result != 0 && errno != EINVAL && errno != EROFS)
        return errno;
    mDurable.store(target);
    mSyncs.fetch_add(1);
    return 0;
}
