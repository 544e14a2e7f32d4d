// How long one FC03 read of 125 registers takes with Kalvenor's transactions and with libmodbus's
// own client, against the same demo device, over loopback TCP and over a pseudo-terminal.
//
// The device runs in a child process, so the CPU time measured here is the client's alone: a
// client that busy-waits for its reply shows as CPU time close to its wall time.
//
// Both clients are configured alike: 115200 8N1 on the pty (which ignores the speed), the
// reply time-out 800 ms on RTU and 1200 ms on TCP (Kalvenor's defaults; libmodbus gets the same
// as its response time-out, byte time-out left at its 500 ms). Neither waits for line silence:
// Kalvenor ends a reply at its expected length, and libmodbus reads exactly the bytes its
// frame's header announces and uses no inter-frame delay without RTS control.
//
// Usage: kalvenor-bench-engine [reads per client, default 5000] [block, default 250] [only]
// where only (tcp-kalvenor, tcp-libmodbus, rtu-kalvenor, rtu-libmodbus) runs one client alone,
// for strace -c or perf.
#include "demo/demo_device.h"
#include "link/serial_link.h"
#include "link/tcp_link.h"
#include "protocol/modbus_state.h"
#include "protocol/rtu_transaction.h"
#include "protocol/tcp_transaction.h"

#include <modbus/modbus.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using namespace kalvenor;

constexpr int Quantity = 125;
constexpr int RtuTimeoutMs = 800;
constexpr int TcpTimeoutMs = 1200;

struct DeviceInfo
{
    pid_t pid = -1;
    int controlFd = -1; // closing it tells the device to stop
    int port = 0;
    std::string path;
};

