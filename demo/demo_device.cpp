#include "demo/demo_device.h"

#include <modbus/modbus.h>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace kalvenor::demo {

namespace {

// A partial RTU frame that stays incomplete this long is dropped, so one lost byte cannot
// shift every later frame. Also how long a frame of unknown length is given to finish.
constexpr int RtuFrameGapMs = 20;
// While no master holds the pty open the controller side reports a hang-up on every poll;
// it is looked at again after this pause instead of spinning.
constexpr int HangupPauseMs = 50;
// Longest RTU frame: address, 253 bytes of PDU, CRC.
constexpr std::size_t RtuMaxFrame = 256;

std::uint16_t crc16(const std::uint8_t* bytes, std::size_t length)
{
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
    }
    return crc;
}

bool crcMatches(const std::uint8_t* frame, std::size_t length)
{
    if (length < 4)
        return false;
    std::uint16_t crc = crc16(frame, length - 2);
    return frame[length - 2] == (crc & 0xFF) && frame[length - 1] == (crc >> 8);
}

void closeFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

std::string errnoText(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

} // namespace

std::size_t rtuRequestLength(const std::uint8_t* bytes, std::size_t count)
{
    if (count < 2)
        return 0;
    switch (bytes[1]) {
    case 0x01: // read coils
    case 0x02: // read discrete inputs
    case 0x03: // read holding registers
    case 0x04: // read input registers
    case 0x05: // write single coil
    case 0x06: // write single register: address, function, 4 data bytes, CRC
        return 8;
    case 0x07: // read exception status
    case 0x0B: // get comm event counter
    case 0x0C: // get comm event log
    case 0x11: // report server id: address, function, CRC
        return 4;
    case 0x0F: // write multiple coils
    case 0x10: // write multiple registers: address, function, start (2), quantity (2), byte
               // count, data, CRC
        return count < 7 ? 0 : 9 + std::size_t {bytes[6]};
    case 0x16: // mask write register: address, function, reference, and mask, or mask, CRC
        return 10;
    case 0x17: // read/write multiple registers: 9 header bytes after the function, byte count
        return count < 11 ? 0 : 13 + std::size_t {bytes[10]};
    default:
        return SIZE_MAX;
    }
}

struct DemoDevice::Impl
{
    // The register map and the counter are shared by both serving threads.
    mutable std::mutex mapMutex;
    modbus_mapping_t* map = nullptr;
    std::chrono::steady_clock::time_point startTime = std::chrono::steady_clock::now();
    std::uint16_t requestCount = 0;

    int wakeFd = -1; // an eventfd; readable once stop() wants the threads gone

    modbus_t* tcpContext = nullptr;
    int listenFd = -1;
    int port = 0;
    std::thread tcpThread;

    modbus_t* rtuContext = nullptr;
    int controllerFd = -1;
    int deviceFd = -1; // held open so the controller never reads EIO between two masters
    std::string rtuPath;
    std::thread rtuThread;

    void refreshInputs()
    {
        using namespace std::chrono;
        double seconds = duration<double>(steady_clock::now() - startTime).count();
        map->tab_input_registers[InputUptimeSeconds]
            = static_cast<std::uint16_t>(static_cast<std::uint64_t>(seconds) & 0xFFFF);
        map->tab_input_registers[InputRequestCounter] = requestCount;
        map->tab_input_registers[InputSine] = static_cast<std::uint16_t>(
            std::lround(1000.0 + 1000.0 * std::sin(2.0 * M_PI * seconds / 60.0)));
    }

    // libmodbus answers some malformed requests (unknown function, bad quantity) only after
    // sleeping its response time-out and flushing the input; as a server it has no use for
    // that pause, which would hold up every client of the thread, so it is made negligible.
    static void shortenExceptionPause(modbus_t* ctx) { modbus_set_response_timeout(ctx, 0, 1); }

    // Answers one complete request through ctx, which holds the socket to answer on.
    // functionAt is where the function code sits: after the address byte (RTU) or after the
    // MBAP header (TCP).
    void serve(modbus_t* ctx, const std::uint8_t* request, int length, int functionAt)
    {
        std::lock_guard lock(mapMutex);
        ++requestCount;
        refreshInputs();
        // libmodbus leaves "read exception status" unanswered; a device without it refuses it.
        if (request[functionAt] == 0x07)
            (void)modbus_reply_exception(ctx, request, MODBUS_EXCEPTION_ILLEGAL_FUNCTION);
        else
            (void)modbus_reply(ctx, request, length, map);
    }

