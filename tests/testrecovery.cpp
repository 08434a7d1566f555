#include "FakeSerialDevice.h"
#include "Fakes.h"
#include "app/Program.h"
#include "session/SessionTimers.h"
#include "core/RaceCore.h"
#include "output/WorkbookReader.h"
#include "session/JournalReader.h"
#include "session/JournalRecorder.h"
#include "session/JournalWriter.h"
#include "session/RaceSession.h"
#include "ui/TFDlgYesNo.h"
#include "ui/TFormMain.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>

namespace {

// The grid's texts but the running times, and the waiting times with their selection.
QString raceState(const RaceCore &core)
{
    QStringList out;
    for (int r = 0; r < core.grid().rowCount(); ++r) {
        for (int c = 0; c < StandingsGrid::ColumnCount; ++c) {
            if (c != StandingsGrid::CurrentTime)
                out << core.grid().cell(c, r);
        }
    }
    out << core.pending().entries() << QString::number(core.pending().selectedIndex());
    return out.join(QLatin1Char('|'));
}

// A race in a program of its own, killed with SIGKILL in the middle: no clean end of any kind.
int runChild(int argc, char **argv)
{
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString journalDir = QString::fromLocal8Bit(argv[2]);
    const QString stateFile = QString::fromLocal8Bit(argv[3]);
    ManualTickSource clock(100000);
    FakeSound sound;
    FakeShell shell;
    FakePrinter printer;
    QSettings store(journalDir + QStringLiteral("/child.conf"), QSettings::IniFormat);
    Program program({std::make_unique<ClockView>(clock), sound, shell, printer, std::make_unique<FakeSerialDevice>(), journalDir}, store);
    RaceSession &session = program.session();
    using Kind = RaceInput::Kind;
    session.submit({.kind = Kind::TitleEdited, .text = QStringLiteral("Nachtlauf, Ü-30")});
    session.submit({.kind = Kind::StartCommand});
    for (int lap = 1; lap <= 4; ++lap) {
        for (int p = 1; p <= 6; ++p) {
            clock.advance(9000 + std::uint32_t(p) * 317);
            session.submit({.kind = Kind::CapturePass});
            session.submit({.kind = Kind::TimerAll});
            session.submit({.kind = Kind::Timer1});
            if (p != 4)
                session.submit({.kind = Kind::Assign, .value = p});
        }
    }
    session.submit({.kind = Kind::Undo});
    clock.advance(1200);
    session.submit({.kind = Kind::CapturePass});
    QFile out(stateFile);
    if (!out.open(QIODevice::WriteOnly))
        return 3;
    out.write(raceState(session.core()).toUtf8());
    out.close();
    ::raise(SIGKILL);
    return 4;
}

} // namespace

