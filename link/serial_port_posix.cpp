// The serial port over termios. The descriptor stays non-blocking for its whole life: reads only
// take what is waiting, writes wait with poll() up to the write time-out, and every wait for input
// is a poll() bounded by the caller's time left.

#include "link/serial_port_posix.h"
#include "link/serial_port.h"

#include "link/clock.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace kalvenor {

namespace {

struct BaudEntry
{
    std::int64_t rate;
    speed_t code;
};

// clang-format off
    constexpr BaudEntry baudTable[] = {
        {50, B50}, {75, B75}, {110, B110}, {134, B134}, {150, B150}, {200, B200}, {300, B300},
        {600, B600}, {1200, B1200}, {1800, B1800}, {2400, B2400}, {4800, B4800}, {9600, B9600},
        {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400},
        {460800, B460800}, {500000, B500000}, {576000, B576000}, {921600, B921600},
        {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000},
        {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
    };
// clang-format on

bool baudCode(std::int64_t rate, speed_t& code)
{
    for (const auto& entry : baudTable) {
        if (entry.rate == rate) {
            code = entry.code;
            return true;
        }
    }
    return false;
}

int pollTimeout(std::int64_t ms)
{
    return static_cast<int>(std::clamp<std::int64_t>(ms, 0, INT_MAX));
}

class PosixSerialPort final : public SerialPort
{
public:
    PosixSerialPort(int fd, const termios& previous)
        : m_fd(fd)
        , m_previous(previous)
    {
    }

    ~PosixSerialPort() override
    {
        // Output still queued behind a stopped handshake would make close() wait for the
        // driver's closing time (30 s on many UARTs) with the window frozen: drop it.
        tcflush(m_fd, TCOFLUSH);
        tcsetattr(m_fd, TCSANOW, &m_previous);
        ioctl(m_fd, TIOCNXCL);
        ::close(m_fd); // releases the flock as well
    }

    PosixSerialPort(const PosixSerialPort&) = delete;
    PosixSerialPort& operator=(const PosixSerialPort&) = delete;

    void setTimeouts(const SerialTimeouts& timeouts) override { m_timeouts = timeouts; }

    std::size_t waitingCount() override
    {
        int count = 0;
        if (ioctl(m_fd, FIONREAD, &count) != 0 || count < 0)
            return 0;
        return static_cast<std::size_t>(count);
    }

    std::size_t read(std::uint8_t* buffer, std::size_t n) override
    {
        if (n == 0)
            return 0;
        for (;;) {
            ssize_t got = ::read(m_fd, buffer, n);
            if (got > 0)
                return static_cast<std::size_t>(got);
            if (got < 0 && errno == EINTR)
                continue;
            return 0; // nothing waiting (EAGAIN), a hung-up device (EIO) or end of file
        }
    }

    std::size_t write(const std::uint8_t* bytes, std::size_t n) override
    {
        const std::int64_t budget = static_cast<std::int64_t>(m_timeouts.writeTotalPerByteMs)
                * static_cast<std::int64_t>(n)
            + m_timeouts.writeTotalConstantMs;
        const Deadline deadline(std::max<std::int64_t>(budget, 0));
        std::size_t done = 0;
        while (done < n) {
            ssize_t put = ::write(m_fd, bytes + done, n - done);
            if (put > 0) {
                done += static_cast<std::size_t>(put);
                continue;
            }
            if (put < 0 && errno == EINTR)
                continue;
            if (put < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                break;
            // The output queue is full (or a handshake holds it): wait for room until the
            // write time-out is spent.
            const std::int64_t left = deadline.leftMs();
            if (left == 0)
                break;
            pollfd pfd {m_fd, POLLOUT, 0};
            int ready = ::poll(&pfd, 1, pollTimeout(left));
            if (ready < 0 && errno != EINTR)
                break;
            if (ready > 0 && (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)))
                break;
        }
        return done;
    }

    bool waitReadable(std::int64_t timeoutMs) override
    {
        const Deadline deadline(std::max<std::int64_t>(timeoutMs, 0));
        for (;;) {
            pollfd pfd {m_fd, POLLIN, 0};
            int ready = ::poll(&pfd, 1, pollTimeout(deadline.leftMs()));
            if (ready > 0)
                return true;
            if (ready == 0)
                return false;
            if (errno != EINTR)
                return true; // let the caller's read find out what is wrong
            if (deadline.expired())
                return false;
        }
    }

private:
    int m_fd;
    termios m_previous;
    SerialTimeouts m_timeouts;
};

// Raises the modem lines the handshake mode holds active. A pty has no modem lines and
// refuses these ioctls; that is no reason to fail the open.
void raiseModemLines(int fd, int handshake)
{
    int lines = 0;
    if (handshake == HandshakeRtsActive)
        lines = TIOCM_RTS;
    else if (handshake == HandshakeDtrRtsActive)
        lines = TIOCM_RTS | TIOCM_DTR;
    if (lines != 0)
        (void)ioctl(fd, TIOCMBIS, &lines);
}

std::unique_ptr<SerialPort> openPosixPort(const SerialPortConfig& config)
{
    termios wanted {};
    if (config.name.empty() || !serialTermiosFor(config, wanted))
        return nullptr;

    int fd = ::open(config.name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;

    // TIOCEXCL keeps ordinary users out, but root passes it; the flock is what keeps a second
    // opener (another instance of this program, a probing scan) away while we run as root.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return nullptr;
    }
    termios previous {};
    if (tcgetattr(fd, &previous) != 0) { // not a terminal at all
        ::close(fd);
        return nullptr;
    }
    (void)ioctl(fd, TIOCEXCL);

    if (tcsetattr(fd, TCSANOW, &wanted) != 0) {
        ioctl(fd, TIOCNXCL);
        ::close(fd);
        return nullptr;
    }
    // tcsetattr succeeds when any one setting took; read the rate back to catch one the
    // driver quietly replaced. Data bits and parity are not compared: a pty always reports
    // CS8 without parity, whatever it was given.
    termios applied {};
    if (tcgetattr(fd, &applied) != 0 || cfgetospeed(&applied) != cfgetospeed(&wanted)) {
        tcsetattr(fd, TCSANOW, &previous);
        ioctl(fd, TIOCNXCL);
        ::close(fd);
        return nullptr;
    }
    raiseModemLines(fd, config.handshake);
    return std::make_unique<PosixSerialPort>(fd, previous);
}

// Splits "ttyUSB10" into "ttyUSB" and 10; a name without trailing digits gets number -1.
struct NaturalKey
{
    std::string prefix;
    long long number;
    std::string name;

    bool operator<(const NaturalKey& other) const
    {
        if (prefix != other.prefix)
            return prefix < other.prefix;
        if (number != other.number)
            return number < other.number;
        return name < other.name;
    }
};

NaturalKey naturalKey(const std::string& name)
{
    std::size_t end = name.size();
    while (end > 0 && name[end - 1] >= '0' && name[end - 1] <= '9')
        --end;
    long long number = -1;
    if (end < name.size() && name.size() - end <= 18)
        number = std::stoll(name.substr(end));
    return {name.substr(0, end), number, name};
}

std::string linkTargetBaseName(const std::string& path)
{
    char target[PATH_MAX];
    ssize_t length = ::readlink(path.c_str(), target, sizeof target - 1);
    if (length <= 0)
        return {};
    std::string text(target, static_cast<std::size_t>(length));
    std::size_t slash = text.find_last_of('/');
    return slash == std::string::npos ? text : text.substr(slash + 1);
}

// The 8250 driver registers a port for every slot it was built for (often 32), wired or
// not; only a slot with a detected UART is worth offering.
bool isRealUart(const std::string& devicePath)
{
    int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    serial_struct info {};
    bool real = ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
    ::close(fd);
    return real;
}

class PosixSerialPortProvider final : public SerialPortProvider
{
public:
    std::unique_ptr<SerialPort> open(const SerialPortConfig& config) override
    {
        return openPosixPort(config);
    }

    std::vector<std::string> candidateNames() override
    {
        return serialCandidateNamesIn("/sys/class/tty", "/dev");
    }
};

} // namespace

bool serialTermiosFor(const SerialPortConfig& config, termios& tio)
{
    speed_t speed;
    if (!baudCode(config.baudRate, speed))
        return false;

    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);