// Forks the device before this process has any thread. The child serves until its control
// pipe reaches end of file, which also happens when this process dies.
DeviceInfo startDeviceProcess()
{
    int info[2];
    int control[2];
    if (::pipe(info) != 0 || ::pipe(control) != 0) {
        std::perror("pipe");
        std::exit(1);
    }
    pid_t pid = ::fork();
    if (pid < 0) {
        std::perror("fork");
        std::exit(1);
    }
    if (pid == 0) {
        ::close(info[0]);
        ::close(control[1]);
        std::signal(SIGINT, SIG_IGN); // Ctrl+C stops the parent, which then closes the pipe
        demo::DemoDevice device;
        std::string error;
        std::string line;
        if (device.startTcp("127.0.0.1", 0, error) && device.startRtu(error))
            line = std::to_string(device.tcpPort()) + " " + device.rtuPath() + "\n";
        else
            line = "0 " + error + "\n";
        (void)!::write(info[1], line.data(), line.size());
        ::close(info[1]);
        for (;;) {
            char c;
            ssize_t n = ::read(control[0], &c, 1);
            if (n == 0 || (n < 0 && errno != EINTR))
                break;
        }
        device.stop();
        ::_exit(0);
    }
    ::close(info[1]);
    ::close(control[0]);
    char buffer[512] = {};
    std::size_t got = 0;
    for (;;) {
        ssize_t n = ::read(info[0], buffer + got, sizeof buffer - 1 - got);
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    ::close(info[0]);
    DeviceInfo device;
    device.pid = pid;
    device.controlFd = control[1];
    std::string text(buffer, got);
    std::size_t space = text.find(' ');
    device.port = std::atoi(text.c_str());
    if (device.port == 0 || space == std::string::npos) {
        std::fprintf(stderr, "demo device did not start: %s", text.c_str());
        std::exit(1);
    }
    device.path = text.substr(space + 1, text.find('\n') - space - 1);
    return device;
}

double processCpuSeconds()
{
    timespec t {};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

bool valuesRight(const std::vector<std::uint16_t>& v, std::size_t n)
{
    return n == Quantity && v.size() >= Quantity && v[0] == 0 && v[62] == 62 && v[124] == 124;
}

// One client on one link, connected for the whole run. read() does one FC03 read of registers
// 0..124 and returns true when the values came back as the device holds them (n = n).
struct Client
{
    const char* link;
    const char* name;
    std::function<bool(std::vector<std::uint16_t>&)> read;
    std::function<void()> close;

    Client(const char* l, const char* n, std::function<bool(std::vector<std::uint16_t>&)> r,
        std::function<void()> c)
        : link(l)
        , name(n)
        , read(std::move(r))
        , close(std::move(c))
    {
    }

    double wallSeconds = 0;
    double cpuSeconds = 0;
    int reads = 0;
    int errors = 0;
    std::vector<double> blockUs; // wall time per transaction of each block
};

Client kalvenorTcp(ModbusState& state, const DeviceInfo& device)
{
    state.tcp.host = "127.0.0.1";
    state.tcp.port = device.port;
    state.tcp.timeoutMs = TcpTimeoutMs;
    if (!tcpOpen(state.tcp)) {
        std::fprintf(stderr, "Kalvenor could not connect to 127.0.0.1:%d\n", device.port);
        std::exit(1);
    }
    return Client(
        "TCP", "Kalvenor",
        [&state](std::vector<std::uint16_t>& values) {
            return tcpReadRegisters(state, 3, 0, Quantity, values) == Quantity
                && valuesRight(values, values.size());
        },
        [&state] { tcpClose(state.tcp); });
}

Client kalvenorRtu(ModbusState& state, const DeviceInfo& device)
{
    state.serial.portName = device.path;
    state.serial.baudRate = 115200;
    state.serial.rxTimeoutMs = RtuTimeoutMs;
    if (!serialOpen(state.serial)) {
        std::fprintf(stderr, "Kalvenor could not open %s\n", device.path.c_str());
        std::exit(1);
    }
    return Client(
        "RTU", "Kalvenor",
        [&state](std::vector<std::uint16_t>& values) {
            return rtuReadRegisters(state, 3, 0, Quantity, values) == Quantity
                && valuesRight(values, values.size());
        },
        [&state] { serialClose(state.serial); });
}

Client libmodbusClient(modbus_t* ctx, const char* link, int timeoutMs)
{
    modbus_set_slave(ctx, 1);
    modbus_set_response_timeout(ctx, static_cast<std::uint32_t>(timeoutMs / 1000),
        static_cast<std::uint32_t>(timeoutMs % 1000) * 1000);
    if (modbus_connect(ctx) != 0) {
        std::fprintf(
            stderr, "libmodbus could not connect over %s: %s\n", link, modbus_strerror(errno));
        std::exit(1);
    }
    return Client(
        link, "libmodbus",
        [ctx](std::vector<std::uint16_t>& values) {
            int n = modbus_read_registers(ctx, 0, Quantity, values.data());
            return n == Quantity && valuesRight(values, static_cast<std::size_t>(n));
        },
        [ctx] {
            modbus_close(ctx);
            modbus_free(ctx);
        });
}

// One block of reads by one client, added to its totals.
void runBlock(Client& c, int reads, std::vector<std::uint16_t>& values)
{
    const double cpu0 = processCpuSeconds();
    const auto wall0 = std::chrono::steady_clock::now();
    for (int i = 0; i < reads; ++i) {
        if (!c.read(values))
            ++c.errors;
    }
    const double wall
        = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    c.cpuSeconds += processCpuSeconds() - cpu0;
    c.wallSeconds += wall;
    c.reads += reads;
    c.blockUs.push_back(wall * 1e6 / reads);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const int reads = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5000;
    const int block = argc > 2 ? std::clamp(std::atoi(argv[2]), 1, reads) : 250;
    DeviceInfo device = startDeviceProcess();

    // Both clients of a link stay connected side by side and take turns block by block, so a
    // burst of load from elsewhere on the machine falls on both alike. On the pty they never
    // overlap: each finishes its reply before the other sends.
    ModbusState tcpState;
    ModbusState rtuState;
    std::vector<Client> clients;
    clients.push_back(
        libmodbusClient(modbus_new_tcp("127.0.0.1", device.port), "TCP", TcpTimeoutMs));
    clients.push_back(kalvenorTcp(tcpState, device));
    clients.push_back(libmodbusClient(
        modbus_new_rtu(device.path.c_str(), 115200, 'N', 8, 1), "RTU", RtuTimeoutMs));
    clients.push_back(kalvenorRtu(rtuState, device));

    if (argc > 3) {
        const std::string only = argv[3];
        std::erase_if(clients, [&](const Client& c) {
            std::string key = std::string(c.link) + "-" + c.name;
            std::transform(key.begin(), key.end(), key.begin(),
                [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
            if (key == only)
                return false;
            c.close();
            return true;
        });
    }

    std::printf("Engine benchmark: %d FC03 reads of %d registers per client in blocks of %d, "
                "clients taking turns; device in child process %d (TCP 127.0.0.1:%d, RTU %s)\n\n",
        reads, Quantity, block, static_cast<int>(device.pid), device.port, device.path.c_str());

    std::vector<std::uint16_t> values(Quantity);
    for (Client& c : clients) // warm caches, connections and the device's threads
        for (int i = 0; i < 50; ++i)
            (void)c.read(values);
    // The order of the clients turns round every block, so that no client always follows the
    // same one: what a block leaves behind (the device's thread on another link, the idle
    // state of the processors) then falls on every client alike.
    for (int done = 0, round = 0; done < reads; done += block, ++round) {
        for (std::size_t k = 0; k < clients.size(); ++k) {
            Client& c = clients[(k + static_cast<std::size_t>(round)) % clients.size()];
            runBlock(c, std::min(block, reads - done), values);
        }
    }

    std::printf("%-5s %-10s %16s %16s %16s %7s\n", "link", "client", "us/trans. (mean)",
        "us/trans. (med.)", "CPU us/trans.", "errors");
    for (const Client& c : clients)
        std::printf("%-5s %-10s %16.1f %16.1f %16.1f %7d\n", c.link, c.name,
            c.wallSeconds * 1e6 / c.reads, median(c.blockUs), c.cpuSeconds * 1e6 / c.reads,
            c.errors);
    // clients: 0 libmodbus TCP, 1 Kalvenor TCP, 2 libmodbus RTU, 3 Kalvenor RTU
    if (clients.size() != 4) {
        for (Client& c : clients)
            c.close();
        ::close(device.controlFd);
        ::waitpid(device.pid, nullptr, 0);
        return 0;
    }
    auto ratio = [&](int k, int l) { return clients[k].wallSeconds / clients[l].wallSeconds; };
    auto ratioMedian
        = [&](int k, int l) { return median(clients[k].blockUs) / median(clients[l].blockUs); };
    const double tcpRatio = ratio(1, 0);
    const double rtuRatio = ratio(3, 2);
    std::printf("\nKalvenor / libmodbus, time per transaction: TCP %.2f (block median %.2f), "
                "RTU %.2f (block median %.2f); goal <= 0.90: TCP %s, RTU %s\n",
        tcpRatio, ratioMedian(1, 0), rtuRatio, ratioMedian(3, 2),
        tcpRatio <= 0.90 ? "met" : "missed", rtuRatio <= 0.90 ? "met" : "missed");

    int errors = 0;
    for (Client& c : clients) {
        errors += c.errors;
        c.close();
    }
    ::close(device.controlFd);
    int status = 0;
    ::waitpid(device.pid, &status, 0);
    return errors == 0 ? 0 : 1;
}