// A race survives a killed program: the next start offers it back, brings it back exactly,
// and a replay of its journal writes the same results.
class TestRecovery : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    ManualTickSource clock{500000};
    FakeSound sound;
    FakeShell shell;
    FakePrinter printer;
    std::unique_ptr<QSettings> settings;
    std::unique_ptr<Program> program;
    QString journals;
    QString expected;

    // Runs the race in a child program and kills it; its journal stays behind.
    void killedRace()
    {
        journals = dir.filePath(QStringLiteral("journal-%1").arg(QTest::currentTestFunction()));
        QDir().mkpath(journals);
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--child"), journals, dir.filePath(QStringLiteral("state"))});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        QFile state(dir.filePath(QStringLiteral("state")));
        QVERIFY(state.open(QIODevice::ReadOnly));
        expected = QString::fromUtf8(state.readAll());
        QVERIFY(!JournalRecorder::Interrupted(QDir(journals)).isEmpty());
    }

    // Starts the program again; the recovery question is answered as given.
    void restart(bool yes, QString *asked = nullptr, bool *yesFocused = nullptr)
    {
        QTimer::singleShot(0, this, [yes, asked, yesFocused] {
            if (auto *dialog = qobject_cast<TFDlgYesNo *>(QApplication::activeModalWidget())) {
                if (asked)
                    *asked = dialog->Label1->text();
                if (yesFocused)
                    *yesFocused = dialog->OKBtn->isDefault();
                QTest::mouseClick(yes ? dialog->OKBtn : dialog->CancelBtn, Qt::LeftButton);
            }
        });
        settings = std::make_unique<QSettings>(dir.filePath(QStringLiteral("program.conf")), QSettings::IniFormat);
        program = std::make_unique<Program>(Program::Services{std::make_unique<ClockView>(clock), sound, shell, printer,
                                                              std::make_unique<FakeSerialDevice>(), journals},
                                            *settings);
        program->mainWindow().show();
        program->offerRecovery();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid() && QDir::setCurrent(dir.path()));
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }

    void cleanup() { program.reset(); }

    void killedRaceComesBack()
    {
        killedRace();
        QString asked;
        bool yesFocused = false;
        restart(true, &asked, &yesFocused);
        QCOMPARE(asked, QStringLiteral("Unterbrochene Sitzung wiederherstellen?"));
        QVERIFY(yesFocused);
        const RaceCore &core = program->session().core();
        QCOMPARE(raceState(core), expected);
        QCOMPARE(core.sessionState(), SessionState::Running);
        QCOMPARE(core.title(), QStringLiteral("Nachtlauf, Ü-30"));
        // The race goes on, and into the same journal: a second crash loses nothing either.
        QVERIFY(program->timers().runningTimes().isActive());
        program->session().submit({.kind = RaceInput::Kind::Assign, .value = 4});
        QCOMPARE(core.table().lapCount(4), 1);
        const QString journal = program->journal().path();
        QVERIFY(!journal.isEmpty());
        const QString after = raceState(core);
        program.reset();
        JournalReader reader;
        QVERIFY(reader.read(journal));
        RaceSession replay(std::make_unique<ManualTickSource>(0), QLocale());
        replay.restore(reader.header().rebuildSetup(), std::vector<RaceInput>(reader.inputs().begin(), reader.inputs().end()));
        QCOMPARE(raceState(replay.core()), after);
    }

    void declinedRaceIsKeptButNotOfferedAgain()
    {
        killedRace();
        restart(false);
        QCOMPARE(program->session().core().sessionState(), SessionState::Idle);
        program.reset();
        QCOMPARE(QDir(journals).entryList({QStringLiteral("*.journal")}).size(), 1);
        QVERIFY(JournalRecorder::Interrupted(QDir(journals)).isEmpty());
    }

    // A damaged line inside the journal: nothing of it is applied, and the operator is told where.
    void damagedJournalIsRefused()
    {
        killedRace();
        const QString path = JournalRecorder::Interrupted(QDir(journals));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        const qsizetype third = bytes.indexOf('\n', bytes.indexOf('\n', bytes.indexOf('\n') + 1) + 1);
        bytes[third - 3] = bytes[third - 3] == '0' ? '1' : '0';
        file.seek(0);
        file.write(bytes);
        file.close();
        QString shown;
        QTimer::singleShot(0, this, [&shown] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                shown = box->text();
                box->accept();
            }
        });
        restart(true);
        QVERIFY2(shown.contains(QStringLiteral("Journal beschädigt in Zeile 3")), qPrintable(shown));
        QCOMPARE(program->session().core().sessionState(), SessionState::Idle);
        QVERIFY(QFile::exists(path + QStringLiteral(".unlesbar")));
    }

    // After a reboot the boot clock starts again near zero: the recovered race goes on with
    // the time that has passed on the wall clock.
    void rebootKeepsTheRaceTime()
    {
        killedRace();
        const QString path = JournalRecorder::Interrupted(QDir(journals));
        JournalReader reader;
        QVERIFY(reader.read(path));
        JournalHeader header = reader.header();
        header.bootId = QStringLiteral("00000000-0000-0000-0000-000000000000");
        header.startWallClockMs = QDateTime::currentMSecsSinceEpoch() - 3600000;
        QVERIFY(QFile::remove(path));
        {
            JournalWriter writer;
            QVERIFY(writer.open(path, header));
            for (const RaceInput &input : reader.inputs())
                writer.append(input);
        }
        clock.set(20); // the new boot
        restart(true);
        const RaceCore &core = program->session().core();
        const std::int32_t raceTime = TickDiff(program->session().now(), core.table().RaceStartTick);
        QVERIFY2(raceTime >= 3600000 && raceTime < 3660000, qPrintable(QString::number(raceTime)));
    }

    // The journal alone gives the results page the live program wrote.
    void replayWritesTheSameResults()
    {
        killedRace();
        restart(true);
        const QString journal = program->journal().path();
        program->mainWindow().sbWebClick();
        QFile live(dir.filePath(QStringLiteral("testrecovery.html")));
        QVERIFY(live.open(QIODevice::ReadOnly));
        const QByteArray livePage = live.readAll();
        program.reset();

        QProcess replay;
        replay.start(QStringLiteral(CHRONOLAUF_PROGRAM),
                     {QStringLiteral("--replay"), journal, QStringLiteral("--html"), dir.filePath(QStringLiteral("replay.html")),
                      QStringLiteral("--xlsx"), dir.filePath(QStringLiteral("replay.xlsx"))});
        QVERIFY(replay.waitForFinished(60000));
        QCOMPARE(replay.exitCode(), 0);
        QFile replayed(dir.filePath(QStringLiteral("replay.html")));
        QVERIFY(replayed.open(QIODevice::ReadOnly));
        QCOMPARE(replayed.readAll(), livePage);
        const WorkbookReader::Result book = WorkbookReader::read(dir.filePath(QStringLiteral("replay.xlsx")));
        QVERIFY2(book.workbook, qPrintable(book.error));
        QCOMPARE(book.workbook->sheets[0].cell(2, 3).toString(), QStringLiteral("Nachtlauf, Ü-30"));

        // A journal that cannot be read: a clear message and status 2.
        replay.start(QStringLiteral(CHRONOLAUF_PROGRAM), {QStringLiteral("--replay"), dir.filePath(QStringLiteral("state"))});
        QVERIFY(replay.waitForFinished(60000));
        QCOMPARE(replay.exitCode(), 2);
        QVERIFY(QString::fromUtf8(replay.readAllStandardError()).contains(QStringLiteral("kein Chronolauf-Journal")));
    }
};

int main(int argc, char **argv)
{
    if (argc == 4 && qstrcmp(argv[1], "--child") == 0)
        return runChild(argc, argv);
    QApplication app(argc, argv);
    TestRecovery test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "testrecovery.moc"
