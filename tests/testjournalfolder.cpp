#include "ClockView.h"
#include "core/RaceCore.h"
#include "core/TickSource.h"
#include "session/JournalFolder.h"
#include "session/JournalFormat.h"
#include "session/JournalReader.h"
#include "session/JournalRecorder.h"
#include "session/JournalWriter.h"
#include "session/RaceSession.h"
#include "session/SessionRecovery.h"

#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>

using Kind = RaceInput::Kind;

namespace {

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool touch(const QDir &dir, const QString &name, const QByteArray &data = {})
{
    QFile file(dir.filePath(name));
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

QStringList names(const QStringList &paths)
{
    QStringList out;
    for (const QString &path : paths)
        out << QFileInfo(path).fileName();
    return out;
}

QStringList names(const QList<JournalFolder::Entry> &entries)
{
    QStringList out;
    for (const JournalFolder::Entry &entry : entries)
        out << QFileInfo(entry.path).fileName();
    return out;
}

// A session with a journal of its own in dir: started, two laps booked.
struct Race
{
    ManualTickSource clock{100000};
    RaceSession session{std::make_unique<ClockView>(clock)};
    JournalRecorder recorder;

    explicit Race(const QDir &dir)
        : recorder(session, dir)
    {
    }

    void run()
    {
        session.submit({.kind = Kind::StartCommand});
        for (int p = 1; p <= 2; ++p) {
            clock.advance(30000);
            session.submit({.kind = Kind::CapturePass});
            session.submit({.kind = Kind::Assign, .value = p});
        }
    }
};

// A journal of a race that was never closed, as a killed program leaves it.
QByteArray unclosedJournal()
{
    QByteArray out = JournalFormat::headerLine({.setup = {.participantCount = 3}, .locale = QStringLiteral("de_DE"), .bootId = JournalFormat::readBootId()});
    JournalFormat::appendInputLine(out, {.kind = Kind::StartCommand, .tick = 1000});
    JournalFormat::appendInputLine(out, {.kind = Kind::CapturePass, .tick = 61000});
    JournalFormat::appendInputLine(out, {.kind = Kind::Assign, .tick = 61500, .value = 2});
    return out;
}

} // namespace

// The journals' folder: numbers instead of clock times, pruning that never takes the open
// journal, two writers that never share one, and which journals a start offers back.
class TestJournalFolder : public QObject
{
    Q_OBJECT

    const QDateTime now{QDate(2026, 12, 8), QTime(7, 15, 3)};

private slots:
    void numbers_data()
    {
        QTest::addColumn<QStringList>("existing");  // files in the folder before
        QTest::addColumn<QByteArray>("counter");    // the counter's content; empty: no counter
        QTest::addColumn<QString>("expected");
        const QString at = QStringLiteral("-2026-12-08-071503.journal");
        QTest::newRow("first") << QStringList{} << QByteArray() << QStringLiteral("000001") + at;
        QTest::newRow("after the counter") << QStringList{} << QByteArray("41\n") << QStringLiteral("000042") + at;
        QTest::newRow("counter lost: the names tell") << QStringList{QStringLiteral("000007-2020-01-01-000000.journal")} << QByteArray()
                                                      << QStringLiteral("000008") + at;
        QTest::newRow("counter behind a name") << QStringList{QStringLiteral("000007-2030-01-01-000000.journal")} << QByteArray("3\n")
                                               << QStringLiteral("000008") + at;
        QTest::newRow("counter damaged") << QStringList{QStringLiteral("000002-2020-01-01-000000.journal")} << QByteArray("zwölf")
                                         << QStringLiteral("000003") + at;
        QTest::newRow("a clock name of the future counts for nothing")
            << QStringList{QStringLiteral("2099-01-01-000000.journal")} << QByteArray() << QStringLiteral("000001") + at;
        QTest::newRow("past six digits") << QStringList{} << QByteArray("999999") << QStringLiteral("1000000") + at;
    }

