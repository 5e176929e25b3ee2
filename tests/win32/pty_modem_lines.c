/* Test-only preload library: modem lines for pseudo-terminals.
 *
 * A pseudo-terminal has no modem lines, so the kernel refuses the modem-line
 * requests on it (ENOTTY). Wine's serial driver needs them to wait for device
 * events and to set or read DTR and RTS; without them WaitCommEvent fails
 * with ERROR_NOT_SUPPORTED and EscapeCommFunction and GetCommModemStatus
 * fail. Preloaded (LD_PRELOAD) into Wine, this library answers those requests
 * for pseudo-terminals the way a quiet serial line would:
 *   - TIOCMGET/TIOCMSET/TIOCMBIS/TIOCMBIC: DTR and RTS as last set, per
 *     descriptor; no input line (CTS, DSR, RI, CD) is ever on;
 *   - TIOCGICOUNT: every counter stays 0: no line ever changes, no error and
 *     no break ever happens;
 *   - TIOCSERGETLSR: the transmitter is empty when nothing waits to go out.
 * Every other request, and every request on any other device, goes to the
 * kernel unchanged; a request that the kernel answers is never replaced.
 *
 * Built natively by scripts/test-windows.sh: gcc -shared -fPIC ... -ldl. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <linux/serial.h>
#include <stdarg.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

/* Unix 98 pseudo-terminal slaves: majors 136 to 143. */
#define PTY_SLAVE_MAJOR_FIRST 136
#define PTY_SLAVE_MAJOR_LAST 143

/* DTR and RTS per descriptor. A descriptor number is reused after a close;
 * the lines it inherits are then those last set, as harmless as any. */
#define MAX_DESCRIPTORS 4096
static int output_lines[MAX_DESCRIPTORS];

typedef int (*ioctl_fn)(int, unsigned long, void*);

static ioctl_fn real_ioctl(void)
{
    static ioctl_fn real;
    ioctl_fn fn = __atomic_load_n(&real, __ATOMIC_ACQUIRE);
    if (fn == NULL) {
        fn = (ioctl_fn)dlsym(RTLD_NEXT, "ioctl");
        __atomic_store_n(&real, fn, __ATOMIC_RELEASE);
    }
    return fn;
}

static int is_pty_slave(int fd)
{
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) {
        return 0;
    }
    const unsigned int dev_major = major(st.st_rdev);
    return dev_major >= PTY_SLAVE_MAJOR_FIRST && dev_major <= PTY_SLAVE_MAJOR_LAST;
}

static int load_lines(int fd)
{
    return __atomic_load_n(&output_lines[fd], __ATOMIC_RELAXED);
}

static void store_lines(int fd, int lines)
{
    __atomic_store_n(&output_lines[fd], lines & (TIOCM_DTR | TIOCM_RTS), __ATOMIC_RELAXED);
}

/* 0 when answered, -1 when the request is none of ours. */
static int answer(int fd, unsigned long request, void* arg)
{
    if (fd < 0 || fd >= MAX_DESCRIPTORS || arg == NULL) {
        return -1;
    }
    switch (request) {
        case TIOCMGET:
            *(int*)arg = load_lines(fd);
            return 0;
        case TIOCMSET:
            store_lines(fd, *(const int*)arg);
            return 0;
        case TIOCMBIS:
            store_lines(fd, load_lines(fd) | *(const int*)arg);
            return 0;
        case TIOCMBIC:
            store_lines(fd, load_lines(fd) & ~*(const int*)arg);
            return 0;
        case TIOCGICOUNT:
            memset(arg, 0, sizeof(struct serial_icounter_struct));
            return 0;
        case TIOCSERGETLSR: {
            int waiting = 0;
            if (real_ioctl()(fd, TIOCOUTQ, &waiting) != 0) {
                return -1;
            }
            *(unsigned int*)arg = waiting == 0 ? TIOCSER_TEMT : 0;
            return 0;
        }
        default:
            return -1;
    }
}

int ioctl(int fd, unsigned long request, ...)
{
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);

    ioctl_fn real = real_ioctl();
    if (real == NULL) {
        errno = ENOSYS;
        return -1;
    }
    const int result = real(fd, request, arg);
    if (result == -1 && errno == ENOTTY) {
        const int saved = errno;
        if (is_pty_slave(fd) && answer(fd, request, arg) == 0) {
            return 0;
        }
        errno = saved;
    }
    return result;
}
