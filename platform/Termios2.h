#pragma once

#include <termios.h>

// The kernel's termios with free speeds. glibc (before 2.42) does not declare it, and
// <asm/termbits.h> clashes with <termios.h>, so it is spelt out here as the kernel has it.
struct termios2
{
    tcflag_t c_iflag;
    tcflag_t c_oflag;
    tcflag_t c_cflag;
    tcflag_t c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed;
    speed_t c_ospeed;
};
