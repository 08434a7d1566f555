#include "session/JournalFormat.h"
#include "session/JournalReader.h"
#include "session/JournalWriter.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using Kind = RaceInput::Kind;
using Question = RaceInput::Question;
Q_DECLARE_METATYPE(RaceInput)

namespace {

const QString Awkward[] = {
    QString(),
    QStringLiteral("Zeile 1\nZeile 2\r\n"),
    QStringLiteral("100 % = 1,0; sicher"),
    QStringLiteral("Müßiggänger Ölwechsel"),
    QStringLiteral("🏁 Ziel 🚴‍♀️"),
    QStringLiteral(" END 0000abcd"),
    QStringLiteral("%41%"),
    QString(QChar(0)) + QStringLiteral("\t\x1f\x7f"),
};

const QList<QStringList> Starters{
    {QStringLiteral("1"), QStringLiteral("Bäcker, Jörg"), QString(), QStringLiteral("a;b")},
    {},
    {QString()},
    {QStringLiteral("3"), QStringLiteral("🏎 Team\nZwei"), QStringLiteral("1:02,34"), QStringLiteral("x=%y")},
};

JournalHeader sampleHeader()
{
    return {.setup = {.participantCount = 7,
                      .starters = Starters,
                      .durationSeconds = 86400,
                      .title = QStringLiteral("24 h von Überlingen: 50 % Regen"),
                      .sessionType = 0,
                      .warnText = QStringLiteral("01:15"),
                      .lapLimit = 99,
                      .barriers = BarrierSettings{.finishPnp = true, .oneBarrier = false, .lockStopSeconds = 45},
                      .portOpen = true,
                      .barriersArmed = true,
                      .startLevel = 0x10,
                      .finishLevel = std::nullopt},
            .locale = QStringLiteral("de_DE"),
            .startTick = -2147480000,
            .startWallClockMs = 1796725200123,
            .bootId = QStringLiteral("3f6c2b1e-8a5d-4c07-9e4b-2d1a0f9c8e77")};
}

// A short session with every kind of field set somewhere, a table and a text last.
QList<RaceInput> sampleInputs()
{
    return {
        {.kind = Kind::StartCommand, .tick = 1000},
        {.kind = Kind::CapturePass, .tick = 61000},
        {.kind = Kind::Assign, .tick = 61500, .value = 3, .pass = 1},
        {.kind = Kind::Assign, .tick = 61600, .value = 3, .pass = RaceInput::NoPass},
        {.kind = Kind::Assign, .tick = 61700, .value = 2, .pass = 2, .noLap = true},
        {.kind = Kind::LineEvent, .tick = 70000, .value = 0x30, .lines = 0x18, .pulses = 0x08},
        {.kind = Kind::StarterListImported, .tick = 71000, .table = Starters},
        {.kind = Kind::StartCommand, .tick = 90000, .confirmed = true, .answers = Question::StopAllTimes},
        {.kind = Kind::TitleEdited, .tick = 91000, .text = QStringLiteral("Ende 🏁\nmit 100 %")},
    };
}

QByteArray journalOf(const JournalHeader &header, const QList<RaceInput> &inputs)
{
    QByteArray out = JournalFormat::headerLine(header);
    for (const RaceInput &in : inputs)
        JournalFormat::appendInputLine(out, in);
    return out;
}

// The offsets at which each line starts, and the end.
QList<qsizetype> lineStarts(const QByteArray &journal)
{
    QList<qsizetype> starts{0};
    for (qsizetype i = 0; i < journal.size(); ++i)
        if (journal[i] == '\n')
            starts << i + 1;
    return starts;
}

// A line with a right checksum around any body, as a writer with a bug would write it.
QByteArray checked(const QByteArray &body)
{
    return body + ' ' + QByteArray::number(JournalFormat::crc32(body), 16).rightJustified(8, '0') + '\n';
}

void compareInputs(const QList<RaceInput> &actual, const QList<RaceInput> &expected)
{
    QCOMPARE(actual.size(), expected.size());
    for (qsizetype i = 0; i < actual.size(); ++i) {
        const RaceInput &a = actual[i];
        const RaceInput &e = expected[i];
        QCOMPARE(a.kind, e.kind);
        QCOMPARE(a.tick.has_value(), e.tick.has_value());
        QCOMPARE(a.tick.value_or(0), e.tick.value_or(0));
        QCOMPARE(a.value, e.value);
        QCOMPARE(a.confirmed, e.confirmed);
        QCOMPARE(a.text, e.text);
        QCOMPARE(a.answers, e.answers);
        QCOMPARE(a.lines, e.lines);
        QCOMPARE(a.pulses, e.pulses);
        QCOMPARE(a.table, e.table);
        QCOMPARE(a.raceTime, e.raceTime);
        QCOMPARE(a.operatorName, e.operatorName);
        QCOMPARE(a.wallClockMs, e.wallClockMs);
        QCOMPARE(a.pass, e.pass);
        QCOMPARE(a.noLap, e.noLap);
    }
}

} // namespace

