#include "FakeSerialDevice.h"
#include "Fakes.h"
#include "PresentPort.h"
#include "app/Program.h"
#include "app/SingleInstance.h"
#include "core/RaceCore.h"
#include "input/TComPort.h"
#include "session/JournalReader.h"
#include "session/JournalRecorder.h"
#include "session/JournalWriter.h"
#include "session/RaceSession.h"
#include "session/SessionRecovery.h"
#include "session/SessionTimers.h"
#include "ui/BarrierIndicator.h"
#include "ui/TFDlgYesNo.h"
#include "ui/TFormMain.h"
#include "workbook/WorkbookReader.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QSaveFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

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

// The first of two programs on one data folder: it takes the folder as main() does, runs a
// race and keeps running; readyFile gets its journal's path, readyFile.raised appears when a
// later start asked for the window.
int holdRace(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString dataDir = QString::fromLocal8Bit(argv[2]);
    const QString readyFile = QString::fromLocal8Bit(argv[3]);
    SingleInstance instance(dataDir);
    if (instance.acquire() != SingleInstance::Result::First)
        return 5;
    ManualTickSource clock(100000);
    FakeSound sound;
    FakeShell shell;
    FakePrinter printer;
    QSettings store(dataDir + QStringLiteral("/hold.conf"), QSettings::IniFormat);
    Program program({std::make_unique<ClockView>(clock), sound, shell, printer, std::make_unique<FakeSerialDevice>(),
                     dataDir + QStringLiteral("/journal")},
                    store);
    QObject::connect(&instance, &SingleInstance::activationRequested, &program, [&program, readyFile] {
        program.bringToFront();
        QFile raised(readyFile + QStringLiteral(".raised"));
        raised.open(QIODevice::WriteOnly);
    });
    program.mainWindow().show();
    program.start();
    RaceSession &session = program.session();
    session.submit({.kind = RaceInput::Kind::StartCommand});
    for (int p = 1; p <= 3; ++p) {
        clock.advance(20000);
        session.submit({.kind = RaceInput::Kind::CapturePass});
        session.submit({.kind = RaceInput::Kind::Assign, .value = p});
    }
    // Ready once the race's timers have run: with the clock standing still, the first turn of
    // each is the last that changes the race, so the journal holds still from then on.
    QTimer::singleShot(1000, &program, [&program, readyFile] {
        QSaveFile ready(readyFile);
        if (ready.open(QIODevice::WriteOnly)) {
            ready.write(program.journal().path().toUtf8());
            ready.commit();
        }
    });
    return QApplication::exec();
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
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
        journals = dir.filePath(QStringLiteral("journal-%1-%2").arg(QTest::currentTestFunction()).arg(++folders));
        QDir().mkpath(journals);
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--child"), journals, dir.filePath(QStringLiteral("state"))});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        QFile state(dir.filePath(QStringLiteral("state")));
        QVERIFY(state.open(QIODevice::ReadOnly));
        expected = QString::fromUtf8(state.readAll());
        QVERIFY(!SessionRecovery::interrupted(QDir(journals)).isEmpty());
    }

    // Another killed race in the same journal folder.
    void anotherKilledRace()
    {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--child"), journals, dir.filePath(QStringLiteral("state"))});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
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
        startProgram();
    }

    // Starts the program; port: the barriers' port of the settings ("COM" n, 0: none).
    void startProgram(int port = 0)
    {
        settings = std::make_unique<QSettings>(dir.filePath(QStringLiteral("program.conf")), QSettings::IniFormat);
        settings->setValue(QStringLiteral("Port"), port);
        auto device = std::make_unique<FakeSerialDevice>();
        serial = device.get();
        program = std::make_unique<Program>(Program::Services{std::make_unique<ClockView>(clock), sound, shell, printer,
                                                              std::move(device), journals},
                                            *settings);
        program->mainWindow().show();
        program->start();
    }

    // Answers every recovery question in turn, and notes what the port had done by then. The
    // one dialog serves every question: each time it shows, the next answer is given.
    void answerInTurn(const QList<bool> &answers, QStringList *offered, QList<int> *opensWhenAsked = nullptr)
    {
        answerer = std::make_unique<QTimer>();
        answerer->setInterval(10);
        auto remaining = std::make_shared<QList<bool>>(answers);
        connect(answerer.get(), &QTimer::timeout, this, [this, remaining, offered, opensWhenAsked] {
            auto *dialog = qobject_cast<TFDlgYesNo *>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible() || remaining->isEmpty())
                return;
            *offered << dialog->Label1->text();
            if (opensWhenAsked)
                *opensWhenAsked << serial->opens();
            QTest::mouseClick(remaining->takeFirst() ? dialog->OKBtn : dialog->CancelBtn, Qt::LeftButton);
        });
        answerer->start();
    }

    std::unique_ptr<QTimer> answerer;
    int folders = 0;
    FakeSerialDevice *serial = nullptr; // the program's port, owned by it
    PresentPort presentPort;

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid() && QDir::setCurrent(dir.path()));
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QVERIFY(presentPort.setUp(QDir(dir.path())));
    }

    void cleanup()
    {
        answerer.reset();
        program.reset();
    }

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
        QVERIFY(SessionRecovery::interrupted(QDir(journals)).isEmpty());
    }

    void everyInterruptedRaceIsOffered_data()
    {
        QTest::addColumn<QList<bool>>("answers");
        QTest::addColumn<int>("restored"); // which race comes back: 0 none, 1 the older, 2 the newer
        QTest::newRow("Nein, Nein") << QList<bool>{false, false} << 0;
        QTest::newRow("Nein, Ja") << QList<bool>{false, true} << 1;
        QTest::newRow("Ja") << QList<bool>{true} << 2;
    }

    // Two races died: both are offered, the newer first, until one is taken back. A declined
    // one is closed; after a "Ja" the other stays as it was, to be offered at the next start.
    void everyInterruptedRaceIsOffered()
    {
        QFETCH(QList<bool>, answers);
        QFETCH(int, restored);
        killedRace();
        const QString older = SessionRecovery::interrupted(QDir(journals)).value(0);
        anotherKilledRace();
        const QStringList interrupted = SessionRecovery::interrupted(QDir(journals));
        QCOMPARE(interrupted.size(), 2);
        const QString newer = interrupted.value(0);
        QCOMPARE(interrupted.value(1), older);
        const QByteArray olderBefore = contents(older);

        QStringList offered;
        answerInTurn(answers, &offered);
        startProgram();
        QCOMPARE(offered.size(), answers.size());
        QCOMPARE(program->session().core().sessionState(), restored ? SessionState::Running : SessionState::Idle);
        QCOMPARE(program->journal().path(), restored == 1 ? older : restored == 2 ? newer : QString());
        program.reset();
        JournalReader reader;
        QVERIFY(reader.read(newer));
        QCOMPARE(reader.endReason(), restored == 2 ? QString() : QStringLiteral("nicht wiederhergestellt"));
        if (restored == 2) {
            QCOMPARE(contents(older), olderBefore);
            QCOMPARE(SessionRecovery::interrupted(QDir(journals)), (QStringList{newer, older}));
        } else {
            QVERIFY(reader.read(older));
            QCOMPARE(reader.endReason(), restored == 1 ? QString() : QStringLiteral("nicht wiederhergestellt"));
        }
    }

    // The question comes before the port opens: no barrier event can reach the blank session
    // that the recovery replaces. The recovered race then hears the port open, in its journal.
    void portOpensAfterTheQuestion()
    {
        killedRace();
        QStringList offered;
        QList<int> opensWhenAsked;
        answerInTurn({true}, &offered, &opensWhenAsked);
        startProgram(3);
        QCOMPARE(offered, QStringList{QStringLiteral("Unterbrochene Sitzung wiederherstellen?")});
        QCOMPARE(opensWhenAsked, QList<int>{0});
        QCOMPARE(serial->opens(), 1);
        QCOMPARE(program->session().core().sessionState(), SessionState::Running);
        QVERIFY(program->mainWindow().ImageLS1->isVisible());
        const QString journal = program->journal().path();
        program.reset();
        JournalReader reader;
        QVERIFY(reader.read(journal));
        QVERIFY(std::any_of(reader.inputs().begin(), reader.inputs().end(),
                            [](const RaceInput &in) { return in.kind == RaceInput::Kind::PortOpened; }));
    }

    // A second start on the same data folder, as a program of its own: it says the program
    // runs already, ends with status 0, and neither it nor a replay writes a byte into the
    // running race's journal. The running program is asked to come to the front.
    void secondProgramLeavesTheRaceAlone()
    {
        const QString xdg = dir.filePath(QStringLiteral("xdg"));
        const QString dataDir = xdg + QStringLiteral("/Chronolauf");
        const QString ready = dir.filePath(QStringLiteral("ready"));
        QProcess first;
        first.setProcessChannelMode(QProcess::ForwardedChannels);
        first.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hold"), dataDir, ready});
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(ready) || first.state() == QProcess::NotRunning, 60000);
        QCOMPARE(first.state(), QProcess::Running);
        const QString journal = QString::fromUtf8(contents(ready));
        QVERIFY(!journal.isEmpty());
        const QByteArray before = contents(journal);
        const QStringList files = QDir(dataDir + QStringLiteral("/journal")).entryList(QDir::Files);

        QProcess second;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), xdg);
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("xdg-config")));
        second.setProcessEnvironment(environment);
        second.start(QStringLiteral(CHRONOLAUF_PROGRAM));
        const bool ended = second.waitForFinished(30000);
        if (!ended)
            second.kill();
        QVERIFY2(ended, "the second program did not end by itself");
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        const QString said = QString::fromUtf8(second.readAllStandardError());
        QVERIFY2(said.contains(QStringLiteral("Chronolauf läuft bereits.")), qPrintable(said));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(ready + QStringLiteral(".raised")), 10000);

        second.start(QStringLiteral(CHRONOLAUF_PROGRAM),
                     {QStringLiteral("--replay"), journal, QStringLiteral("--html"), dir.filePath(QStringLiteral("running.html"))});
        QVERIFY(second.waitForFinished(30000));
        QCOMPARE(second.exitCode(), 0);

        QCOMPARE(contents(journal), before);
        QCOMPARE(QDir(dataDir + QStringLiteral("/journal")).entryList(QDir::Files), files);
        first.kill();
        QVERIFY(first.waitForFinished(10000));
    }

    // A damaged line inside the journal: nothing of it is applied, and the operator is told where.
    void damagedJournalIsRefused()
    {
        killedRace();
        const QString path = SessionRecovery::interrupted(QDir(journals)).value(0);
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
        // Put aside whole: nothing written into it, no line lost.
        QCOMPARE(contents(path + QStringLiteral(".unlesbar")), bytes);
        QVERIFY(SessionRecovery::interrupted(QDir(journals)).isEmpty());
    }

    // After a reboot the boot clock starts again near zero: the recovered race goes on with
    // the time that has passed on the wall clock.
    void rebootKeepsTheRaceTime()
    {
        killedRace();
        const QString path = SessionRecovery::interrupted(QDir(journals)).value(0);
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
    if (argc == 4 && qstrcmp(argv[1], "--hold") == 0)
        return holdRace(argc, argv);
    QApplication app(argc, argv);
    TestRecovery test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "testrecovery.moc"
