#include "session/JournalRecorder.h"

#include "core/RaceCore.h"
#include "core/TickSource.h"
#include "session/JournalFormat.h"
#include "session/JournalFolder.h"
#include "session/JournalWriter.h"
#include "session/RaceSession.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

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
    // The wall clock at the start tick: now when a session begins, earlier for one recorded anew.
    header.startWallClockMs = QDateTime::currentMSecsSinceEpoch() - std::max(0, TickDiff(mSession.now(), header.startTick));
    header.bootId = JournalFormat::readBootId();

    JournalFolder folder(mDir);
    const QString path = folder.create(QDateTime::currentDateTime());
    if (path.isEmpty()) {
        fail(folder.error());
        return;
    }
    makeWriter();
    if (!mWriter->open(path, header)) {
        mWriter.reset();
        // Nothing of the session is in it: an empty file would only be offered for recovery.
        if (QFileInfo(path).size() == 0)
            QFile::remove(path);
        return;
    }
    for (const RaceInput &input : inputs)
        mWriter->append(input);
    wroteThrough();
    // Only after the new journal exists: it is the newest, and never the one deleted.
    folder.prune(JournalFolder::DefaultKeep, path);
}

void JournalRecorder::makeWriter()
{
    mWriter = std::make_unique<JournalWriter>();
    connect(mWriter.get(), &JournalWriter::failed, this, &JournalRecorder::fail);
    connect(mWriter.get(), &JournalWriter::recovered, this, &JournalRecorder::wroteThrough);
}

void JournalRecorder::fail(const QString &reason)
{
    mFailing = true;
    // The listeners (the window) hear of it once the input being written has been applied.
    QMetaObject::invokeMethod(this, [this, reason] { emit failed(reason); }, Qt::QueuedConnection);
}

void JournalRecorder::wroteThrough()
{
    if (!mFailing || !mWriter || mWriter->waitingBytes() != 0)
        return;
    mFailing = false;
    QMetaObject::invokeMethod(this, [this] { emit recovered(); }, Qt::QueuedConnection);
}

void JournalRecorder::recordAnew()
{
    if (!mSession.history().empty())
        begin(mSession.setup(), mSession.history());
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

bool JournalRecorder::resume(const QString &path, std::int64_t validBytes, std::int64_t readBytes)
{
    end();
    makeWriter();
    if (mWriter->resume(path, validBytes, readBytes)) {
        wroteThrough();
        return true;
    }
    mWriter.reset();
    return false;
}
