#pragma once

#include "platform/SerialDevice.h"

#include <QMutex>
#include <QWaitCondition>

#include <atomic>
#include <pthread.h>

// A tty on Linux. The wait sleeps in the driver (TIOCMIWAIT) and counts edges with TIOCGICOUNT;
// drivers that refuse either are polled every 10 ms instead. Either way an abort is immediate.
class LinuxSerialDevice final : public SerialDevice
{
public:
    // How the wait learns of line changes.
    enum class WaitMode : std::uint8_t {
        Interrupt, // the driver wakes us and counts every edge
        Polling,   // TIOCMGET every 10 ms: edges shorter than that are not seen
    };

    LinuxSerialDevice();
    ~LinuxSerialDevice() override;

    LinuxSerialDevice(const LinuxSerialDevice &) = delete;
    LinuxSerialDevice &operator=(const LinuxSerialDevice &) = delete;

    std::optional<OpenError> open(const QString &path, const SerialSettings &settings) override;
    void close() override;
    bool isOpen() const override { return mFd >= 0; }
    bool setDtr(bool on) override;
    bool setRts(bool on) override;
    int modemStatus() const override;
    void discardInput() override;
    WaitResult waitForChange(int eventMask) override;
    void abortWait() override;

    // Interrupt until the driver turns out to refuse it; then Polling until the next open.
    WaitMode waitMode() const { return mWaitMode.load(); }

    // A port is there when it opens for reading and writing, is a character device and is not
    // held by another program. It is closed again at once.
    static bool isPresent(const QString &path);

private:
    // The per-line edge counters the driver keeps.
    struct Counts
    {
        int cts = 0;
        int dsr = 0;
        int dcd = 0;
    };

    bool setLine(int bit, bool on);
    bool readCounts(Counts &counts, int &error) const;
    WaitResult waitByInterrupt(int eventMask);
    WaitResult waitByPolling(int eventMask);
    // The waiting thread announces itself so that abortWait can knock it out of the driver.
    void enterWait();
    void leaveWait();

    int mFd = -1;
    int mWakeFd = -1; // eventfd: wakes a polling wait
    std::atomic<bool> mStop = false;
    std::atomic<WaitMode> mWaitMode = WaitMode::Interrupt;
    Counts mLastCounts;  // the counters as the previous wait left them
    int mLastStatus = 0; // MS_ bits as the previous polling wait left them

    QMutex mWaiterMutex; // guards the two below
    QWaitCondition mWaiterLeft;
    pthread_t mWaiter{};
    bool mHasWaiter = false;
};
