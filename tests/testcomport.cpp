#include "FakeSerialDevice.h"
#include "core/TickSource.h"
#include "input/EComError.h"
#include "input/TComPort.h"

#include <QElapsedTimer>
#include <QTest>
#include <QThread>

// The line monitor over a fake device: what is raised, in which order, with which tick, and
// that opening, closing, aborting and losing the device never hang.
class TestComPort : public QObject
{
    Q_OBJECT

    // Everything the port raises, in order, as short names.
    struct Log
    {
        QStringList names;
        std::int32_t tick = -1;
        int modemStatus = -1;
        int lines = -1;
        int pulses = -1;
    };

    static void record(TComPort &port, Log &log)
    {
        connect(&port, &TComPort::OnOpen, &port, [&log] { log.names << QStringLiteral("Open"); });
        connect(&port, &TComPort::OnClose, &port, [&log] { log.names << QStringLiteral("Close"); });
        connect(&port, &TComPort::OnCTS, &port, [&log] { log.names << QStringLiteral("CTS"); });
        connect(&port, &TComPort::OnDSR, &port, [&log] { log.names << QStringLiteral("DSR"); });
        connect(&port, &TComPort::OnRLSD, &port, [&log] { log.names << QStringLiteral("RLSD"); });
        connect(&port, &TComPort::lost, &port, [&log] { log.names << QStringLiteral("lost"); });
        connect(&port, &TComPort::reconnected, &port, [&log] { log.names << QStringLiteral("reconnected"); });
        connect(&port, &TComPort::lineEvent, &port, [&log](std::int32_t tick, int status, int lines, int pulses) {
            log.names << QStringLiteral("line");
            log.tick = tick;
            log.modemStatus = status;
            log.lines = lines;
            log.pulses = pulses;
        });
    }

    // Waits without running the event loop, so a hand-over stays pending.
    template<typename Condition>
    static bool spinUntil(Condition condition)
    {
        QElapsedTimer timer;
        timer.start();
        while (!condition()) {
            if (timer.elapsed() > 5000)
                return false;
            QThread::msleep(1);
        }
        return true;
    }

private slots:
    void dispatchOrder_data()
    {
        QTest::addColumn<int>("cts");
        QTest::addColumn<int>("dsr");
        QTest::addColumn<int>("rlsd");
        QTest::addColumn<QStringList>("raised");
        QTest::newRow("all three in one wake") << 1 << 1 << 1 << QStringList{"Open", "line", "CTS", "DSR", "RLSD"};
        QTest::newRow("finish and carrier") << 0 << 1 << 1 << QStringList{"Open", "line", "DSR", "RLSD"};
        QTest::newRow("start and carrier") << 1 << 0 << 1 << QStringList{"Open", "line", "CTS", "RLSD"};
        QTest::newRow("start alone") << 1 << 0 << 0 << QStringList{"Open", "line", "CTS"};
        QTest::newRow("carrier alone") << 0 << 0 << 1 << QStringList{"Open", "line", "RLSD"};
    }

    void dispatchOrder()
    {
        QFETCH(int, cts);
        QFETCH(int, dsr);
        QFETCH(int, rlsd);
        QFETCH(QStringList, raised);
        ManualTickSource clock;
        auto *device = new FakeSerialDevice;
        Log log; // outlives the port, which raises OnClose as it goes
        TComPort port(std::unique_ptr<SerialDevice>(device), clock);
        record(port, log);
        port.Open();
        device->change(cts, dsr, rlsd);
        QTRY_COMPARE(log.names, raised);
    }

    void tickIsReadWhenTheWaitReturns_data()
    {
        QTest::addColumn<uint>("atWake");
        QTest::addColumn<int>("tick");
        QTest::newRow("whole tens") << 1000u << 1000;
        QTest::newRow("truncated to tens") << 123459u << 123450;
        QTest::newRow("past int32 max") << 0x80000005u << int(0x80000002u);
    }

    void tickIsReadWhenTheWaitReturns()
    {
        QFETCH(uint, atWake);
        ManualTickSource clock(atWake);
        auto *device = new FakeSerialDevice;
        Log log; // outlives the port, which raises OnClose as it goes
        TComPort port(std::unique_ptr<SerialDevice>(device), clock);
        record(port, log);
        port.Open();
        device->change(0, 1, 0, MS_DSR_ON | MS_CTS_ON);
        // The GUI thread is busy: the event waits in the hand-over while time and lines move on.
        QVERIFY(spinUntil([&port] { return port.handOverWaiting(); }));
        clock.advance(2500);
        device->setStatus(0);
        QTRY_VERIFY(log.names.contains(QStringLiteral("DSR")));
        QTEST(log.tick, "tick");
        QCOMPARE(log.modemStatus, MS_DSR_ON | MS_CTS_ON);
    }