    // Each journal takes the number after the counter and after every name in the folder.
    void numbers()
    {
        QFETCH(QStringList, existing);
        QFETCH(QByteArray, counter);
        QTemporaryDir folder;
        QDir target(folder.path());
        for (const QString &name : existing)
            QVERIFY(touch(target, name));
        if (!counter.isEmpty())
            QVERIFY(touch(target, QString::fromLatin1(JournalFolder::CounterName), counter));
        JournalFolder journals(target);
        const QString path = journals.create(now);
        QVERIFY2(!path.isEmpty(), qPrintable(journals.error()));
        QTEST(QFileInfo(path).fileName(), "expected");
        QVERIFY(QFileInfo(path).isFile());
        // The counter says the number taken, and the next journal takes the one after it.
        const qint64 number = QFileInfo(path).fileName().section(QLatin1Char('-'), 0, 0).toLongLong();
        QCOMPARE(contents(target.filePath(QString::fromLatin1(JournalFolder::CounterName))), QByteArray::number(number) + '\n');
        QCOMPARE(QFileInfo(journals.create(now)).fileName().section(QLatin1Char('-'), 0, 0).toLongLong(), number + 1);
    }

    // By number, whatever the dates in the names say; names of earlier versions first, in
    // their own order; nothing else.
    void order()
    {
        QTemporaryDir folder;
        QDir target(folder.path());
        const QStringList oldestFirst{QStringLiteral("2025-03-01-120000.journal"),   QStringLiteral("2025-03-01-120000-2.journal"),
                                      QStringLiteral("2025-03-01-120000-10.journal"), QStringLiteral("2099-12-31-235959.journal"),
                                      QStringLiteral("000002-2099-01-01-000000.journal"), QStringLiteral("000009-1999-01-01-000000.journal"),
                                      QStringLiteral("000010-2026-12-08-071503.journal")};
        for (const QString &name : oldestFirst)
            QVERIFY(touch(target, name));
        for (const QString &name : {QStringLiteral("notizen.journal"), QStringLiteral("12345-2026-12-08-071503.journal"),
                                    QStringLiteral("000003-2026-12-08-071503.journal.unlesbar"), QStringLiteral("sequence")})
            QVERIFY(touch(target, name));
        QVERIFY(target.mkdir(QStringLiteral("000011-2026-12-08-071503.journal")));
        QCOMPARE(names(JournalFolder(target).journals()), oldestFirst);
    }

    void prune_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("keep");
        QTest::newRow("60, keep 50") << 60 << 50;
        QTest::newRow("50, keep 50") << 50 << 50;
        QTest::newRow("3, keep 50") << 3 << 50;
        QTest::newRow("60, keep 4") << 60 << 4;
        QTest::newRow("5, keep 0") << 5 << 0;
    }

    // The newest by number stay; old names go first; foreign files stay, whatever their age.
    void prune()
    {
        QFETCH(int, count);
        QFETCH(int, keep);
        QTemporaryDir folder;
        QDir target(folder.path());
        QStringList oldestFirst;
        for (int i = 0; i < count / 3; ++i) {
            oldestFirst << QStringLiteral("2025-12-31-%1.journal").arg(100000 + i);
            QVERIFY(touch(target, oldestFirst.last()));
        }
        JournalFolder journals(target);
        while (oldestFirst.size() < count)
            oldestFirst << QFileInfo(journals.create(now.addDays(-oldestFirst.size()))).fileName();
        const QStringList foreign{QStringLiteral("notizen.journal"), QStringLiteral("2020-01-01-000000.txt"),
                                  QStringLiteral("2020-01-01-000000-x.journal")};
        for (const QString &name : foreign)
            QVERIFY(touch(target, name));
        const int kept = std::min(count, keep);
        QCOMPARE(journals.prune(keep), count - kept);
        QStringList left = target.entryList({QStringLiteral("*.journal"), QStringLiteral("*.txt")}, QDir::Files, QDir::Name);
        QStringList expected = foreign + oldestFirst.mid(count - kept);
        left.sort();
        expected.sort();
        QCOMPARE(left, expected);
    }

    // Journals named later than now (the clock was set back, or ran ahead once): the race
    // that begins now keeps its journal, and it is whole.
    void laterNamesNeverTakeTheOpenJournal()
    {
        QTemporaryDir folder;
        QDir target(folder.path());
        for (int i = 0; i < 60; ++i)
            QVERIFY(touch(target, QStringLiteral("2099-01-01-%1.journal").arg(100000 + i), "x"));
        Race race(target);
        race.run();
        const QString open = race.recorder.path();
        QVERIFY(!open.isEmpty());
        QVERIFY(QFileInfo::exists(open));
        QCOMPARE(JournalFolder(target).journals().size(), JournalFolder::DefaultKeep);
        QCOMPARE(JournalFolder(target).journals().last().path, open);
        race.recorder.close(QStringLiteral("Ende"));
        JournalReader reader;
        QVERIFY2(reader.read(open), qPrintable(reader.error()));
        QVERIFY(reader.cleanEnd());
        QCOMPARE(reader.inputs().size() > 4, true);
    }

