// What an open light-barrier port costs while nothing happens on its lines.
//
// For each device the program opens a TComPort (the program's port settings, DTR and RTS
// up, the event thread started), lets it settle for a second, and then leaves the process
// alone for the measured period: the GUI thread sits in its event loop with no timer but
// the one that ends the period, the port's event thread sits in its wait. Over that period
// it reads
//   - the process's CPU time (CLOCK_PROCESS_CPUTIME_ID, nanoseconds, all threads) and, for
//     comparison, getrusage's user and system time;
//   - per thread, the time on the processor (/proc/self/task/*/schedstat) and the number of
//     voluntary context switches (/proc/self/task/*/status), i.e. how often it woke. The main
//     thread's line includes reading these files (about half a millisecond); the process
//     figure does not.
//
// Devices (--device, several may be given; default all three, one after the other):
//   none  no port at all: the floor of an idle Qt event loop
//   fake  FakeSerialDevice, whose wait blocks on a condition variable the way a driver's
//         TIOCMIWAIT sleeps until a line changes
//   pty   LinuxSerialDevice on the slave side of a pseudo-terminal. A pty has no modem lines
//         and refuses TIOCGICOUNT/TIOCMIWAIT, so the device falls back to its polling wait
//         (TIOCMGET every 10 ms): this is what a USB adapter whose driver lacks the wait
//         ioctl costs, not what a real UART costs.
//
//   bench_idle_port [--seconds N (default 60)] [--device none|fake|pty]...

#include "FakeSerialDevice.h"
#include "input/EComError.h"
#include "input/TComPort.h"
#include "platform/BootClock.h"
#include "platform/LinuxSerialDevice.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

namespace {

enum class Device { None, Fake, Pty };

const char *deviceName(Device device)
{
    switch (device) {
    case Device::None: return "none";
    case Device::Fake: return "fake";
    case Device::Pty: return "pty";
    }
    return "?";
}

struct ThreadSample
{
    std::string name;
    std::uint64_t cpuNs = 0;
    std::uint64_t wakes = 0; // voluntary context switches
};

struct Sample
{
    std::uint64_t processNs = 0;
    std::uint64_t userUs = 0;
    std::uint64_t systemUs = 0;
    std::uint64_t wallNs = 0;
    std::map<std::string, ThreadSample> threads; // by thread id
};

std::uint64_t toNs(const timespec &ts)
{
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000000000u + static_cast<std::uint64_t>(ts.tv_nsec);
}

std::uint64_t toUs(const timeval &tv)
{
    return static_cast<std::uint64_t>(tv.tv_sec) * 1000000u + static_cast<std::uint64_t>(tv.tv_usec);
}

std::string firstLine(const std::string &path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

void readClocks(Sample &s)
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    s.processNs = toNs(ts);
    clock_gettime(CLOCK_MONOTONIC, &ts);
    s.wallNs = toNs(ts);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    s.userUs = toUs(usage.ru_utime);
    s.systemUs = toUs(usage.ru_stime);
}

void readThreads(Sample &s)
{
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const std::string dir = "/proc/self/task/" + tid.toStdString() + "/";
        ThreadSample t;
        t.name = firstLine(dir + "comm");
        t.cpuNs = std::strtoull(firstLine(dir + "schedstat").c_str(), nullptr, 10);
        std::ifstream status(dir + "status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
                t.wakes = std::strtoull(line.c_str() + std::strlen("voluntary_ctxt_switches:"), nullptr, 10);
        }
        s.threads[tid.toStdString()] = t;
    }
}

// The reading of /proc costs a little itself; the clocks are read so that it stays outside
// the period: last at its start, first at its end.
Sample sampleAtStart()
{
    Sample s;
    readThreads(s);
    readClocks(s);
    return s;
}

Sample sampleAtEnd()
{
    Sample s;
    readClocks(s);
    readThreads(s);
    return s;
}

