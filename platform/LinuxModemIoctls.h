#pragma once

#include "platform/ModemIoctls.h"

// The modem ioctls as the tty driver answers them.
class LinuxModemIoctls final : public ModemIoctls
{
public:
    int lines(int fd, int &tiocm) override;
    int counts(int fd, Counts &counts) override;
    int waitLines(int fd, int tiocmMask) override;
};
