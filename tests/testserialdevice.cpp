#include "ScriptedModemIoctls.h"
#include "input/ComPorts.h"
#include "input/EComError.h"
#include "input/TComPort.h"
#include "core/TickSource.h"
#include "platform/LinuxSerialDevice.h"
#include "platform/Termios2.h"
#include "session/RaceSession.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <future>

namespace {

// A pseudo-terminal: the slave side stands in for a serial port (a character device without modem lines).
class Pty
{
public:
    Pty()
    {
        mMaster = posix_openpt(O_RDWR | O_NOCTTY);
        if (mMaster >= 0 && grantpt(mMaster) == 0 && unlockpt(mMaster) == 0)
            mSlave = QString::fromLocal8Bit(ptsname(mMaster));
    }
    ~Pty() { closeMaster(); }
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    const QString &slave() const { return mSlave; }
    // The other end goes away, as when an adapter is pulled.
    void closeMaster()
    {
        if (mMaster >= 0)
            ::close(mMaster);
        mMaster = -1;
    }

private:
    int mMaster = -1;
    QString mSlave;
};

using Step = ScriptedModemIoctls::Step;
using At = ScriptedModemIoctls::Step::At;

// Edges the driver counts while the n-th wait sleeps; lines: what TIOCMGET shows afterwards.
Step whileWaiting(int call, int cts, int dsr, int dcd, int lines = -1)
{
    return {.at = At::WaitEntry, .call = call, .cts = cts, .dsr = dsr, .dcd = dcd, .lines = lines};
}

// The n-th wait fails at once with error; lines as above.
Step waitFails(int call, int error, int lines = -1)
{
    return {.at = At::WaitEntry, .call = call, .lines = lines, .error = error};
}

// Edges counted right after the n-th count read, before the wait has begun.
Step afterCountRead(int call, int cts, int dsr, int dcd, int lines = -1)
{
    return {.at = At::CountRead, .call = call, .cts = cts, .dsr = dsr, .dcd = dcd, .lines = lines};
}

} // namespace

Q_DECLARE_METATYPE(QList<Step>)

// The Linux serial device against pseudo-terminals, and the port probe against a folder of links.
// Aborts the running wait from this thread: it must return Aborted within 50 ms.
void abortsAtOnce(LinuxSerialDevice &device, std::future<SerialDevice::WaitResult> &wait)
{
    QElapsedTimer timer;
    timer.start();
    device.abortWait();
    QCOMPARE(wait.wait_for(std::chrono::milliseconds(1000)), std::future_status::ready);
    QVERIFY2(timer.elapsed() < 50, qPrintable(QStringLiteral("took %1 ms").arg(timer.elapsed())));
    QCOMPARE(wait.get().outcome, SerialDevice::WaitResult::Outcome::Aborted);
}

