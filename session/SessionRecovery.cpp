#include "session/SessionRecovery.h"

#include "session/JournalFolder.h"
#include "session/JournalFormat.h"
#include "session/JournalRecorder.h"
#include "session/JournalWriter.h"
#include "session/RaceSession.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <utility>

namespace {

// Whether the journal's last line is a whole END line: a session that ended cleanly. Read
// from the last bytes only, so that a start does not read every kept journal through.
bool endsCleanly(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    constexpr qint64 Tail = 4096;
    if (file.size() > Tail && !file.seek(file.size() - Tail))
        return false;
    const QByteArray tail = file.read(Tail);
    if (!tail.endsWith('\n'))
        return false;
    // Without a '\n' before it, the line may have begun before the bytes read: its checksum tells.
    const qsizetype start = tail.lastIndexOf('\n', tail.size() - 2) + 1;
    const auto body = JournalFormat::checkedBody(QByteArrayView(tail).sliced(start, tail.size() - 1 - start));
    return body && JournalFormat::parseEnd(*body).has_value();
}

} // namespace

SessionRecovery::SessionRecovery(RaceSession &session, JournalRecorder &recorder)
    : mSession(session)
    , mRecorder(recorder)
{
}

QStringList SessionRecovery::interrupted(const QDir &dir)
{
    QStringList found;
    const QList<JournalFolder::Entry> journals = JournalFolder(dir).journals();
    for (auto it = journals.rbegin(); it != journals.rend(); ++it) {
        // An empty file never got its header: nothing to bring back.
        if (QFileInfo(it->path).size() == 0 || endsCleanly(it->path) || JournalWriter::isHeld(it->path))
            continue;
        found << it->path;
    }
    return found;
}

bool SessionRecovery::read(const QString &path)
{
    mPath.clear();
    mError.clear();
    if (JournalWriter::isHeld(path)) {
        mError = QStringLiteral("Journal wird von einem anderen Chronolauf geschrieben");
        return false;
    }
    if (mReader.read(path)) {
        mPath = path;
        return true;
    }
    mError = mReader.error();
    if (mReader.problem() != JournalReader::Problem::Damaged)
        return false;
    // Kept for a look under a name no one offers again; rename never replaces a file.
    QString kept = path + QStringLiteral(".unlesbar");
    for (int n = 2; !QFile::rename(path, kept); ++n) {
        if (!QFile::exists(path) || n > 100)
            return false;
        kept = QStringLiteral("%1-%2.unlesbar").arg(path).arg(n);
    }
    mError += QStringLiteral("\nAufbewahrt als %1").arg(QDir::toNativeSeparators(kept));
    return false;
}

bool SessionRecovery::restore()
{
    if (mPath.isEmpty())
        return false;
    // The offset first: the restored session's timers read the clock as soon as they run.
    const std::uint32_t base = std::uint32_t(mSession.now()) - mSession.clockOffset();
    if (const auto offset = rebootOffset(mReader.header(), JournalFormat::readBootId(), QDateTime::currentMSecsSinceEpoch(), base))
        mSession.setClockOffset(*offset);
    mSession.restore(mReader.header().rebuildSetup(), std::vector<RaceInput>(mReader.inputs().begin(), mReader.inputs().end()));
    const QString path = std::exchange(mPath, QString());
    if (mRecorder.resume(path, mReader.validBytes(), mReader.readBytes()))
        return true;
    // The race must be recorded all the same: a journal of its own, from its whole record.
    mRecorder.recordAnew();
    return false;
}

bool SessionRecovery::decline()
{
    if (mPath.isEmpty())
        return false;
    const QString path = std::exchange(mPath, QString());
    JournalWriter writer;
    QObject::connect(&writer, &JournalWriter::failed, &writer, [this](const QString &reason) { mError = reason; });
    return writer.resume(path, mReader.validBytes(), mReader.readBytes()) && writer.close(QStringLiteral("nicht wiederhergestellt"));
}

std::optional<std::uint32_t> SessionRecovery::rebootOffset(const JournalHeader &header, const QString &bootId, std::int64_t nowMs,
                                                           std::uint32_t baseTick)
{
    if (header.bootId.isEmpty() || bootId.isEmpty() || header.bootId == bootId)
        return std::nullopt;
    const std::int64_t passed = std::max<std::int64_t>(0, nowMs - header.startWallClockMs);
    const std::uint32_t target = std::uint32_t(header.startTick) + std::uint32_t(passed);
    return target - baseTick;
}