void report(Device device, const Sample &a, const Sample &b)
{
    const double wall = static_cast<double>(b.wallNs - a.wallNs) / 1e9;
    const double cpuMs = static_cast<double>(b.processNs - a.processNs) / 1e6;
    std::printf("%s: %.1f s idle, process CPU %.3f ms (%.4f %% of one core); getrusage user %.1f ms, system %.1f ms\n",
                deviceName(device), wall, cpuMs, cpuMs / (wall * 1000.0) * 100.0,
                static_cast<double>(b.userUs - a.userUs) / 1000.0, static_cast<double>(b.systemUs - a.systemUs) / 1000.0);
    for (const auto &[tid, after] : b.threads) {
        const auto before = a.threads.find(tid);
        if (before == a.threads.end())
            continue; // started during the period: there is none
        const std::uint64_t wakes = after.wakes - before->second.wakes;
        std::printf("  thread %-16s on CPU %9.3f ms, woke %7llu times (%.1f/s)\n", after.name.c_str(),
                    static_cast<double>(after.cpuNs - before->second.cpuNs) / 1e6, static_cast<unsigned long long>(wakes),
                    static_cast<double>(wakes) / wall);
    }
    std::fflush(stdout);
}

void idle(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// A pseudo-terminal whose slave is "COM1" (ttyS0) in a device folder of its own.
class PtyPort
{
public:
    bool make()
    {
        mMaster = posix_openpt(O_RDWR | O_NOCTTY);
        if (mMaster < 0 || grantpt(mMaster) != 0 || unlockpt(mMaster) != 0 || !mDir.isValid())
            return false;
        if (!QFile::link(QString::fromLocal8Bit(ptsname(mMaster)), mDir.filePath(QStringLiteral("ttyS0"))))
            return false;
        qputenv("CHRONOLAUF_DEVICE_DIR", mDir.path().toLocal8Bit());
        return true;
    }
    ~PtyPort()
    {
        qunsetenv("CHRONOLAUF_DEVICE_DIR");
        if (mMaster >= 0)
            ::close(mMaster);
    }

private:
    int mMaster = -1;
    QTemporaryDir mDir;
};

bool measure(Device device, int seconds)
{
    BootClock clock;
    PtyPort pty;
    std::unique_ptr<TComPort> port;
    FakeSerialDevice *fake = nullptr;
    LinuxSerialDevice *tty = nullptr;

    if (device != Device::None) {
        std::unique_ptr<SerialDevice> owned;
        if (device == Device::Fake) {
            auto made = std::make_unique<FakeSerialDevice>();
            fake = made.get();
            owned = std::move(made);
        } else {
            if (!pty.make()) {
                std::fprintf(stderr, "pty: no pseudo-terminal\n");
                return false;
            }
            auto made = std::make_unique<LinuxSerialDevice>();
            tty = made.get();
            owned = std::move(made);
        }
        // The program's settings for the barriers' port.
        port = std::make_unique<TComPort>(std::move(owned), clock);
        SerialSettings line = port->Settings();
        line.BaudRateUser = 28800;
        line.FlowControl = TFlowControl::fcRtsCts;
        line.DataBits = 5;
        line.WriteBufSize = line.ReadBufSize = 64;
        port->setSettings(line);
        port->setEvents(EV_CTS | EV_DSR | EV_RLSD);
        port->setPort(1);
        try {
            port->Open();
        } catch (const EComError &) {
            std::fprintf(stderr, "%s: the port did not open\n", deviceName(device));
            return false;
        }
    }

    idle(1000); // the event thread gets into its wait
    if (fake && !fake->waiting()) {
        std::fprintf(stderr, "fake: the event thread is not waiting\n");
        return false;
    }
    if (tty) {
        std::printf("pty: the device waits by %s\n",
                    tty->waitMode() == LinuxSerialDevice::WaitMode::Polling ? "polling (TIOCMGET every 10 ms)" : "interrupt");
    }

    const Sample before = sampleAtStart();
    idle(seconds * 1000);
    const Sample after = sampleAtEnd();
    report(device, before, after);

    const bool stillOpen = !port || port->Connected();
    port.reset();
    return stillOpen;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const auto usage = [argv] {
        std::fprintf(stderr, "usage: %s [--seconds N] [--device none|fake|pty]...\n", argv[0]);
        return 2;
    };
    int seconds = 60;
    std::vector<Device> devices;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--seconds" && hasValue && std::atoi(argv[i + 1]) > 0) {
            seconds = std::atoi(argv[++i]);
        } else if (arg == "--device" && hasValue) {
            const std::string name = argv[++i];
            if (name == "none")
                devices.push_back(Device::None);
            else if (name == "fake")
                devices.push_back(Device::Fake);
            else if (name == "pty")
                devices.push_back(Device::Pty);
            else
                return usage();
        } else {
            return usage();
        }
    }
    if (devices.empty())
        devices = {Device::None, Device::Fake, Device::Pty};

    bool ok = true;
    for (Device device : devices)
        ok = measure(device, seconds) && ok;
    return ok ? 0 : 1;
}