    void runTcp();
    void runRtu();
    void handleRtuBytes(std::vector<std::uint8_t>& pending);
    void dispatchRtuFrame(const std::uint8_t* frame, std::size_t length);
};

DemoDevice::DemoDevice()
    : m(std::make_unique<Impl>())
{
    m->map = modbus_mapping_new_start_address(
        0, 0, 0, 0, 0, HoldingRegisterCount, 0, InputRegisterCount);
    for (int n = 0; n < HoldingRegisterCount; ++n)
        m->map->tab_registers[n] = static_cast<std::uint16_t>(n);
    m->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

DemoDevice::~DemoDevice()
{
    stop();
    modbus_mapping_free(m->map);
    closeFd(m->wakeFd);
}

int DemoDevice::tcpPort() const { return m->port; }

const std::string& DemoDevice::rtuPath() const { return m->rtuPath; }

std::uint16_t DemoDevice::holdingRegister(int address) const
{
    std::lock_guard lock(m->mapMutex);
    return m->map->tab_registers[address];
}

bool DemoDevice::startTcp(const std::string& address, int port, std::string& error)
{
    if (m->tcpThread.joinable()) {
        error = "TCP is already served";
        return false;
    }
    sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    if (port < 0 || port > 65535 || ::inet_pton(AF_INET, address.c_str(), &addr.sin_addr) != 1) {
        error = "not an IPv4 address and port: " + address + ":" + std::to_string(port);
        return false;
    }
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = errnoText("socket");
        return false;
    }
    int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 16) != 0) {
        error = errnoText("bind");
        ::close(fd);
        return false;
    }
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    m->listenFd = fd;
    m->port = ntohs(addr.sin_port);
    // The context only frames and answers requests; each client's socket is handed to it in
    // turn, so it never connects or listens itself.
    m->tcpContext = modbus_new_tcp(address.c_str(), m->port);
    // A client that stalls mid-request holds up the others at most this long.
    modbus_set_byte_timeout(m->tcpContext, 0, 200000);
    Impl::shortenExceptionPause(m->tcpContext);
    m->tcpThread = std::thread([impl = m.get()] { impl->runTcp(); });
    return true;
}

