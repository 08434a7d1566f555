#pragma once

#include <QDateTime>
#include <QDir>
#include <QList>
#include <QString>

#include <cstdint>

// The journals in their folder. Every new journal takes the next number of a counter kept
// beside them, and its name starts with that number: "<number>-<yyyy-MM-dd>-<HHmmss>.journal".
// Journals are ordered by that number, never by the clock, which can be set back or have run
// ahead. Journals of earlier versions, named by the time alone, come before every numbered
// one. Files named otherwise are not ours and are never touched.
class JournalFolder
{
public:
    // The counter's file in the folder: the number the newest journal took.
    static constexpr char CounterName[] = "sequence";
    // How many journals pruning keeps.
    static constexpr int DefaultKeep = 50;

    // One of our journals.
    struct Entry
    {
        QString path;
        // Its number; 0 for a journal named by the time alone.
        std::int64_t number = 0;
    };

    explicit JournalFolder(const QDir &dir);

    const QDir &dir() const { return mDir; }
    // Our journals, oldest first.
    QList<Entry> journals() const;
    // Takes the next number and creates the empty journal file named by it and by now, under
    // a lock on the counter, so that two writers never get the same number. The number is
    // one above both the counter and every number in use, so a lost counter does no harm.
    // Empty, with error() set, if the folder cannot be written.
    QString create(const QDateTime &now);
    // Why create() failed.
    const QString &error() const { return mError; }
    // Deletes all but the keep newest journals; never the one named open, nor one that a
    // writer holds. Returns how many were deleted.
    int prune(int keep = DefaultKeep, const QString &open = QString()) const;

private:
    QDir mDir;
    // The reason of the last create() that failed.
    QString mError;
};