    // The levels raised are the wake's own, whatever the lines read back at that moment.
    void statusIsTheWakes_data()
    {
        QTest::addColumn<int>("wake");
        QTest::addColumn<int>("live");
        QTest::newRow("edge counted, lines still at the old level") << MS_DSR_ON << 0;
        QTest::newRow("break already over when the lines are read") << 0 << MS_DSR_ON;
        QTest::newRow("another line moved since") << MS_DSR_ON << (MS_DSR_ON | MS_CTS_ON);
    }

    void statusIsTheWakes()
    {
        QFETCH(int, wake);
        QFETCH(int, live);
        ManualTickSource clock;
        auto *device = new FakeSerialDevice;
        Log log; // outlives the port, which raises OnClose as it goes
        TComPort port(std::unique_ptr<SerialDevice>(device), clock);
        record(port, log);
        port.Open();
        device->change(0, 1, 0, wake, live);
        QTRY_COMPARE(log.names.count(QStringLiteral("line")), 1);
        QCOMPARE(log.modemStatus, wake);
        QCOMPARE(port.ModemStatus(), live);
    }

    void pulses_data()
    {
        QTest::addColumn<int>("cts");
        QTest::addColumn<int>("dsr");
        QTest::addColumn<int>("rlsd");
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("pulses");
        QTest::newRow("one edge is no pulse") << 0 << 1 << 0 << EV_DSR << 0;
        QTest::newRow("there and back while busy") << 0 << 2 << 0 << EV_DSR << EV_DSR;
        QTest::newRow("three edges") << 0 << 3 << 0 << EV_DSR << EV_DSR;
        QTest::newRow("pulse on start, edge on finish") << 2 << 1 << 0 << (EV_CTS | EV_DSR) << EV_CTS;
        QTest::newRow("pulse on carrier") << 0 << 0 << 4 << EV_RLSD << EV_RLSD;
    }

    void pulses()
    {
        QFETCH(int, cts);
        QFETCH(int, dsr);
        QFETCH(int, rlsd);
        ManualTickSource clock;
        auto *device = new FakeSerialDevice;
        Log log; // outlives the port, which raises OnClose as it goes
        TComPort port(std::unique_ptr<SerialDevice>(device), clock);
        record(port, log);
        port.Open();
        device->change(cts, dsr, rlsd);
        QTRY_COMPARE(log.names.count(QStringLiteral("line")), 1);
        QTEST(log.lines, "lines");
        QTEST(log.pulses, "pulses");
    }

