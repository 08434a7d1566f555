#include "session/JournalFolder.h"

#include "session/JournalWriter.h"

#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRegularExpression>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

// "<number>-<yyyy-MM-dd>-<HHmmss>.journal"; the number has six digits at least, so it never
// reads as the year of an old name.
const QRegularExpression &numberedName()
{
    static const QRegularExpression Name(QStringLiteral("^(\\d{6,18})-\\d{4}-\\d{2}-\\d{2}-\\d{6}\\.journal$"));
    return Name;
}

// The names of earlier versions: "<yyyy-MM-dd>-<HHmmss>.journal", "-2", "-3" ... for a taken name.
const QRegularExpression &timedName()
{
    static const QRegularExpression Name(QStringLiteral("^(\\d{4}-\\d{2}-\\d{2}-\\d{6})(?:-(\\d{1,9}))?\\.journal$"));
    return Name;
}

struct Found
{
    JournalFolder::Entry entry;
    // Old names only: the time in the name, and the number a taken name got.
    QString stamp;
    int taken = 1;
};

// The counter's number; 0 if it is missing or unreadable (the names still tell).
std::int64_t readCounter(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    bool ok = false;
    const std::int64_t value = file.read(32).trimmed().toLongLong(&ok);
    return ok && value > 0 ? value : 0;
}

} // namespace

JournalFolder::JournalFolder(const QDir &dir)
    : mDir(dir)
{
}

QList<JournalFolder::Entry> JournalFolder::journals() const
{
    std::vector<Found> found;
    for (const QString &name : mDir.entryList({QStringLiteral("*.journal")}, QDir::Files)) {
        const QString path = mDir.absoluteFilePath(name);
        if (const QRegularExpressionMatch match = numberedName().match(name); match.hasMatch())
            found.push_back({.entry = {.path = path, .number = match.captured(1).toLongLong()}, .stamp = {}, .taken = 1});
        else if (const QRegularExpressionMatch old = timedName().match(name); old.hasMatch())
            found.push_back({.entry = {.path = path, .number = 0}, .stamp = old.captured(1),
                             .taken = old.hasCaptured(2) ? old.captured(2).toInt() : 1});
    }
    std::sort(found.begin(), found.end(), [](const Found &a, const Found &b) {
        if (a.entry.number != b.entry.number)
            return a.entry.number < b.entry.number;
        return a.stamp != b.stamp ? a.stamp < b.stamp : a.taken < b.taken;
    });
    QList<Entry> entries;
    entries.reserve(qsizetype(found.size()));
    for (const Found &f : found)
        entries.append(f.entry);
    return entries;
}

QString JournalFolder::create(const QDateTime &now)
{
    mError.clear();
    if (!mDir.mkpath(QStringLiteral("."))) {
        mError = QStringLiteral("Ordner %1 kann nicht angelegt werden").arg(QDir::toNativeSeparators(mDir.absolutePath()));
        return {};
    }
    const QString counterPath = mDir.absoluteFilePath(QString::fromLatin1(CounterName));
    // Held for a moment only: between reading the counter and creating the file.
    QLockFile lock(counterPath + QStringLiteral(".lock"));
    lock.setStaleLockTime(0);
    if (!lock.tryLock(2000)) {
        mError = QStringLiteral("Zähler %1 ist gesperrt").arg(QDir::toNativeSeparators(counterPath));
        return {};
    }
    std::int64_t number = readCounter(counterPath);
    for (const Entry &entry : journals())
        number = std::max(number, entry.number);
    const QString stamp = now.toString(QStringLiteral("yyyy-MM-dd-HHmmss"));
    QString path;
    // O_EXCL: a file of that name, whoever made it, is never taken over; the next number is.
    for (int attempt = 0; attempt < 100; ++attempt) {
        ++number;
        path = mDir.absoluteFilePath(QStringLiteral("%1-%2.journal").arg(number, 6, 10, QLatin1Char('0')).arg(stamp));
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::close(fd);
            break;
        }
        if (errno != EEXIST) {
            mError = qt_error_string(errno);
            return {};
        }
        path.clear();
    }
    if (path.isEmpty()) {
        mError = QStringLiteral("kein freier Name in %1").arg(QDir::toNativeSeparators(mDir.absolutePath()));
        return {};
    }
    // A counter that cannot be written does no harm: the new name carries the number.
    QSaveFile counter(counterPath);
    if (counter.open(QIODevice::WriteOnly)) {
        counter.write(QByteArray::number(qlonglong(number)) + '\n');
        counter.commit();
    }
    return path;
}

int JournalFolder::prune(int keep, const QString &open) const
{
    const QList<Entry> entries = journals();
    const QString openPath = open.isEmpty() ? QString() : QFileInfo(open).absoluteFilePath();
    int deleted = 0;
    for (qsizetype i = 0; i + std::max(keep, 0) < entries.size(); ++i) {
        const QString &path = entries[i].path;
        if (path == openPath || JournalWriter::isHeld(path))
            continue;
        if (QFile::remove(path))
            ++deleted;
    }
    return deleted;
}
