#include "session/JournalRecorder.h"

#include "core/RaceCore.h"
#include "session/JournalFormat.h"
#include "session/JournalReader.h"
#include "session/JournalWriter.h"
#include "session/RaceSession.h"

#include <QDateTime>
#include <QFile>

JournalRecorder::JournalRecorder(RaceSession &session, const QDir &dir, QObject *parent)
    : QObject(parent)
    , mSession(session)
    , mDir(dir)
{
    connect(&mSession, &RaceSession::sessionBegan, this, &JournalRecorder::begin);
    connect(&mSession, &RaceSession::recorded, this, &JournalRecorder::append);
    connect(&mSession, &RaceSession::sessionClosed, this, &JournalRecorder::end);
}

JournalRecorder::~JournalRecorder() = default;

QString JournalRecorder::path() const
{
    return mWriter ? mWriter->path() : QString();
}

void JournalRecorder::begin(const SessionSetup &setup, const std::vector<RaceInput> &inputs)
{
    end();
    JournalHeader header;
    header.setup = setup;
    header.locale = QLocale().name();
    header.startTick = mSession.core().table().RaceStartTick;
    header.startWallClockMs = QDateTime::currentMSecsSinceEpoch();
    header.bootId = JournalFormat::readBootId();

    mDir.mkpath(QStringLiteral("."));
    mWriter = std::make_unique<JournalWriter>();
    connect(mWriter.get(), &JournalWriter::failed, this, &JournalRecorder::failed, Qt::QueuedConnection);
    if (!mWriter->open(JournalWriter::newPath(mDir, QDateTime::currentDateTime()), header))
        return;
    for (const RaceInput &input : inputs)
        mWriter->append(input);
    JournalWriter::prune(mDir);
}

void JournalRecorder::append(const RaceInput &input)
{
    if (mWriter)
        mWriter->append(input);
}

void JournalRecorder::end()
{
    if (mWriter)
        mWriter->close(QStringLiteral("neue Sitzung"));
    mWriter.reset();
}

void JournalRecorder::close(const QString &reason)
{
    if (mWriter)
        mWriter->close(reason);
    mWriter.reset();
}

bool JournalRecorder::resume(const QString &path, std::int64_t validBytes)
{
    end();
    mWriter = std::make_unique<JournalWriter>();
    connect(mWriter.get(), &JournalWriter::failed, this, &JournalRecorder::failed, Qt::QueuedConnection);
    if (mWriter->resume(path, validBytes))
        return true;
    mWriter.reset();
    return false;
}

QString JournalRecorder::Interrupted(const QDir &dir)
{
    // The names sort by time: the newest is last.
    QStringList names = dir.entryList({QStringLiteral("*.journal")}, QDir::Files, QDir::Name);
    if (names.isEmpty())
        return {};
    const QString newest = dir.absoluteFilePath(names.last());
    JournalReader reader;
    // A journal that ended cleanly needs nothing; one that cannot be read is offered all
    // the same, so that the operator hears why it cannot come back.
    if (reader.read(newest) && reader.cleanEnd())
        return {};
    return newest;
}
