#pragma once

#include "core/RaceInput.h"
#include "core/SessionSetup.h"

#include <QDir>
#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

class JournalWriter;
class RaceSession;

// Keeps the journal of the running session: a new file when a session begins (numbered by
// JournalFolder), every input that changes the race written before its effect is shown, the
// file closed at the reset or when the program ends. A recovered session goes on in its own
// journal.
class JournalRecorder final : public QObject
{
    Q_OBJECT

public:
    // Journals are kept in dir, the newest JournalFolder::DefaultKeep of them.
    JournalRecorder(RaceSession &session, const QDir &dir, QObject *parent = nullptr);
    ~JournalRecorder() override;

    // Goes on writing a recovered journal, cut after its last complete line; refused if
    // another writer holds it or it is no longer readBytes long (see JournalWriter::resume).
    bool resume(const QString &path, std::int64_t validBytes, std::int64_t readBytes = -1);
    // Goes on in a new journal that holds the running session's whole record: for a
    // recovered session whose own journal cannot be written.
    void recordAnew();
    // The program ends cleanly: the journal says so, and no recovery is offered for it.
    void close(const QString &reason);
    // The journal being written, empty while no session is on.
    QString path() const;

signals:
    // Writing or syncing failed; the race goes on, the operator must know.
    void failed(const QString &reason);
    // After a failure, the journal is complete again: its last write, or a new journal's
    // first, went through.
    void recovered();

private:
    void begin(const SessionSetup &setup, const std::vector<RaceInput> &inputs);
    void append(const RaceInput &input);
    void end();
    // A fresh writer, its reports passed on after the input being written is done.
    void makeWriter();
    // Reports a failure (after the input being written is done), and remembers it.
    void fail(const QString &reason);
    // A new or resumed journal is written up to now: a failure before it is over.
    void wroteThrough();

    RaceSession &mSession;
    QDir mDir;
    std::unique_ptr<JournalWriter> mWriter;
    // A failure was reported and no recovery since: the operator still sees it.
    bool mFailing = false;
};
