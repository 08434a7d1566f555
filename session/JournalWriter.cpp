#include "session/JournalWriter.h"

#include "session/JournalFormat.h"
#include "session/JournalSyncer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

JournalWriter::JournalWriter(QObject *parent)
    : QObject(parent)
{
    mThread.setObjectName(QStringLiteral("journal sync"));
    mSyncKick.setSingleShot(true);
    mSyncKick.setInterval(0);
    connect(&mSyncKick, &QTimer::timeout, this, &JournalWriter::requestSync);
}

JournalWriter::~JournalWriter()
{
    if (isOpen()) {
        flush(false);
        shutDown();
    }
}

int JournalWriter::openLocked(const QString &path, int flags)
{
    // O_NONBLOCK: a pipe without reader fails at once instead of hanging the window, and a
    // full one refuses the write; on a plain file it changes nothing.
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd < 0) {
        emit failed(qt_error_string(errno));
        return -1;
    }
    // The lock goes with the descriptor: a crashed program leaves none behind.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        emit failed(error == EWOULDBLOCK ? QStringLiteral("%1 wird von einem anderen Chronolauf geschrieben").arg(QDir::toNativeSeparators(path))
                                         : qt_error_string(error));
        return -1;
    }
    return fd;
}

bool JournalWriter::open(const QString &path, const JournalHeader &header)
{
    if (isOpen()) {
        emit failed(QStringLiteral("%1 ist schon offen").arg(mPath));
        return false;
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    const int fd = openLocked(path, O_WRONLY | O_CREAT | O_APPEND);
    if (fd < 0)
        return false;
    struct stat info = {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
        ::close(fd);
        emit failed(QStringLiteral("%1 gibt es schon").arg(path));
        return false;
    }
    mBacklog = JournalFormat::headerLine(header);
    start(fd, path);
    return true;
}

bool JournalWriter::resume(const QString &path, std::int64_t validBytes, std::int64_t readBytes)
{
    if (isOpen()) {
        emit failed(QStringLiteral("%1 ist schon offen").arg(mPath));
        return false;
    }
    const int fd = openLocked(path, O_WRONLY | O_APPEND);
    if (fd < 0)
        return false;
    struct stat info = {};
    if (readBytes >= 0 && (::fstat(fd, &info) != 0 || info.st_size != readBytes)) {
        ::close(fd);
        emit failed(QStringLiteral("%1 wurde nach dem Lesen verändert").arg(QDir::toNativeSeparators(path)));
        return false;
    }
    if (::ftruncate(fd, validBytes) != 0) {
        const int error = errno;
        ::close(fd);
        emit failed(qt_error_string(error));
        return false;
    }
    mBacklog.clear();
    start(fd, path);
    return true;
}

void JournalWriter::start(int fd, const QString &path)
{
    mFd = fd;
    mPath = path;
    mWritten = 0;
    mSyncer = std::make_unique<JournalSyncer>(fd);
    mSyncer->moveToThread(&mThread);
    connect(mSyncer.get(), &JournalSyncer::failed, this, &JournalWriter::syncFailed);
    mThread.start();
    flush();
}

bool JournalWriter::append(const RaceInput &input)
{
    if (!isOpen())
        return false;
    JournalFormat::appendInputLine(mBacklog, input);
    return flush();
}

bool JournalWriter::flush(bool report)
{
    const std::int64_t before = mWritten;
    int error = 0;
    while (!mBacklog.isEmpty()) {
        const ssize_t n = ::write(mFd, mBacklog.constData(), static_cast<size_t>(mBacklog.size()));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            break;
        }
        mWritten += n;
        // A part of a line may have gone out: the rest follows it, so the file stays one
        // sequence of whole lines (torn at its end at worst).
        if (n == mBacklog.size())
            mBacklog.resize(0);
        else
            mBacklog.remove(0, n);
    }
    // Waking the sync thread costs more than the write itself (an idle CPU has to be woken):
    // it is done when the event loop next turns, once for every line written until then.
    // A zero timer, not a posted event: starting it needs no system call.
    if (mWritten != before && !mSyncKick.isActive())
        mSyncKick.start();
    if (error != 0) {
        mFailing = true;
        if (report)
            emit failed(qt_error_string(error));
        return false;
    }
    if (mFailing && report) {
        mFailing = false;
        emit recovered();
    }
    return true;
}

void JournalWriter::syncFailed(const QString &reason)
{
    mFailing = true;
    emit failed(reason);
}

void JournalWriter::requestSync()
{
    if (mSyncer)
        mSyncer->request(mWritten);
}

bool JournalWriter::close(const QString &reason)
{
    if (!isOpen())
        return false;
    mBacklog += JournalFormat::endLine(reason);
    const bool written = flush();
    const std::int64_t lost = mBacklog.size();
    const int error = shutDown();
    if (error != 0)
        emit failed(qt_error_string(error));
    else if (written && lost != 0)
        emit failed(QStringLiteral("%1 Bytes nicht geschrieben").arg(lost));
    return written && error == 0 && lost == 0;
}

std::int64_t JournalWriter::durableBytes() const
{
    return mSyncer ? mSyncer->durableBytes() : 0;
}

int JournalWriter::shutDown()
{
    mSyncKick.stop();
    mThread.quit();
    mThread.wait();
    // Requests still queued for the thread died with its event loop: this sync covers them.
    int error = mSyncer->syncNow();
    if (::close(mFd) != 0 && error == 0 && errno != EINTR)
        error = errno;
    mFd = -1;
    mSyncer.reset();
    mBacklog.clear();
    mFailing = false;
    return error;
}

bool JournalWriter::isHeld(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    // A lock of another open file, even in this process, conflicts with this one.
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}
