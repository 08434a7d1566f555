#include "platform/LinuxSerialDevice.h"
#include "platform/LinuxModemIoctls.h"
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
#include <time.h>
#include <unistd.h>

namespace {

constexpr tcflag_t kBOTHER = 0010000; // "the speed is in c_ispeed/c_ospeed"

// Knocks the waiting thread out of TIOCMIWAIT, for an abort or a look at the counters.
// Installed without SA_RESTART, so the ioctl returns EINTR.
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

// The three lines the barriers use, as MS_ bits.
constexpr int kLevelBits = MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON;

// The periodic look at the counters while a thread sleeps in TIOCMIWAIT. The driver wakes the
// wait only for an edge after the call began, so an edge that lands between our count read
// and the ioctl would sleep until the next one. A POSIX timer aimed at this one thread
// (SIGEV_THREAD_ID) sends it the abort signal every RecheckMs; the wait returns EINTR and the
// loop reads the counters again. A tick that lands just before the ioctl is lost, but the
// next one follows within the period, so no wait outlasts it. Made per wait, because each
// open runs its wait on a new thread.
class RecheckTimer
{
public:
    explicit RecheckTimer(int signal)
    {
        sigevent event {};
        event.sigev_notify = SIGEV_THREAD_ID;
        event.sigev_signo = signal;
        event._sigev_un._tid = gettid();
        if (timer_create(CLOCK_MONOTONIC, &event, &mTimer) != 0)
            return;
        itimerspec period {};
        period.it_interval.tv_nsec = long{LinuxSerialDevice::RecheckMs} * 1000000L;
        period.it_value = period.it_interval;
        if (timer_settime(mTimer, 0, &period, nullptr) != 0) {
            timer_delete(mTimer);
            return;
        }
        mRunning = true;
    }
    ~RecheckTimer()
    {
        if (mRunning)
            timer_delete(mTimer);
    }
    RecheckTimer(const RecheckTimer &) = delete;
    RecheckTimer &operator=(const RecheckTimer &) = delete;