void DemoDevice::Impl::runTcp()
{
    std::vector<int> clients;
    std::vector<pollfd> fds;
    std::uint8_t request[MODBUS_TCP_MAX_ADU_LENGTH];
    for (;;) {
        fds.clear();
        fds.push_back({wakeFd, POLLIN, 0});
        fds.push_back({listenFd, POLLIN, 0});
        for (int c : clients)
            fds.push_back({c, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[0].revents)
            break;
        if (fds[1].revents & POLLIN) {
            int c = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (c >= 0) {
                int on = 1;
                ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                clients.push_back(c);
            }
        }
        std::vector<int> gone;
        for (std::size_t i = 2; i < fds.size(); ++i) {
            if (!fds[i].revents)
                continue;
            modbus_set_socket(tcpContext, fds[i].fd);
            int n = modbus_receive(tcpContext, request);
            if (n > 0)
                serve(tcpContext, request, n, modbus_get_header_length(tcpContext));
            else if (n < 0) // closed by the client, or bytes that are no Modbus request
                gone.push_back(fds[i].fd);
        }
        for (int c : gone) {
            std::erase(clients, c);
            ::close(c);
        }
    }
    for (int c : clients)
        ::close(c);
}

bool DemoDevice::startRtu(std::string& error)
{
    if (m->rtuThread.joinable()) {
        error = "RTU is already served";
        return false;
    }
    int controller = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (controller < 0) {
        error = errnoText("posix_openpt");
        return false;
    }
    const char* name = nullptr;
    if (::grantpt(controller) != 0 || ::unlockpt(controller) != 0
        || (name = ::ptsname(controller)) == nullptr) {
        error = errnoText("pseudo-terminal setup");
        ::close(controller);
        return false;
    }
    std::string path = name;
    int device = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (device < 0) {
        error = errnoText(path.c_str());
        ::close(controller);
        return false;
    }
    // Raw on the device side until a master sets its own mode: a cooked pty would echo the
    // requests back and swallow bytes such as 0x03, 0x0D, 0x11 and 0x13.
    termios raw {};
    ::tcgetattr(device, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(device, TCSANOW, &raw);
    // Non-blocking, so a master that never reads its replies cannot block stop().
    ::fcntl(controller, F_SETFL, ::fcntl(controller, F_GETFL) | O_NONBLOCK);

    m->controllerFd = controller;
    m->deviceFd = device;
    m->rtuPath = path;
    // The controller side has no path of its own: the context gets the pty's name only
    // because it insists on one, is never connected, and writes its replies to the socket set
    // here. Framing is done in runRtu (see handleRtuBytes).
    m->rtuContext = modbus_new_rtu(path.c_str(), 115200, 'N', 8, 1);
    modbus_set_slave(m->rtuContext, RtuSlaveAddress);
    Impl::shortenExceptionPause(m->rtuContext);
    modbus_set_socket(m->rtuContext, controller);
    m->rtuThread = std::thread([impl = m.get()] { impl->runRtu(); });
    return true;
}

void DemoDevice::Impl::runRtu()
{
    std::vector<std::uint8_t> pending;
    std::uint8_t chunk[512];
    for (;;) {
        pollfd fds[2] = {{wakeFd, POLLIN, 0}, {controllerFd, POLLIN, 0}};
        int ready = ::poll(fds, 2, pending.empty() ? -1 : RtuFrameGapMs);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[0].revents)
            break;
        if (ready == 0) {
            // Silence after a partial frame. A frame of a function whose length is not known
            // ends here; anything else is a fragment and is dropped.
            if (rtuRequestLength(pending.data(), pending.size()) == SIZE_MAX
                && crcMatches(pending.data(), pending.size()))
                dispatchRtuFrame(pending.data(), pending.size());
            pending.clear();
            continue;
        }
        ssize_t n = ::read(controllerFd, chunk, sizeof chunk);
        if (n > 0) {
            pending.insert(pending.end(), chunk, chunk + n);
            handleRtuBytes(pending);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        } else {
            // EIO or a hang-up: no master has the device side open. Wait for one without
            // spinning, but stay stoppable.
            pending.clear();
            pollfd wake {wakeFd, POLLIN, 0};
            if (::poll(&wake, 1, HangupPauseMs) > 0)
                break;
        }
    }
}

// libmodbus's own RTU receive is not used: after a request for another slave it takes the next
// frame for that slave's reply and drops it, so a master that switches to slave 1 would lose its
// first request. Frames are cut here by their function's length and checked by CRC instead.
void DemoDevice::Impl::handleRtuBytes(std::vector<std::uint8_t>& pending)
{
    while (!pending.empty()) {
        std::size_t length = rtuRequestLength(pending.data(), pending.size());
        if (length == 0 || length == SIZE_MAX || length > pending.size()) {
            if (length != SIZE_MAX && length > RtuMaxFrame)
                pending.clear(); // no such request; resynchronise on the next frame
            if (pending.size() > RtuMaxFrame)
                pending.clear();
            return;
        }
        if (!crcMatches(pending.data(), length)) {
            // A real slave keeps silent on a damaged frame; what follows it is unreliable too.
            pending.clear();
            return;
        }
        dispatchRtuFrame(pending.data(), length);
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(length));
    }
}

void DemoDevice::Impl::dispatchRtuFrame(const std::uint8_t* frame, std::size_t length)
{
    // Requests for other slaves belong to other devices on the line; broadcasts (address 0)
    // are carried out without an answer, which modbus_reply already knows.
    if (frame[0] != RtuSlaveAddress && frame[0] != 0)
        return;
    // libmodbus may look at request bytes by the counts inside the request; give it a whole
    // zeroed frame buffer so a short request never makes it read past the bytes received.
    std::uint8_t request[MODBUS_RTU_MAX_ADU_LENGTH + 4] = {};
    std::memcpy(request, frame, length);
    serve(rtuContext, request, static_cast<int>(length), 1);
}

void DemoDevice::stop()
{
    if (m->tcpThread.joinable() || m->rtuThread.joinable()) {
        std::uint64_t one = 1;
        (void)!::write(m->wakeFd, &one, sizeof one);
    }
    if (m->tcpThread.joinable())
        m->tcpThread.join();
    if (m->rtuThread.joinable())
        m->rtuThread.join();
    if (m->tcpContext) {
        modbus_free(m->tcpContext);
        m->tcpContext = nullptr;
    }
    if (m->rtuContext) {
        modbus_free(m->rtuContext);
        m->rtuContext = nullptr;
    }
    closeFd(m->listenFd);
    closeFd(m->controllerFd);
    closeFd(m->deviceFd);
    m->port = 0;
    m->rtuPath.clear();
    // Empty the eventfd so the device could be started again.
    std::uint64_t count = 0;
    (void)!::read(m->wakeFd, &count, sizeof count);
}

} // namespace kalvenor::demo
