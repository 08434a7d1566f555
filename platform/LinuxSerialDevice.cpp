#include "platform/LinuxSerialDevice.h"
#include "platform/Termios2.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr tcflag_t kBOTHER = 0010000; // "the speed is in c_ispeed/c_ospeed"

// Knocks the waiting thread out of TIOCMIWAIT. Installed without SA_RESTART, so the ioctl returns EINTR.
int abortSignal() { return SIGRTMIN + 4; }

void onAbortSignal(int) {}

void installAbortHandler()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_handler = onAbortSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;
        sigaction(abortSignal(), &action, nullptr);
    });
}

QString errorText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// Errors that mean "this driver does not do that", as opposed to "the device is gone".
bool refused(int error) { return error == ENOTTY || error == EINVAL || error == EOPNOTSUPP; }

speed_t standardSpeed(std::int32_t speed)
{
    switch (speed) {
    case 110: return B110;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 921600: return B921600;
    default: return B0; // not one of the fixed codes: set through termios2
    }
}

tcflag_t dataBitsFlag(std::uint8_t bits)
{
    switch (SerialSettings::clampDataBits(bits)) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    default: return CS8;
    }
}

// EV_ bits to the TIOCM_ bits the driver waits on.
int tiocmLines(int eventMask)
{
    return ((eventMask & EV_CTS) ? TIOCM_CTS : 0) | ((eventMask & EV_DSR) ? TIOCM_DSR : 0)
        | ((eventMask & EV_RLSD) ? TIOCM_CD : 0);
}

// EV_ bits to the MS_ bits of the same lines.
int statusLines(int eventMask)
{
    return ((eventMask & EV_CTS) ? MS_CTS_ON : 0) | ((eventMask & EV_DSR) ? MS_DSR_ON : 0)
        | ((eventMask & EV_RLSD) ? MS_RLSD_ON : 0);
}

bool applySettings(int fd, const SerialSettings &settings, int &error)
{
    termios tio {};
    if (tcgetattr(fd, &tio) != 0) {
        error = errno;
        return false;
    }
    cfmakeraw(&tio); // binary: no translation, no echo, no signals
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    // CLOCAL: a falling carrier detect is a barrier input here and must never hang the port up.
    tio.c_cflag |= CREAD | CLOCAL | HUPCL | dataBitsFlag(settings.DataBits);
    switch (settings.Parity) {
    case TParity::prNone: break;
    case TParity::prOdd: tio.c_cflag |= PARENB | PARODD; break;
    case TParity::prEven: tio.c_cflag |= PARENB; break;
    case TParity::prMark: tio.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case TParity::prSpace: tio.c_cflag |= PARENB | CMSPAR; break;
    }
    // With five data bits the UART sends one and a half stop bits for "two".
    if (settings.StopBits != TStopBits::sbOneStopBit)
        tio.c_cflag |= CSTOPB;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    if (settings.FlowControl == TFlowControl::fcRtsCts)
        tio.c_cflag |= CRTSCTS;
    else if (settings.FlowControl == TFlowControl::fcXonXoff)
        tio.c_iflag |= IXON | IXOFF;
    tio.c_cc[VSTART] = 0x11;
    tio.c_cc[VSTOP] = 0x13;
    // A read returns at once with what is there.
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;

    const std::int32_t speed = settings.speed();
    const speed_t code = standardSpeed(speed);
    cfsetispeed(&tio, code == B0 ? B38400 : code);
    cfsetospeed(&tio, code == B0 ? B38400 : code);
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        error = errno;
        return false;
    }
    if (code != B0) {
        return true;
    }
    if (speed <= 0) {
        error = EINVAL;
        return false;
    }
    termios2 custom {};
    if (ioctl(fd, TCGETS2, &custom) != 0) {
        error = errno;
        return false;
    }
    custom.c_cflag &= ~CBAUD;
    custom.c_cflag |= kBOTHER;
    custom.c_ispeed = static_cast<speed_t>(speed);
    custom.c_ospeed = static_cast<speed_t>(speed);
    if (ioctl(fd, TCSETS2, &custom) != 0) {
        error = errno;
        return false;
    }
    return true;
}

// Asks the driver to hand over line changes without its usual batching delay. Many refuse; that is fine.
void requestLowLatency(int fd)
{
    serial_struct serial {};
    if (ioctl(fd, TIOCGSERIAL, &serial) == 0) {
        serial.flags |= ASYNC_LOW_LATENCY;
        ioctl(fd, TIOCSSERIAL, &serial);
    }
}

