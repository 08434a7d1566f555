#include "FakeSerialDevice.h"
#include "Fakes.h"
#include "core/TickSource.h"
#include "platform/Shell.h"
#include "platform/SoundPlayer.h"
#include "app/Program.h"
#include "session/SessionTimers.h"
#include "app/SingleInstance.h"
#include "session/JournalRecorder.h"
#include "core/RaceCore.h"
#include "ui/BarrierIndicator.h"
#include "ui/TFDlgYesNo.h"
#include "ui/GridView.h"
#include "ui/TFormMain.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>


// Start-up with the settings of the last run, the close question, and the settings
// written back at the end. Every store lives in a temporary directory.
class TestStartup : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    ManualTickSource clock{50000};
    FakeSound sound;
    FakeShell shell;
    FakePrinter printer;
    // Each program keeps its journals apart: a race left running is not offered to the next one.
    Program::Services services()
    {
        return {std::make_unique<ClockView>(clock), sound, shell, printer, std::make_unique<FakeSerialDevice>(),
                dir.filePath(QStringLiteral("journal-%1").arg(++programs))};
    }
    int programs = 0;

    // A new file for every store: QSettings caches what it read per file.
    int files = 0;
    QString file() const { return dir.filePath(QStringLiteral("Chronolauf-%1.conf").arg(files)); }

    std::unique_ptr<QSettings> store(const QStringList &lines = {})
    {
        ++files;
        if (!lines.isEmpty()) {
            QFile out(file());
            if (out.open(QIODevice::WriteOnly)) {
                out.write("[General]\n");
                for (const QString &line : lines)
                    out.write(line.toUtf8() + '\n');
            }
        }
        return std::make_unique<QSettings>(file(), QSettings::IniFormat);
    }

    // Answers the close question with the given button once it shows.
    // Records whether "Nein" was the button Enter would press.
    static inline bool noWasDefault = false;

    static void answerWhenAsked(bool yes, QString *asked)
    {
        QTimer::singleShot(0, [yes, asked] {
            if (auto *dialog = qobject_cast<TFDlgYesNo *>(QApplication::activeModalWidget())) {
                *asked = dialog->Label1->text();
                noWasDefault = dialog->CancelBtn->isDefault();
                QTest::mouseClick(yes ? dialog->OKBtn : dialog->CancelBtn, Qt::LeftButton);
            }
        });
    }

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }

    void firstRun()
    {
        auto settings = store();
        Program program(services(), *settings);
        TFormMain &form = program.mainWindow();
        form.show();
        QCOMPARE(form.width(), 1024);
        QCOMPARE(form.eTitle->text(), QStringLiteral("Circuit de Monaco, Monte Carlo"));
        QCOMPARE(form.meTime->text(), QStringLiteral("04:00:00"));
        QCOMPARE(form.meTimeWarn->text(), QStringLiteral("00:30"));
        QCOMPARE(form.SortGrid1->model()->rowCount(), 20);
        QCOMPARE(program.timers().finishLock().interval(), 20000);
        QVERIFY(form.ImageLS1->isHidden());
        QCOMPARE(program.questionDialog().windowTitle(), QStringLiteral("Chronolauf v1.8"));
        // Nothing is written before the program ends.
        QVERIFY(settings->allKeys().isEmpty());

        QVERIFY(form.close());
        settings->sync();
        QCOMPARE(settings->allKeys().size(), 14);
        QCOMPARE(settings->value(QStringLiteral("Acc")).toInt(), 2);
        QCOMPARE(settings->value(QStringLiteral("Autos")).toInt(), 20);
        QCOMPARE(settings->value(QStringLiteral("Time")).toInt(), 14400);
        QCOMPARE(settings->value(QStringLiteral("Title")).toString(), QStringLiteral("Circuit de Monaco, Monte Carlo"));
        QCOMPARE(settings->value(QStringLiteral("TimeWarn")).toString(), QStringLiteral("00:30"));
        QCOMPARE(settings->value(QStringLiteral("LockStopTime")).toInt(), 20);
        QCOMPARE(settings->value(QStringLiteral("OneLuch")).toInt(), 1);
        QCOMPARE(settings->value(QStringLiteral("Width")).toInt(), 1024);
    }

    void storedValuesApply()
    {
        auto settings = store({"Left=30", "Top=20", "Width=1200", "Height=999", "Autos=7", "Time=5400",
                               "Title=Stadtlauf", "TimeWarn=01:00", "Port=0", "Alg1=1", "Alg2=0", "OneLuch=0",
                               "LockStopTime=30"});
        Program program(services(), *settings);
        TFormMain &form = program.mainWindow();
        form.show();
        QCOMPARE(form.width(), 1200);
        QCOMPARE(form.eTitle->text(), QStringLiteral("Stadtlauf"));
        QCOMPARE(form.meTime->text(), QStringLiteral("01:30:00"));
        QCOMPARE(form.meTimeWarn->text(), QStringLiteral("01:00"));
        QCOMPARE(program.timers().finishLock().interval(), 30000);
        // Seven participants: eight grid rows, and the window fits them whatever "Height" said.
        QCOMPARE(form.SortGrid1->model()->rowCount(), 7);
        QVERIFY(form.height() != 999);
        QCOMPARE(form.minimumHeight(), form.height());
        QVERIFY(form.SortGrid1->visualRect(form.SortGrid1->model()->index(6, 0)).bottom()
                < form.SortGrid1->viewport()->height());

        // What the operator changes is written back; the rest as it was read.
        form.eTitle->setFocus();
        form.eTitle->selectAll();
        QTest::keyClicks(form.eTitle, QStringLiteral("Nachtlauf"));
        QVERIFY(form.close());
        settings->sync();
        QCOMPARE(settings->value(QStringLiteral("Title")).toString(), QStringLiteral("Nachtlauf"));
        QCOMPARE(settings->value(QStringLiteral("Autos")).toInt(), 7);
        QCOMPARE(settings->value(QStringLiteral("Time")).toInt(), 5400);
        QCOMPARE(settings->value(QStringLiteral("Alg1")).toInt(), 1);
        QCOMPARE(settings->value(QStringLiteral("OneLuch")).toInt(), 0);
        QCOMPARE(settings->value(QStringLiteral("LockStopTime")).toInt(), 30);
    }

    void missingLeftKeepsTheRest()
    {
        auto settings = store({"Top=20", "Autos=5", "Title=Ohne Links"});
        Program program(services(), *settings);
        QCOMPARE(program.mainWindow().eTitle->text(), QStringLiteral("Ohne Links"));
        QCOMPARE(program.mainWindow().SortGrid1->model()->rowCount(), 5);
    }

    void closeQuestion_data()
    {
        QTest::addColumn<int>("starts"); // start commands given: 0 idle, 1 running, 2 ended
        QTest::addColumn<bool>("yes");
        QTest::addColumn<bool>("closes");
        QTest::newRow("idle closes at once") << 0 << false << true;
        QTest::newRow("running, Nein") << 1 << false << false;
        QTest::newRow("running, Ja") << 1 << true << true;
        QTest::newRow("ended, Nein") << 2 << false << false;
        QTest::newRow("ended, Ja") << 2 << true << true;
    }

    void closeQuestion()
    {
        QFETCH(int, starts);
        QFETCH(bool, yes);
        QFETCH(bool, closes);
        auto settings = store();
        Program program(services(), *settings);
        TFormMain &form = program.mainWindow();
        form.show();
        QString asked;
        for (int i = 0; i < starts; ++i) {
            answerWhenAsked(true, &asked);
            form.mStart2Click();
        }
        QCOMPARE(int(form.core().sessionState()), starts);
        asked.clear();
        noWasDefault = false;
        answerWhenAsked(yes, &asked);
        QCOMPARE(form.close(), closes);
        QCOMPARE(asked, starts == 0 ? QString() : QStringLiteral("Beenden?"));
        // Enter must never quit a race: it presses "Nein".
        QCOMPARE(noWasDefault, starts != 0);
        QCOMPARE(form.isVisible(), !closes);
        settings->sync();
        QCOMPARE(settings->allKeys().isEmpty(), !closes);
        if (!closes)
            QCOMPARE(int(form.core().sessionState()), starts);
    }

    void dataFolderLock_data()
    {
        QTest::addColumn<QString>("holder"); // who holds the lock before
        QTest::addColumn<int>("expected");
        QTest::newRow("nobody") << QStringLiteral("nobody") << int(SingleInstance::Result::First);
        QTest::newRow("a running program") << QStringLiteral("running") << int(SingleInstance::Result::Running);
        QTest::newRow("a program running for days") << QStringLiteral("running for days") << int(SingleInstance::Result::Running);
        QTest::newRow("a program that died") << QStringLiteral("dead") << int(SingleInstance::Result::First);
        QTest::newRow("a program that ended") << QStringLiteral("ended") << int(SingleInstance::Result::First);
    }

    // One program per data folder: only a running one keeps a later start out; a lock left
    // by a program that died does not, however old it is.
    void dataFolderLock()
    {
        QFETCH(QString, holder);
        QTemporaryDir data;
        std::unique_ptr<SingleInstance> before;
        if (holder == QLatin1String("running") || holder == QLatin1String("ended")) {
            before = std::make_unique<SingleInstance>(data.path());
            QCOMPARE(before->acquire(), SingleInstance::Result::First);
            if (holder == QLatin1String("ended"))
                before.reset();
        } else if (holder == QLatin1String("dead")) {
            QProcess gone;
            gone.start(QStringLiteral("true"));
            QVERIFY(gone.waitForStarted());
            const qint64 pid = gone.processId();
            QVERIFY(gone.waitForFinished());
            QFile lock(QDir(data.path()).filePath(QStringLiteral("chronolauf.lock")));
            QVERIFY(lock.open(QIODevice::WriteOnly));
            lock.write(QByteArray::number(pid) + "\nchronolauf\n\n");
            lock.flush();
            QVERIFY(lock.setFileTime(QDateTime::currentDateTime().addDays(-2), QFileDevice::FileModificationTime));
        }
        if (holder == QLatin1String("running for days")) {
            before = std::make_unique<SingleInstance>(data.path());
            QCOMPARE(before->acquire(), SingleInstance::Result::First);
            QFile lock(before->lockPath());
            QVERIFY(lock.open(QIODevice::Append));
            QVERIFY(lock.setFileTime(QDateTime::currentDateTime().addDays(-2), QFileDevice::FileModificationTime));
        }
        SingleInstance later(data.path());
        QTEST(int(later.acquire()), "expected");
    }

    // A later start asks the running program for its window, and its request arrives.
    void laterStartRaisesTheRunningProgram()
    {
        QTemporaryDir data;
        SingleInstance running(data.path());
        QCOMPARE(running.acquire(), SingleInstance::Result::First);
        QSignalSpy asked(&running, &SingleInstance::activationRequested);
        SingleInstance later(data.path());
        QCOMPARE(later.acquire(), SingleInstance::Result::Running);
        later.activateRunning();
        QVERIFY(later.waitForDelivery(5000));
        QTRY_COMPARE(asked.count(), 1);

        // Another data folder is another program's: it neither answers nor is asked.
        QTemporaryDir otherData;
        SingleInstance other(otherData.path());
        QCOMPARE(other.acquire(), SingleInstance::Result::First);
        QVERIFY(SingleInstance::serverName(otherData.path()) != SingleInstance::serverName(data.path()));
        QCOMPARE(asked.count(), 1);
    }

    // Asked for its window, the program shows it again, even from the task bar.
    void bringToFront()
    {
        auto settings = store();
        Program program(services(), *settings);
        TFormMain &form = program.mainWindow();
        form.show();
        form.setWindowState(Qt::WindowMinimized);
        program.bringToFront();
        QVERIFY(form.isVisible());
        QVERIFY(!(form.windowState() & Qt::WindowMinimized));
    }

    // The journal's red error goes when the journal is written again; what came meanwhile follows.
    void journalErrorGoesWhenWritingWorks()
    {
        auto settings = store();
        Program program(services(), *settings);
        TFormMain &form = program.mainWindow();
        form.show();
        emit program.journal().failed(QStringLiteral("No space left on device"));
        QCOMPARE(form.StatusPanels[1]->text(), QStringLiteral("Journal kann nicht geschrieben werden: No space left on device"));
        form.showMessage(QStringLiteral("Lichtschranke wieder verbunden"));
        emit program.journal().recovered();
        QCOMPARE(form.StatusPanels[1]->text(), QStringLiteral("Lichtschranke wieder verbunden"));
    }

    void logoBesideTheProgram()
    {
        auto settings = store();
        Program program(services(), *settings);
        const QPixmap logo = program.mainWindow().ImageLogo->pixmap();
        QVERIFY(!logo.isNull());
        QCOMPARE(logo.size(), QSize(150, 85));
    }
};

QTEST_MAIN(TestStartup)
#include "teststartup.moc"