    // A journal that another writer holds is never pruned, however old its number.
    void pruneSparesAHeldJournal()
    {
        QTemporaryDir folder;
        QDir target(folder.path());
        JournalFolder journals(target);
        const QString held = journals.create(now);
        JournalWriter writer;
        QVERIFY(writer.open(held, {.setup = {.participantCount = 1}}));
        for (int i = 0; i < 3; ++i)
            QVERIFY(!journals.create(now).isEmpty());
        QCOMPARE(journals.prune(1), 2);
        QVERIFY(QFileInfo::exists(held));
        QCOMPARE(journals.journals().size(), 2);
    }

    // Two programs on one folder: each journal its own number, and neither writes the
    // other's journal, not even by taking it back.
    void twoRecordersOnOneFolder()
    {
        QTemporaryDir folder;
        QDir target(folder.path());
        Race first(target);
        Race second(target);
        first.run();
        second.run();
        const QString a = first.recorder.path();
        const QString b = second.recorder.path();
        QVERIFY(!a.isEmpty() && !b.isEmpty());
        QVERIFY(a != b);
        QCOMPARE(QFileInfo(b).fileName().left(6), QStringLiteral("000002"));
        QCOMPARE(QFileInfo(a).fileName().left(6), QStringLiteral("000001"));

        const QByteArray before = contents(a);
        QSignalSpy failed(&second.recorder, &JournalRecorder::failed);
        QVERIFY(!second.recorder.resume(a, 10));
        QVERIFY(failed.wait(1000));
        QCOMPARE(contents(a), before);
        // Neither is offered to anyone while its program runs.
        QVERIFY(SessionRecovery::interrupted(target).isEmpty());

        first.session.submit({.kind = Kind::CapturePass});
        QVERIFY(contents(a).size() > before.size());
        QVERIFY(contents(a).startsWith(before));
    }

    // Every journal without a clean end, newest first; not one that ended cleanly, one that
    // is empty, one a writer holds, or a file that is not ours.
    void interruptedNewestFirst()
    {
        QTemporaryDir folder;
        QDir target(folder.path());
        const QByteArray unclosed = unclosedJournal();
        const QByteArray closed = unclosed + JournalFormat::endLine(QStringLiteral("Programm beendet"));
        const QByteArray torn = closed + unclosed.sliced(unclosed.indexOf('\n') + 1, 10);
        QVERIFY(touch(target, QStringLiteral("2025-01-01-120000.journal"), unclosed));
        QVERIFY(touch(target, QStringLiteral("2099-01-01-120000.journal"), closed));
        QVERIFY(touch(target, QStringLiteral("000003-2099-06-01-120000.journal"), unclosed));
        QVERIFY(touch(target, QStringLiteral("000004-2020-01-01-120000.journal"), closed));
        QVERIFY(touch(target, QStringLiteral("000005-2020-01-01-120000.journal"), torn));
        QVERIFY(touch(target, QStringLiteral("000006-2020-01-01-120000.journal")));
        QVERIFY(touch(target, QStringLiteral("000007-2020-01-01-120000.journal"), unclosed.chopped(3)));
        QVERIFY(touch(target, QStringLiteral("000008-2020-01-01-120000.journal"), unclosed));
        QVERIFY(touch(target, QStringLiteral("notizen.journal"), unclosed));
        JournalWriter other;
        QVERIFY(other.resume(target.filePath(QStringLiteral("000008-2020-01-01-120000.journal")), unclosed.size()));
        QCOMPARE(names(SessionRecovery::interrupted(target)),
                 (QStringList{QStringLiteral("000007-2020-01-01-120000.journal"), QStringLiteral("000005-2020-01-01-120000.journal"),
                              QStringLiteral("000003-2099-06-01-120000.journal"), QStringLiteral("2025-01-01-120000.journal")}));
    }

