#pragma once

#include <cstdint>

// The three ioctls the line monitor lives on, behind one seam: the real one asks the driver,
// a test plays a driver's sequence of counts, levels and wake-ups. Each call gives 0 or an errno.
class ModemIoctls
{
public:
    // The per-line edge counters of TIOCGICOUNT. They wrap at 32 bits.
    struct Counts
    {
        std::uint32_t cts = 0;
        std::uint32_t dsr = 0;
        std::uint32_t dcd = 0;
    };

    virtual ~ModemIoctls() = default;

    // TIOCMGET: the TIOCM_ bits of the lines as they are now.
    virtual int lines(int fd, int &tiocm) = 0;
    // TIOCGICOUNT: the edges the driver has counted since the port was first opened.
    virtual int counts(int fd, Counts &counts) = 0;
    // TIOCMIWAIT: sleeps until one of the TIOCM_ lines in tiocmMask changes after the call began;
    // EINTR when a signal came first.
    virtual int waitLines(int fd, int tiocmMask) = 0;
};