class TestSerialDevice : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { qunsetenv("CHRONOLAUF_DEVICE_DIR"); }

    void openAndClose()
    {
        Pty pty;
        QVERIFY(!pty.slave().isEmpty());
        LinuxSerialDevice device;
        QVERIFY(!device.open(pty.slave(), SerialSettings()));
        QVERIFY(device.isOpen());
        device.close();
        QVERIFY(!device.isOpen());
        // Closing gave it up: it opens again.
        QVERIFY(!device.open(pty.slave(), SerialSettings()));
    }

    void openFailures_data()
    {
        QTest::addColumn<QString>("target"); // what the port's link points at
        QTest::addColumn<bool>("holdFirst");  // another instance holds the port
        QTest::addColumn<QString>("message");
        QTest::newRow("held by another") << "pty" << true << "Unable to open com port: Device or resource busy";
        QTest::newRow("absent") << "" << false << "Unable to open com port: No such file or directory";
        QTest::newRow("a plain file") << "file" << false << "Unable to open com port: Inappropriate ioctl for device";
    }

    void openFailures()
    {
        QFETCH(QString, target);
        QFETCH(bool, holdFirst);
        Pty pty;
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        qputenv("CHRONOLAUF_DEVICE_DIR", QFile::encodeName(dir.path()));
        if (target == QLatin1String("pty"))
            QVERIFY(QFile::link(pty.slave(), dir.filePath(QStringLiteral("ttyS0"))));
        if (target == QLatin1String("file")) {
            QFile file(dir.filePath(QStringLiteral("ttyS0")));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        LinuxSerialDevice holder;
        if (holdFirst)
            QVERIFY(!holder.open(pty.slave(), SerialSettings()));

        ManualTickSource clock;
        TComPort port(std::make_unique<LinuxSerialDevice>(), clock);
        port.setPort(1);
        QString message;
        try {
            port.Open();
        } catch (const EComHandle &error) {
            message = error.text();
        }
        QTEST(message, "message");
        QVERIFY(!port.Connected());
        if (holdFirst) {
            holder.close();
            port.Open();
            QVERIFY(port.Connected());
        }
    }

    void termiosApplied_data()
    {
        QTest::addColumn<int>("baudRate");
        QTest::addColumn<int>("userSpeed");
        QTest::addColumn<int>("parity");
        QTest::addColumn<int>("stopBits");
        QTest::addColumn<int>("flow");
        QTest::addColumn<int>("dataBits");
        QTest::addColumn<uint>("cflagSet");
        QTest::addColumn<uint>("cflagClear");
        QTest::addColumn<uint>("iflagSet");
        QTest::addColumn<uint>("speed");
        const uint parityBits = PARENB | PARODD | CMSPAR;
        QTest::newRow("defaults") << int(TBaudRate::br9600) << 0 << 0 << 0 << 0 << 8
                                  << uint(CS8) << uint(parityBits | CSTOPB | CRTSCTS) << 0u << 9600u;
        QTest::newRow("main window: user speed, 5 bits, RTS/CTS") << int(TBaudRate::brUser) << 28800 << 0 << 0 << int(TFlowControl::fcRtsCts) << 5
                                  << uint(CS5 | CRTSCTS) << uint(parityBits | CSTOPB) << 0u << 28800u;
        QTest::newRow("odd, two stop bits") << int(TBaudRate::br19200) << 0 << int(TParity::prOdd) << int(TStopBits::sbTwoStopBits) << 0 << 7
                                  << uint(CS7 | PARENB | PARODD | CSTOPB) << uint(CMSPAR) << 0u << 19200u;
        QTest::newRow("even") << int(TBaudRate::br115200) << 0 << int(TParity::prEven) << 0 << 0 << 6
                                  << uint(CS6 | PARENB) << uint(PARODD | CMSPAR) << 0u << 115200u;
        QTest::newRow("mark") << int(TBaudRate::br2400) << 0 << int(TParity::prMark) << 0 << 0 << 8
                                  << uint(CS8 | PARENB | PARODD | CMSPAR) << 0u << 0u << 2400u;
        QTest::newRow("space, a speed without a code") << int(TBaudRate::br14400) << 0 << int(TParity::prSpace) << 0 << 0 << 8
                                  << uint(CS8 | PARENB | CMSPAR) << uint(PARODD) << 0u << 14400u;
        QTest::newRow("XON/XOFF, nine bits clamp to eight") << int(TBaudRate::br256000) << 0 << 0 << 0 << int(TFlowControl::fcXonXoff) << 9
                                  << uint(CS8) << uint(CRTSCTS) << uint(IXON | IXOFF) << 256000u;
    }

    void termiosApplied()
    {
        QFETCH(int, baudRate);
        QFETCH(int, userSpeed);
        QFETCH(int, parity);
        QFETCH(int, stopBits);
        QFETCH(int, flow);
        QFETCH(int, dataBits);
        QFETCH(uint, cflagSet);
        QFETCH(uint, cflagClear);
        QFETCH(uint, iflagSet);
        SerialSettings settings;
        settings.BaudRate = TBaudRate(baudRate);
        settings.BaudRateUser = userSpeed;
        settings.Parity = TParity(parity);
        settings.StopBits = TStopBits(stopBits);
        settings.FlowControl = TFlowControl(flow);
        settings.DataBits = std::uint8_t(dataBits);
        Pty pty;
        LinuxSerialDevice device;
        QVERIFY(!device.open(pty.slave(), settings));

        // Read back on a second descriptor of the same terminal.
        const int fd = ::open(QFile::encodeName(pty.slave()).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
        QVERIFY(fd >= 0);
        termios tio {};
        QCOMPARE(tcgetattr(fd, &tio), 0);
        termios2 kernel {};
        QCOMPARE(ioctl(fd, TCGETS2, &kernel), 0);
        ::close(fd);
        // A pseudo-terminal always reports eight bits and no parity check, whatever it was given;
        // its other flags are kept as set.
        const uint ptyForced = CSIZE | PARENB;
        QCOMPARE(tio.c_cflag & (cflagSet & ~ptyForced), cflagSet & ~ptyForced);
        QCOMPARE(tio.c_cflag & cflagClear, 0u);
        // A falling carrier detect is a barrier event, never a hang-up.
        QVERIFY(tio.c_cflag & CLOCAL);
        QVERIFY(tio.c_cflag & CREAD);
        QCOMPARE(tio.c_iflag & (IXON | IXOFF), iflagSet);
        QCOMPARE(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
        QTEST(uint(kernel.c_ospeed), "speed");
        QTEST(uint(kernel.c_ispeed), "speed");
    }

    void ptyWaitPollsAndAbortsAtOnce()
    {
        Pty pty;
        LinuxSerialDevice device;
        QVERIFY(!device.open(pty.slave(), SerialSettings()));
        // A pseudo-terminal has no modem lines: neither TIOCMIWAIT nor TIOCGICOUNT.
        QCOMPARE(device.waitMode(), LinuxSerialDevice::WaitMode::Polling);
        auto wait = std::async(std::launch::async, [&device] { return device.waitForChange(EV_LINES); });
        QCOMPARE(wait.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
        abortsAtOnce(device, wait);
        // The abort sticks until the port is opened again.
        QCOMPARE(device.waitForChange(EV_LINES).outcome, SerialDevice::WaitResult::Outcome::Aborted);
    }

    void otherSideGoneIsDeviceLost()
    {
        Pty pty;
        LinuxSerialDevice device;
        QVERIFY(!device.open(pty.slave(), SerialSettings()));
        auto wait = std::async(std::launch::async, [&device] { return device.waitForChange(EV_LINES); });
        QCOMPARE(wait.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
        pty.closeMaster();
        QCOMPARE(wait.wait_for(std::chrono::milliseconds(2000)), std::future_status::ready);
        const SerialDevice::WaitResult result = wait.get();
        QCOMPARE(result.outcome, SerialDevice::WaitResult::Outcome::Lost);
        QVERIFY(!result.error.isEmpty());
    }

    // The wait logic against a driver played step by step: what one wait reports.
    void scriptedWait_data()
    {
        QTest::addColumn<int>("startLines");    // TIOCM_ bits at open
        QTest::addColumn<uint>("startCount");   // every counter at open
        QTest::addColumn<QList<Step>>("steps");
        QTest::addColumn<QList<int>>("changes"); // CTS, DSR, carrier detect
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("polling");
        QTest::newRow("edge while waiting") << 0 << 0u << QList<Step>{whileWaiting(1, 0, 1, 0, TIOCM_DSR)}
                                            << QList<int>{0, 1, 0} << MS_DSR_ON << false;
        // A 1 ms break on a USB adapter: counted, while the lines read back still show the old level.
        QTest::newRow("split edge: counted, level not yet read")
            << 0 << 0u << QList<Step>{whileWaiting(1, 0, 1, 0)} << QList<int>{0, 1, 0} << MS_DSR_ON << false;
        QTest::newRow("split edge: the break is over when the level is read")
            << TIOCM_CTS << 7u << QList<Step>{whileWaiting(1, 1, 0, 0, TIOCM_CTS)} << QList<int>{1, 0, 0} << 0 << false;
        QTest::newRow("pulse: two edges, level back")
            << TIOCM_DSR << 0u << QList<Step>{whileWaiting(1, 0, 2, 0)} << QList<int>{0, 2, 0} << MS_DSR_ON << false;
        QTest::newRow("counters wrap") << 0 << 0xFFFFFFFFu << QList<Step>{whileWaiting(1, 1, 0, 2, TIOCM_CTS)}
                                       << QList<int>{1, 0, 2} << MS_CTS_ON << false;
        QTest::newRow("counters wrap, three edges")
            << 0 << 0xFFFFFFFEu << QList<Step>{whileWaiting(1, 0, 0, 3)} << QList<int>{0, 0, 3} << MS_RLSD_ON << false;
        QTest::newRow("EINTR from the wait")
            << 0 << 0u << QList<Step>{waitFails(1, EINTR), whileWaiting(2, 0, 1, 0, TIOCM_DSR)} << QList<int>{0, 1, 0}
            << MS_DSR_ON << false;
        QTest::newRow("driver without the wait (ENOTTY)")
            << TIOCM_CTS << 0u << QList<Step>{waitFails(1, ENOTTY, TIOCM_CTS | TIOCM_DSR)} << QList<int>{0, 1, 0}
            << (MS_CTS_ON | MS_DSR_ON) << true;
        QTest::newRow("driver without the wait (EINVAL)")
            << TIOCM_CD << 0u << QList<Step>{waitFails(1, EINVAL, 0)} << QList<int>{0, 0, 1} << 0 << true;
        // The driver compares against the counts at the start of its wait, so this edge wakes nobody.
        QTest::newRow("edge counted just before the wait began")
            << 0 << 0u << QList<Step>{afterCountRead(1, 0, 1, 0, TIOCM_DSR)} << QList<int>{0, 1, 0} << MS_DSR_ON << false;
        QTest::newRow("short break counted just before the wait began")
            << 0 << 0u << QList<Step>{afterCountRead(1, 2, 0, 0)} << QList<int>{2, 0, 0} << 0 << false;
    }

    void scriptedWait()
    {
        QFETCH(int, startLines);
        QFETCH(uint, startCount);
        QFETCH(QList<Step>, steps);
        Pty pty; // only the descriptor: the modem ioctls are the script's
        auto *driver = new ScriptedModemIoctls(startLines, {startCount, startCount, startCount});
        LinuxSerialDevice device{std::unique_ptr<ModemIoctls>(driver)};
        QVERIFY(!device.open(pty.slave(), SerialSettings()));
        QCOMPARE(device.waitMode(), LinuxSerialDevice::WaitMode::Interrupt);
        driver->play(steps);
        auto wait = std::async(std::launch::async, [&device] { return device.waitForChange(EV_LINES); });
        // Every step happens at once, so a wait still asleep after this is waiting for an edge
        // that never comes. The margin is for a busy machine, far beyond the recheck period.
        const bool woke = wait.wait_for(std::chrono::milliseconds(20 * LinuxSerialDevice::RecheckMs)) == std::future_status::ready;
        if (!woke)
            device.abortWait();
        const SerialDevice::WaitResult result = wait.get();
        QVERIFY2(woke, "the wait slept past an edge the driver had counted");
        QCOMPARE(result.outcome, SerialDevice::WaitResult::Outcome::Changed);
        QTEST((QList<int>{result.ctsChanges, result.dsrChanges, result.rlsdChanges}), "changes");
        QTEST(result.modemStatus, "status");
        QTEST(device.waitMode() == LinuxSerialDevice::WaitMode::Polling, "polling");
    }

    // The rechecks find nothing on quiet lines and raise nothing; an abort still ends the
    // driver's wait at once.
    void quietDriverWaitAbortsAtOnce()
    {
        Pty pty;
        auto *driver = new ScriptedModemIoctls(TIOCM_DSR, {});
        LinuxSerialDevice device{std::unique_ptr<ModemIoctls>(driver)};
        QVERIFY(!device.open(pty.slave(), SerialSettings()));
        auto wait = std::async(std::launch::async, [&device] { return device.waitForChange(EV_LINES); });
        QCOMPARE(wait.wait_for(std::chrono::milliseconds(10 * LinuxSerialDevice::RecheckMs)), std::future_status::timeout);
        QVERIFY(driver->waits() >= 2); // woken by the recheck, asleep again
        abortsAtOnce(device, wait);
    }

    // Where the counts and the lines read back disagree for good, the lines win after a while;
    // a counter that merely lags the lines never makes a change of its own.
    void countedLevelGivesWay_data()
    {
        QTest::addColumn<int>("startLines");
        QTest::addColumn<QList<Step>>("steps");
        QTest::addColumn<QList<int>>("changes"); // the first wake
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("corrected"); // a second wake follows after ResyncMs
        QTest::addColumn<int>("correctedStatus");
        // A UART counts a bounce by its delta bit: the line went there and back and there again, counted twice.
        QTest::newRow("bounce counted twice while the line changed")
            << 0 << QList<Step>{whileWaiting(1, 0, 2, 0, TIOCM_DSR)} << QList<int>{0, 2, 0} << 0 << true << MS_DSR_ON;
        // The lines read at the open already showed an edge that the adapter counted only after it.
        QTest::newRow("edge on either side of the open")
            << TIOCM_CD << QList<Step>{whileWaiting(1, 0, 0, 1)} << QList<int>{0, 0, 1} << 0 << true << MS_RLSD_ON;
        QTest::newRow("counter behind the lines for a while")
            << 0 << QList<Step>{whileWaiting(1, 0, 0, 0, TIOCM_CTS), whileWaiting(6, 1, 0, 0)} << QList<int>{1, 0, 0} << MS_CTS_ON
            << false << 0;
    }

    void countedLevelGivesWay()
    {
        QFETCH(int, startLines);
        QFETCH(QList<Step>, steps);
        QFETCH(bool, corrected);
        Pty pty;
        auto *driver = new ScriptedModemIoctls(startLines, {});
        LinuxSerialDevice device{std::unique_ptr<ModemIoctls>(driver)};
        QVERIFY(!device.open(pty.slave(), SerialSettings()));
        driver->play(steps);
        const auto waitAtMost = [&device](int ms) {
            auto wait = std::async(std::launch::async, [&device] { return device.waitForChange(EV_LINES); });
            if (wait.wait_for(std::chrono::milliseconds(ms)) != std::future_status::ready)
                device.abortWait();
            return wait.get();
        };
        const SerialDevice::WaitResult first = waitAtMost(50 * LinuxSerialDevice::RecheckMs);
        QCOMPARE(first.outcome, SerialDevice::WaitResult::Outcome::Changed);
        QTEST((QList<int>{first.ctsChanges, first.dsrChanges, first.rlsdChanges}), "changes");
        QTEST(first.modemStatus, "status");

        QElapsedTimer timer;
        timer.start();
        const SerialDevice::WaitResult second = waitAtMost(3 * LinuxSerialDevice::ResyncMs);
        QCOMPARE(second.outcome == SerialDevice::WaitResult::Outcome::Changed, corrected);
        if (!corrected)
            return;
        QVERIFY(timer.elapsed() >= LinuxSerialDevice::ResyncMs);
        QTEST(second.modemStatus, "correctedStatus");
        QCOMPARE(second.lines, first.lines);
        QCOMPARE(second.ctsChanges + second.dsrChanges + second.rlsdChanges, 1);
    }

    // A break shorter than the time between the count and the level read: the two wakes it
    // gives must time exactly one pass, on the start line of one barrier or on the finish line.
    void splitEdgeCapturesOnce_data()
    {
        QTest::addColumn<bool>("oneBarrier");
        QTest::addColumn<int>("line"); // EV_ bit of the barrier's line
        QTest::addColumn<QList<Step>>("steps");
        // Both wakes read the lines back at the old level: the first saw only the leading edge counted.
        QTest::newRow("finish line") << false << EV_DSR << QList<Step>{whileWaiting(1, 0, 1, 0), whileWaiting(2, 0, 1, 0)};
        QTest::newRow("carrier detect") << false << EV_RLSD << QList<Step>{whileWaiting(1, 0, 0, 1), whileWaiting(2, 0, 0, 1)};
        QTest::newRow("one barrier: start line") << true << EV_CTS << QList<Step>{whileWaiting(1, 1, 0, 0), whileWaiting(2, 1, 0, 0)};
    }

    void splitEdgeCapturesOnce()
    {
        QFETCH(bool, oneBarrier);
        QFETCH(int, line);
        QFETCH(QList<Step>, steps);
        Pty pty;
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(QFile::link(pty.slave(), dir.filePath(QStringLiteral("ttyS0"))));
        qputenv("CHRONOLAUF_DEVICE_DIR", QFile::encodeName(dir.path()));

        RaceSession session(std::make_unique<ManualTickSource>(100000));
        const BarrierSettings barriers{.oneBarrier = oneBarrier};
        session.submit({.kind = RaceInput::Kind::BarrierSettingsChanged, .value = barriers.pack()});
        session.submit({.kind = RaceInput::Kind::StartCommand}); // by key: the barriers are armed at once
        QCOMPARE(session.core().sessionState(), SessionState::Running);
        QVERIFY(session.core().controls().barriersArmed);

        auto *driver = new ScriptedModemIoctls(0, {});
        driver->play(steps); // before the open: the thread waits at once, and only waits are scripted
        TComPort port(std::make_unique<LinuxSerialDevice>(std::unique_ptr<ModemIoctls>(driver)), session.clock());
        port.setPort(1);
        int wakes = 0;
        int edges = 0;
        connect(&port, &TComPort::lineEvent, &port, [&](std::int32_t tick, int status, int lines, int pulses) {
            ++wakes;
            edges += (lines & line) ? ((pulses & line) ? 2 : 1) : 0;
            session.submit({.kind = RaceInput::Kind::LineEvent, .tick = tick, .value = status,
                            .lines = std::uint8_t(lines), .pulses = std::uint8_t(pulses)});
        });
        port.Open();
        QTRY_COMPARE(edges, 2);
        QVERIFY(wakes <= 2);
        QCOMPARE(session.core().pending().count(), 1);
    }

    // Needs a real UART that nothing else uses: CHRONOLAUF_TEST_UART=/dev/ttyS0. Opening it drives
    // its DTR and RTS, which is why it is not tried on its own.
    void uartAbortInterruptsTheDriver()
    {
        const QString path = qEnvironmentVariable("CHRONOLAUF_TEST_UART");
        if (path.isEmpty())
            QSKIP("set CHRONOLAUF_TEST_UART to a free serial port to run this");
        LinuxSerialDevice device;
        const auto error = device.open(path, SerialSettings());
        QVERIFY2(!error, error ? qPrintable(error->text) : "");
        if (device.waitMode() != LinuxSerialDevice::WaitMode::Interrupt)
            QSKIP("this driver refuses TIOCGICOUNT");
        auto wait = std::async(std::launch::async, [&device] { return device.waitForChange(EV_LINES); });
        QCOMPARE(wait.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
        QElapsedTimer timer;
        timer.start();
        device.abortWait();
        QCOMPARE(wait.wait_for(std::chrono::milliseconds(1000)), std::future_status::ready);
        QVERIFY2(timer.elapsed() < 50, qPrintable(QStringLiteral("took %1 ms").arg(timer.elapsed())));
        const SerialDevice::WaitResult result = wait.get();
        QCOMPARE(result.outcome, SerialDevice::WaitResult::Outcome::Aborted);
        QCOMPARE(device.waitMode(), LinuxSerialDevice::WaitMode::Interrupt);
    }

    void portMap_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("name");
        QTest::newRow("COM1") << 1 << "ttyS0";
        QTest::newRow("COM4") << 4 << "ttyS3";
        QTest::newRow("COM5") << 5 << "ttyUSB0";
        QTest::newRow("COM12") << 12 << "ttyUSB7";
        QTest::newRow("COM13") << 13 << "ttyACM0";
        QTest::newRow("COM16") << 16 << "ttyACM3";
        QTest::newRow("none") << 0 << "";
        QTest::newRow("beyond") << 17 << "";
    }

    void portMap()
    {
        QFETCH(int, port);
        QFETCH(QString, name);
        QCOMPARE(ComPortPath(port), name.isEmpty() ? QString() : QStringLiteral("/dev/") + name);
        qputenv("CHRONOLAUF_DEVICE_DIR", "/tmp/devices");
        QCOMPARE(ComPortPath(port), name.isEmpty() ? QString() : QStringLiteral("/tmp/devices/") + name);
    }

    void probe_data()
    {
        // Links in the device folder: name -> "pty", "file" (a regular file), "gone" (dangling)
        // or "held" (a pty another instance has open).
        QTest::addColumn<QStringList>("links");
        QTest::addColumn<uint>("presence");
        QTest::addColumn<QList<int>>("ports");
        QTest::newRow("no port") << QStringList{} << 0u << QList<int>{};
        QTest::newRow("ports 1 and 3") << QStringList{"ttyS0=pty", "ttyS2=pty"} << 0x00030005u << QList<int>{1, 3};
        QTest::newRow("USB and ACM") << QStringList{"ttyUSB2=pty", "ttyACM3=pty"} << 0x00108040u << QList<int>{7, 16};
        QTest::newRow("a plain file is no port") << QStringList{"ttyS0=file", "ttyS1=pty"} << 0x00020002u << QList<int>{2};
        QTest::newRow("dangling link") << QStringList{"ttyS3=gone"} << 0u << QList<int>{};
        QTest::newRow("held by another instance") << QStringList{"ttyS0=held", "ttyUSB0=pty"} << 0x00050010u << QList<int>{5};
        QTest::newRow("outside the map") << QStringList{"ttyS4=pty", "ttyUSB8=pty", "ttyACM4=pty"} << 0u << QList<int>{};
    }

    void probe()
    {
        QFETCH(QStringList, links);
        QFETCH(uint, presence);
        Pty spare;
        Pty held;
        LinuxSerialDevice holder;
        QVERIFY(!holder.open(held.slave(), SerialSettings()));
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QFile plain(dir.filePath(QStringLiteral("plain")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        for (const QString &link : links) {
            const QString name = link.section(QLatin1Char('='), 0, 0);
            const QString kind = link.section(QLatin1Char('='), 1);
            const QString target = kind == QLatin1String("pty") ? spare.slave()
                : kind == QLatin1String("held")                 ? held.slave()
                : kind == QLatin1String("file")                 ? plain.fileName()
                                                                : dir.filePath(QStringLiteral("gone"));
            QVERIFY(QFile::link(target, dir.filePath(name)));
        }
        qputenv("CHRONOLAUF_DEVICE_DIR", QFile::encodeName(dir.path()));
        QCOMPARE(ProbeComPorts(), std::uint32_t(presence));
        QTEST(PresentComPorts(presence), "ports");
    }
};

QTEST_GUILESS_MAIN(TestSerialDevice)
#include "testserialdevice.moc"