int toStatus(int tiocm)
{
    return ((tiocm & TIOCM_CTS) ? MS_CTS_ON : 0) | ((tiocm & TIOCM_DSR) ? MS_DSR_ON : 0)
        | ((tiocm & TIOCM_RNG) ? MS_RING_ON : 0) | ((tiocm & TIOCM_CD) ? MS_RLSD_ON : 0);
}

SerialDevice::WaitResult aborted() { return {}; }

SerialDevice::WaitResult lost(int error)
{
    SerialDevice::WaitResult result;
    result.outcome = SerialDevice::WaitResult::Outcome::Lost;
    result.error = errorText(error);
    return result;
}

} // namespace

LinuxSerialDevice::LinuxSerialDevice() { installAbortHandler(); }

LinuxSerialDevice::~LinuxSerialDevice() { close(); }

std::optional<SerialDevice::OpenError> LinuxSerialDevice::open(const QString &path, const SerialSettings &settings)
{
    close();
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return OpenError{OpenError::Step::Open, errorText(errno)};
    const auto fail = [fd](OpenError::Step step, int error) {
        ::close(fd);
        return OpenError{step, errorText(error)};
    };
    // TIOCEXCL keeps other programs out (except root's); the lock keeps out our own other instances, root or not.
    if (ioctl(fd, TIOCEXCL) != 0)
        return fail(OpenError::Step::Open, errno);
    if (flock(fd, LOCK_EX | LOCK_NB) != 0)
        return fail(OpenError::Step::Open, errno == EWOULDBLOCK ? EBUSY : errno);
    int error = 0;
    if (!applySettings(fd, settings, error))
        return fail(OpenError::Step::State, error);
    requestLowLatency(fd);
    const int wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd < 0)
        return fail(OpenError::Step::State, errno);

    mFd = fd;
    mWakeFd = wakeFd;
    mStop = false;
    mWaitMode = WaitMode::Interrupt;
    if (!readCounts(mLastCounts, error))
        mWaitMode = WaitMode::Polling;
    mLastStatus = modemStatus();
    return std::nullopt;
}

void LinuxSerialDevice::close()
{
    if (mFd >= 0) {
        ioctl(mFd, TIOCNXCL);
        ::close(mFd);
        mFd = -1;
    }
    if (mWakeFd >= 0) {
        ::close(mWakeFd);
        mWakeFd = -1;
    }
}

bool LinuxSerialDevice::setLine(int bit, bool on)
{
    return mFd >= 0 && ioctl(mFd, on ? TIOCMBIS : TIOCMBIC, &bit) == 0;
}

bool LinuxSerialDevice::setDtr(bool on) { return setLine(TIOCM_DTR, on); }

bool LinuxSerialDevice::setRts(bool on) { return setLine(TIOCM_RTS, on); }

int LinuxSerialDevice::modemStatus() const
{
    int bits = 0;
    if (mFd < 0 || ioctl(mFd, TIOCMGET, &bits) != 0)
        return 0;
    return toStatus(bits);
}

void LinuxSerialDevice::discardInput()
{
    if (mFd >= 0)
        tcflush(mFd, TCIFLUSH);
}

bool LinuxSerialDevice::readCounts(Counts &counts, int &error) const
{
    serial_icounter_struct icount {};
    if (ioctl(mFd, TIOCGICOUNT, &icount) != 0) {
        error = errno;
        return false;
    }
    counts = {icount.cts, icount.dsr, icount.dcd};
    return true;
}

SerialDevice::WaitResult LinuxSerialDevice::waitForChange(int eventMask)
{
    if (mFd < 0)
        return lost(EBADF);
    enterWait();
    const WaitResult result = mWaitMode == WaitMode::Interrupt ? waitByInterrupt(eventMask) : waitByPolling(eventMask);
    leaveWait();
    return result;
}

