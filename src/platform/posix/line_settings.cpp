// Line settings through the kernel's termios2 interface, which takes any bit
// rate (BOTHER) where the classic interface knows only the B* constants.
// Its header clashes with <termios.h>, so it lives alone in this file.
#include "platform/posix/device.h"

// After the standard headers, whose names its macros could otherwise touch.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>

namespace cardpush::platform::posix {

namespace {

constexpr DWORD kRtsControlHandshake = 2;

// Bytes pass unchanged: no echo, no line editing, no signals, no CR/LF
// translation, and a break arrives as an event rather than as a NUL byte.
void SetRawModes(termios2& t)
{
    t.c_iflag = IGNBRK;
    t.c_oflag = 0;
    t.c_lflag = 0;
    t.c_cflag |= CREAD | CLOCAL;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
}

}  // namespace

int MakeRaw(int fd)
{
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0) {
        return errno;
    }
    SetRawModes(t);
    t.c_cflag &= ~CRTSCTS;
    return ::ioctl(fd, TCSETS2, &t) == 0 ? 0 : errno;
}

static_assert(sizeof(termios2) <= sizeof(SavedLine::bytes));

int SaveLine(int fd, SavedLine* line)
{
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0) {
        return errno;
    }
    std::memcpy(line->bytes, &t, sizeof t);
    return 0;
}

int RestoreLine(int fd, const SavedLine& line)
{
    termios2 t{};
    std::memcpy(&t, line.bytes, sizeof t);
    return ::ioctl(fd, TCSETS2, &t) == 0 ? 0 : errno;
}

int ApplyDcb(int fd, const DCB& dcb)
{
    if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > SPACEPARITY ||
        dcb.StopBits > TWOSTOPBITS) {
        return EINVAL;
    }
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0) {
        return errno;
    }
    SetRawModes(t);
    if (dcb.fParity) {
        t.c_iflag |= INPCK;
    }
    if (dcb.fOutX) {
        t.c_iflag |= IXON;
    }
    if (dcb.fInX) {
        t.c_iflag |= IXOFF;
    }
    t.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);

    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | CBAUD | CIBAUD);
    t.c_cflag |= kSizes[dcb.ByteSize - 5] | HUPCL;
    switch (dcb.Parity) {
        case ODDPARITY:
            t.c_cflag |= PARENB | PARODD;
            break;
        case EVENPARITY:
            t.c_cflag |= PARENB;
            break;
        case MARKPARITY:
            t.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case SPACEPARITY:
            t.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            break;
    }
    // A UART has no 1.5 stop bits except with 5 data bits, where CSTOPB
    // means exactly that.
    if (dcb.StopBits != ONESTOPBIT) {
        t.c_cflag |= CSTOPB;
    }
    if (dcb.fOutxCtsFlow || dcb.fRtsControl == kRtsControlHandshake) {
        t.c_cflag |= CRTSCTS;
    }
    // Input speed bits left zero: the input runs at the output speed.
    t.c_cflag |= BOTHER;
    t.c_ispeed = dcb.BaudRate;
    t.c_ospeed = dcb.BaudRate;
    return ::ioctl(fd, TCSETS2, &t) == 0 ? 0 : errno;
}

}  // namespace cardpush::platform::posix
