#pragma once

#include "core/RaceInput.h"
#include "session/JournalHeader.h"

#include <QByteArrayView>
#include <QList>
#include <QString>

#include <cstdint>

// Reads a journal back: its header and its inputs, for a recovery or a replay. Only the
// last line may be damaged (the program died while writing it): it is dropped and all
// before it is kept. Damage anywhere else refuses the whole journal, so that a replay
// never runs on a session with a hole in it.
class JournalReader
{
public:
    // Why a journal was refused: it decides what may be done with the file.
    enum class Problem {
        None,
        Unreadable, // the file cannot be read now (permissions, a failing disk)
        Foreign,    // not a journal of ours
        Newer,      // written by a newer program: a later version reads it
        Damaged,    // a line inside it is broken: it can never be read
    };

    // Reads the file; false if it is refused, error() says why. Nothing is kept then.
    bool read(const QString &path);
    // The same for a journal already in memory.
    bool parse(QByteArrayView data);

    const JournalHeader &header() const { return mHeader; }
    const QList<RaceInput> &inputs() const { return mInputs; }
    // The journal ends with an END line: the program that wrote it ended cleanly.
    bool cleanEnd() const { return mCleanEnd; }
    const QString &endReason() const { return mEndReason; }
    // A damaged last line was dropped.
    bool droppedLastLine() const { return mDroppedLastLine; }
    // Bytes from the file's start through the last line kept: a writer that goes on with
    // this journal cuts it there first, so that its next line does not join a torn one.
    std::int64_t validBytes() const { return mValidBytes; }
    // The file's length as read: a writer going on with it checks that nobody wrote since.
    std::int64_t readBytes() const { return mReadBytes; }
    // Why the journal was refused, in German for the program's message.
    const QString &error() const { return mError; }
    Problem problem() const { return mProblem; }

private:
    void reset();
    bool refuse(Problem problem, const QString &error);

    JournalHeader mHeader;
    QList<RaceInput> mInputs;
    bool mCleanEnd = false;
    QString mEndReason;
    bool mDroppedLastLine = false;
    std::int64_t mValidBytes = 0;
    std::int64_t mReadBytes = 0;
    QString mError;
    Problem mProblem = Problem::None;
};