    void lifecycle_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("raised");
        QTest::addColumn<bool>("connected");
        QTest::newRow("open") << QStringList{"open"} << QStringList{"Open"} << true;
        QTest::newRow("open an open port") << QStringList{"open", "open"} << QStringList{"Open", "Close", "Open"} << true;
        QTest::newRow("close a closed port") << QStringList{"close"} << QStringList{} << false;
        QTest::newRow("open, close, close") << QStringList{"open", "close", "close"} << QStringList{"Open", "Close"} << false;
        QTest::newRow("close, open") << QStringList{"close", "open"} << QStringList{"Open"} << true;
    }

    void lifecycle()
    {
        QFETCH(QStringList, steps);
        ManualTickSource clock;
        auto *device = new FakeSerialDevice;
        Log log; // outlives the port, which raises OnClose as it goes
        TComPort port(std::unique_ptr<SerialDevice>(device), clock);
        record(port, log);
        for (const QString &step : steps) {
            if (step == QLatin1String("open"))
                port.Open();
            else
                port.Close();
        }
        QTEST(log.names, "raised");
        QTEST(port.Connected(), "connected");
        QTEST(device->isOpen(), "connected");
    }

    void openFailures_data()
    {
        QTest::addColumn<int>("step");
        QTest::addColumn<QString>("message");
        QTest::newRow("absent or in use") << int(SerialDevice::OpenError::Step::Open) << "Unable to open com port: Device or resource busy";
        QTest::newRow("settings refused") << int(SerialDevice::OpenError::Step::State) << "Unable to set com state: Device or resource busy";
    }

    void openFailures()
    {
        QFETCH(int, step);
        ManualTickSource clock;
        auto *device = new FakeSerialDevice;
        Log log; // outlives the port, which raises OnClose as it goes
        TComPort port(std::unique_ptr<SerialDevice>(device), clock);
        record(port, log);
        port.Open();
        device->failOpen(SerialDevice::OpenError{SerialDevice::OpenError::Step(step), QStringLiteral("Device or resource busy")});
        QString message;
        bool typed = false;
        try {
            port.Open();
        } catch (const EComHandle &error) {
            message = error.text();
            typed = step == int(SerialDevice::OpenError::Step::Open);
        } catch (const EComState &error) {
            message = error.text();
            typed = step == int(SerialDevice::OpenError::Step::State);
        }
        QTEST(message, "message");
        QVERIFY2(typed, "the error's type names the failing step");
        // The open port was closed first; the failed one raised no OnOpen and holds nothing.
        QCOMPARE(log.names, (QStringList{"Open", "Close"}));
        QVERIFY(!port.Connected());
        QVERIFY(!device->isOpen());
    }

    void settingsReachTheDevice_data()
    {
        QTest::addColumn<bool>("enableDtr");
        QTest::addColumn<int>("flow");
        QTest::addColumn<int>("dataBits");
        QTest::addColumn<bool>("dtr");
        QTest::addColumn<bool>("rts");
        QTest::addColumn<int>("appliedBits");
        QTest::newRow("main window's settings") << true << int(TFlowControl::fcRtsCts) << 5 << true << true << 5;
        QTest::newRow("DTR disabled") << false << int(TFlowControl::fcRtsCts) << 8 << false << true << 8;
        QTest::newRow("no flow control drops RTS") << true << int(TFlowControl::fcNone) << 7 << true << false << 7;
        QTest::newRow("four data bits store five") << true << int(TFlowControl::fcXonXoff) << 4 << true << false << 5;
        QTest::newRow("nine data bits store eight") << true << int(TFlowControl::fcRtsCts) << 9 << true << true << 8;
    }

    void settingsReachTheDevice()
    {
        QFETCH(bool, enableDtr);
        QFETCH(int, flow);
        QFETCH(int, dataBits);
        ManualTickSource clock;
        auto *device = new FakeSerialDevice;
        TComPort port(std::unique_ptr<SerialDevice>(device), clock);
        SerialSettings settings;
        settings.EnableDTR = enableDtr;
        settings.FlowControl = TFlowControl(flow);
        port.setSettings(settings);
        port.setDataBits(dataBits);
        port.setEvents(EV_CTS | EV_DSR | EV_RLSD);
        port.setPort(3);
        port.Open();
        QTEST(device->dtr(), "dtr");
        QTEST(device->rts(), "rts");
        QTEST(int(device->settings().DataBits), "appliedBits");
        QVERIFY(device->path().endsWith(QLatin1String("/ttyS2")));
        QTRY_COMPARE(device->mask(), EV_CTS | EV_DSR | EV_RLSD);
    }

    void closeWhileHandOverBlocks()
    {
        ManualTickSource clock;
        auto *device = new FakeSerialDevice;
        Log log; // outlives the port, which raises OnClose as it goes
        TComPort port(std::unique_ptr<SerialDevice>(device), clock);
        record(port, log);
        port.Open();
        device->change(1, 0, 1);
        QVERIFY(spinUntil([&port] { return port.handOverWaiting(); }));
        // Close runs on the thread the hand-over waits for: the event is dispatched first, then the port goes.
        port.Close();
        QCOMPARE(log.names, (QStringList{"Open", "line", "CTS", "RLSD", "Close"}));
        QVERIFY(!port.handOverWaiting());
        QVERIFY(!device->isOpen());
        // The queued hand-over finds nothing left to do.
        QTest::qWait(20);
        QCOMPARE(log.names.size(), 5);
    }

    void closeFromAHandlerDropsTheRestOfTheWake()
    {
        ManualTickSource clock;
        auto *device = new FakeSerialDevice;
        Log log; // outlives the port, which raises OnClose as it goes
        TComPort port(std::unique_ptr<SerialDevice>(device), clock);
        record(port, log);
        connect(&port, &TComPort::OnCTS, &port, [&port] { port.Close(); });
        port.Open();
        device->change(1, 1, 0);
        QTRY_VERIFY(!port.Connected());
        QCOMPARE(log.names, (QStringList{"Open", "line", "CTS", "Close"}));
    }

    void abortWhileWaitingIsQuick_data()
    {
        QTest::addColumn<bool>("reopen");
        QTest::newRow("close") << false;
        QTest::newRow("open again") << true;
    }

    void abortWhileWaitingIsQuick()
    {
        QFETCH(bool, reopen);
        ManualTickSource clock;
        auto *device = new FakeSerialDevice;
        TComPort port(std::unique_ptr<SerialDevice>(device), clock);
        port.Open();
        QVERIFY(spinUntil([device] { return device->waiting(); }));
        QElapsedTimer timer;
        timer.start();
        if (reopen)
            port.Open();
        else
            port.Close();
        QVERIFY2(timer.elapsed() < 50, qPrintable(QStringLiteral("took %1 ms").arg(timer.elapsed())));
        QCOMPARE(port.Connected(), reopen);
        QCOMPARE(device->opens(), reopen ? 2 : 1);
    }

    void unplugAndReplug_data()
    {
        QTest::addColumn<bool>("reopenWhenBack");
        QTest::addColumn<QStringList>("afterReplug");
        QTest::newRow("reopens when back") << true << QStringList{"Open", "Close", "lost", "Open", "reconnected"};
        QTest::newRow("stays closed") << false << QStringList{"Open", "Close", "lost"};
    }

    void unplugAndReplug()
    {
        QFETCH(bool, reopenWhenBack);
        QFETCH(QStringList, afterReplug);
        ManualTickSource clock;
        auto *device = new FakeSerialDevice;
        Log log; // outlives the port, which raises OnClose as it goes
        TComPort port(std::unique_ptr<SerialDevice>(device), clock);
        port.setReopenWhenBack(reopenWhenBack);
        record(port, log);
        port.Open();
        device->unplug();
        QTRY_COMPARE(log.names, (QStringList{"Open", "Close", "lost"}));
        QVERIFY(!port.Connected());
        QVERIFY(!device->isOpen());
        // Still away: the tries fail quietly.
        QTest::qWait(1200);
        QCOMPARE(log.names.size(), 3);
        device->replug();
        QTest::qWait(1300);
        QCOMPARE(log.names, afterReplug);
        QCOMPARE(port.Connected(), reopenWhenBack);
        if (reopenWhenBack) {
            device->change(0, 1, 0);
            QTRY_COMPARE(log.names.last(), QStringLiteral("DSR"));
        }
    }

    // A port missing at the first Open is tried once a second, like a pulled one, until it is
    // there or the program turns to another port.
    void missingAtOpen_data()
    {
        QTest::addColumn<bool>("reopenWhenBack");
        QTest::addColumn<QString>("meanwhile"); // what the program does while the port is missing
        QTest::addColumn<QStringList>("raised");
        QTest::addColumn<int>("opens");
        QTest::newRow("opened when it appears") << true << "" << QStringList{"Open", "reconnected"} << 1;
        QTest::newRow("closed meanwhile: no more tries") << true << "close" << QStringList{} << 0;
        QTest::newRow("another port chosen: no more tries") << true << "setPort" << QStringList{} << 0;
        QTest::newRow("without reopening") << false << "" << QStringList{} << 0;
    }

    void missingAtOpen()
    {
        QFETCH(bool, reopenWhenBack);
        QFETCH(QString, meanwhile);
        ManualTickSource clock;
        auto *device = new FakeSerialDevice;
        Log log; // outlives the port, which raises OnClose as it goes
        TComPort port(std::unique_ptr<SerialDevice>(device), clock);
        port.setReopenWhenBack(reopenWhenBack);
        record(port, log);
        device->failOpen(SerialDevice::OpenError{SerialDevice::OpenError::Step::Open, QStringLiteral("No such file or directory")});
        QVERIFY_THROWS_EXCEPTION(EComHandle, port.Open());
        QVERIFY(!port.Connected());
        // Still missing: the tries fail quietly.
        QTest::qWait(1200);
        QVERIFY(log.names.isEmpty());
        if (meanwhile == QLatin1String("close"))
            port.Close();
        if (meanwhile == QLatin1String("setPort"))
            port.setPort(2);
        device->failOpen(std::nullopt);
        QTest::qWait(1300);
        QTEST(log.names, "raised");
        QTEST(device->opens(), "opens");
        QCOMPARE(port.Connected(), device->opens() == 1);
        // Once open, the tries are over: another second opens nothing again.
        QTest::qWait(1100);
        QTEST(device->opens(), "opens");
        if (port.Connected()) {
            device->change(1, 0, 0, MS_CTS_ON);
            QTRY_COMPARE(log.names.last(), QStringLiteral("CTS"));
        }
    }
};

QTEST_GUILESS_MAIN(TestComPort)
#include "testcomport.moc"
