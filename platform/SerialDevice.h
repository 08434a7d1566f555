#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// Modem-status bits as the line monitor reports them (the values of the Windows API it replaces).
inline constexpr int MS_CTS_ON = 0x10;
inline constexpr int MS_DSR_ON = 0x20;
inline constexpr int MS_RING_ON = 0x40;
inline constexpr int MS_RLSD_ON = 0x80;

// Event bits for "this line changed", same origin; the only three the light barriers use.
inline constexpr int EV_CTS = 0x0008;
inline constexpr int EV_DSR = 0x0010;
inline constexpr int EV_RLSD = 0x0020;
inline constexpr int EV_LINES = EV_CTS | EV_DSR | EV_RLSD;

// Line speeds in the order of the settings record; brUser takes BaudRateUser.
enum class TBaudRate : std::uint8_t {
    br110, br300, br600, br1200, br2400, br4800, br9600, br14400, br19200, br38400,
    br56000, br57600, br115200, br128000, br256000, brUser
};
// The ordinals are the stored codes: never reorder.
enum class TParity : std::uint8_t { prNone, prOdd, prEven, prMark, prSpace };
enum class TStopBits : std::uint8_t { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum class TFlowControl : std::uint8_t { fcNone, fcRtsCts, fcXonXoff };

// How a port is set up when it is opened. The defaults are the component's own; the main
// window changes some of them. Queue sizes are kept for the record: a Linux tty has fixed queues.
struct SerialSettings
{
    TBaudRate BaudRate = TBaudRate::br9600;
    std::int32_t BaudRateUser = 9600;
    TParity Parity = TParity::prNone;
    TStopBits StopBits = TStopBits::sbOneStopBit;
    TFlowControl FlowControl = TFlowControl::fcNone;
    std::uint8_t DataBits = 8; // 5..8; the port clamps whatever it is given
    bool EnableDTR = true;
    std::int32_t WriteBufSize = 2048;
    std::int32_t ReadBufSize = 2048;

    // The speed in bit/s that BaudRate (or BaudRateUser) stands for.
    std::int32_t speed() const
    {
        constexpr std::int32_t speeds[] = {110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400,
                                           56000, 57600, 115200, 128000, 256000};
        return BaudRate == TBaudRate::brUser ? BaudRateUser : speeds[static_cast<int>(BaudRate)];
    }
    // DataBits brought into 5..8, as the port applies it.
    static std::uint8_t clampDataBits(int bits) { return static_cast<std::uint8_t>(bits < 5 ? 5 : bits > 8 ? 8 : bits); }
};

// One serial port as the line monitor uses it: it is opened, its output lines are held, and one
// thread waits on its input lines while another may abort that wait. No data goes either way.
class SerialDevice
{
public:
    // Why open() failed: acquiring the device, or setting it up. text is the system's error text.
    struct OpenError
    {
        enum class Step : std::uint8_t { Open, State };
        Step step;
        QString text;
    };

    // What one wait saw. Counts are per line since the previous wait: a pulse shorter than the
    // time between two waits shows as 2 (or more) with the level back where it was.
    struct WaitResult
    {
        enum class Outcome : std::uint8_t { Changed, Aborted, Lost };
        Outcome outcome = Outcome::Aborted;
        int lines = 0; // EV_ bits of the lines that changed at least once
        int ctsChanges = 0;
        int dsrChanges = 0;
        int rlsdChanges = 0;
        // MS_ bits of CTS, DSR and carrier detect as these counts leave them: a later read of
        // the lines may already show the next edge, or not yet show this one.
        int modemStatus = 0;
        QString error; // Lost: why the device can no longer be waited on
    };

    virtual ~SerialDevice() = default;

    // Opens the device at path for this program alone and applies the settings (not the output
    // lines: see setDtr/setRts). Nothing is left open when it fails. Clears an earlier abort.
    virtual std::optional<OpenError> open(const QString &path, const SerialSettings &settings) = 0;
    // Releases the device; harmless when it is closed. Never while a wait runs.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // Assert or drop an output line. False where the device has no such line; the caller may ignore that.
    virtual bool setDtr(bool on) = 0;
    virtual bool setRts(bool on) = 0;
    // The input lines now, as MS_ bits; 0 when they cannot be read.
    virtual int modemStatus() const = 0;
    // Throws away whatever was received and not read.
    virtual void discardInput() = 0;

    // Blocks until one of the lines in eventMask (EV_ bits) changes, the wait is aborted, or the
    // device is gone. Changes since the previous wait are reported at once, so none is lost
    // while the caller was busy. One waiting thread at a time.
    virtual WaitResult waitForChange(int eventMask) = 0;
    // From any thread: the running wait returns Aborted at once, and so does every later one
    // until the device is opened again.
    virtual void abortWait() = 0;
};
