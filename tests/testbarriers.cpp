#include "Fakes.h"
#include "PresentPort.h"
#include "ProgramFixture.h"
#include "input/TComPort.h"
#include "session/JournalRecorder.h"
#include "session/RaceSession.h"
#include "session/SessionTimers.h"
#include "ui/BarrierIndicator.h"
#include "ui/PressButton.h"
#include "ui/TCfgDialog.h"
#include "ui/TFDlgYesNo.h"
#include "ui/TFormMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

// The light barriers in the running program: the port opened from the settings, passes at
// the finish line, the settings dialog, a pulled adapter and the health messages. The serial
// hardware is the one fake here.
class TestBarriers : public QObject, ProgramFixture
{
    Q_OBJECT

    PresentPort presentPort;

    // Runs the settings dialog's edit cycle with the given changes, then "OK" or "Abbrechen".
    void editSettings(const std::function<void(TCfgDialog &)> &change, bool ok)
    {
        QTimer::singleShot(0, this, [this, change, ok] {
            TCfgDialog &dialog = program->settingsDialog();
            QVERIFY(dialog.isVisible());
            change(dialog);
            QTest::mouseClick(ok ? dialog.OKBtn : dialog.CancelBtn, Qt::LeftButton);
        });
        QTest::keyClick(&form(), Qt::Key_E, Qt::ControlModifier);
    }

private slots:
    void initTestCase()
    {
        // One present port: COM3, a pseudo-terminal behind ttyS2 in the device folder.
        QVERIFY(dir.isValid());
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QVERIFY(presentPort.setUp(QDir(dir.path())));
    }

    void cleanup()
    {
        program.reset();
        clock.set(100000);
        serialMissing = false;
    }