SerialDevice::WaitResult LinuxSerialDevice::waitByInterrupt(int eventMask)
{
    // Counters wrap in 32 bits; the difference is still the number of edges.
    const auto delta = [](int now, int before) {
        return static_cast<int>(static_cast<unsigned>(now) - static_cast<unsigned>(before));
    };
    for (;;) {
        if (mStop)
            return aborted();
        Counts now;
        int error = 0;
        if (!readCounts(now, error)) {
            if (error == EINTR)
                continue;
            if (!refused(error))
                return lost(error);
            mWaitMode = WaitMode::Polling;
            mLastStatus = modemStatus();
            return waitByPolling(eventMask);
        }
        WaitResult result;
        result.outcome = WaitResult::Outcome::Changed;
        result.ctsChanges = (eventMask & EV_CTS) ? delta(now.cts, mLastCounts.cts) : 0;
        result.dsrChanges = (eventMask & EV_DSR) ? delta(now.dsr, mLastCounts.dsr) : 0;
        result.rlsdChanges = (eventMask & EV_RLSD) ? delta(now.dcd, mLastCounts.dcd) : 0;
        mLastCounts = now;
        result.lines = (result.ctsChanges ? EV_CTS : 0) | (result.dsrChanges ? EV_DSR : 0) | (result.rlsdChanges ? EV_RLSD : 0);
        if (result.lines != 0)
            return result;
        // An edge between the count above and the start of the wait below is counted but wakes
        // nobody until the next edge: the driver compares against its own snapshot.
        if (mStop)
            return aborted();
        if (ioctl(mFd, TIOCMIWAIT, tiocmLines(eventMask)) == 0)
            continue;
        error = errno;
        if (error == EINTR)
            continue; // the stop flag decides
        if (!refused(error))
            return lost(error);
        mWaitMode = WaitMode::Polling;
        mLastStatus = modemStatus();
        return waitByPolling(eventMask);
    }
}

SerialDevice::WaitResult LinuxSerialDevice::waitByPolling(int eventMask)
{
    const int watched = statusLines(eventMask);
    for (;;) {
        if (mStop)
            return aborted();
        // The device itself is watched for nothing but hang-up and error, which poll always reports.
        pollfd fds[2] = {{mWakeFd, POLLIN, 0}, {mFd, 0, 0}};
        const int ready = ::poll(fds, 2, 10);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return lost(errno);
        }
        if (mStop || (fds[0].revents & POLLIN))
            return aborted();
        if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL))
            return lost(EIO);
        int bits = 0;
        if (ioctl(mFd, TIOCMGET, &bits) != 0) {
            const int error = errno;
            if (error == EIO || error == ENODEV || error == ENXIO)
                return lost(error);
            continue; // a device without modem lines (a pseudo-terminal): nothing ever changes
        }
        const int status = toStatus(bits);
        const int changed = (status ^ mLastStatus) & watched;
        mLastStatus = status;
        if (changed == 0)
            continue;
        WaitResult result;
        result.outcome = WaitResult::Outcome::Changed;
        result.ctsChanges = (changed & MS_CTS_ON) ? 1 : 0;
        result.dsrChanges = (changed & MS_DSR_ON) ? 1 : 0;
        result.rlsdChanges = (changed & MS_RLSD_ON) ? 1 : 0;
        result.lines = (result.ctsChanges ? EV_CTS : 0) | (result.dsrChanges ? EV_DSR : 0) | (result.rlsdChanges ? EV_RLSD : 0);
        return result;
    }
}

void LinuxSerialDevice::enterWait()
{
    QMutexLocker lock(&mWaiterMutex);
    mWaiter = pthread_self();
    mHasWaiter = true;
}

void LinuxSerialDevice::leaveWait()
{
    QMutexLocker lock(&mWaiterMutex);
    mHasWaiter = false;
    mWaiterLeft.wakeAll();
}

void LinuxSerialDevice::abortWait()
{
    mStop = true;
    if (mWakeFd >= 0) {
        const std::uint64_t one = 1;
        if (::write(mWakeFd, &one, sizeof one) < 0) {
            // Only fails when the counter is already full, which wakes the poll just the same.
        }
    }
    // The signal can land just before the waiter enters the driver and be lost; it checks the
    // stop flag right before entering, so knocking again until it has left always ends the wait.
    QMutexLocker lock(&mWaiterMutex);
    while (mHasWaiter) {
        pthread_kill(mWaiter, abortSignal());
        mWaiterLeft.wait(&mWaiterMutex, 1);
    }
}

bool LinuxSerialDevice::isPresent(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info {};
    const bool present = fstat(fd, &info) == 0 && S_ISCHR(info.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return present;
}
