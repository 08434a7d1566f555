#pragma once

#include "core/ResultsSnapshot.h"
#include "core/TickSource.h"
#include "publish/PublishService.h"
#include "session/RaceSession.h"

#include <QDir>
#include <QFile>

#include <atomic>
#include <memory>

// A running race on a clock the test moves, and a file maker that writes the lap total into
// standings.txt (padded to the size asked for), counting how often it is called.
class PublishRace
{
public:
    using Kind = RaceInput::Kind;

    explicit PublishRace(int participants = 4)
        : mClock(new ManualTickSource(1000))
        , session(std::unique_ptr<TickSource>(mClock), QLocale(QLocale::German, QLocale::Germany))
    {
        session.submit({.kind = Kind::CarCountChanged, .value = participants});
        session.submit({.kind = Kind::DurationEdited, .text = QStringLiteral("86400")});
        session.submit({.kind = Kind::StartCommand});
    }

    // A lap for participant p, a minute after the last booking.
    void book(int p = 1)
    {
        mClock->advance(60000);
        session.submit({.kind = Kind::Assign, .value = p});
    }
    int laps() const { return lapsOf(*session.snapshot()); }

    // The laps of every participant together.
    static int lapsOf(const ResultsSnapshot &results)
    {
        int total = 0;
        for (const ResultsSnapshot::Row &row : results.rows)
            total += int(row.lapTimes.size());
        return total;
    }
    // "laps=<n>\n", padded with a repeating pattern to size bytes, and "end=<n>\n".
    static QByteArray content(int laps, qsizetype size)
    {
        const QByteArray head = "laps=" + QByteArray::number(laps) + '\n';
        const QByteArray tail = "end=" + QByteArray::number(laps) + '\n';
        QByteArray body = head;
        while (body.size() + tail.size() < size)
            body += char('a' + body.size() % 26);
        return body + tail;
    }
    PublishService::FileMaker maker(qsizetype size = 64)
    {
        return [this, size](const std::shared_ptr<const ResultsSnapshot> &results) {
            ++made;
            return std::vector<PublishFile>{{QStringLiteral("standings.txt"), content(lapsOf(*results), size)}};
        };
    }

    static QByteArray read(const QString &file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // Every file in the folder, hidden ones too.
    static QStringList files(const QString &folder)
    {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    // Files are made on the publishing thread.
    std::atomic<int> made = 0;

private:
    ManualTickSource *mClock; // owned by the session

public:
    RaceSession session;
};