    switch (config.dataBits) {
    case 5:
        tio.c_cflag |= CS5;
        break;
    case 6:
        tio.c_cflag |= CS6;
        break;
    case 7:
        tio.c_cflag |= CS7;
        break;
    case 8:
        tio.c_cflag |= CS8;
        break;
    default:
        return false;
    }
    switch (config.parity) {
    case 0:
        break;
    case 1:
        tio.c_cflag |= PARENB | PARODD;
        break;
    case 2:
        tio.c_cflag |= PARENB;
        break;
    default:
        return false;
    }
    if (config.stopBits == 2.0f)
        tio.c_cflag |= CSTOPB;
    else if (config.stopBits != 1.0f)
        return false; // termios has no 1.5 stop bits
    switch (config.handshake) {
    case HandshakeNone:
    case HandshakeRtsActive:
    case HandshakeDtrRtsActive:
        break;
    case HandshakeRtsCts:
        tio.c_cflag |= CRTSCTS;
        break;
    case HandshakeXonXoff:
        tio.c_iflag |= IXON | IXOFF;
        tio.c_cc[VSTART] = 0x11;
        tio.c_cc[VSTOP] = 0x13;
        break;
    default:
        return false;
    }

    // Reads never wait in the kernel: the link bounds every wait itself.
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    return cfsetispeed(&tio, speed) == 0 && cfsetospeed(&tio, speed) == 0;
}

std::vector<std::string> serialCandidateNamesIn(
    const std::string& sysClassTty, const std::string& devDir)
{
    constexpr std::size_t maxNames = 64;
    std::vector<NaturalKey> found;
    DIR* dir = ::opendir(sysClassTty.c_str());
    if (dir == nullptr)
        return {};
    while (dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.empty() || name[0] == '.')
            continue;
        // Virtual consoles and ptys have no device driver behind them.
        const std::string driver = linkTargetBaseName(sysClassTty + "/" + name + "/device/driver");
        if (driver.empty())
            continue;
        // Newer kernels put serial-core ports on their own bus, whose driver is called "port".
        if ((driver == "serial8250" || driver == "port") && !isRealUart(devDir + "/" + name))
            continue;
        found.push_back(naturalKey(name));
    }
    ::closedir(dir);

    std::sort(found.begin(), found.end());
    std::vector<std::string> names;
    for (const auto& key : found) {
        if (names.size() == maxNames)
            break;
        names.push_back(devDir + "/" + key.name);
    }
    return names;
}

SerialPortProvider& posixSerialPorts()
{
    static PosixSerialPortProvider provider;
    return provider;
}

} // namespace kalvenor