    void portFromTheSettings_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<bool>("open");
        QTest::newRow("no port") << QStringList{"Port=0"} << false;
        QTest::newRow("COM3") << QStringList{"Port=3"} << true;
    }

    void portFromTheSettings()
    {
        QFETCH(QStringList, lines);
        QFETCH(bool, open);
        QVERIFY(startProgram(lines));
        QCOMPARE(program->portPresence(), 0x00030004u);
        QCOMPARE(serial->opens(), open ? 1 : 0);
        QCOMPARE(form().ImageLS1->isVisible(), open);
        QCOMPARE(form().bSTART2->geometry(), open ? QRect(78, 46, 110, 38) : QRect(43, 46, 145, 38));
        if (open) {
            QVERIFY(serial->path().endsWith(QLatin1String("/ttyS2")));
            QVERIFY(serial->dtr() && serial->rts()); // they power the barriers
        }
    }

    // The pass is timed when the beam breaks, in the event thread, and reaches the list.
    void passAtTheFinishLine()
    {
        QVERIFY(startProgram({"Port=3"}));
        QTest::keyClick(&form(), Qt::Key_S, Qt::ControlModifier); // a start by key arms the locked barriers
        QVERIFY(core().controls().barriersArmed);
        clock.advance(61230);
        serial->change(0, 1, 0, MS_DSR_ON);
        QTRY_COMPARE(core().pending().count(), 1);
        clock.advance(5000); // the window gets round to it later; the time is the beam's
        QCOMPARE(core().pending().at(0), QStringLiteral("1:01,23"));
        QCOMPARE(sound.played.last(), QStringLiteral("Ton-Kontakt.wav"));
        serial->change(0, 1, 0, 0); // the beam is whole again: no pass
        serial->change(0, 2, 0, 0); // a pulse shorter than the hand-over: one pass
        QTRY_COMPARE(core().pending().count(), 2);
    }

    void settingsDialog_data()
    {
        QTest::addColumn<int>("choose");  // cbPort index: 0 "Kein", 1 "COM3"
        QTest::addColumn<bool>("two");    // second barrier box
        QTest::addColumn<int>("lock");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<bool>("open");
        QTest::addColumn<int>("opens");
        QTest::newRow("open COM3") << 1 << true << 5 << true << true << 1;
        QTest::newRow("cancelled") << 1 << true << 5 << false << false << 0;
        QTest::newRow("Kein stays") << 0 << false << 30 << true << false << 0;
    }

    void settingsDialog()
    {
        QFETCH(int, choose);
        QFETCH(bool, two);
        QFETCH(int, lock);
        QFETCH(bool, ok);
        QVERIFY(startProgram({"Port=0", "Alg2=1"}));
        editSettings([&](TCfgDialog &d) {
            QCOMPARE(d.cbPort->count(), 2);
            QCOMPARE(d.cbPort->itemText(1), QStringLiteral("COM3"));
            d.cbPort->setCurrentIndex(choose);
            QCOMPARE(d.LabelPath->text(), choose ? dir.filePath(QStringLiteral("ttyS2")) : QString());
            if (two != d.cbLuch2->isChecked() && d.cbLuch2->isEnabled())
                QTest::mouseClick(d.cbLuch2, Qt::LeftButton, {}, QPoint(4, d.cbLuch2->height() / 2));
            // The finish box works only with a port and the second barrier.
            QCOMPARE(d.cbAlg1->isEnabled(), choose > 0);
            QCOMPARE(d.cbAlg2->isEnabled(), choose > 0 && two);
            d.cbAlg1->setCurrentIndex(1);
            d.seLock->setValue(lock);
        }, ok);
        QTEST(form().ImageLS1->isVisible(), "open");
        QTEST(serial->opens(), "opens");
        const BarrierSettings &b = core().barrierSettings();
        QCOMPARE(b.lockStopSeconds, ok ? lock : 20);
        QCOMPARE(b.oneBarrier, !(ok && choose > 0 && two));
        // With "Kein" the output types shown are dropped and the stored ones stay.
        QCOMPARE(b.startPnp, ok && choose > 0);
        QVERIFY(b.finishPnp);
        QCOMPARE(program->timers().finishLock().interval(), b.lockStopSeconds * 1000);

        // Everything chosen is kept for the next run.
        QVERIFY(form().close());
        settings->sync();
        QCOMPARE(settings->value(QStringLiteral("Port")).toInt(), ok ? choose * 3 : 0);
        QCOMPARE(settings->value(QStringLiteral("LockStopTime")).toInt(), b.lockStopSeconds);
        QCOMPARE(settings->value(QStringLiteral("Alg1")).toInt(), b.startPnp ? 1 : 0);
        QCOMPARE(settings->value(QStringLiteral("OneLuch")).toInt(), b.oneBarrier ? 1 : 0);
    }

    // Without any port the list holds only "Kein" and every barrier control stays off;
    // "OK" still applies the mode as shown and the lock time.
    void dialogWithoutPorts()
    {
        TCfgDialog dialog(nullptr, 0);
        QCOMPARE(TCfgDialog::PortItems(0), QStringList{QStringLiteral("Kein")});
        QTimer::singleShot(0, &dialog, [&dialog] {
            QVERIFY(!dialog.cbPort->isEnabled());
            for (QWidget *w : std::initializer_list<QWidget *>{dialog.cbAlg1, dialog.cbAlg2, dialog.cbLuch2, dialog.LabelStart, dialog.LabelStop1})
                QVERIFY(!w->isEnabled());
            dialog.seLock->setValue(7);
            QTest::mouseClick(dialog.OKBtn, Qt::LeftButton);
        });
        const auto result = dialog.edit({.port = 0, .barriers = {.oneBarrier = false}});
        QVERIFY(result);
        QCOMPARE(result->values.port, 0);
        QVERIFY(!result->portChanged);
        QCOMPARE(result->values.barriers.lockStopSeconds, 7);
        QVERIFY(!result->values.barriers.oneBarrier); // as the (disabled) box showed it
    }

    // A lock time changed while the lock runs restarts it with the new length from "OK" on.
    void lockTimeChangedDuringTheLock()
    {
        QVERIFY(startProgram({"Port=3"}));
        QTest::keyClick(&form(), Qt::Key_S, Qt::ControlModifier);
        QVERIFY(program->timers().finishLock().isActive());
        QTest::qWait(300);
        editSettings([](TCfgDialog &d) { d.seLock->setValue(5); }, true);
        QVERIFY(program->timers().finishLock().isActive());
        QCOMPARE(program->timers().finishLock().interval(), 5000);
        QVERIFY(program->timers().finishLock().remainingTime() > 4500);
    }

    void closingThePortHidesTheIndicator()
    {
        QVERIFY(startProgram({"Port=3"}));
        editSettings([](TCfgDialog &d) { d.cbPort->setCurrentIndex(0); }, true);
        QVERIFY(!serial->isOpen());
        QVERIFY(!form().ImageLS1->isVisible());
        QCOMPARE(form().bSTART2->geometry(), QRect(43, 46, 145, 38));
    }

    // A pulled adapter is reported and opened again when it is back; arming survives it.
    void unplugAndReplug()
    {
        QVERIFY(startProgram({"Port=3"}));
        QTest::mouseClick(form().ImageLS1, Qt::LeftButton);
        QVERIFY(core().controls().barriersArmed);
        serial->unplug();
        QTRY_VERIFY(!form().ImageLS1->isVisible());
        QCOMPARE(form().StatusPanels[1]->text(), QStringLiteral("Lichtschranke getrennt: ") + dir.filePath(QStringLiteral("ttyS2")));
        serial->replug();
        QTRY_VERIFY_WITH_TIMEOUT(form().ImageLS1->isVisible(), 3000);
        QCOMPARE(form().StatusPanels[1]->text(), QStringLiteral("Lichtschranke wieder verbunden"));
        QVERIFY(core().controls().barriersArmed);
    }

    // An adapter missing at start-up (after a power cut, or renumbered) is named, and opened
    // once it is there; the sign shows the port as it is throughout.
    void adapterMissingAtStart()
    {
        serialMissing = true;
        QVERIFY(startProgram({"Port=3"}));
        QCOMPARE(form().StatusPanels[1]->text(), QStringLiteral("Lichtschranke nicht gefunden: ") + dir.filePath(QStringLiteral("ttyS2")));
        QVERIFY(!form().ImageLS1->isVisible());
        QTest::keyClick(&form(), Qt::Key_S, Qt::ControlModifier); // the race starts without it
        QVERIFY(!form().ImageLS1->isVisible());
        serial->failOpen(std::nullopt);
        QTRY_VERIFY_WITH_TIMEOUT(form().ImageLS1->isVisible(), 3000);
        QCOMPARE(form().StatusPanels[1]->text(), QStringLiteral("Lichtschranke wieder verbunden"));
        clock.advance(12340);
        serial->change(0, 1, 0, MS_DSR_ON);
        QTRY_COMPARE(core().pending().count(), 1);
    }

    // A race recovered after a power cut while the adapter is still missing: the journal had
    // the sign shown, the port is closed, so the sign is hidden until the port opens.
    void recoveredWithTheAdapterMissing()
    {
        QVERIFY(startProgram({"Port=3"}));
        QTest::keyClick(&form(), Qt::Key_S, Qt::ControlModifier);
        QVERIFY(form().ImageLS1->isVisible());
        const QString journal = dir.filePath(QStringLiteral("journal-%1").arg(programs));
        // The journal as the power cut leaves it: the closing program would still record the port's close.
        const QString path = program->journal().path();
        const QString cut = dir.filePath(QStringLiteral("cut.journal"));
        QFile::remove(cut);
        QVERIFY(QFile::copy(path, cut));
        program.reset();
        QVERIFY(QFile::remove(path) && QFile::rename(cut, path));

        auto device = std::make_unique<FakeSerialDevice>();
        device->failOpen(SerialDevice::OpenError{SerialDevice::OpenError::Step::Open, QStringLiteral("No such file or directory")});
        serial = device.get();
        program = std::make_unique<Program>(Program::Services{std::make_unique<ClockView>(clock), sound, shell, printer,
                                                              std::move(device), journal},
                                            *settings);
        form().show();
        QTimer::singleShot(0, this, [] {
            if (auto *dialog = qobject_cast<TFDlgYesNo *>(QApplication::activeModalWidget()))
                QTest::mouseClick(dialog->OKBtn, Qt::LeftButton);
        });
        program->start();
        QCOMPARE(core().sessionState(), SessionState::Running);
        QVERIFY(!core().controls().barrierIndicatorVisible);
        QVERIFY(!form().ImageLS1->isVisible());
        serial->failOpen(std::nullopt);
        QTRY_VERIFY_WITH_TIMEOUT(form().ImageLS1->isVisible(), 3000);
    }

    // Only a left click on the sign arms or locks the barriers.
    void signClicks_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("armed");
        QTest::newRow("left") << int(Qt::LeftButton) << true;
        QTest::newRow("right") << int(Qt::RightButton) << false;
        QTest::newRow("middle") << int(Qt::MiddleButton) << false;
    }

    void signClicks()
    {
        QFETCH(int, button);
        QVERIFY(startProgram({"Port=3"}));
        QVERIFY(!core().controls().barriersArmed);
        QTest::mouseClick(form().ImageLS1, Qt::MouseButton(button));
        QTEST(core().controls().barriersArmed, "armed");
    }

    void healthMessages()
    {
        QVERIFY(startProgram({"Port=3"}));
        QTest::keyClick(&form(), Qt::Key_S, Qt::ControlModifier);
        clock.advance(30000);
        serial->change(0, 1, 0, MS_DSR_ON); // beam broken: a pass
        QTRY_COMPARE(core().pending().count(), 1);
        clock.advance(4000);
        program->session().submit({.kind = RaceInput::Kind::Timer1});
        QCOMPARE(form().StatusPanels[1]->text(), QStringLiteral("letzte Durchfahrt vor 0:04"));
        clock.advance(2000); // still broken after more than 5 s
        program->session().submit({.kind = RaceInput::Kind::Timer1});
        QCOMPARE(form().StatusPanels[1]->text(), QStringLiteral("Ziel-Lichtschranke blockiert"));
        serial->change(0, 1, 0, 0);
        QTRY_COMPARE(form().StatusPanels[1]->text(), QStringLiteral("letzte Durchfahrt vor 0:06"));
    }
};

QTEST_MAIN(TestBarriers)
#include "testbarriers.moc"