    void badJournals_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("keptAside"); // renamed "*.unlesbar", no longer offered
        QTest::addColumn<QString>("asideName"); // taken: "*.unlesbar" was there before
        QByteArray damaged = unclosedJournal();
        const qsizetype second = damaged.indexOf('\n', damaged.indexOf('\n') + 1);
        damaged[second - 2] = damaged[second - 2] == '0' ? '1' : '0';
        QByteArray later = unclosedJournal();
        later.insert(later.indexOf('\n') + 1, [] {
            const QByteArray body("99 5000 v=1");
            return body + ' ' + QByteArray::number(JournalFormat::crc32(body), 16).rightJustified(8, '0') + '\n';
        }());
        QTest::newRow("damaged inside") << damaged << QStringLiteral("Journal beschädigt in Zeile 2") << true << QStringLiteral(".unlesbar");
        QTest::newRow("damaged, its name aside taken") << damaged << QStringLiteral("Journal beschädigt in Zeile 2") << true
                                                       << QStringLiteral("-2.unlesbar");
        QTest::newRow("an input of a later program") << later << QStringLiteral("Journal hat ein neueres Format (unbekannte Eingabe in Zeile 2)")
                                                     << false << QString();
        QByteArray newer = unclosedJournal();
        newer.replace("CHRONOLAUF-JOURNAL " + QByteArray::number(JournalHeader::FormatVersion) + ' ', "CHRONOLAUF-JOURNAL 9 ");
        QTest::newRow("a later format") << newer << QStringLiteral("Journal hat ein neueres Format (Version 9)") << false << QString();
    }

    // A journal that cannot come back: the operator hears why, and not a byte of it is
    // changed, nor written after it; a damaged one is put aside whole, a newer one stays for
    // the program that can read it.
    void badJournals()
    {
        QFETCH(QByteArray, data);
        QFETCH(bool, keptAside);
        QFETCH(QString, asideName);
        QTemporaryDir folder;
        QDir target(folder.path());
        const QString path = target.filePath(QStringLiteral("000001-2026-12-08-071503.journal"));
        QVERIFY(touch(target, QFileInfo(path).fileName(), data));
        const bool taken = asideName != QLatin1String(".unlesbar") && keptAside;
        if (taken)
            QVERIFY(touch(target, QFileInfo(path).fileName() + QStringLiteral(".unlesbar"), "der erste"));
        Race race(target);
        SessionRecovery recovery(race.session, race.recorder);
        QCOMPARE(SessionRecovery::interrupted(target), QStringList{path});
        QVERIFY(!recovery.read(path));
        QFETCH(QString, error);
        QVERIFY2(recovery.error().startsWith(error), qPrintable(recovery.error()));
        QVERIFY(!recovery.restore());
        QVERIFY(!recovery.decline());
        QCOMPARE(race.recorder.path(), QString());
        if (keptAside) {
            QVERIFY(!QFileInfo::exists(path));
            QCOMPARE(contents(path + asideName), data);
            if (taken)
                QCOMPARE(contents(path + QStringLiteral(".unlesbar")), QByteArray("der erste"));
            QVERIFY(SessionRecovery::interrupted(target).isEmpty());
        } else {
            QCOMPARE(contents(path), data);
            QCOMPARE(target.entryList(QDir::Files), QStringList{QFileInfo(path).fileName()});
            QCOMPARE(SessionRecovery::interrupted(target), QStringList{path});
        }
    }

    // A recovered race whose journal cannot be written (here: it grew after it was read) is
    // recorded all the same, in a new journal that holds its whole record; the old one keeps
    // every byte it had.
    void restoredRaceNeverGoesUnrecorded()
    {
        QTemporaryDir folder;
        QDir target(folder.path());
        QString path;
        {
            // Left without an END line, as a killed program leaves it.
            Race earlier(target);
            earlier.run();
            path = earlier.recorder.path();
            earlier.session.submit({.kind = Kind::CapturePass});
        }
        QByteArray grown = contents(path);
        JournalFormat::appendInputLine(grown, {.kind = Kind::CapturePass, .tick = 999999});

        Race later(target);
        SessionRecovery recovery(later.session, later.recorder);
        QVERIFY(recovery.read(path));
        QVERIFY(touch(target, QFileInfo(path).fileName(), grown));
        QSignalSpy failed(&later.recorder, &JournalRecorder::failed);
        QVERIFY(!recovery.restore());
        QVERIFY(failed.wait(1000));
        QCOMPARE(later.session.core().sessionState(), SessionState::Running);
        const QString anew = later.recorder.path();
        QVERIFY(!anew.isEmpty() && anew != path);
        QCOMPARE(contents(path), grown);
        later.session.submit({.kind = Kind::Assign, .value = 3});
        later.recorder.close(QStringLiteral("Ende"));

        // The new journal alone rebuilds the race as it stood, and what came after.
        JournalReader reader;
        QVERIFY2(reader.read(anew), qPrintable(reader.error()));
        RaceSession replay(std::make_unique<ManualTickSource>(0));
        replay.restore(reader.header().rebuildSetup(), std::vector<RaceInput>(reader.inputs().begin(), reader.inputs().end()));
        QCOMPARE(replay.core().table().lapCount(3), 1);
        QCOMPARE(replay.core().table().lapCount(1), 1);
        QCOMPARE(replay.core().table().lapCount(2), 1);
    }

    // A journal that could not be made (its folder cannot be created) is reported; the next
    // one that is written reports that the journal is complete again, once.
    void recorderRecovers()
    {
        QTemporaryDir folder;
        QDir top(folder.path());
        QVERIFY(touch(top, QStringLiteral("belegt"), "eine Datei, kein Ordner"));
        Race race(QDir(top.filePath(QStringLiteral("belegt/journal"))));
        QSignalSpy failed(&race.recorder, &JournalRecorder::failed);
        QSignalSpy recovered(&race.recorder, &JournalRecorder::recovered);
        race.run();
        QVERIFY(failed.wait(1000));
        QCOMPARE(race.recorder.path(), QString());

        QVERIFY(QFile::remove(top.filePath(QStringLiteral("belegt"))));
        race.recorder.recordAnew();
        QVERIFY(!race.recorder.path().isEmpty());
        QVERIFY(recovered.wait(1000));
        race.session.submit({.kind = Kind::CapturePass});
        QTest::qWait(50);
        QCOMPARE(recovered.count(), 1);
        QCOMPARE(failed.count(), 1);
    }

    void rebootOffset_data()
    {
        QTest::addColumn<QString>("recordedBoot");
        QTest::addColumn<QString>("currentBoot");
        QTest::addColumn<qint64>("passedMs");        // wall clock since the start
        QTest::addColumn<int>("startTick");
        QTest::addColumn<uint>("baseTick");         // the boot clock now
        QTest::addColumn<qint64>("expectedRaceTime"); // -1: no offset
        const QString a = QStringLiteral("3f6c2b1e-8a5d-4c07-9e4b-2d1a0f9c8e77");
        const QString b = QStringLiteral("00000000-0000-0000-0000-000000000001");
        QTest::newRow("same boot") << a << a << qint64(3600000) << 5000 << 3605000u << qint64(-1);
        QTest::newRow("boot not recorded") << QString() << a << qint64(3600000) << 5000 << 20u << qint64(-1);
        QTest::newRow("boot not known now") << a << QString() << qint64(3600000) << 5000 << 20u << qint64(-1);
        QTest::newRow("rebooted an hour later") << a << b << qint64(3600000) << 5000 << 20u << qint64(3600000);
        QTest::newRow("started near the tick wrap") << a << b << qint64(90000) << -100 << 40u << qint64(90000);
        QTest::newRow("wall clock set back") << a << b << qint64(-50000) << 5000 << 20u << qint64(0);
    }

    void rebootOffset()
    {
        QFETCH(QString, recordedBoot);
        QFETCH(QString, currentBoot);
        QFETCH(qint64, passedMs);
        QFETCH(int, startTick);
        QFETCH(uint, baseTick);
        QFETCH(qint64, expectedRaceTime);
        const qint64 start = 1796725200123;
        const JournalHeader header{.startTick = startTick, .startWallClockMs = start, .bootId = recordedBoot};
        const std::optional<std::uint32_t> offset = SessionRecovery::rebootOffset(header, currentBoot, start + passedMs, baseTick);
        QCOMPARE(offset.has_value(), expectedRaceTime >= 0);
        if (offset)
            QCOMPARE(qint64(std::int32_t(baseTick + *offset - std::uint32_t(startTick))), expectedRaceTime);
    }
};

QTEST_GUILESS_MAIN(TestJournalFolder)
#include "testjournalfolder.moc"