// The journal file: lines that survive any text, a reader that recovers a torn end and
// refuses damage elsewhere, and a writer that keeps going when the disk does not.
class TestJournal : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void roundTripEveryKind_data()
    {
        QTest::addColumn<RaceInput>("input");
        for (int k = 0; k <= int(JournalFormat::LastKind); ++k) {
            const auto kind = Kind(k);
            // A set-up is written as the header, never as a line.
            if (kind == Kind::SetupRestored)
                continue;
            const QString text = Awkward[k % std::size(Awkward)];
            QTest::addRow("kind %d", k) << RaceInput{.kind = kind, .tick = k * 1000 - 5000, .value = k * 7 - 20, .text = text};
            QTest::addRow("kind %d, every field", k)
                << RaceInput{.kind = kind, .tick = std::numeric_limits<std::int32_t>::min() + k, .value = std::numeric_limits<int>::max() - k,
                             .confirmed = true, .text = Awkward[(k + 3) % std::size(Awkward)], .answers = Question(k % 4),
                             .lines = std::uint8_t(255 - k), .pulses = std::uint8_t(k), .table = Starters,
                             .raceTime = -k, .operatorName = Awkward[(k + 1) % std::size(Awkward)],
                             .wallClockMs = std::numeric_limits<std::int64_t>::max() - k};
        }
        QTest::newRow("no tick") << RaceInput{.kind = Kind::CapturePass};
        for (const QString &text : Awkward)
            QTest::addRow("title %s", qPrintable(text.toUtf8().toPercentEncoding())) << RaceInput{.kind = Kind::TitleEdited, .tick = 5, .text = text};
        QTest::newRow("one empty row") << RaceInput{.kind = Kind::StarterListImported, .tick = 1, .table = {{}}};
        QTest::newRow("one empty cell") << RaceInput{.kind = Kind::StarterListImported, .tick = 1, .table = {{QString()}}};
    }

    // Written by the writer, read by the reader: every field comes back, and so does the header.
    void roundTripEveryKind()
    {
        QFETCH(RaceInput, input);
        const QString path = dir.filePath(QStringLiteral("roundtrip-%1.journal").arg(QTest::currentDataTag()).replace('/', '_'));
        {
            JournalWriter writer;
            QVERIFY(writer.open(path, sampleHeader()));
            QVERIFY(writer.append(input));
            QVERIFY(writer.append(input));
        }
        JournalReader reader;
        QVERIFY2(reader.read(path), qPrintable(reader.error()));
        JournalHeader expected = sampleHeader();
        expected.programVersion = JournalFormat::programVersion();
        QCOMPARE(reader.header(), expected);
        compareInputs(reader.inputs(), {input, input});
        QVERIFY(!reader.droppedLastLine());
        // One line per input, whatever its text holds.
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll().count('\n'), 3);
    }

    void cutAnywhere_data()
    {
        QTest::addColumn<bool>("withEnd");
        QTest::newRow("last line an input") << false;
        QTest::newRow("last line END") << true;
    }

    // Cut at every byte: the complete lines before the cut come back, the torn one is dropped,
    // and a cut inside the header refuses the journal. Never a crash.
    void cutAnywhere()
    {
        QFETCH(bool, withEnd);
        const QList<RaceInput> inputs = sampleInputs();
        QByteArray journal = journalOf(sampleHeader(), inputs);
        if (withEnd)
            journal += JournalFormat::endLine(QStringLiteral("Programmende"));
        const QList<qsizetype> starts = lineStarts(journal);
        const qsizetype endLine = withEnd ? starts.size() - 2 : -1;
        for (qsizetype cut = 0; cut <= journal.size(); ++cut) {
            JournalReader reader;
            const bool ok = reader.parse(QByteArrayView(journal).first(cut));
            if (cut < starts[1]) {
                QVERIFY2(!ok, qPrintable(QStringLiteral("cut at %1").arg(cut)));
                QVERIFY(reader.inputs().isEmpty());
                continue;
            }
            QVERIFY2(ok, qPrintable(QStringLiteral("cut at %1: %2").arg(cut).arg(reader.error())));
            const qsizetype complete = std::upper_bound(starts.begin(), starts.end(), cut) - starts.begin() - 1;
            compareInputs(reader.inputs(), inputs.first(std::min(complete - 1, qsizetype(inputs.size()))));
            if (QTest::currentTestFailed())
                QFAIL(qPrintable(QStringLiteral("cut at %1").arg(cut)));
            QCOMPARE(reader.droppedLastLine(), cut != starts[complete]);
            QCOMPARE(reader.validBytes(), starts[complete]);
            QCOMPARE(reader.cleanEnd(), withEnd && complete > endLine);
        }
    }

    void damagedLastLineIsDropped()
    {
        const QList<RaceInput> inputs = sampleInputs();
        QByteArray journal = journalOf(sampleHeader(), inputs);
        const qsizetype last = lineStarts(journal).at(inputs.size());
        journal[last + 3] = char(journal[last + 3] ^ 0x04);
        JournalReader reader;
        QVERIFY2(reader.parse(journal), qPrintable(reader.error()));
        compareInputs(reader.inputs(), inputs.first(inputs.size() - 1));
        QVERIFY(reader.droppedLastLine());
    }

    void flippedBitInTheMiddle_data()
    {
        QTest::addColumn<int>("line");
        QTest::newRow("header") << 1;
        QTest::newRow("first input") << 2;
        QTest::newRow("line event") << 5;
        QTest::newRow("starter table") << 6;
        QTest::newRow("the one before the last") << 7;
    }

    // Every bit of every byte of a line that is not the last, its '\n' included: the whole
    // journal is refused and the message names the line.
    void flippedBitInTheMiddle()
    {
        QFETCH(int, line);
        const QByteArray journal = journalOf(sampleHeader(), sampleInputs());
        const QList<qsizetype> starts = lineStarts(journal);
        for (qsizetype at = starts[line - 1]; at < starts[line]; ++at) {
            for (int bit = 0; bit < 8; ++bit) {
                QByteArray damaged = journal;
                damaged[at] = char(damaged[at] ^ (1 << bit));
                JournalReader reader;
                QVERIFY2(!reader.parse(damaged), qPrintable(QStringLiteral("byte %1 bit %2").arg(at).arg(bit)));
                QVERIFY(reader.inputs().isEmpty());
                // The magic or the version damaged: then it is no journal, or a newer one.
                if (line == 1 && at <= qsizetype(sizeof JournalFormat::Magic) + 1)
                    QVERIFY(reader.error() == QStringLiteral("Journal ist kein Chronolauf-Journal")
                            || reader.error().startsWith(QStringLiteral("Journal hat ein neueres Format")));
                else
                    QCOMPARE(reader.error(), QStringLiteral("Journal beschädigt in Zeile %1").arg(line));
            }
        }
    }

    void unparsableField_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("kind with a leading zero") << QByteArray("02 100");
        QTest::newRow("negative kind") << QByteArray("-1 100");
        QTest::newRow("no tick") << QByteArray("2");
        QTest::newRow("tick too big") << QByteArray("2 2147483648");
        QTest::newRow("leading zero") << QByteArray("2 100 v=03");
        QTest::newRow("plus sign") << QByteArray("2 100 v=+3");
        QTest::newRow("repeated key") << QByteArray("2 100 v=3 v=4");
        QTest::newRow("unknown key") << QByteArray("2 100 z=1");
        QTest::newRow("two spaces") << QByteArray("2 100  v=3");
        QTest::newRow("confirmed 2") << QByteArray("0 100 c=2");
        QTest::newRow("unknown question") << QByteArray("0 100 a=4");
        QTest::newRow("lines over a byte") << QByteArray("22 100 l=256");
        QTest::newRow("short escape") << QByteArray("17 100 x=ab%4");
        QTest::newRow("bad escape") << QByteArray("17 100 x=%g1");
        QTest::newRow("invalid UTF-8") << QByteArray("17 100 x=%ff%fe");
        QTest::newRow("raw equals in text") << QByteArray("17 100 x=a=b");
        QTest::newRow("row without end") << QByteArray("26 100 s=a,b,");
        QTest::newRow("cell without end") << QByteArray("26 100 s=a,b;");
        QTest::newRow("END with two reasons") << QByteArray("END a b");
    }

    // A line with a right checksum but a field no writer writes is refused, even last.
    void unparsableField()
    {
        QFETCH(QByteArray, body);
        QVERIFY(!JournalFormat::parseInput(body));
        const QByteArray head = journalOf(sampleHeader(), sampleInputs().first(1));
        JournalReader reader;
        QVERIFY(reader.parse(head + checked("2 100 v=3") + checked("1 200")));
        QCOMPARE(reader.inputs().size(), 3);
        for (const QByteArray &journal : {head + checked(body) + checked("1 200"), head + checked(body)}) {
            QVERIFY(!reader.parse(journal));
            QCOMPARE(reader.error(), QStringLiteral("Journal beschädigt in Zeile 3"));
            QVERIFY(reader.inputs().isEmpty());
        }
    }

    // A journal of the format before the set-up moved into the header: its inputs bring the
    // set-up themselves, so a rebuild starts from a fresh core, not from the header.
    void formatOneStartsFromAFreshCore()
    {
        QByteArray line = JournalFormat::headerLine(sampleHeader());
        line.replace("CHRONOLAUF-JOURNAL 2 ", "CHRONOLAUF-JOURNAL 1 ");
        const qsizetype levels = line.indexOf(" startlevel=");
        QVERIFY(levels > 0);
        JournalReader reader;
        QVERIFY(reader.parse(checked(line.first(levels)) + checked("1 200")));
        QCOMPARE(reader.header().formatVersion, 1);
        QCOMPARE(reader.header().setup.title, sampleHeader().setup.title);
        QVERIFY(!reader.header().rebuildSetup());
        QVERIFY(reader.parse(journalOf(sampleHeader(), sampleInputs())));
        QCOMPARE(reader.header().rebuildSetup(), std::optional(sampleHeader().setup));
    }

    void laterInputKind_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("last");
        const QByteArray next = QByteArray::number(int(JournalFormat::LastKind) + 1) + " 100";
        QTest::newRow("the next kind, inside") << next << false;
        QTest::newRow("the next kind, last") << next << true;
        QTest::newRow("a far later kind with fields") << QByteArray("250 100 v=3 x=neu") << false;
    }

    // An input kind this program does not know, in a line whose checksum is right: a later
    // program wrote it. That is not damage, and the message says what it is.
    void laterInputKind()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, last);
        QByteArray journal = journalOf(sampleHeader(), sampleInputs().first(2)) + checked(body);
        if (!last)
            journal += checked("1 200");
        JournalReader reader;
        QVERIFY(!reader.parse(journal));
        QCOMPARE(reader.error(), QStringLiteral("Journal hat ein neueres Format (unbekannte Eingabe in Zeile 4)"));
        QCOMPARE(reader.problem(), JournalReader::Problem::Newer);
        QVERIFY(reader.inputs().isEmpty());
    }

    void notAJournal_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("error");
        const QString foreign = QStringLiteral("Journal ist kein Chronolauf-Journal");
        const QByteArray header = JournalFormat::headerLine(sampleHeader());
        QByteArray v3 = header;
        v3.replace("CHRONOLAUF-JOURNAL 2 ", "CHRONOLAUF-JOURNAL 3 ");
        QByteArray v17 = header;
        v17.replace("CHRONOLAUF-JOURNAL 2 ", "CHRONOLAUF-JOURNAL 17 ");
        QTest::newRow("empty") << QByteArray() << foreign;
        QTest::newRow("text") << QByteArray("Rundenzeiten\n1;2;3\n") << foreign;
        QTest::newRow("lower case") << header.toLower() << foreign;
        QTest::newRow("torn header") << header.first(40) << foreign;
        QTest::newRow("version 0") << QByteArray("CHRONOLAUF-JOURNAL 0 x 00000000\n") << foreign;
        QTest::newRow("newer version") << v3 << QStringLiteral("Journal hat ein neueres Format (Version 3)");
        QTest::newRow("much newer, other checksum") << QByteArray(v17.chopped(10) + " sha256:abcdef\n")
                                                   << QStringLiteral("Journal hat ein neueres Format (Version 17)");
        QTest::newRow("header missing a field") << checked("CHRONOLAUF-JOURNAL 1 1.8 cars=20") << QStringLiteral("Journal beschädigt in Zeile 1");
    }

    void notAJournal()
    {
        QFETCH(QByteArray, data);
        const QString path = dir.filePath(QStringLiteral("foreign-%1.journal").arg(QTest::currentDataTag()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(data);
        file.close();
        JournalReader reader;
        QVERIFY(!reader.read(path));
        QTEST(reader.error(), "error");
        QVERIFY(reader.inputs().isEmpty());
        QCOMPARE(reader.problem(), reader.error().contains(QStringLiteral("neueres")) ? JournalReader::Problem::Newer
                                   : reader.error().contains(QStringLiteral("beschädigt")) ? JournalReader::Problem::Damaged
                                                                                           : JournalReader::Problem::Foreign);
    }

    void endLine_data()
    {
        QTest::addColumn<bool>("closed");
        QTest::addColumn<QString>("reason");
        QTest::newRow("closed") << true << QStringLiteral("Programmende");
        QTest::newRow("closed, empty reason") << true << QString();
        QTest::newRow("closed, awkward reason") << true << QStringLiteral("Abbruch 100 %\nEND");
        QTest::newRow("destroyed only") << false << QString();
    }

    // close() says the program ended cleanly; a writer that is only destroyed leaves a
    // journal that says it did not. Both keep every input.
    void endLine()
    {
        QFETCH(bool, closed);
        QFETCH(QString, reason);
        const QString path = dir.filePath(QStringLiteral("end-%1.journal").arg(QTest::currentDataTag()));
        {
            JournalWriter writer;
            QVERIFY(writer.open(path, sampleHeader()));
            for (const RaceInput &in : sampleInputs())
                QVERIFY(writer.append(in));
            if (closed) {
                QVERIFY(writer.close(reason));
                QVERIFY(!writer.isOpen());
                QVERIFY(!writer.append(sampleInputs().first()));
            }
        }
        JournalReader reader;
        QVERIFY2(reader.read(path), qPrintable(reader.error()));
        QCOMPARE(reader.cleanEnd(), closed);
        QCOMPARE(reader.endReason(), reason);
        compareInputs(reader.inputs(), sampleInputs());

        // Nothing may follow the END line.
        QFile file(path);
        QVERIFY(file.open(QIODevice::Append));
        QByteArray more;
        JournalFormat::appendInputLine(more, {.kind = Kind::CapturePass, .tick = 99000});
        file.write(more + more);
        file.close();
        QCOMPARE(reader.read(path), !closed);
        if (closed)
            QCOMPARE(reader.error(), QStringLiteral("Journal beschädigt in Zeile %1").arg(sampleInputs().size() + 3));
    }

    void resume_data()
    {
        QTest::addColumn<int>("cut");
        QTest::newRow("whole") << 0;
        QTest::newRow("torn in its last line") << 5;
        QTest::newRow("only the newline missing") << 1;
    }

    // An interrupted journal goes on after its last complete line: the torn rest is cut
    // off, and the result reads as one journal.
    void resume()
    {
        QFETCH(int, cut);
        const QString path = dir.filePath(QStringLiteral("resumed-%1.journal").arg(cut));
        const QList<RaceInput> inputs = sampleInputs();
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(journalOf(sampleHeader(), inputs).chopped(cut));
        }
        JournalReader reader;
        QVERIFY(reader.read(path));
        const QList<RaceInput> kept = reader.inputs();
        QCOMPARE(kept.size(), inputs.size() - (cut > 0 ? 1 : 0));
        {
            JournalWriter writer;
            QVERIFY(writer.resume(path, reader.validBytes()));
            QVERIFY(writer.append(inputs.last()));
            QVERIFY(writer.close(QStringLiteral("Ende")));
        }
        QVERIFY2(reader.read(path), qPrintable(reader.error()));
        compareInputs(reader.inputs(), kept + QList<RaceInput>{inputs.last()});
        QVERIFY(reader.cleanEnd());
    }

    // Appends are synced in the background soon after, and the file holds exactly what was written.
    void syncedSoonAfter()
    {
        const QString path = dir.filePath(QStringLiteral("synced.journal"));
        JournalWriter writer;
        QSignalSpy failed(&writer, &JournalWriter::failed);
        QVERIFY(writer.open(path, sampleHeader()));
        for (int i = 0; i < 500; ++i)
            QVERIFY(writer.append({.kind = Kind::Assign, .tick = i * 10, .value = i % 20 + 1}));
        QTRY_COMPARE_WITH_TIMEOUT(writer.durableBytes(), writer.writtenBytes(), 2000);
        QCOMPARE(QFileInfo(path).size(), writer.writtenBytes());
        QCOMPARE(failed.count(), 0);
    }

    void heldJournal_data()
    {
        QTest::addColumn<bool>("resume"); // the second writer resumes (else opens) the journal
        QTest::newRow("open") << false;
        QTest::newRow("resume") << true;
    }

    // While a writer has a journal open, no other writer writes it, nor cuts it: the file
    // stays byte for byte what the first one wrote, and the first goes on.
    void heldJournal()
    {
        QFETCH(bool, resume);
        const QString path = dir.filePath(QStringLiteral("held-%1.journal").arg(resume));
        JournalWriter first;
        QVERIFY(!JournalWriter::isHeld(path));
        QVERIFY(first.open(path, sampleHeader()));
        for (const RaceInput &in : sampleInputs())
            QVERIFY(first.append(in));
        QVERIFY(JournalWriter::isHeld(path));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        {
            JournalWriter second;
            QSignalSpy failed(&second, &JournalWriter::failed);
            QVERIFY(!(resume ? second.resume(path, 10) : second.open(path, sampleHeader())));
            QVERIFY(!second.isOpen());
            QCOMPARE(failed.count(), 1);
            QVERIFY2(failed.at(0).at(0).toString().contains(QStringLiteral("anderen Chronolauf")), qPrintable(failed.at(0).at(0).toString()));
        }
        QVERIFY(file.seek(0));
        QCOMPARE(file.readAll(), before);
        QVERIFY(first.append({.kind = Kind::CapturePass, .tick = 99000}));
        QVERIFY(first.close(QStringLiteral("Ende")));
        QVERIFY(!JournalWriter::isHeld(path));
        JournalReader reader;
        QVERIFY2(reader.read(path), qPrintable(reader.error()));
        QCOMPARE(reader.inputs().size(), sampleInputs().size() + 1);
    }

    // A journal that grew after it was read is not cut back to what was read.
    void resumeRefusesAJournalWrittenSince()
    {
        const QString path = dir.filePath(QStringLiteral("grown.journal"));
        {
            JournalWriter writer;
            QVERIFY(writer.open(path, sampleHeader()));
            QVERIFY(writer.append(sampleInputs().first()));
        }
        JournalReader reader;
        QVERIFY(reader.read(path));
        QCOMPARE(reader.readBytes(), QFileInfo(path).size());
        QFile file(path);
        QVERIFY(file.open(QIODevice::Append));
        QByteArray more;
        JournalFormat::appendInputLine(more, {.kind = Kind::CapturePass, .tick = 99000});
        file.write(more);
        file.close();
        const qint64 grown = QFileInfo(path).size();
        JournalWriter writer;
        QSignalSpy failed(&writer, &JournalWriter::failed);
        QVERIFY(!writer.resume(path, reader.validBytes(), reader.readBytes()));
        QCOMPARE(failed.count(), 1);
        QCOMPARE(QFileInfo(path).size(), grown);
        QVERIFY(writer.resume(path, grown, grown));
    }

    // An earlier journal is never overwritten.
    void openRefusesAFileWithData()
    {
        const QString path = dir.filePath(QStringLiteral("taken.journal"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("schon da\n");
        file.close();
        JournalWriter writer;
        QSignalSpy failed(&writer, &JournalWriter::failed);
        QVERIFY(!writer.open(path, sampleHeader()));
        QVERIFY(!writer.isOpen());
        QCOMPARE(failed.count(), 1);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("schon da\n"));
    }

    // A full disk: every failing append is reported with the system's reason, and nothing throws.
    void fullDevice()
    {
        if (!QFileInfo::exists(QStringLiteral("/dev/full")))
            QSKIP("no /dev/full here");
        JournalWriter writer;
        QSignalSpy failed(&writer, &JournalWriter::failed);
        QSignalSpy recovered(&writer, &JournalWriter::recovered);
        QVERIFY(writer.open(QStringLiteral("/dev/full"), sampleHeader()));
        QCOMPARE(failed.count(), 1);
        for (const RaceInput &in : sampleInputs())
            QVERIFY(!writer.append(in));
        QCOMPARE(failed.count(), 1 + sampleInputs().size());
        QCOMPARE(recovered.count(), 0);
        for (const QList<QVariant> &signal : failed)
            QCOMPARE(signal.at(0).toString(), qt_error_string(ENOSPC));
        QVERIFY(writer.waitingBytes() > 0);
        QVERIFY(!writer.close(QStringLiteral("Ende")));
    }

    // A pipe without reader cannot even be opened; a full one refuses lines, which go out in
    // order once there is room again, so the journal keeps no hole.
    void lateLinesCatchUp()
    {
        const QString fifo = dir.filePath(QStringLiteral("pipe.journal"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        {
            JournalWriter writer;
            QSignalSpy failed(&writer, &JournalWriter::failed);
            QVERIFY(!writer.open(fifo, sampleHeader()));
            QCOMPARE(failed.count(), 1);
        }
        const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
        QVERIFY(reader >= 0);
        QByteArray received;
        const auto drain = [&] {
            char buffer[65536];
            ssize_t n;
            while ((n = ::read(reader, buffer, sizeof buffer)) > 0)
                received.append(buffer, n);
        };
        QList<RaceInput> sent;
        {
            JournalWriter writer;
            QSignalSpy failed(&writer, &JournalWriter::failed);
            QSignalSpy recovered(&writer, &JournalWriter::recovered);
            QVERIFY(writer.open(fifo, sampleHeader()));
            const QString bulk(4000, QChar(u'ü'));
            bool refused = false;
            for (int i = 0; i < 200 && !refused; ++i) {
                sent << RaceInput{.kind = Kind::TitleEdited, .tick = i, .text = bulk};
                refused = !writer.append(sent.last());
            }
            QVERIFY(refused);
            QCOMPARE(failed.count(), 1);
            QCOMPARE(failed.at(0).at(0).toString(), qt_error_string(EAGAIN));
            QCOMPARE(recovered.count(), 0);
            drain();
            sent << RaceInput{.kind = Kind::CapturePass, .tick = 9999};
            while (!writer.append(sent.last())) {
                drain();
                sent << RaceInput{.kind = Kind::CapturePass, .tick = 9999 + int(sent.size())};
            }
            drain();
            QCOMPARE(writer.waitingBytes(), 0);
            // Once, when the backlog had gone out completely; not again for every later line.
            QCOMPARE(recovered.count(), 1);
            QVERIFY(writer.append({.kind = Kind::CapturePass, .tick = 20000}));
            sent << RaceInput{.kind = Kind::CapturePass, .tick = 20000};
            drain();
            QCOMPARE(recovered.count(), 1);
            QVERIFY(writer.close(QStringLiteral("Ende")));
        }
        drain();
        ::close(reader);
        JournalReader journal;
        QVERIFY2(journal.parse(received), qPrintable(journal.error()));
        compareInputs(journal.inputs(), sent);
        QVERIFY(journal.cleanEnd());
    }

    void bootId_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expected");
        QTest::newRow("the kernel's form") << QByteArray("3f6c2b1e-8a5d-4c07-9e4b-2d1a0f9c8e77\n")
                                           << QStringLiteral("3f6c2b1e-8a5d-4c07-9e4b-2d1a0f9c8e77");
        QTest::newRow("empty") << QByteArray() << QString();
    }

    void bootId()
    {
        QFETCH(QByteArray, content);
        const QString path = dir.filePath(QStringLiteral("boot_id-%1").arg(QTest::currentDataTag()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        QTEST(JournalFormat::readBootId(path), "expected");
        QCOMPARE(JournalFormat::readBootId(dir.filePath(QStringLiteral("missing"))), QString());
        if (QFileInfo::exists(QString::fromLatin1(JournalFormat::BootIdPath)))
            QCOMPARE(JournalFormat::readBootId().size(), 36);
    }
};

QTEST_GUILESS_MAIN(TestJournal)
#include "testjournal.moc"
