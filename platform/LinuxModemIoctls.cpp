#include "platform/LinuxModemIoctls.h"

#include <cerrno>

#include <linux/serial.h>
#include <sys/ioctl.h>

int LinuxModemIoctls::lines(int fd, int &tiocm) { return ioctl(fd, TIOCMGET, &tiocm) == 0 ? 0 : errno; }

int LinuxModemIoctls::counts(int fd, Counts &counts)
{
    serial_icounter_struct icount {};
    if (ioctl(fd, TIOCGICOUNT, &icount) != 0)
        return errno;
    counts = {static_cast<std::uint32_t>(icount.cts), static_cast<std::uint32_t>(icount.dsr),
              static_cast<std::uint32_t>(icount.dcd)};
    return 0;
}

int LinuxModemIoctls::waitLines(int fd, int tiocmMask) { return ioctl(fd, TIOCMIWAIT, tiocmMask) == 0 ? 0 : errno; }