    // False when the system would not give us a timer.
    bool running() const { return mRunning; }

private:
    timer_t mTimer {};
    bool mRunning = false;
};

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

LinuxSerialDevice::LinuxSerialDevice()
    : LinuxSerialDevice(std::make_unique<LinuxModemIoctls>())
{
}

LinuxSerialDevice::LinuxSerialDevice(std::unique_ptr<ModemIoctls> ioctls)
    : mIoctls(std::move(ioctls))
{
    installAbortHandler();
}

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
    mMismatch = 0;
    // The levels start from the lines as read, the counts from a read on either side of it
    // that agree: an edge between the two would start that line's level off inverted.
    ModemIoctls::Counts before;
    mLevels = liveStatus() & kLevelBits;
    if (mIoctls->counts(mFd, before) != 0) {
        mWaitMode = WaitMode::Polling;
        return std::nullopt;
    }
    for (int tries = 0;; ++tries) {
        mLevels = liveStatus() & kLevelBits;
        if (mIoctls->counts(mFd, mLastCounts) != 0) {
            mWaitMode = WaitMode::Polling;
            break;
        }
        const bool quiet = mLastCounts.cts == before.cts && mLastCounts.dsr == before.dsr && mLastCounts.dcd == before.dcd;
        // A line that never rests starts from whatever was read last; resyncLevels puts it right later.
        if (quiet || tries == 3)
            break;
        before = mLastCounts;
    }
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

int LinuxSerialDevice::modemStatus() const { return liveStatus(); }

int LinuxSerialDevice::liveStatus() const
{
    int bits = 0;
    if (mFd < 0 || mIoctls->lines(mFd, bits) != 0)
        return 0;
    return toStatus(bits);
}

void LinuxSerialDevice::discardInput()
{
    if (mFd >= 0)
        tcflush(mFd, TCIFLUSH);
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
    const RecheckTimer recheck(abortSignal());
    for (;;) {
        if (mStop)
            return aborted();
        ModemIoctls::Counts now;
        if (const int error = mIoctls->counts(mFd, now); error != 0) {
            if (error == EINTR)
                continue;
            if (!refused(error))
                return lost(error);
            return switchToPolling(eventMask);
        }
        // Counters wrap in 32 bits; the difference is still the number of edges.
        const std::uint32_t cts = now.cts - mLastCounts.cts;
        const std::uint32_t dsr = now.dsr - mLastCounts.dsr;
        const std::uint32_t dcd = now.dcd - mLastCounts.dcd;
        mLastCounts = now;
        // Every line is followed, watched or not, so the levels stay true if the mask changes.
        mLevels ^= ((cts & 1u) ? MS_CTS_ON : 0) | ((dsr & 1u) ? MS_DSR_ON : 0) | ((dcd & 1u) ? MS_RLSD_ON : 0);
        // An edge starts a line's comparison with the level read back afresh.
        mMismatch &= ~((cts ? MS_CTS_ON : 0) | (dsr ? MS_DSR_ON : 0) | (dcd ? MS_RLSD_ON : 0));
        WaitResult result;
        result.outcome = WaitResult::Outcome::Changed;
        result.ctsChanges = (eventMask & EV_CTS) ? static_cast<int>(cts) : 0;
        result.dsrChanges = (eventMask & EV_DSR) ? static_cast<int>(dsr) : 0;
        result.rlsdChanges = (eventMask & EV_RLSD) ? static_cast<int>(dcd) : 0;
        if (result.ctsChanges == 0 && result.dsrChanges == 0 && result.rlsdChanges == 0) {
            // Quiet: the moment to compare with the lines read back. A corrected line is one change.
            const int corrected = resyncLevels() & statusLines(eventMask);
            result.ctsChanges = (corrected & MS_CTS_ON) ? 1 : 0;
            result.dsrChanges = (corrected & MS_DSR_ON) ? 1 : 0;
            result.rlsdChanges = (corrected & MS_RLSD_ON) ? 1 : 0;
        }
        result.modemStatus = mLevels;
        result.lines = (result.ctsChanges ? EV_CTS : 0) | (result.dsrChanges ? EV_DSR : 0) | (result.rlsdChanges ? EV_RLSD : 0);
        if (result.lines != 0)
            return result;
        if (mStop)
            return aborted();
        if (!recheck.running()) {
            // Without the timer the counters are read every period instead; the eventfd ends it on abort.
            pollfd wake {mWakeFd, POLLIN, 0};
            ::poll(&wake, 1, RecheckMs);
            continue;
        }
        const int error = mIoctls->waitLines(mFd, tiocmLines(eventMask));
        if (error == 0 || error == EINTR)
            continue; // an edge, the recheck or an abort: the counters and the stop flag decide
        if (!refused(error))
            return lost(error);
        return switchToPolling(eventMask);
    }
}

// The counted level can go wrong for good: a bounce that the UART counts once while the line
// went there and back, or an edge just at the open. A line that reads back otherwise for longer
// than a counter can lag, with no edge counted meanwhile, is taken at the level read, and that
// is reported as its change: better one time too many than a barrier stuck the wrong way round.
int LinuxSerialDevice::resyncLevels()
{
    int bits = 0;
    if (mIoctls->lines(mFd, bits) != 0)
        return 0;
    const int differs = (toStatus(bits) ^ mLevels) & kLevelBits;
    const auto now = std::chrono::steady_clock::now();
    constexpr std::array<int, 3> lines{MS_CTS_ON, MS_DSR_ON, MS_RLSD_ON};
    int corrected = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const int line = lines[i];
        if (!(differs & line)) {
            mMismatch &= ~line;
        } else if (!(mMismatch & line)) {
            mMismatch |= line;
            mMismatchSince[i] = now;
        } else if (now - mMismatchSince[i] >= std::chrono::milliseconds(ResyncMs)) {
            mLevels ^= line;
            mMismatch &= ~line;
            corrected |= line;
        }
    }
    return corrected;
}

SerialDevice::WaitResult LinuxSerialDevice::switchToPolling(int eventMask)
{
    // The levels so far are the baseline, so a change while switching is still reported.
    mWaitMode = WaitMode::Polling;
    return waitByPolling(eventMask);
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
        if (const int error = mIoctls->lines(mFd, bits); error != 0) {
            if (error == EIO || error == ENODEV || error == ENXIO)
                return lost(error);
            continue; // a device without modem lines (a pseudo-terminal): nothing ever changes
        }
        // No counters here: the levels are the ones just read, and an edge shorter than the period is not seen.
        const int status = toStatus(bits);
        const int changed = (status ^ mLevels) & watched;
        mLevels = status & kLevelBits;
        if (changed == 0)
            continue;
        WaitResult result;
        result.outcome = WaitResult::Outcome::Changed;
        result.ctsChanges = (changed & MS_CTS_ON) ? 1 : 0;
        result.dsrChanges = (changed & MS_DSR_ON) ? 1 : 0;
        result.rlsdChanges = (changed & MS_RLSD_ON) ? 1 : 0;
        result.modemStatus = status;
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
