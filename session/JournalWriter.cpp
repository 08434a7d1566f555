#include "session/JournalWriter.h"

#include "session/JournalFormat.h"
#include "session/JournalSyncer.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
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

bool JournalWriter::open(const QString &path, const JournalHeader &header)
{
    if (isOpen()) {
        emit failed(QStringLiteral("%1 ist schon offen").arg(mPath));
        return false;
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    // O_NONBLOCK: a pipe without reader fails at once instead of hanging the window, and a
    // full one refuses the write; on a plain file it changes nothing.
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd < 0) {
        emit failed(qt_error_string(errno));
        return false;
    }
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

bool JournalWriter::resume(const QString &path, std::int64_t validBytes)
{
    if (isOpen()) {
        emit failed(QStringLiteral("%1 ist schon offen").arg(mPath));
        return false;
    }
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0 || ::ftruncate(fd, validBytes) != 0) {
        const int error = errno;
        if (fd >= 0)
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
    connect(mSyncer.get(), &JournalSyncer::failed, this, &JournalWriter::failed);
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
        if (report)
            emit failed(qt_error_string(error));
        return false;
    }
    return true;
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
    return error;
}

QString JournalWriter::newPath(const QDir &dir, const QDateTime &now)
{
    const QString stamp = now.toString(QStringLiteral("yyyy-MM-dd-HHmmss"));
    QString name = stamp + QStringLiteral(".journal");
    for (int n = 2; dir.exists(name); ++n)
        name = QStringLiteral("%1-%2.journal").arg(stamp).arg(n);
    return dir.filePath(name);
}

int JournalWriter::prune(const QDir &dir, int keep)
{
    static const QRegularExpression Name(QStringLiteral("^(\\d{4}-\\d{2}-\\d{2}-\\d{6})(?:-(\\d{1,9}))?\\.journal$"));
    struct Journal
    {
        QString stamp;
        int number;
        QString name;
    };
    std::vector<Journal> journals;
    for (const QString &name : dir.entryList({QStringLiteral("*.journal")}, QDir::Files)) {
        const QRegularExpressionMatch match = Name.match(name);
        if (match.hasMatch())
            journals.push_back({match.captured(1), match.hasCaptured(2) ? match.captured(2).toInt() : 1, name});
    }
    // Newest first: by the time in the name, then by the number newPath added.
    std::sort(journals.begin(), journals.end(), [](const Journal &a, const Journal &b) {
        return a.stamp != b.stamp ? a.stamp > b.stamp : a.number > b.number;
    });
    int deleted = 0;
    for (std::size_t i = std::size_t(std::max(keep, 0)); i < journals.size(); ++i)
        if (QFile::remove(dir.filePath(journals[i].name)))
            ++deleted;
    return deleted;
}
