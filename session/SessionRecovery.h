#pragma once

#include "session/JournalHeader.h"
#include "session/JournalReader.h"

#include <QDir>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

class JournalRecorder;
class RaceSession;

// Brings back a session whose program died during it: finds the journals that did not end
// cleanly, reads one, moves the race clock after a reboot, restores the session and lets the
// recorder go on in that journal. The question to the operator is the caller's.
class SessionRecovery
{
public:
    SessionRecovery(RaceSession &session, JournalRecorder &recorder);

    // The journals in dir that did not end cleanly, newest first. One that a writer holds
    // is left out: it is the running race of another program, not an interrupted one.
    static QStringList interrupted(const QDir &dir);

    // Reads a journal for restore() or decline(); false with error() if it cannot come back.
    // A damaged journal is renamed "*.unlesbar" (every byte kept) so that it is not offered
    // again; one from a newer program, one that cannot be read now and one that a writer
    // holds stay as they are.
    bool read(const QString &path);
    const QString &error() const { return mError; }
    const JournalReader &reader() const { return mReader; }

    // Restores the session of the journal read, the race clock moved first if the journal
    // comes from another boot, and goes on writing that journal. False if that journal cannot
    // be written: the session is back all the same and goes on in a new journal, and the
    // recorder reports why.
    bool restore();
    // The operator declined: the journal read ends as "nicht wiederhergestellt" and is not
    // offered again.
    bool decline();

    // The race clock offset that lets a session of another boot go on by the wall-clock time
    // passed since its start (the boot clock began again); nullopt within the boot it was
    // recorded in, or when either boot is not known. baseTick: the boot clock now.
    static std::optional<std::uint32_t> rebootOffset(const JournalHeader &header, const QString &bootId, std::int64_t nowMs,
                                                     std::uint32_t baseTick);

private:
    RaceSession &mSession;
    // Goes on writing the restored session's journal.
    JournalRecorder &mRecorder;
    // The journal read last, kept for restore() or decline().
    JournalReader mReader;
    // The journal read last; empty when it cannot be restored.
    QString mPath;
    QString mError;
};
