// termios2 lets Linux set any rate (14400, 56000, 128000, 256000, user rates). Its header
// defines its own struct termios, so this file must not see <termios.h>.

#include <asm/termbits.h>
#include <cstdint>
#include <sys/ioctl.h>

bool AfSetCustomRate(int fd, uint32_t rate)
{
    struct termios2 t;
    if (ioctl(fd, TCGETS2, &t) != 0)
        return false;
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = rate;
    t.c_ospeed = rate;
    return ioctl(fd, TCSETS2, &t) == 0;
}

uint32_t AfCurrentRate(int fd)
{
    struct termios2 t;
    if (ioctl(fd, TCGETS2, &t) != 0)
        return 0;
    return t.c_ospeed;
}
