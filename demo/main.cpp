// The demo device as a program: Modbus TCP on 127.0.0.1 and Modbus RTU on a pseudo-terminal,
// until SIGINT or SIGTERM.
#include "demo/demo_device.h"

#include <csignal>
#include <cstdio>
#include <string>

int main()
{
    // Blocked before any thread exists, so every thread inherits the mask and the signals are
    // taken only by the sigwait below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    kalvenor::demo::DemoDevice device;
    std::string error;
    if (device.startTcp("127.0.0.1", 502, error)) {
        std::printf("Modbus TCP: 127.0.0.1:502\n");
    } else {
        std::string fallbackError;
        if (!device.startTcp("127.0.0.1", 1502, fallbackError)) {
            std::fprintf(stderr, "Modbus TCP unavailable: port 502 (%s), port 1502 (%s)\n",
                error.c_str(), fallbackError.c_str());
            return 1;
        }
        std::printf("Modbus TCP: 127.0.0.1:1502 (port 502 unavailable: %s)\n", error.c_str());
    }
    if (!device.startRtu(error)) {
        std::fprintf(stderr, "Modbus RTU unavailable: %s\n", error.c_str());
        return 1;
    }
    std::printf(
        "Modbus RTU: %s, slave 1 (type this path into \"RTU Port\")\n", device.rtuPath().c_str());
    std::printf("Holding registers 0..9999 hold their own address and are writable; input "
                "registers 0 uptime in s, 1 requests answered, 2 a sine 0..2000 over 60 s.\n");
    std::printf("Stop with Ctrl+C.\n");
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    device.stop();
    std::printf("Demo device stopped.\n");
    return 0;
}
